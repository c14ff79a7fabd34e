#pragma once
// Waits with a deadline. Whatever a test waits for (a reply, a print, a modal window to close, a
// signal), it waits a few seconds at most and then fails naming what it waited for, so a behaviour
// that breaks shows as a failure in seconds instead of a hang until CTest's time-out.
//
//     EXPECT_TRUE(waits::until([&] { return jobs.size() == 2; }, "both jobs in the queue"));
//     waits::Deadline d("the reconnection");   // ends the code's own endless wait after the deadline
//
// Every test process also watches its modal windows (test_main installs the watch): a modal window
// still open after the deadline fails the running test, naming its class and title, and is closed
// so that the code that opened it goes on.
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

class QWidget;

namespace waits {

inline constexpr int kDeadlineMs = 5000;

// Runs events until done() holds; fails with "waited <ms> ms for <what>" when the deadline passes first.
::testing::AssertionResult until(const std::function<bool()>& done, const QString& what, int ms = kDeadlineMs);

// While alive, a wait of the code under test that runs events and has no deadline of its own (the
// reconnection wait, a busy flag) is ended through program::requestEnd once `ms` have passed, and
// the test fails naming `what`.
class Deadline final {
public:
    explicit Deadline(QString what, int ms = kDeadlineMs);
    bool expired() const { return m_expired; }

private:
    QString m_what;
    QTimer m_timer;
    bool m_expired = false;
};

// Fails the running test and closes the active modal window once it has stayed open for `ms`.
class ModalWatch final : public ::testing::EmptyTestEventListener {
public:
    explicit ModalWatch(int ms = kDeadlineMs) : m_ms(ms) {}
    void OnTestStart(const ::testing::TestInfo&) override;
    void OnTestEnd(const ::testing::TestInfo&) override;

private:
    void tick();
    int m_ms;
    QTimer* m_timer = nullptr;
    QPointer<QWidget> m_modal;
    QElapsedTimer m_open;
};

} // namespace waits
