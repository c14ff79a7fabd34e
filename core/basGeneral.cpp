// The start-up module's globals and long-lived objects, logging, the central error handler, user
// messages and the two database connections.
#include "core/basGeneral.h"
#include "core/NombresParametros.h"

#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/Prompts.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

// ---- Switches and start-up globals ----
EstadoInterruptores gInterruptores;
EstadoSesion gSesion;

bool& gblnDebug = gInterruptores.gblnDebug;
bool& gblnLog = gInterruptores.gblnLog;
bool& gblnMensaje = gInterruptores.gblnMensaje;
bool& gblnDesarrollo = gInterruptores.gblnDesarrollo;
bool& gblnInstal = gInterruptores.gblnInstal;
int& gintRetraso = gInterruptores.gintRetraso;
QString& gstrNombreBDSwitch = gInterruptores.gstrNombreBDSwitch;
QString& gstrIpServidorSwitch = gInterruptores.gstrIpServidorSwitch;
QString& gstrTPVSwitch = gInterruptores.gstrTPVSwitch;
QStringList& gstrArgumentosOriginales = gInterruptores.gstrArgumentosOriginales;

qint32& glngEmpresa = gSesion.glngEmpresa;
qint32& glngRestaurante = gSesion.glngRestaurante;
qint16& gintTPV = gSesion.gintTPV;
qint16& gintIdioma = gSesion.gintIdioma;
qint16& gintIdiomaSecundario = gSesion.gintIdiomaSecundario;
qint16& gintIdiomaActual = gSesion.gintIdiomaActual;
QString& gstrTextoIVA = gSesion.gstrTextoIVA;
QString& gstrTextoVendedor = gSesion.gstrTextoVendedor;
QString& gstrTextoCamarero = gSesion.gstrTextoCamarero;
QString& gstrTextoMesa = gSesion.gstrTextoMesa;
QString& gstrTextoDrovanto = gSesion.gstrTextoDrovanto;
bool& gblnHayTextosPropios = gSesion.gblnHayTextosPropios;
QDateTime& gdtmFechaConexion = gSesion.gdtmFechaConexion;
QString& gstrRutaRegistro = gSesion.gstrRutaRegistro;
QString& gstrNombreBBDD = gSesion.gstrNombreBBDD;
QString& gstrCadenaConexion = gSesion.gstrCadenaConexion;
QString& gstrCarpetaImagenes = gSesion.gstrCarpetaImagenes;
QString& gstrBBDDActual = gSesion.gstrBBDDActual;
bool& gblnParametrosCargados = gSesion.gblnParametrosCargados;
bool& gblnProgramaInicializado = gSesion.gblnProgramaInicializado;
bool& gblnBalanzaActiva = gSesion.gblnBalanzaActiva;
bool& gblnGrabarLogDetallado = gSesion.gblnGrabarLogDetallado;
bool& gblnLogFicheroDesactivado = gSesion.gblnLogFicheroDesactivado;
int& gintFicheroLog = gSesion.gintFicheroLog;
qint16& gintTeclaEnter = gSesion.gintTeclaEnter;
qint16& gintTeclaEsc = gSesion.gintTeclaEsc;
qint16& gintTeclaEspacio = gSesion.gintTeclaEspacio;
qint16& gintTeclaArriba = gSesion.gintTeclaArriba;
qint16& gintTeclaAbajo = gSesion.gintTeclaAbajo;
qint16& gintTeclaIzquierda = gSesion.gintTeclaIzquierda;
qint16& gintTeclaDerecha = gSesion.gintTeclaDerecha;
bool& gblnConexionesInicializadas = gSesion.gblnConexionesInicializadas;
std::array<QVariant, 256>& gvarMapaTeclas = gSesion.gvarMapaTeclas;
QStringList& garrValoresRegistro = gSesion.garrValoresRegistro;

std::unique_ptr<clsDR> DR;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kClaveDriversODBC = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBCINST.INI\\ODBC Drivers");
const QString kPasswordIncorporada = QStringLiteral("morvint58");
// Connect time-out, and the driver's read and write time-out: a statement on a link that died
// without a word from the server (a server that hangs, a cable pulled) fails after this instead of
// holding the program. One statement that finds it and one attempt to connect again stay near 10 s,
// so a print answers its error in that time; every statement of this program is a short one.
constexpr int kSegundosTimeoutConexion = 3;
constexpr int kSegundosTimeoutLectura = 6;

