#pragma once
// One source of "now" for dates on tickets, logs and time-outs, and a monotonic tick.
#include <QDateTime>
#include <functional>

namespace clock_seam {
QDateTime now();                                 // local date and time
void setNowSource(std::function<QDateTime()> f); // tests; nullptr restores the system clock
qint64 tickMs();                                 // monotonic milliseconds (never wraps)
double secondsSinceMidnight();                   // from now(), with fractions
} // namespace clock_seam
