#include "Clock.h"
#include <limits>
#include <time.h>

namespace clock_seam {
namespace {
std::function<QDateTime()>& source() {
    static std::function<QDateTime()> f;
    return f;
}
} // namespace

QDateTime now() {
    const auto& f = source();
    if (f)
        return f();
    // The local time asks the C library for the zone, which reads /etc/localtime again on every call
    // when TZ is not set: the zone's offset is taken once a second and reused within it.
    thread_local qint64 segundo = std::numeric_limits<qint64>::min();
    thread_local int desfase = 0;
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    const qint64 s = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (s != segundo) {
        desfase = QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).offsetFromUtc();
        segundo = s;
    }
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, desfase);
}

void setNowSource(std::function<QDateTime()> f) {
    source() = std::move(f);
}

qint64 tickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

double secondsSinceMidnight() {
    return now().time().msecsSinceStartOfDay() / 1000.0;
}

} // namespace clock_seam
