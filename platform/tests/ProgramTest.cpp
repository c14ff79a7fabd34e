#include "platform/Program.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
struct ProgramReset : ::testing::Test {
    void SetUp() override { program::resetForTests(); }
    void TearDown() override { program::resetForTests(); }
};
} // namespace

using ProgramWait = ProgramReset;
using ProgramEnd = ProgramReset;

TEST_F(ProgramWait, TimersFireInsideAWait) {
    int fired = 0;
    QTimer::singleShot(10, [&] { ++fired; });
    EXPECT_TRUE(program::waitWhile([&] { return fired == 0; }, 10000));
    EXPECT_EQ(fired, 1);
    // A fixed wait also runs events and lasts at least as asked (by the monotonic clock).
    QTimer::singleShot(0, [&] { ++fired; });
    const qint64 t0 = clock_seam::tickMs();
    EXPECT_TRUE(program::waitMs(30));
    EXPECT_GE(clock_seam::tickMs() - t0, 30);
    EXPECT_EQ(fired, 2);
}

TEST_F(ProgramWait, NestedWaitsAndEndingLeaveEveryWait) {
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

TEST_F(ProgramEnd, CleanupsRunNewestFirstOnceThenTheEndHandler) {
    QStringList order;
    program::addCleanup([&] { order << "connections"; });
    program::addCleanup([&] { throw std::runtime_error("a clean-up that fails"); });
    program::addCleanup([&] { order << "tray"; });
    try {
        program::End(3);
        FAIL() << "End returned";
    } catch (const program::Ended& e) {
        EXPECT_EQ(e.code, 3);
    }
    EXPECT_EQ(order, QStringList({"tray", "connections"}));
    EXPECT_TRUE(program::ending());
    try {
        program::End(0);
    } catch (const program::Ended&) {
    }
    EXPECT_EQ(order.size(), 2); // not run twice
}

TEST_F(ProgramEnd, EndFromInsideAWaitReachesTheCaller) {
    QTimer::singleShot(0, [] { program::End(1); });
    EXPECT_THROW(program::waitMs(5000), program::Ended);
}

TEST(ProgramDirs, ApplicationDirIsCreated) {
    const QString before = program::applicationDir();
    QTemporaryDir tmp;
    const QString dir = tmp.path() + "/a/b/";
    program::setApplicationDir(dir);
    EXPECT_EQ(program::applicationDir(), tmp.path() + "/a/b");
    EXPECT_TRUE(QFileInfo(tmp.path() + "/a/b").isDir());
    program::setApplicationDir(before);
    EXPECT_FALSE(program::executableDir().isEmpty());
}

TEST(ClockSeam, NowCanBeSetAndRestored) {
    clock_seam::setNowSource([] { return QDateTime(QDate(2024, 1, 2), QTime(1, 2, 3, 500)); });
    EXPECT_EQ(clock_seam::now(), QDateTime(QDate(2024, 1, 2), QTime(1, 2, 3, 500)));
    EXPECT_DOUBLE_EQ(clock_seam::secondsSinceMidnight(), 3723.5);
    clock_seam::setNowSource(nullptr);
    EXPECT_GT(clock_seam::now().date().year(), 2000);
}

TEST(Prompts, DefaultAnswersScriptedAnswersAndForms) {
    prompts::ScriptedPrompts p;
    prompts::install(&p);
    EXPECT_EQ(prompts::current().messageBox("hola", prompts::vbOKOnly | prompts::vbExclamation, "t"), 1);
    EXPECT_EQ(prompts::current().messageBox("¿salir?", prompts::vbYesNo | prompts::vbQuestion, "t"), 0);
    p.answers.push_back(prompts::vbYes);
    EXPECT_EQ(prompts::current().messageBox("¿salir?", 36, "t"), prompts::vbYes);
    QString value = "x";
    EXPECT_FALSE(prompts::current().inputBox("?", "t", value));
    p.inputs.push_back("1234");
    EXPECT_TRUE(prompts::current().inputBox("?", "t", value));
    EXPECT_EQ(value, "1234");

    EXPECT_EQ(prompts::current().showForm("frmNada"), 0);
    prompts::registerForm("frmCalc", [] { return 7; });
    EXPECT_EQ(prompts::current().showForm("frmCalc"), 7);
    p.formAnswers["frmCalc"].push_back(1);
    EXPECT_EQ(prompts::current().showForm("frmCalc"), 1);
    ASSERT_EQ(p.calls.size(), 8u);
    EXPECT_EQ(p.calls[1].text, "¿salir?");
    EXPECT_EQ(p.calls[1].style, 36);
    EXPECT_EQ(p.calls[7].kind, "form");

    prompts::install(nullptr);
    EXPECT_NE(&prompts::current(), &p);
    prompts::registerForm("frmCalc", nullptr);
}