MainWindowPort& earlyMainWindow() {
    static EarlyMainWindow w;
    return w;
}
MainWindowPort* g_defaultMainWindow = nullptr;
MainWindowPort& defaultMainWindow() {
    return g_defaultMainWindow ? *g_defaultMainWindow : earlyMainWindow();
}
MainWindowPort* g_mainWindow = nullptr;
ErrorPrinter* g_errorPrinter = nullptr;
std::function<void()> g_pasoPostConexion;
int g_numeroConexion = 0; // times both connections have opened in this run

// Re-entry guards of the reporting roads: a report that fails while it is being made is written to
// the grid and the log file only, so a broken printer or database cannot loop back into itself.
struct Guardas {
    int informandoError = 0;         // inside the reporting steps of ControlErrores
    bool imprimiendoMensaje = false; // inside the printing of an unattended message
    int conectando = 0;              // inside ConectaBBDD: no reconnect wait may start here
    bool falloLogAvisado = false;    // a failed write of log.txt has been reported in this run
    bool preguntaSinDriver = false;  // the no-driver question has been asked (or logged) in this run
    QString driverAnunciado;         // the ODBC driver last written to the log
    QString charsetAnunciado;        // the connection string's own CHARSET last written to the log
};
Guardas g_guardas;

struct Contador {
    int& n;
    explicit Contador(int& c) : n(c) { ++n; }
    ~Contador() { --n; }
};

QString textoDe(const VBError& e) {
    return e.description();
}

qint64 g_tamanoMaximoLog = kTamanoMaximoLog;

// log.txt stays open between lines, written with one write() per line and nothing held back, so a
// reader sees every line at once: opening and closing it for each line cost more than the rest of a
// request. It is opened again when the program's folder changes, when the first write of a run
// empties it, after a failed write, and when the file was removed or replaced (checked once a second).
class FicheroLog final {
public:
    ~FicheroLog() { cierra(); }
    void escribe(const QString& ruta, bool vaciar, const QByteArray& bytes) {
        if (m_fd >= 0 && (vaciar || (!ruta.isSharedWith(m_ruta) && ruta != m_ruta) || otroFichero()))
            cierra();
        if (m_fd < 0)
            abre(ruta, vaciar);
        // Past the limit the file becomes log.txt.1 (an earlier one goes) and a new one starts.
        if (m_tamano > 0 && m_tamano + bytes.size() > g_tamanoMaximoLog) {
            cierra();
            const QByteArray anterior = QFile::encodeName(ruta + QStringLiteral(".1"));
            if (::rename(QFile::encodeName(ruta).constData(), anterior.constData()) != 0)
                falla(errno, ruta);
            abre(ruta, true);
        }
        for (qsizetype hecho = 0; hecho < bytes.size();) {
            const ssize_t n = ::write(m_fd, bytes.constData() + hecho, size_t(bytes.size() - hecho));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int e = n < 0 ? errno : ENOSPC;
                cierra();
                falla(e, ruta);
            }
            hecho += n;
            m_tamano += n;
        }
    }
    void cierra() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    [[noreturn]] static void falla(int e, const QString& ruta) {
        throw VBError(vb::err::PathFileAccess, qt_error_string(e) + QStringLiteral(": ") + ruta,
                      QStringLiteral("Tarvolin"));
    }
    void abre(const QString& ruta, bool vaciar) {
        const int fd = ::open(QFile::encodeName(ruta).constData(),
                              O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (vaciar ? O_TRUNC : 0), 0666);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            const int e = errno;
            if (fd >= 0)
                ::close(fd);
            falla(e, ruta);
        }
        m_fd = fd;
        m_ruta = ruta;
        m_tamano = st.st_size;
        m_dispositivo = st.st_dev;
        m_nodo = st.st_ino;
        m_comprobado = clock_seam::tickMs();
    }
    bool otroFichero() {
        const qint64 ahora = clock_seam::tickMs();
        if (ahora - m_comprobado < 1000)
            return false;
        m_comprobado = ahora;
        struct stat st {};
        return ::stat(QFile::encodeName(m_ruta).constData(), &st) != 0 || st.st_dev != m_dispositivo ||
               st.st_ino != m_nodo;
    }
    int m_fd = -1;
    QString m_ruta;
    qint64 m_tamano = 0;
    dev_t m_dispositivo = 0;
    ino_t m_nodo = 0;
    qint64 m_comprobado = 0;
};

