#include "core/VentanasCargadas.h"

namespace ventanas {

namespace {
AlCargar& alCargar() {
    static AlCargar f;
    return f;
}
} // namespace

void setAlCargar(AlCargar f) {
    alCargar() = std::move(f);
}

void cargada(QObject* ventana, const QString& nombre) {
    if (const AlCargar& f = alCargar())
        f(ventana, nombre);
}

} // namespace ventanas
