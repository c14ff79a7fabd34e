#pragma once
// A window timer with the two settings the program's timers have: enabled and interval. An interval
// of 0 keeps the timer enabled but silent; it starts ticking as soon as it gets an interval. Each
// tick raises Timer(); handlers switch the timer off first and on again when they want more ticks.
#include <QObject>
#include <QTimer>

class TemporizadorVB final : public QObject {
    Q_OBJECT
public:
    explicit TemporizadorVB(int intervaloMs = 0, QObject* parent = nullptr);

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    int Interval() const { return m_interval; }
    void setInterval(int ms);
    // True while ticks are actually coming (enabled with an interval above 0).
    bool activo() const { return m_timer.isActive(); }

signals:
    void Timer();

private:
    void actualiza();
    void onTimeout();

    QTimer m_timer;
    bool m_enabled = false;
    int m_interval = 0;
};
