#pragma once
// One turn shared by every connection of every socket window: the requests that must not overlap
// (the print actions, whose pieces must not interleave on a printer) run one at a time, in the order they
// asked for it. A task that finds the turn taken is kept and runs later from the event loop, after
// every earlier one has finished; meanwhile the caller goes back to the event loop, so other
// requests (pings, logs, the weight) keep being answered while a print waits.
//
// The turn passes on through a zero timer, never straight from one task to the next: the event
// loop polls the sockets between two prints, so a ping that came in meanwhile is answered then,
// not after the whole queue of prints. It is freed the same way, after those passes: a print read
// ahead of that ping waits for them too.
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

class TurnoExclusivo final : public QObject {
    Q_OBJECT
public:
    static TurnoExclusivo& instancia();

    // Runs `tarea` holding the turn: at once when it is free, else once its turn comes. The turn is
    // released when the task returns (or throws).
    void ejecuta(std::function<void()> tarea);

    // A task runs or waits, or the turn has not been handed back yet: ejecuta() would not run a
    // new task at once.
    bool ocupado() const { return m_ocupado; }
    // No task runs or waits; the turn may still be on its way back from the last one.
    bool libre() const { return !m_corriendo && m_cola.empty(); }
    // For a caller that runs its own tasks one after the other (the request queue's drain): runs
    // `tarea` at once holding the turn when libre(), taking the turn back from a hand-over that
    // found nobody waiting; false, running nothing, otherwise.
    bool ejecutaYa(std::function<void()> tarea);
    std::size_t enEspera() const { return m_cola.size(); }

private:
    TurnoExclusivo();
    void corre(std::function<void()>& tarea);
    void onSiguiente();

    QTimer m_relevo;
    bool m_ocupado = false; // taken from the start of a task until the event loop has run after it
    bool m_corriendo = false;
    bool m_relevando = false; // onSiguiente runs its passes
    std::deque<std::function<void()>> m_cola;
};
