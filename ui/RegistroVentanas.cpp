#include "ui/RegistroVentanas.h"

#include "core/VentanasCargadas.h"
#include "rules/ObjetosGlobales.h"

RegistroVentanas& RegistroVentanas::instancia() {
    static RegistroVentanas r;
    return r;
}

void RegistroVentanas::instala() {
    ventanas::setAlCargar([this](QObject* ventana, const QString& nombre) { carga(ventana, nombre); });
    reglas::registraVentanasCargadas([this] { return cargadas(); });
}

void RegistroVentanas::carga(QObject* ventana, const QString& nombre) {
    m_entradas.removeIf([](const Entrada& e) { return e.ventana.isNull(); });
    m_entradas.append({ventana, nombre, std::make_shared<VentanaSinMiembros>(ventana)});
}

QList<QPair<QString, vb::LateBound*>> RegistroVentanas::cargadas() const {
    QList<QPair<QString, vb::LateBound*>> r;
    for (const Entrada& e : m_entradas) {
        if (QObject* v = e.ventana) {
            auto* propia = dynamic_cast<vb::LateBound*>(v);
            r.append({e.nombre, propia ? propia : e.sinMiembros.get()});
        }
    }
    return r;
}

void RegistroVentanas::resetForTests() {
    m_entradas.clear();
    ventanas::setAlCargar(nullptr);
}
