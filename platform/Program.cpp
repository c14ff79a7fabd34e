#include "Program.h"
#include "Clock.h"
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace program {
namespace {

struct State {
    std::vector<std::function<void()>> cleanups;
    std::function<void(int)> endHandler;
    bool ending = false;
    bool inCleanups = false;
    QString applicationDir;
};

State& state() {
    static State s;
    return s;
}

constexpr qint64 kSliceMs = 50;

// One slice of waiting: runs what is pending, or sleeps until an event comes or the slice ends.
int g_nivelEspera = 0;
struct Nivel {
    Nivel() { ++g_nivelEspera; }
    ~Nivel() { --g_nivelEspera; }
};

void waitSlice(qint64 ms) {
    if (!QCoreApplication::instance()) {
        ::usleep(useconds_t(ms * 1000));
        return;
    }
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(int(ms));
    const Nivel nivel;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace

void addCleanup(std::function<void()> f) {
    state().cleanups.push_back(std::move(f));
}

void setEndHandler(std::function<void(int)> h) {
    state().endHandler = std::move(h);
}

bool ending() {
    return state().ending;
}

void requestEnd() {
    state().ending = true;
}

void resetForTests() {
    State& s = state();
    s.cleanups.clear();
    s.ending = false;
    s.inCleanups = false;
}

void End(int code) {
    State& s = state();
    s.ending = true;
    if (!s.inCleanups) {
        // Each clean-up runs once, newest first; one that fails does not keep the others from running.
        s.inCleanups = true;
        std::vector<std::function<void()>> todo;
        todo.swap(s.cleanups);
        for (auto it = todo.rbegin(); it != todo.rend(); ++it) {
            try {
                (*it)();
            } catch (...) {
            }
        }
        s.inCleanups = false;
    }
    if (s.endHandler)
        s.endHandler(code);
    std::fflush(nullptr);
    std::exit(code);
}

QString executableDir() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

QString applicationDir() {
    State& s = state();
    if (!s.applicationDir.isEmpty())
        return s.applicationDir;
    // Decided once per run: the log asks for this folder on every line.
    static const QString elegida = [] {
        const QString exe = executableDir();
        if (!exe.isEmpty() && ::access(QFile::encodeName(exe).constData(), W_OK) == 0)
            return exe;
        return QString();
    }();
    if (!elegida.isEmpty())
        return elegida;
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = base + QStringLiteral("/Tarvolin");
    QDir().mkpath(dir);
    return dir;
}

void setApplicationDir(const QString& dir) {
    QString d = QDir::cleanPath(dir);
    if (!d.isEmpty())
        QDir().mkpath(d);
    state().applicationDir = d;
}

bool waitMs(qint64 ms) {
    const qint64 deadline = clock_seam::tickMs() + std::min<qint64>(ms, qint64(1) << 50);
    while (!ending()) {
        const qint64 left = deadline - clock_seam::tickMs();
        if (left <= 0)
            return true;
        waitSlice(std::min(left, kSliceMs));
    }
    return false;
}

bool waitWhile(const std::function<bool()>& cond, qint64 timeoutMs) {
    const qint64 deadline = timeoutMs < 0 ? -1 : clock_seam::tickMs() + std::min<qint64>(timeoutMs, qint64(1) << 50);
    while (!ending()) {
        if (!cond())
            return true;
        qint64 slice = kSliceMs;
        if (deadline >= 0) {
            const qint64 left = deadline - clock_seam::tickMs();
            if (left <= 0)
                return true;
            slice = std::min(left, kSliceMs);
        }
        waitSlice(slice);
    }
    return false;
}

void doEvents() {
    const Nivel nivel;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int nivelEspera() {
    return g_nivelEspera;
}

} // namespace program
