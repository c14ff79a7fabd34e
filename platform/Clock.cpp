#include "Clock.h"
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
    return f ? f() : QDateTime::currentDateTime();
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
