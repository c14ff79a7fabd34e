#include "platform/Program.h"
#include "platform/Clock.h"
#include "testsupport/ReiniciaTodo.h"
#include <QTimer>
#include <gtest/gtest.h>

namespace {
struct ProgramTest : ::testing::Test {
    void SetUp() override { testenv::reiniciaTodo(); }
    void TearDown() override { testenv::reiniciaTodo(); }
};
} // namespace

TEST_F(ProgramTest, WaitsRunEventsAndEndingLeavesEveryWait) {
    int fired = 0;
    QTimer::singleShot(10, [&] { ++fired; });
    EXPECT_TRUE(program::waitWhile([&] { return fired == 0; }, 10000));
    // A fixed wait also runs events and lasts at least as asked (by the monotonic clock).
    QTimer::singleShot(0, [&] { ++fired; });
    const qint64 t0 = clock_seam::tickMs();
    EXPECT_TRUE(program::waitMs(30));
    EXPECT_GE(clock_seam::tickMs() - t0, 30);
    EXPECT_EQ(fired, 2);

    bool innerLeft = false, innerResult = true;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(20, [] { program::requestEnd(); });
        innerResult = program::waitMs(60000); // a wait inside an event handler inside a wait
        innerLeft = true;
    });
    EXPECT_FALSE(program::waitWhile([] { return true; }));
    EXPECT_TRUE(innerLeft);
    EXPECT_FALSE(innerResult);
    EXPECT_TRUE(program::ending());
    EXPECT_FALSE(program::waitMs(10));
}

// End from inside a wait reaches the caller, after the clean-ups, newest first, each once.
TEST_F(ProgramTest, EndFromInsideAWaitRunsCleanupsNewestFirstOnceThenReachesTheCaller) {
    QStringList order;
    program::addCleanup([&] { order << "connections"; });
    program::addCleanup([&] { throw std::runtime_error("a clean-up that fails"); });
    program::addCleanup([&] { order << "tray"; });
    QTimer::singleShot(0, [] { program::End(3); });
    try {
        program::waitMs(5000);
        FAIL() << "End returned";
    } catch (const program::Ended& e) {
        EXPECT_EQ(e.code, 3);
    }
    EXPECT_EQ(order, QStringList({"tray", "connections"}));
    EXPECT_TRUE(program::ending());
    EXPECT_THROW(program::End(0), program::Ended);
    EXPECT_EQ(order.size(), 2); // not run twice
}