FicheroLog& ficheroLog() {
    static FicheroLog f;
    return f;
}

// A line of log.txt, "date -> message" and CR LF, built as the file's bytes: the date's part is
// encoded once a second and the file's path once per folder, as a busy service writes many lines.
void escribeLineaLog(const QString& strMensaje) {
    const bool vaciar = gintFicheroLog == 0;
    gintFicheroLog = 1; // the first write of the run empties the file
    thread_local QString fecha;
    thread_local QByteArray cabecera;
    const QString ahora = FechaHoraLog();
    if (ahora != fecha) {
        fecha = ahora;
        cabecera = '"' + cp1252::encode(ahora) + " -> ";
    }
    thread_local QString carpeta;
    thread_local QString ruta;
    const QString actual = RutaAplicacion();
    if (ruta.isEmpty() || (!actual.isSharedWith(carpeta) && actual != carpeta)) {
        carpeta = actual;
        ruta = actual + QStringLiteral("/log.txt");
    }
    const QString mensaje = RecortaLineaLog(strMensaje);
    QByteArray linea = cabecera;
    linea.reserve(cabecera.size() + mensaje.size() + 3);
    cp1252::encodeAppend(linea, mensaje);
    linea.append("\"\r\n", 3);
    ficheroLog().escribe(ruta, vaciar, linea);
}

void cierraSinErrores(ado::Connection& cn) {
    vb::ResumeNext([&] { cn.Close(); });
}

} // namespace

// ---- Long-lived objects ----
clsParametros& objParametros() {
    static clsParametros p;
    return p;
}

Reg_class& objReg() {
    static Reg_class r;
    return r;
}

ado::Connection& ConexionServidor() {
    static ado::Connection c;
    return c;
}

ado::Connection& ConexionLocal() {
    static ado::Connection c;
    return c;
}

FrmPrincipalVars& frmPrincipalVars() {
    static FrmPrincipalVars v;
    return v;
}

MainWindowPort& mainWindow() {
    return g_mainWindow ? *g_mainWindow : defaultMainWindow();
}
void setMainWindow(MainWindowPort* w) {
    g_mainWindow = w;
}
void setDefaultMainWindow(MainWindowPort* w) {
    g_defaultMainWindow = w;
}

void EarlyMainWindow::AnadirLog(const QString& concepto) {
    m_lines << concepto;
}
void EarlyMainWindow::setScaleTimer(bool enabled, int intervalMs) {
    m_scaleTimer = enabled;
    m_scaleInterval = intervalMs;
}
void EarlyMainWindow::resetForTests() {
    *this = EarlyMainWindow();
}
QStringList EarlyMainWindow::takeLogLines() {
    return std::exchange(m_lines, {});
}

void setErrorPrinter(ErrorPrinter* p) {
    g_errorPrinter = p;
}
ErrorPrinter* errorPrinter() {
    return g_errorPrinter;
}

// ---- Logging and errors ----
QString FechaHoraLog() {
    // Formatted once a second: a busy service writes many lines in each.
    thread_local qint64 segundo = std::numeric_limits<qint64>::min();
    thread_local QString texto;
    const QDateTime ahora = clock_seam::now();
    const qint64 s = ahora.toSecsSinceEpoch();
    if (s != segundo || texto.isEmpty()) {
        texto = ahora.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        segundo = s;
    }
    return texto;
}

QString RecortaLineaLog(const QString& strMensaje) {
    if (strMensaje.size() <= kLongitudMaximaLineaLog)
        return strMensaje;
    qsizetype corte = kLongitudMaximaLineaLog;
    if (strMensaje[corte - 1].isHighSurrogate())
        --corte;
    return strMensaje.left(corte) + QStringLiteral("... [%1 caracteres más]").arg(strMensaje.size() - corte);
}

QString RutaAplicacion() {
    return program::applicationDir();
}

QString CarpetaImagenes() {
    // Under RutaAplicacion, so a read-only install keeps its images in the data folder, with its log.
    if (gstrCarpetaImagenes.isEmpty())
        gstrCarpetaImagenes = RutaAplicacion() + QStringLiteral("/imgs");
    return gstrCarpetaImagenes;
}

// A guard of the code running here: not one of a request that waits further down the stack while
// this runs as another event (an operator's dialog is the operator's).
static bool sinDialogosAqui() {
    return prompts::noBoxesHere();
}

