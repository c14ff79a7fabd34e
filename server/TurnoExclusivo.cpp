#include "TurnoExclusivo.h"

#include "platform/Program.h"

#include <QScopedValueRollback>

namespace {
constexpr int kPasadasEntreTareas = 3;
}

TurnoExclusivo::TurnoExclusivo() {
    m_relevo.setSingleShot(true);
    m_relevo.setInterval(0);
    connect(&m_relevo, &QTimer::timeout, this, &TurnoExclusivo::onSiguiente);
}

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

bool TurnoExclusivo::ejecutaYa(std::function<void()> tarea) {
    if (!libre())
        return false;
    m_relevo.stop();
    m_ocupado = true;
    corre(tarea);
    return true;
}

void TurnoExclusivo::corre(std::function<void()>& tarea) {
    // The turn passes to the next task from the event loop, never from inside the task that ends:
    // that one may itself run nested inside another request's wait. A zero timer runs after the
    // loop has polled the sockets (a posted call would run in the same batch as the requests
    // posted before it).
    struct Libera {
        TurnoExclusivo* t;
        ~Libera() {
            t->m_corriendo = false;
            t->m_relevo.start();
        }
    } libera{this};
    m_corriendo = true;
    tarea();
}

void TurnoExclusivo::onSiguiente() {
    // Inside the passes below (a task run with ejecutaYa started the timer again): the hand-over
    // under way decides once its passes are done.
    if (m_relevando)
        return;
    // The passes come first, even with nobody waiting here. A zero timer started while the loop
    // sends posted calls may run in that same round, before the sockets are polled and before the
    // requests already read have asked for the turn: a print read just ahead of a ping would find
    // the turn free and run before it. Meanwhile the turn stays taken, so a print that asks waits
    // here, and a request that has just connected gets its passes (accept, read, answer).
    {
        const QScopedValueRollback relevando(m_relevando, true);
        for (int i = 0; i < kPasadasEntreTareas; ++i)
            program::doEvents();
    }
    if (m_cola.empty()) {
        m_ocupado = false;
        return;
    }
    std::function<void()> tarea = std::move(m_cola.front());
    m_cola.pop_front();
    corre(tarea);
}
