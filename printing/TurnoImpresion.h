#pragma once
// The print turn orders whole prints on the printers: each composer owns its job, but a print sends
// one job per piece and waits between them, so without the turn the pieces of two tickets would come
// out of the printer interleaved. The request server owns the turn its socket prints take and
// installs it here at start-up; printers below the server (the trigger rules' special tickets) take
// the same turn through EnTurnoDeImpresion. Without an installed turn the task runs at once.
#include <functional>

namespace basPrinter {

using TurnoImpresion = std::function<void(std::function<void()>)>;

// Runs `tarea` holding the print turn: at once when the turn is free, else later from the event loop
// once every earlier holder has finished.
void EnTurnoDeImpresion(std::function<void()> tarea);
// Installs the turn (nullptr: tasks run at once).
void setTurnoImpresion(TurnoImpresion turno);

} // namespace basPrinter