void CajaNoMostrada(const QString& strMensaje) {
    // A grid that asks for a box of its own while it takes this line would come back here.
    static bool dentro = false;
    if (dentro) {
        std::fprintf(stderr, "%s\n", strMensaje.toLocal8Bit().constData());
        std::fflush(stderr);
        return;
    }
    dentro = true;
    struct Fin {
        ~Fin() { dentro = false; }
    } fin;
    GrabaLog(strMensaje, true);
}

[[maybe_unused]] static const bool g_cajasNoMostradasAlLog = [] {
    prompts::setForbiddenBoxHandler([](const QString&, const QString& texto) { CajaNoMostrada(texto); });
    return true;
}();

void GrabaLog(const QString& strMensaje, bool blnForzar, bool) {
    vb::OnError(
        [&] {
            if (gblnMensaje && !sinDialogosAqui())
                prompts::current().messageBox(strMensaje, prompts::vbOKOnly, QString());
            mainWindow().AnadirLog(strMensaje);
            if (blnForzar || gblnLog) {
                // After a failure every line tries again (a descriptor or the disk may be free by now).
                escribeLineaLog(strMensaje);
                gblnLogFicheroDesactivado = false;
            }
        },
        [&](const VBError& err) {
            gblnLogFicheroDesactivado = true;
            // Forced writes keep trying; their failure is told once per run, not on every line. Never
            // in a message box or on paper: a box would hold the request in flight until someone
            // clicks, and the printed road may be what fails.
            if (!g_guardas.falloLogAvisado) {
                g_guardas.falloLogAvisado = true;
                const QString aviso = QStringLiteral("No se puede escribir log.txt: ") + textoDe(err);
                std::fprintf(stderr, "%s\n", aviso.toLocal8Bit().constData());
                std::fflush(stderr);
                vb::ResumeNext([&] { mainWindow().AnadirLog(aviso); });
            }
        });
}

