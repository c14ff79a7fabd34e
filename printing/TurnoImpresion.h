#pragma once
// The print turn: prints that must not mix in the shared print buffer run one at a time. The request
// server owns the turn its socket prints take and installs it here at start-up; printers below the
// server (the trigger rules' special tickets) take the same turn through EnTurnoDeImpresion.
// Without an installed turn the task runs at once.
#include <functional>

namespace basPrinter {

using TurnoImpresion = std::function<void(std::function<void()>)>;

// Runs `tarea` holding the print turn: at once when the turn is free, else later from the event loop
// once every earlier holder has finished.
void EnTurnoDeImpresion(std::function<void()> tarea);
// Installs the turn (nullptr: tasks run at once).
void setTurnoImpresion(TurnoImpresion turno);

} // namespace basPrinter
