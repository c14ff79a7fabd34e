#pragma once
// Ending the program, and the waits that keep events running.
#include <QString>
#include <functional>

namespace program {

// Runs the registered clean-ups (newest first: remove the tray icon, save the registry store, close
// the connections), then ends the process with the code. Safe from inside nested waits.
// Tests install an end handler that throws program::Ended instead of leaving the process.
[[noreturn]] void End(int code = 0);
void addCleanup(std::function<void()> f);
void setEndHandler(std::function<void(int)> h); // called after the clean-ups; must not return normally
bool ending();                                  // true once End has started or requestEnd was called
void requestEnd();                              // mark ending without leaving (the waits return)
void resetForTests();

struct Ended {
    int code;
};

// The executable's folder (no trailing slash); when it is not writable, $XDG_DATA_HOME/Tarvolin
// (created). Override for tests with setApplicationDir.
QString applicationDir();
QString executableDir();
void setApplicationDir(const QString& dir);

// Runs events (QCoreApplication::processEvents with WaitForMoreEvents, in slices of at most 50 ms)
// until the monotonic deadline passes, cond() turns false, or the program is ending. Never blocks
// the thread for longer than one slice. Returns false when it left because the program is ending.
bool waitMs(qint64 ms);
bool waitWhile(const std::function<bool()>& cond, qint64 timeoutMs = -1);
void doEvents();
// How many of the waits above are running events on the stack now (0: none): code at a deeper level
// is an event handler that runs inside someone else's wait.
int nivelEspera();

} // namespace program