bool GrabaLogBBDD(const QString& strMensaje, int) {
    QString sql;
    QList<Variant> valores;
    const bool preparado = AtrapaErrores(QStringLiteral("basGeneral.AnadirLog"), [&] {
        if (gblnMensaje && !sinDialogosAqui())
            prompts::current().messageBox(strMensaje, prompts::vbOKOnly, QString());
        mainWindow().AnadirLog(strMensaje);
        // One "now" for both columns, so the date and the session date always agree.
        const QDateTime ahora = clock_seam::now();
        QString concepto = QStringLiteral("Tarvolin. ") + strMensaje;
        concepto.replace(QLatin1Char('\''), QChar(0x00B4));
        sql = QStringLiteral("insert into qm_log "
                             "(idEmpresa, idRestaurante, idTPV, Fecha, FechaSesion, idSesion, Camarero, Concepto) "
                             "values (?, ?, 0, ?, ?, 1, 0, ?)");
        valores = {Variant(glngEmpresa), Variant(glngRestaurante),
                   Variant(ahora.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                   Variant(ahora.toString(QStringLiteral("yyyyMMdd")).toInt()), Variant(concepto)};
    });
    if (!preparado)
        return false;
    // The database log is best effort: a closed or lost link must not stop the caller. A link that is
    // gone for good (the connection could not open it again) is left to the reconnect timer.
    return vb::OnError([&] { ConexionServidor().Execute(sql, nullptr, valores); },
                       [](const VBError& e) {
                           if (ado::isLostLink(e) && g_guardas.conectando == 0)
                               IniciaReconexion();
                       });
}

QString TextoError(const QString& strProcedimiento, const VBError& err) {
    return QStringLiteral("ERROR: ") + strProcedimiento + QStringLiteral(": ") + err.description() + kCrLf +
           QStringLiteral("(") + QString::number(err.number()) + QStringLiteral(" - ") + err.source() +
           QStringLiteral(")");
}

bool ErrorProvocaReconexion(const VBError& err) {
    // Only an error that says the link is gone: one the provider tells as a lost link, or a statement
    // on a connection that stands closed. An error of the statement or of its values (an invalid date,
    // a text in a number column, an empty or duplicate key) and every error that is not the
    // database's leave the connections as they are.
    return err.number() == vb::err::AdoConnectionUnusable || ado::isLostLink(err);
}

void ControlErrores(const QString& strProcedimiento, bool blnReconectar, const VBError& err) {
    const QString texto = TextoError(strProcedimiento, err);

    if (g_guardas.informandoError > 0) {
        // A failure while an error is being reported (the printer or the database log failing in
        // turn): grid and log file only, and no wait.
        GrabaLog(texto, true);
        return;
    }

    // A link that is gone is opened again first, so the report's own qm_log row goes over it: one
    // attempt, bounded by the connector's time-outs. When it fails the reconnect timer goes on trying
    // and the caller's next statements fail at once; nothing here waits for the timer. An error
    // inside a connection attempt is that attempt's own answer.
    if (blnReconectar && ErrorProvocaReconexion(err) && g_guardas.conectando == 0)
        ReconectaAhora();

    Contador informando(g_guardas.informandoError);
    vb::ResumeNext([&] { mainWindow().AnadirLog(texto); });
    vb::ResumeNext([&] {
        if (ErrorPrinter* p = errorPrinter())
            p->printErrorLine(texto);
    });
    vb::ResumeNext([&] { GrabaLogBBDD(texto); });
}

// Nobody is expected at the screen: MensajeUsuario prints its message.
static bool mensajeEnPapel() {
    return !basFuncionesComunes::EjecutandoEnIDE() && !gblnLog && gblnParametrosCargados;
}

int MensajeUsuario(const QString& strMensaje, int lngBotones, const QString& strTitulo) {
    int respuesta = 0; // also when the message cannot be given
    vb::ResumeNext([&] {
        if (mensajeEnPapel()) {
            // Nobody watches the till: the message goes out on paper.
            if (g_guardas.imprimiendoMensaje || g_guardas.informandoError > 0) {
                // The printer complains while a message or an error is being printed: no further
                // ticket, which would fail the same way.
                GrabaLog(strMensaje, true);
                return;
            }
            g_guardas.imprimiendoMensaje = true;
            struct Fin {
                ~Fin() { g_guardas.imprimiendoMensaje = false; }
            } fin;
            if (ErrorPrinter* p = errorPrinter())
                p->printErrorTicket(strMensaje);
            return;
        }
        if (sinDialogosAqui()) {
            GrabaLog(strMensaje, true);
            return;
        }
        respuesta = prompts::current().messageBox(strMensaje, lngBotones, strTitulo);
    });
    return respuesta;
}

int MensajeEnPantalla(const QString& strMensaje, int lngBotones, const QString& strTitulo) {
    int respuesta = 0;
    vb::ResumeNext([&] {
        if (sinDialogosAqui()) {
            GrabaLog(strMensaje, true);
            return;
        }
        respuesta = prompts::current().messageBox(strMensaje, lngBotones, strTitulo);
    });
    return respuesta;
}

int MensajeUsuarioSimple(const QString& strMensaje, int lngBotones, const QString& strTitulo) {
    return MensajeUsuario(strMensaje, lngBotones, strTitulo);
}

// ---- Database connections ----
namespace {
// How much a driver's name says it suits us: a Unicode driver first, then one that says neither, then
// an ANSI one (the connection talks to the driver manager in UTF-16).
int preferenciaDriver(const QString& driver) {
    if (driver.contains(QLatin1String("Unicode"), Qt::CaseInsensitive))
        return 2;
    return driver.contains(QLatin1String("ANSI"), Qt::CaseInsensitive) ? 0 : 1;
}
} // namespace

QString EligeDriverODBCMySQL(const QStringList& pares) {
    bool encontrado = false;
    int preferencia = -1;
    QString nombre;
    for (int i = 1; i + 1 < pares.size(); i += 2) {
        const QString& driver = pares.at(i);
        // On Linux the MariaDB connector is the MySQL driver too, however its name is written; the original
        // took "MySQL" names only.
        if (!driver.contains(QLatin1String("MySQL")) && !driver.contains(QLatin1String("MariaDB"), Qt::CaseInsensitive))
            continue;
        if (driver != QLatin1String("MySQL")) {
            // Among the installed ones the most suitable, and of those the last one listed.
            if (pares.at(i + 1).compare(QLatin1String("Installed"), Qt::CaseInsensitive) == 0 &&
                preferenciaDriver(driver) >= preferencia) {
                nombre = driver;
                preferencia = preferenciaDriver(driver);
                encontrado = true;
            }
        } else if (!encontrado) {
            nombre = driver;
        }
    }
    return nombre;
}

QString getDriverODBCMySQL() {
    QString nombre;
    QString driver;
    const bool sinError = AtrapaErrores(QStringLiteral("basGeneral.getDriverODBCMySQL"), [&] {
        QStringList pares;
        objReg().EnumValues(pares, kClaveDriversODBC);
        nombre = EligeDriverODBCMySQL(pares);
        if (nombre.isEmpty()) {
            const QString pregunta =
                QStringLiteral("No hay ningún driver de ODBC de MySQL instalado. El programa no puede conectar con "
                               "el servidor sin este driver. ¿Desea continuar (el TPV se quedará en OFF)?");
            const ErrorPrinter* papel = errorPrinter();
            // Asked once per run, the original at every attempt: an unattended till printed it every 10 s.
            if (g_guardas.preguntaSinDriver) {
                GrabaLog(QStringLiteral("No hay ningún driver de ODBC de MySQL instalado"));
            } else if (mensajeEnPapel() && papel && !papel->conoceSusParametros()) {
                g_guardas.preguntaSinDriver = true;
                // Not on paper while the printer's parameters are unknown (a till's first start, before its
                // rows came): the print would end the program for want of one. Logged; the answer is "go on".
                GrabaLog(pregunta, true);
            } else {
                g_guardas.preguntaSinDriver = true;
                if (MensajeUsuarioSimple(pregunta, prompts::vbYesNo | prompts::vbQuestion, QString()) == prompts::vbNo)
                    program::End();
            }
            nombre = QStringLiteral("MySQL");
        }
        if (nombre != g_guardas.driverAnunciado) {
            g_guardas.driverAnunciado = nombre;
            GrabaLog(QStringLiteral("Driver ODBC de MySQL: ") + nombre);
        }
        driver = QStringLiteral("{") + nombre + QStringLiteral("}");
    });
    // After an error, the name as far as it was read.
    return sinError ? driver : nombre;
}

QString PasswordConexion(const QString& strMysqlPassword) {
    QString password = strMysqlPassword;
    if (vb::IsNumeric(Variant(strMysqlPassword))) {
        const double n = vb::CDbl(Variant(strMysqlPassword));
        if (n == 0)
            password.clear();
        else if (n == 1)
            password = kPasswordIncorporada;
    }
    // The connection string's own separators cannot stand bare in a value: such a password goes in
    // braces, with a closing brace doubled. A value stored already in its braces is written as it
    // is, like every other password.
    const bool entreLlaves =
        password.size() >= 2 && password.startsWith(QLatin1Char('{')) && password.endsWith(QLatin1Char('}'));
    if (!entreLlaves && (password.contains(QLatin1Char(';')) || password.contains(QLatin1Char('{')) ||
                         password.contains(QLatin1Char('}')))) {
        password.replace(QStringLiteral("}"), QStringLiteral("}}"));
        password = QStringLiteral("{") + password + QStringLiteral("}");
    }
    return password;
}

bool ConectaBBDD(VBError* fallo) {
    Contador conectando(g_guardas.conectando);
    return vb::OnError(
        [&] {
            const QString servidor = objReg().Lee_Valor(gstrRutaRegistro, param::IpServidor.nombre, false, QString());
            if (gstrNombreBBDD.isEmpty()) {
                gstrNombreBBDD = gstrNombreBDSwitch;
                if (gstrNombreBBDD.isEmpty())
                    gstrNombreBBDD =
                        objReg().Lee_Valor(gstrRutaRegistro, param::NombreBBDDServidor.nombre, false, QString());
                if (gstrNombreBBDD.isEmpty())
                    gstrNombreBBDD = QStringLiteral("Drovanto");
            }
            QString cadena = QStringLiteral("DRIVER=") + getDriverODBCMySQL() + QStringLiteral(";SERVER=") + servidor +
                             QStringLiteral(";DATABASE=") + gstrNombreBBDD + QStringLiteral(";USER=") +
                             objParametros().lee(param::UsuarioMysql) + QStringLiteral(";OPTION=16897;");
            cadena += QStringLiteral("PASSWORD=") + PasswordConexion(objParametros().lee(param::MysqlPassword));
            gstrCadenaConexion = cadena;
            // A CHARSET an installer pasted into IpServidor is not used: every session reads and writes
            // utf8mb4, so the server reads the statements as the program escaped them. Said once per value.
            const QString charset = ado::requestedCharset(cadena);
            if (charset.compare(QLatin1String("utf8mb4"), Qt::CaseInsensitive) != 0 &&
                charset != g_guardas.charsetAnunciado) {
                g_guardas.charsetAnunciado = charset;
                if (!charset.isEmpty())
                    GrabaLog(QStringLiteral("CHARSET=") + charset +
                                 QStringLiteral(" de la cadena de conexión (IpServidor) no se usa: la conexión con "
                                                "MySQL lee y escribe utf8mb4"),
                             true);
            }

            for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()}) {
                if (cn->State() != ado::adStateClosed)
                    cn->Close();
                cn->ConnectionTimeout = kSegundosTimeoutConexion;
                cn->CommandTimeout = kSegundosTimeoutLectura;
            }
            ConexionServidor().Open(cadena);
            ConexionLocal().Open(cadena);
            ++g_numeroConexion;
            frmPrincipalVars().blnConexionOk = true;
        },
        [&](const VBError& err) {
            GrabaLog(QStringLiteral("Error al conectar con MySQL: ") + err.description());
            if (fallo)
                *fallo = err;
        });
}

