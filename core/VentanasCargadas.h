#pragma once
// The program's windows, whichever layer holds them, say here that they have loaded. The register of
// loaded windows (ui/RegistroVentanas) installs itself at start-up and keeps them, in the order they
// loaded, under the old forms' names, for the trigger rules to find one by name. Without an installed
// register nothing is kept.
#include <QString>
#include <functional>

class QObject;

namespace ventanas {

using AlCargar = std::function<void(QObject* ventana, const QString& nombre)>;
// nullptr: nothing is kept.
void setAlCargar(AlCargar alCargar);
// Each window calls it in its constructor with the old form's name ("frmConfig"). A destroyed window
// leaves the register by itself.
void cargada(QObject* ventana, const QString& nombre);

} // namespace ventanas
