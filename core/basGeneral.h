#pragma once
// The start-up module's globals and the services every subsystem calls: logging, the central
// error handler, user messages, the database connections. Main() itself lives in core/ui.
#include "platform/Ado.h"
#include "platform/VBError.h"
#include "platform/Variant.h"
#include <QDateTime>
#include <QString>
#include <memory>

class clsParametros;
class Reg_class;
class clsDR;

// ---- Switches and start-up globals (set by Main) ----
extern bool gblnDebug;        // /Debug
extern bool gblnLog;          // /log: log.txt is written; MensajeUsuario never prints
extern bool gblnMensaje;      // /mensaje: every log line also in a message box
extern bool gblnDesarrollo;   // /desarrollo
extern bool gblnInstal;       // /instal...
extern int gintRetraso;       // /retraso=N seconds
extern QString gstrNombreBDSwitch;   // /nombre_bd=...
extern QString gstrIpServidorSwitch; // /ipservidor=...
extern QString gstrTPVSwitch;        // /tpv=...
extern QStringList gstrArgumentosOriginales;  // the switches as given, for a restart

extern qint32 glngEmpresa;
extern qint32 glngRestaurante;
extern qint16 gintTPV;
extern qint16 gintIdioma, gintIdiomaSecundario, gintIdiomaActual;
extern QString gstrTextoIVA, gstrTextoVendedor, gstrTextoCamarero, gstrTextoMesa, gstrTextoDrovanto;
extern bool gblnHayTextosPropios;
extern QDateTime gdtmFechaConexion;
extern QString gstrRutaRegistro;     // "SOFTWARE\Vesk\Tarvolin" under HKEY_CURRENT_USER
extern QString gstrNombreBD;         // database name fixed at the first connection
extern QString gstrConexionString;
extern QString gstrCarpetaImagenes;
extern QString gstrBBDDActual;
extern bool gblnParametrosCargados;
extern bool gblnProgramaInicializado;
extern bool gblnBalanzaActiva;
extern bool gblnGrabarLogDetallado;
extern bool gblnLogFicheroDesactivado;
extern int gintFicheroLog;
extern qint16 gintTeclaEnter;

// ---- Long-lived objects ----
clsParametros& objParametros();     // created on first use
Reg_class& objReg();                // created on first use
ado::Connection& ConexionServidor();
ado::Connection& ConexionLocal();
extern std::unique_ptr<clsDR> DR;   // created by the post-connection step

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
    virtual void setReconnectTimerEnabled(bool enabled) = 0;     // tmrIntentoConexion
    virtual void setScaleTimer(bool enabled, int intervalMs) = 0; // tmrBalanzaContinuo
    virtual bool scaleTimerEnabled() const = 0;
    virtual int scaleTimerInterval() const = 0;
    virtual void setWeightLabel(WeightLabel which, const QString& caption, bool visible) = 0;
    virtual void FinalizarProgramaYDescargarFormularios(bool restart) = 0;
};
class RecordingMainWindow : public MainWindowPort {
public:
    QStringList grid;
    bool conectado = false, reconnectTimer = false, scaleTimer = false;
    int scaleInterval = 0;
    QString labels[4];
    bool labelVisible[4] = {false, false, false, false};
    int finalizarCalls = 0;
    bool lastRestart = false;
    void AnadirLog(const QString& concepto) override { grid << concepto; }
    void MuestraIconoTareas(bool c) override { conectado = c; }
    void setReconnectTimerEnabled(bool e) override { reconnectTimer = e; }
    void setScaleTimer(bool e, int ms) override { scaleTimer = e; scaleInterval = ms; }
    bool scaleTimerEnabled() const override { return scaleTimer; }
    int scaleTimerInterval() const override { return scaleInterval; }
    void setWeightLabel(WeightLabel w, const QString& c, bool v) override { labels[int(w)] = c; labelVisible[int(w)] = v; }
    void FinalizarProgramaYDescargarFormularios(bool r) override { ++finalizarCalls; lastRestart = r; }
};
MainWindowPort& mainWindow();
void setMainWindow(MainWindowPort* w);  // nullptr restores the recording default
RecordingMainWindow& recordingMainWindow();  // the default instance

// ---- Printing as the core needs it (the printer layer registers itself) ----
class ErrorPrinter {
public:
    virtual ~ErrorPrinter() = default;
    // "Tarvolin Error: " + error text, one line, sent at once as its own job.
    virtual void printErrorLine(const QString& errorText) = 0;
    // The unattended message ticket: the seven lines and the cut, as its own job.
    virtual void printErrorTicket(const QString& message) = 0;
};
void setErrorPrinter(ErrorPrinter* p);  // nullptr: nothing is printed
ErrorPrinter* errorPrinter();

// ---- Logging and errors ----
QString RutaAplicacion();  // the program's folder, no trailing separator
QString CarpetaImagenes(); // gstrCarpetaImagenes, defaulting to RutaAplicacion() + "/imgs"
void GrabaLog(const QString& strMensaje, bool blnForzar = false);
void GrabaLogBBDD(const QString& strMensaje);
// Call from a catch block with the caught error (use vb::CurrentError() in catch (...)).
void ControlErrores(const QString& strProcedimiento, bool blnReconectar, const VBError& err);
int MensajeUsuario(const QString& strMensaje, int lngBotones = 0, const QString& strTitulo = {});
int MensajeUsuarioSimple(const QString& strMensaje, int lngBotones = 0, const QString& strTitulo = {});

// ---- Database connections ----
QString getDriverODBCMySQL();
bool ConectaBBDD();
bool ComCentral();