int NumeroConexion() {
    return g_numeroConexion;
}

void IniciaReconexion() {
    cierraSinErrores(ConexionServidor());
    cierraSinErrores(ConexionLocal());
    frmPrincipalVars().blnConexionOk = false;
    vb::ResumeNext([] { mainWindow().setReconnectTimerEnabled(true); });
}

bool ReconectaAhora(VBError* fallo) {
    // The reconnect timer would do the same: it may not run in the middle.
    vb::ResumeNext([] { mainWindow().setReconnectTimerEnabled(false); });
    if (g_guardas.conectando == 0 && ConectaBBDD(fallo))
        return true;
    IniciaReconexion();
    return false;
}

bool ComCentral(bool, bool) {
    // Each connection asks the server only when it has been idle for a while: a busy till pays nothing.
    // The first link found lost is enough: both are opened again (a server that hangs would make
    // each check wait its time-out).
    bool enlaceCaido = false;
    for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()}) {
        if (!cn->CheckLink()) {
            enlaceCaido = true;
            break;
        }
    }
    if (!enlaceCaido)
        return true;
    GrabaLog(QStringLiteral("Conexión con MySQL perdida: se vuelve a conectar"));
    VBError fallo(-2147467259, QStringLiteral("Error al conectar con MySQL"), QStringLiteral("Tarvolin"));
    if (ReconectaAhora(&fallo))
        return true;
    // Reported, but the job does not wait for the server: it answers with its error now.
    ControlErrores(QStringLiteral("basGeneral.ComCentral"), false, fallo);
    return false;
}

