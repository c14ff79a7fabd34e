#include "printing/TurnoImpresion.h"

namespace basPrinter {

namespace {
TurnoImpresion& turnoInstalado() {
    static TurnoImpresion turno;
    return turno;
}
} // namespace

void EnTurnoDeImpresion(std::function<void()> tarea) {
    if (turnoInstalado())
        turnoInstalado()(std::move(tarea));
    else
        tarea();
}

void setTurnoImpresion(TurnoImpresion turno) {
    turnoInstalado() = std::move(turno);
}

} // namespace basPrinter
