#include "rules/ObjetosGlobales.h"

#include "core/clsDR.h"

#include <QHash>

std::shared_ptr<vb::LateBound> objFunc;
std::unique_ptr<clsDR> QM;

ado::Connection& ConexionRemota() {
    static ado::Connection conexion;
    return conexion;
}

namespace reglas {

namespace {
// What the upper layers registered; forgetting it all is one assignment.
struct Registro {
    QHash<QString, Localizador> localizadores;
    VentanasCargadas ventanas;
};
Registro& registro() {
    static Registro r;
    return r;
}
} // namespace

void registraObjeto(const QString& nombre, Localizador localizador) {
    registro().localizadores.insert(nombre, std::move(localizador));
}

vb::LateBound* objetoRegistrado(const QString& nombre) {
    const Localizador l = registro().localizadores.value(nombre);
    return l ? l() : nullptr;
}

void registraVentanasCargadas(VentanasCargadas v) {
    registro().ventanas = std::move(v);
}

QList<QPair<QString, vb::LateBound*>> ventanasCargadas() {
    const VentanasCargadas& v = registro().ventanas;
    return v ? v() : QList<QPair<QString, vb::LateBound*>>{};
}

void resetRegistroForTests() {
    registro() = {};
}

} // namespace reglas
