#pragma once
// The start-up module's globals and the services every subsystem calls: logging, the central
// error handler, user messages, the database connections. Main() itself lives in ui/.
#include "platform/Ado.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "platform/Variant.h"
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>

class clsParametros;
class Reg_class;
class clsDR;

// ---- Switches and start-up globals (set by Main) ----
// The module's globals live in two structs so that putting them back is one assignment; each keeps
// its old name as a reference, so code reads `gblnLog` as it always did.
struct EstadoInterruptores {
    bool gblnDebug = false;               // /Debug
    bool gblnLog = false;                 // /log: log.txt is written; MensajeUsuario never prints
    bool gblnMensaje = false;             // /mensaje: every log line also in a message box
    bool gblnDesarrollo = false;          // /desarrollo
    bool gblnInstal = false;              // /instal...
    int gintRetraso = 0;                  // /retraso=N seconds
    QString gstrNombreBDSwitch;           // /nombre_bd=...
    QString gstrIpServidorSwitch;         // /ipservidor=...
    QString gstrTPVSwitch;                // /tpv=...
    QStringList gstrArgumentosOriginales; // the switches as given, for a restart
    bool operator==(const EstadoInterruptores&) const = default;
};
extern EstadoInterruptores gInterruptores;

struct EstadoSesion {
    qint32 glngEmpresa = 0;
    qint32 glngRestaurante = 0;
    qint16 gintTPV = 0;
    qint16 gintIdioma = 0, gintIdiomaSecundario = 0, gintIdiomaActual = 0;
    QString gstrTextoIVA, gstrTextoVendedor, gstrTextoCamarero, gstrTextoMesa, gstrTextoDrovanto;
    bool gblnHayTextosPropios = false;
    QDateTime gdtmFechaConexion;
    QString gstrRutaRegistro = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin");
    QString gstrNombreBBDD; // database name fixed at the first connection
    QString gstrCadenaConexion;
    QString gstrCarpetaImagenes;
    QString gstrBBDDActual;
    bool gblnParametrosCargados = false;
    bool gblnProgramaInicializado = false;
    bool gblnBalanzaActiva = false;
    bool gblnGrabarLogDetallado = false;
    bool gblnLogFicheroDesactivado = false;
    int gintFicheroLog = 0;
    qint16 gintTeclaEnter = 0;
    qint16 gintTeclaEsc = 0, gintTeclaEspacio = 0, gintTeclaArriba = 0, gintTeclaAbajo = 0, gintTeclaIzquierda = 0,
           gintTeclaDerecha = 0;
    bool gblnConexionesInicializadas = false; // the post-connection step has run (once per run)
    // Key remap for point-of-sale keyboards, indexed by key code: an entry is a list {kind, code}
    // (kind 33 or 34 with FuncRS6500 = 1: the key acts as the code; kind 3: Enter). Nothing fills
    // it, so every entry is empty; the access-code keypad reads it.
    std::array<QVariant, 256> gvarMapaTeclas{};
    // Snapshot of the application key's values taken by GetParamReg: element 0 empty, then name and
    // value pairs. Reg_class::Lee_Valor answers reads of gstrRutaRegistro from it.
    QStringList garrValoresRegistro;
    bool operator==(const EstadoSesion&) const = default;
};
extern EstadoSesion gSesion;

extern bool &gblnDebug, &gblnLog, &gblnMensaje, &gblnDesarrollo, &gblnInstal;
extern int& gintRetraso;
extern QString &gstrNombreBDSwitch, &gstrIpServidorSwitch, &gstrTPVSwitch;
extern QStringList& gstrArgumentosOriginales;