// ---- The reconnect timer's work ----
void setPasoPostConexion(std::function<void()> paso) {
    g_pasoPostConexion = std::move(paso);
}

bool IntentoConexionTick() {
    bool conectada = false;
    const bool sinError = AtrapaErrores(QStringLiteral("frmPrincipal.tmrIntentoConexion_Timer"), [&] {
        mainWindow().setReconnectTimerEnabled(false);
        if (!ConectaBBDD()) {
            mainWindow().setReconnectTimerEnabled(true);
            return;
        }
        if (!gblnConexionesInicializadas && g_pasoPostConexion) {
            gblnConexionesInicializadas = true;
            g_pasoPostConexion();
        }
        conectada = true;
    });
    return sinError ? conectada : frmPrincipalVars().blnConexionOk;
}

void setTamanoMaximoLog(qint64 bytes) {
    g_tamanoMaximoLog = bytes > 0 ? bytes : kTamanoMaximoLog;
}

void resetBasGeneralForTests() {
    gInterruptores = {};
    gSesion = {};
    g_guardas = {};
    ficheroLog().cierra();
    g_tamanoMaximoLog = kTamanoMaximoLog;
    g_pasoPostConexion = nullptr;
    g_numeroConexion = 0;
    DR.reset();
    cierraSinErrores(ConexionServidor());
    cierraSinErrores(ConexionLocal());
    ConexionServidor().ConnectionString.clear();
    ConexionLocal().ConnectionString.clear();
    frmPrincipalVars() = {};
    setMainWindow(nullptr);
    defaultMainWindow().resetForTests();
    setErrorPrinter(nullptr);
}
