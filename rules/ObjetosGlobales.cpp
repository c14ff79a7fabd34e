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
QHash<QString, Localizador>& localizadores() {
    static QHash<QString, Localizador> l;
    return l;
}
VentanasCargadas& ventanas() {
    static VentanasCargadas v;
    return v;
}
} // namespace

void registraObjeto(const QString& nombre, Localizador localizador) {
    localizadores().insert(nombre, std::move(localizador));
}

vb::LateBound* objetoRegistrado(const QString& nombre) {
    const auto it = localizadores().constFind(nombre);
    return it != localizadores().constEnd() && *it ? (*it)() : nullptr;
}

void registraVentanasCargadas(VentanasCargadas v) {
    ventanas() = std::move(v);
}

QList<QPair<QString, vb::LateBound*>> ventanasCargadas() {
    return ventanas() ? ventanas()() : QList<QPair<QString, vb::LateBound*>>{};
}

void resetRegistroForTests() {
    localizadores().clear();
    ventanas() = nullptr;
}

} // namespace reglas
