#include "TurnoExclusivo.h"

#include <QTimer>

TurnoExclusivo& TurnoExclusivo::instancia() {
    static TurnoExclusivo turno;
    return turno;
}

void TurnoExclusivo::ejecuta(std::function<void()> tarea) {
    if (m_ocupado) {
        m_cola.push_back(std::move(tarea));
        return;
    }
    m_ocupado = true;
    corre(tarea);
}

void TurnoExclusivo::corre(std::function<void()>& tarea) {
    // The turn passes to the next task from the event loop, never from inside the task that ends:
    // that one may itself run nested inside another request's wait.
    struct Libera {
        TurnoExclusivo* t;
        ~Libera() {
            if (t->m_cola.empty())
                t->m_ocupado = false;
            else
                QTimer::singleShot(0, t, &TurnoExclusivo::onSiguiente);
        }
    } libera{this};
    tarea();
}

void TurnoExclusivo::onSiguiente() {
    if (m_cola.empty()) {
        m_ocupado = false;
        return;
    }
    std::function<void()> tarea = std::move(m_cola.front());
    m_cola.pop_front();
    corre(tarea);
}
