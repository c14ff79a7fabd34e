#include "ui/TemporizadorVB.h"

TemporizadorVB::TemporizadorVB(int intervaloMs, QObject* parent) : QObject(parent), m_interval(qMax(0, intervaloMs)) {
    connect(&m_timer, &QTimer::timeout, this, &TemporizadorVB::onTimeout);
}

void TemporizadorVB::setEnabled(bool enabled) {
    m_enabled = enabled;
    actualiza();
}

void TemporizadorVB::setInterval(int ms) {
    m_interval = qMax(0, ms);
    actualiza();
}

void TemporizadorVB::actualiza() {
    if (m_enabled && m_interval > 0) {
        // Setting a new interval restarts the count, as it does for a window timer.
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

void TemporizadorVB::onTimeout() {
    emit Timer();
}
