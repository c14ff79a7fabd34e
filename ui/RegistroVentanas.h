#pragma once
// The register of the program's loaded windows. Every window (ui's own, the controls' keypads, the
// back-office client's window, the socket form) tells it that it has loaded (core/VentanasCargadas.h) and is dropped
// from it once destroyed. The trigger rules' GetObjetoSingleton looks a window up in it by the old
// form's name, the first loaded first. A window that opens no member to calls by name is found all
// the same, as an object whose every call by name is refused (error 438).
#include "platform/LateBound.h"

#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>
#include <memory>

// What a call by name reaches of a window that lists no members of its own.
class VentanaSinMiembros final : public vb::LateBound {
public:
    explicit VentanaSinMiembros(QObject* ventana) : m_ventana(ventana) {}
    vb::CallableMembers callableMembers() override { return {}; }
    QObject* ventana() const { return m_ventana; }

private:
    QPointer<QObject> m_ventana;
};

class RegistroVentanas final {
public:
    static RegistroVentanas& instancia();

    // Installs the register as the one the windows tell and the one the rules look in.
    void instala();
    void carga(QObject* ventana, const QString& nombre);
    // The windows still loaded, in the order they loaded, each with its name and what a call by
    // name reaches of it: the window itself when it lists members, else its VentanaSinMiembros.
    QList<QPair<QString, vb::LateBound*>> cargadas() const;
    // Forgets every window and takes the register away (tests).
    void resetForTests();

private:
    struct Entrada {
        QPointer<QObject> ventana;
        QString nombre;
        std::shared_ptr<VentanaSinMiembros> sinMiembros;
    };
    QList<Entrada> m_entradas;
};