extern qint32 &glngEmpresa, &glngRestaurante;
extern qint16& gintTPV;
extern qint16 &gintIdioma, &gintIdiomaSecundario, &gintIdiomaActual;
extern QString &gstrTextoIVA, &gstrTextoVendedor, &gstrTextoCamarero, &gstrTextoMesa, &gstrTextoDrovanto;
extern bool& gblnHayTextosPropios;
extern QDateTime& gdtmFechaConexion;
extern QString &gstrRutaRegistro, &gstrNombreBBDD, &gstrCadenaConexion, &gstrCarpetaImagenes, &gstrBBDDActual;
extern bool &gblnParametrosCargados, &gblnProgramaInicializado, &gblnBalanzaActiva, &gblnGrabarLogDetallado,
    &gblnLogFicheroDesactivado;
extern int& gintFicheroLog;
extern qint16 &gintTeclaEnter, &gintTeclaEsc, &gintTeclaEspacio, &gintTeclaArriba, &gintTeclaAbajo, &gintTeclaIzquierda,
    &gintTeclaDerecha;
extern bool& gblnConexionesInicializadas;
extern std::array<QVariant, 256>& gvarMapaTeclas;
extern QStringList& garrValoresRegistro;

// ---- Long-lived objects ----
clsParametros& objParametros(); // created on first use
Reg_class& objReg();            // created on first use
ado::Connection& ConexionServidor();
ado::Connection& ConexionLocal();
extern std::unique_ptr<clsDR> DR; // created by the post-connection step

// ---- The main window as the services see it ----
// frmPrincipal's public variables live here so code and tests need no widget to read them.
struct FrmPrincipalVars {
    bool blnConexionOk = false;
    bool blnImpresoraSecundaria = false;
    bool blnCintaControl = false;
    qint32 lngTPV = 0, lngTicket = 0, lngTipoVip = 0, lngLinTicket = 0;
    qint16 intCamarero = 0, intIva = 0;
};
FrmPrincipalVars& frmPrincipalVars();

enum class WeightLabel { Cantidad, Descripcion, Cambio, Precio };

// What the services call upward on the main window. The window registers itself at start-up;
// until then (and in tests) a recording default keeps the grid rows and timer states.
class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;
    virtual void AnadirLog(const QString& concepto) = 0;
    virtual void MuestraIconoTareas(bool conectado) = 0;
    virtual void setReconnectTimerEnabled(bool enabled) = 0;      // tmrIntentoConexion
    virtual void setScaleTimer(bool enabled, int intervalMs) = 0; // tmrBalanzaContinuo
    virtual bool scaleTimerEnabled() const = 0;
    virtual int scaleTimerInterval() const = 0;
    virtual void setWeightLabel(WeightLabel which, const QString& caption, bool visible) = 0;
    virtual void FinalizarProgramaYDescargarFormularios(bool restart) = 0;
    // The log lines this window kept and forgets now (the default window keeps those written before
    // the real one registered); none by default.
    virtual QStringList takeLogLines() { return {}; }
    // Back to the state of a new window (the reset between tests).
    virtual void resetForTests() {}
};
// The main window until one registers itself: it keeps the log lines written meanwhile (the window
// shows them first) and the scale timer's state; nothing is shown.
class EarlyMainWindow final : public MainWindowPort {
public:
    void AnadirLog(const QString& concepto) override;
    void MuestraIconoTareas(bool) override {}
    void setReconnectTimerEnabled(bool) override {}
    void setScaleTimer(bool enabled, int intervalMs) override;
    bool scaleTimerEnabled() const override { return m_scaleTimer; }
    int scaleTimerInterval() const override { return m_scaleInterval; }
    void setWeightLabel(WeightLabel, const QString&, bool) override {}
    void FinalizarProgramaYDescargarFormularios(bool) override {}
    QStringList takeLogLines() override;
    void resetForTests() override;

private:
    QStringList m_lines;
    bool m_scaleTimer = false;
    int m_scaleInterval = 0;
};
MainWindowPort& mainWindow();
void setMainWindow(MainWindowPort* w);        // nullptr restores the default window
void setDefaultMainWindow(MainWindowPort* w); // the window used while none is registered; nullptr: an
                                              // EarlyMainWindow (tests install a recording one)

