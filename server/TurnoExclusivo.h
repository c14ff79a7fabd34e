#pragma once
// One turn shared by every connection of every socket window: the requests that must not overlap
// (the print actions, which share the printer layer's buffer) run one at a time, in the order they
// asked for it. A task that finds the turn taken is kept and runs later from the event loop, after
// every earlier one has finished; meanwhile the caller goes back to the event loop, so other
// requests (pings, logs, the weight) keep being answered while a print waits.
#include <QObject>
#include <deque>
#include <functional>

class TurnoExclusivo final : public QObject {
    Q_OBJECT
public:
    static TurnoExclusivo& instancia();

    // Runs `tarea` holding the turn: at once when it is free, else once its turn comes. The turn is
    // released when the task returns (or throws).
    void ejecuta(std::function<void()> tarea);

    bool ocupado() const { return m_ocupado; }
    std::size_t enEspera() const { return m_cola.size(); }

private:
    TurnoExclusivo() = default;
    void corre(std::function<void()>& tarea);
    void onSiguiente();

    bool m_ocupado = false;
    std::deque<std::function<void()>> m_cola;
};
