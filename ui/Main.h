#pragma once
// The start-up module: Main, the command-line switches, the one-instance lock and the small module
// procedures (keys, images folder, document launcher, component registration). The long-lived
// objects that the post-connection step creates live here too.
#include "core/basGeneral.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class clsBotones;
class frmPrincipal;

// ---- Command-line switches ----
// The program's arguments as one command-line text: joined with blanks, so "tarvolin /log /tpv=3"
// reads as the Windows program read "/log /tpv=3".
QString LineaDeComandos(const QStringList& argumentos);
// Reads the switches of a command line straight into the start-up state (gblnDebug,
// gstrNombreBDSwitch, gintRetraso, ...): each switch the line holds sets its field, a switch it does
// not hold leaves its field as it was. Splits at every "/" (the text before the first one is
// ignored); each piece is one switch, and a value is kept only when its piece holds exactly one "=".
void LeeInterruptores(const QString& strLineaComandos, EstadoInterruptores& estado);
// The arguments a restart passes on: the original ones without their own delay, then "/retraso=5".
QStringList ArgumentosReinicio(const QStringList& originales);

// ---- Start-up ----
// Runs the start-up and returns; the program then lives in the event loop. `argumentos` are the
// program's arguments without its own name.
void Main(const QStringList& argumentos);
// The start-up's scale step: with UsarBalanza 1, opens the scale on COM<PuertoBalanza> (1 to 9) with
// the settings of its model.
void ActivaBalanza(frmPrincipal& frm);

// The main window, loaded (hidden) on first use and registered as the services' main window.
frmPrincipal& FrmPrincipal();
bool FrmPrincipalCargado();
// Loads the literals now when the post-connection step has run, else on its first run.
void CargaLiteralesCuandoHayaConexion();
// The post-connection step calls this last: loads the literals that the start-up left waiting.
void CargaLiteralesPendientes();

// ---- One instance per user ----
// Takes the lock file in $XDG_RUNTIME_DIR (or /tmp); the lock goes with the process. False when
// another running instance holds it.
bool ReservaInstancia();
QString RutaBloqueoInstancia();

// ---- Module procedures ----
void InicializaTeclas();
QString RutaImgs();
// Opens a file: a program is started with the arguments, any other file goes to the desktop's
// handler for its type. The show code is the Windows one and means nothing here.
void EjecutaPrograma(const QString& strRuta, qint16 intCodigoVentana, const QStringList& parametros);
void EjecutaPrograma(const QString& strRuta, qint16 intCodigoVentana, const QString& strParametros);
void RegistraComponentes();

// How a command run by EjecutaComandoYEspera ended.
struct FinComando {
    enum Estado { Terminado, NoArranca, FueraDePlazo };
    Estado estado = NoArranca;
    int codigoSalida = -1; // Terminado: the command's exit code; -1 when a signal ended it
    QString error;         // NoArranca, FueraDePlazo, or a signal: what was logged
};
inline constexpr int kEsperaComandoMs = 60000;
// Runs a command line (split at blanks, a double-quoted part kept whole, as a Windows command line;
// no shell reads it), its output on ours and its input empty, and waits for it to end without
// running events. A command that cannot start, and one still running after `msMaximo`
// (stopped then), are logged and told in the result.
FinComando EjecutaComandoYEspera(const QString& strComando, int msMaximo = kEsperaComandoMs);

// ---- Long-lived objects created by the post-connection step ----
extern std::unique_ptr<clsBotones> objBotones;
// SocketFront (the request server) is declared with its class in server/clsSocketFront.h.

// Drops the window, the long-lived objects and the waiting literals (tests).
void resetMainForTests();

// Intervals of the two 10-second retry timers; TARVOLIN_RETRY_MS shortens both (tests).
int IntervaloReintentoMs();