// ---- Printing as the core needs it (the printer layer registers itself) ----
class ErrorPrinter {
public:
    virtual ~ErrorPrinter() = default;
    // "Tarvolin Error: " + error text, one line, sent at once as its own job.
    virtual void printErrorLine(const QString& errorText) = 0;
    // The unattended message ticket: the seven lines and the cut, as its own job.
    virtual void printErrorTicket(const QString& message) = 0;
    // Whether the printer's parameters are known (the till's rows loaded, now or on an earlier start): a
    // print without them would end the program for want of one.
    virtual bool conoceSusParametros() const { return true; }
};
void setErrorPrinter(ErrorPrinter* p); // nullptr: nothing is printed
ErrorPrinter* errorPrinter();

// ---- Logging and errors ----
QString RutaAplicacion();  // the program's folder, no trailing separator
QString CarpetaImagenes(); // gstrCarpetaImagenes, defaulting to RutaAplicacion() + "/imgs"
// Grid row always; log.txt under /log or when forced. The third flag is accepted and not used.
// A failed write of log.txt sets gblnLogFicheroDesactivado and is told once per run, on standard
// error and in the grid (never in a box); the next write that succeeds clears it again. When log.txt
// passes kTamanoMaximoLog bytes it is renamed log.txt.1 (replacing the earlier one) and a new one starts.
inline constexpr qint64 kTamanoMaximoLog = qint64(64) << 20;
void setTamanoMaximoLog(qint64 bytes); // for tests; 0 puts kTamanoMaximoLog back
void GrabaLog(const QString& strMensaje, bool blnForzar = false, bool blnNoUsado = false);
// Now as the grid and log.txt show it: "dd/MM/yyyy HH:mm:ss".
QString FechaHoraLog();
// A log line as the grid and log.txt keep it: past kLongitudMaximaLineaLog characters it is cut
// and ends with a marker that says how much was left out.
inline constexpr int kLongitudMaximaLineaLog = 4096;
QString RecortaLineaLog(const QString& strMensaje);
// Grid row and a qm_log row. The second argument is accepted and not used.
// False when the row could not be stored (the grid line is added all the same); a link the
// connection could not open again starts the reconnect state (IniciaReconexion).
bool GrabaLogBBDD(const QString& strMensaje, int intNoUsado = 0);
// Call from a catch block with the caught error (use vb::CurrentError() in catch (...)).
// Reports the error (grid, the printed "Tarvolin Error:" line, qm_log). With blnReconectar and an
// error that says the link is gone (ErrorProvocaReconexion), opens both connections again at once
// (ReconectaAhora); when that fails the reconnect timer goes on trying. It never waits for the timer.
void ControlErrores(const QString& strProcedimiento, bool blnReconectar, const VBError& err);
// Report and go on: runs f; a run-time error inside it is handed to ControlErrores under that name
// and the caller goes on. Ending the program passes through. True when f ran to its end.
template <class F> bool AtrapaErrores(const QString& strProcedimiento, F&& f, bool blnReconectar = true) {
    return vb::OnError(std::forward<F>(f),
                       [&](const VBError& e) { ControlErrores(strProcedimiento, blnReconectar, e); });
}
// The error text of ControlErrores: "ERROR: " proc ": " description CR LF "(" number " - " source ")".
QString TextoError(const QString& strProcedimiento, const VBError& err);
// True when ControlErrores, asked to reconnect, opens the connections again for this error: a lost
// link (ado::isLostLink) or a statement on a closed connection (3709); never an error of a value.
bool ErrorProvocaReconexion(const VBError& err);
int MensajeUsuario(const QString& strMensaje, int lngBotones = 0, const QString& strTitulo = {});
// A message for the screen only, for the boxes that never went on paper (a registry or parameter
// failure, the script interpreter's boxes, a scale port error): a message box, or, on a road that
// shows none (SinDialogosModales), the grid and log.txt (forced) and the answer 0.
int MensajeEnPantalla(const QString& strMensaje, int lngBotones = 0, const QString& strTitulo = {});
// A box asked for directly, past MensajeUsuario, on a road that shows none (the prompts seam's
// handler): the grid and log.txt (forced); a grid that asks for a box of its own meanwhile sends
// that one to standard error only.
void CajaNoMostrada(const QString& strMensaje);
// While one lives no message box is shown: where MensajeUsuario would show one it writes the text to
// the grid and log.txt (forced) and answers 0, as its printed road does, and the /mensaje box of each
// log line is left out. The print road holds one while it serves a request: a box on a screen that
// nobody watches would hold the reply and every print behind it. They nest. A guard covers only the
// code of its own road: what other events run inside that road's waits (an operator's dialog, say)
// shows its boxes as usual. Below it the prompts seam opens nothing on that road either
// (prompts::NoBoxes): a box asked for there directly is written to the grid and log.txt.
class SinDialogosModales final {
public:
    SinDialogosModales() = default;
    SinDialogosModales(const SinDialogosModales&) = delete;
    SinDialogosModales& operator=(const SinDialogosModales&) = delete;

private:
    prompts::NoBoxes m_guarda;
};
int MensajeUsuarioSimple(const QString& strMensaje, int lngBotones = 0, const QString& strTitulo = {});

