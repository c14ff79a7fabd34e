#pragma once
// What the trigger rules reach beyond their own object: the global slots that belong to the point
// of sale's components (never filled by this program), and the program's objects that live in upper
// layers (the request server, the main window, the loaded windows), which those layers register at
// start-up so that the rules can call them by name.
#include "platform/Ado.h"
#include "platform/LateBound.h"

#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>

class clsDR;

// The point of sale's main-functions object. Nothing in this program sets it.
extern std::shared_ptr<vb::LateBound> objFunc;
// A second query object. Nothing in this program sets it.
extern std::unique_ptr<clsDR> QM;
// The central database connection. Nothing in this program opens it.
ado::Connection& ConexionRemota();

namespace reglas {

// Finds a registered object (nullptr when it is absent at the time of the call).
using Localizador = std::function<vb::LateBound*()>;
// The loaded windows in the order they were loaded, each with its name.
using VentanasCargadas = std::function<QList<QPair<QString, vb::LateBound*>>()>;

// "SocketFront" and "frmPrincipal" (whose locator loads the window when it is not loaded yet).
void registraObjeto(const QString& nombre, Localizador localizador);
vb::LateBound* objetoRegistrado(const QString& nombre);
void registraVentanasCargadas(VentanasCargadas ventanas);
QList<QPair<QString, vb::LateBound*>> ventanasCargadas();
// Forgets every registration (tests).
void resetRegistroForTests();

} // namespace reglas