// ---- Database connections ----
QString getDriverODBCMySQL();
// The driver choice over a registry pair list (element 0 empty, then name and data pairs). Among the
// installed drivers (data "Installed", any case) whose name holds "MySQL" (case-sensitive) or "MariaDB"
// (any case): a Unicode one before one whose name says neither, and that before an ANSI one; among
// equals the last listed. Without any, a value named exactly "MySQL" whatever its data; empty when
// none. Without braces.
QString EligeDriverODBCMySQL(const QStringList& pares);
// "PASSWORD=" value for a MysqlPassword parameter: 0 -> empty, 1 -> the built-in one, else the text;
// a password holding ';', '{' or '}' is wrapped in braces (a '}' inside doubled), unless it is
// stored in its braces already.
QString PasswordConexion(const QString& strMysqlPassword);
// Opens both connections (closing them first); true on success. A failure is logged, and given to
// the caller in *fallo when asked.
bool ConectaBBDD(VBError* fallo = nullptr);
// Makes sure both connections can be used before a job: a link that died while the till was quiet
// (a server restart, its idle time-out, a KILL) is found here and both connections are opened again
// at once. When that fails the error is reported without a wait, the reconnect timer goes on trying,
// and the result is false. The two arguments are accepted and not used.
bool ComCentral(bool blnNoUsado1 = true, bool blnNoUsado2 = true);
// How many times ConectaBBDD has opened both connections in this run: a new number is a link that
// came back (what failed on the old one may be tried again).
int NumeroConexion();
// The reconnect state that ControlErrores starts on a lost link, without its wait: both
// connections closed, blnConexionOk false, the reconnect timer on.
void IniciaReconexion();
// A lost link found by a job that must go on: reconnects both connections now instead of waiting
// for the reconnect timer. On failure leaves the reconnect state (IniciaReconexion), gives the
// error in *fallo when asked and returns false; it never waits.
bool ReconectaAhora(VBError* fallo = nullptr);

// ---- The reconnect timer's work (tmrIntentoConexion) ----
// The main window's 10 s timer calls this on every tick. It switches the timer off, runs
// ConectaBBDD and, when that fails, switches the timer on again. On success blnConexionOk is true
// (every ControlErrores wait then returns) and, the first time in the run, the post-connection step
// runs (gblnConexionesInicializadas is set before it). Returns ConectaBBDD's result.
bool IntentoConexionTick();
// The post-connection step (the start-up registers InicializaConexionesAfter); empty: none.
void setPasoPostConexion(std::function<void()> paso);

// Puts the module's run state back as at start (log file, switches, connections closed, DR, flags,
// main window and printer defaults). For tests.
void resetBasGeneralForTests();
