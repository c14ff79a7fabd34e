// The start-up procedure and the start-up module's own procedures.
#include "ui/Main.h"

#include "core/Arranque.h"
#include "core/NombresParametros.h"
#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/TurnoImpresion.h"
#include "printing/basPrinter.h"
#include "rules/ObjetosGlobales.h"
#include "rules/clsBotones.h"
#include "scale/clsComm.h"
#include "server/SocketWindowPort.h"
#include "server/TurnoExclusivo.h"
#include "server/clsSocketFront.h"
#include "ui/TemporizadorVB.h"
#include "ui/frmComSocketVentana.h"
#include "ui/frmPrincipal.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<clsBotones> objBotones;

namespace {

frmPrincipal* g_frmPrincipal = nullptr;
bool g_literalesPendientes = false;
int g_ficheroBloqueo = -1;

// Blanks only, as the switches are read.
QString recortaBlancos(const QString& s) {
    qsizetype a = 0, b = s.size();
    while (a < b && s.at(a) == QLatin1Char(' '))
        ++a;
    while (b > a && s.at(b - 1) == QLatin1Char(' '))
        --b;
    return s.mid(a, b - a);
}

// The value after the "=" of a piece that holds exactly one.
bool valorDe(const QString& pieza, QString& valor) {
    const QStringList partes = pieza.split(QLatin1Char('='));
    if (partes.size() != 2)
        return false;
    valor = recortaBlancos(partes.at(1));
    return true;
}

// What the lower layers reach of this one: the print turn of the socket prints, the window of the
// request server, and the objects the trigger rules call by name.
void RegistraServiciosSuperiores() {
    setSocketWindowFactory([] { return std::make_unique<frmComSocketVentana>(); });
    basPrinter::setTurnoImpresion(
        [](std::function<void()> tarea) { TurnoExclusivo::instancia().ejecuta(std::move(tarea)); });
    reglas::registraObjeto(QStringLiteral("frmPrincipal"), [] { return static_cast<vb::LateBound*>(&FrmPrincipal()); });
    reglas::registraObjeto(QStringLiteral("SocketFront"),
                           [] { return dynamic_cast<vb::LateBound*>(SocketFront.get()); });
    reglas::registraVentanasCargadas([] {
        QList<QPair<QString, vb::LateBound*>> r;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* v = dynamic_cast<vb::LateBound*>(w))
                r.append({QString::fromLatin1(w->metaObject()->className()), v});
        return r;
    });
}

bool esRetraso(const QString& pieza) {
    return recortaBlancos(pieza).startsWith(QLatin1String("retraso"), Qt::CaseInsensitive);
}

} // namespace

// ---- Command-line switches ----
QString LineaDeComandos(const QStringList& argumentos) {
    return argumentos.join(QLatin1Char(' '));
}

Interruptores LeeInterruptores(const QString& strLineaComandos) {
    Interruptores r;
    const QStringList piezas = strLineaComandos.split(QLatin1Char('/'));
    for (qsizetype i = 1; i < piezas.size(); ++i) {
        const QString& pieza = piezas.at(i);
        const QString t = recortaBlancos(pieza).toLower();
        QString valor;
        if (t == QLatin1String("debug"))
            r.Debug = true;
        if (t.startsWith(QLatin1String("nombre_bd")) && valorDe(pieza, valor))
            r.nombre_bd = valor;

        if (t == QLatin1String("desarrollo")) {
            r.desarrollo = true;
        } else if (t == QLatin1String("mensaje")) {
            r.mensaje = true;
        } else if (t.startsWith(QLatin1String("ipservidor"))) {
            if (valorDe(pieza, valor))
                r.ipservidor = valor;
        } else if (pieza.startsWith(QLatin1String("instal"), Qt::CaseInsensitive)) {
            r.instal = true;
        } else if (t == QLatin1String("log")) {
            r.log = true;
        } else if (t.startsWith(QLatin1String("retraso"))) {
            if (valorDe(pieza, valor)) {
                const double n = basFuncionesComunes::ValNumero(valor);
                if (n != 0)
                    r.retraso = qint32(std::clamp(vb::RoundHalfEven(n), -32768.0, 32767.0));
            }
        } else if (t.startsWith(QLatin1String("tpv"))) {
            if (valorDe(pieza, valor) && basFuncionesComunes::ValNumero(valor) != 0)
                r.tpv = valor;
        }
    }
    return r;
}

void AplicaInterruptores(const Interruptores& i) {
    if (i.Debug)
        gblnDebug = true;
    if (i.nombre_bd)
        gstrNombreBDSwitch = *i.nombre_bd;
    if (i.desarrollo)
        gblnDesarrollo = true;
    if (i.mensaje)
        gblnMensaje = true;
    if (i.ipservidor)
        gstrIpServidorSwitch = *i.ipservidor;
    if (i.instal)
        gblnInstal = true;
    if (i.log)
        gblnLog = true;
    if (i.retraso != 0)
        gintRetraso = i.retraso;
    if (i.tpv)
        gstrTPVSwitch = *i.tpv;
}

QStringList ArgumentosReinicio(const QStringList& originales) {
    QStringList r;
    for (const QString& arg : originales) {
        QStringList piezas = arg.split(QLatin1Char('/'));
        for (qsizetype i = piezas.size() - 1; i >= 1; --i) {
            if (esRetraso(piezas.at(i)))
                piezas.removeAt(i);
        }
        const QString queda = piezas.join(QLatin1Char('/'));
        if (!recortaBlancos(queda).isEmpty())
            r << queda;
    }
    r << QStringLiteral("/retraso=5");
    return r;
}

// ---- The main window ----
frmPrincipal& FrmPrincipal() {
    if (!g_frmPrincipal) {
        g_frmPrincipal = new frmPrincipal();
        g_frmPrincipal->registraComoVentanaPrincipal();
    }
    return *g_frmPrincipal;
}

bool FrmPrincipalCargado() {
    return g_frmPrincipal != nullptr;
}

void CargaLiteralesCuandoHayaConexion() {
    if (gblnConexionesInicializadas && DR) {
        g_literalesPendientes = false;
        cargarIdiomasLiterales();
    } else {
        // The literals come from the database through the query helper: without a first
        // connection they wait for the post-connection step.
        g_literalesPendientes = true;
        GrabaLog(QStringLiteral("Sin conexión: los literales se cargarán al conectar con la base de datos"));
    }
}

void CargaLiteralesPendientes() {
    if (!g_literalesPendientes)
        return;
    g_literalesPendientes = false;
    cargarIdiomasLiterales();
}

// ---- One instance per user ----
QString RutaBloqueoInstancia() {
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QFileInfo fi(dir);
    if (!dir.isEmpty() && fi.isDir() && fi.isWritable())
        return dir + QStringLiteral("/tarvolin.lock");
    return QStringLiteral("/tmp/tarvolin-%1.lock").arg(::getuid());
}

bool ReservaInstancia() {
    if (g_ficheroBloqueo >= 0)
        return true;
    const QString ruta = RutaBloqueoInstancia();
    // Close-on-exec: a program started from here (the restart) must not inherit our lock.
    const int fd = ::open(QFile::encodeName(ruta).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        GrabaLog(QStringLiteral("No se puede abrir el fichero de bloqueo ") + ruta + QStringLiteral(": ") +
                 QString::fromLocal8Bit(std::strerror(errno)));
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK)
            return false;
        GrabaLog(QStringLiteral("No se puede bloquear el fichero ") + ruta + QStringLiteral(": ") +
                 QString::fromLocal8Bit(std::strerror(e)));
        return true;
    }
    g_ficheroBloqueo = fd;
    return true;
}

// ---- Module procedures ----
void InicializaTeclas() {
    if (gintTeclaEnter == 0)
        gintTeclaEnter = 13;
    if (gintTeclaEsc == 0)
        gintTeclaEsc = 27;
    if (gintTeclaArriba == 0)
        gintTeclaArriba = 38;
    if (gintTeclaAbajo == 0)
        gintTeclaAbajo = 40;
    if (gintTeclaIzquierda == 0)
        gintTeclaIzquierda = 37;
    if (gintTeclaDerecha == 0)
        gintTeclaDerecha = 39;
    gintTeclaEspacio = 32;
}

QString RutaImgs() {
    try {
        return CarpetaImagenes();
    } catch (const program::Ended&) {
        throw;
    } catch (...) {
        ControlErrores(QStringLiteral("basFunc.RutaImgs"), true, vb::CurrentError());
        return gstrCarpetaImagenes;
    }
}

void EjecutaPrograma(const QString& strRuta, qint16, const QStringList& parametros) {
    AtrapaErrores(QStringLiteral("basGeneral.EjecutaPrograma"), [&] {
        const QFileInfo fi(strRuta);
        if (fi.isFile() && fi.isExecutable()) {
            QProcess::startDetached(fi.absoluteFilePath(), parametros, QString());
        } else {
            QDesktopServices::openUrl(QUrl::fromLocalFile(fi.absoluteFilePath()));
        }
    });
}

void EjecutaPrograma(const QString& strRuta, qint16 intCodigoVentana, const QString& strParametros) {
    EjecutaPrograma(strRuta, intCodigoVentana, QProcess::splitCommand(strParametros));
}

void RegistraComponentes() {
    // The libraries are linked into the program; there is nothing to register.
    GrabaLog(QStringLiteral("No se registran ni las DLLs ni los OCX"));
}

int IntervaloReintentoMs() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TARVOLIN_RETRY_MS", &ok);
    return ok && ms > 0 ? ms : 10000;
}

// ---- Start-up ----
void ActivaBalanza(frmPrincipal& frm) {
    gblnBalanzaActiva = false;
    // A till's first start with the database down has no scale settings yet (they come with the
    // till's configtpv rows): the scale waits for the next start instead of ending the program.
    if (!gblnConexionesInicializadas && !objParametros().existe(param::UsarBalanza)) {
        GrabaLog(QStringLiteral("Sin conexión y sin el parámetro UsarBalanza: la balanza no se activa hasta el "
                                "próximo arranque"));
        return;
    }
    if (objParametros().getValorNum(param::UsarBalanza) != 1)
        return;
    const qint16 puerto = objParametros().getValorEntero16(param::PuertoBalanza);
    frm.AnadirLog(QStringLiteral("Activando balanza en el puerto COM") + QString::number(puerto));
    if (puerto < 1 || puerto > 9) {
        MensajeUsuario(QStringLiteral("Se ha configurado el uso de la balanza, pero el puerto serie configurado (") +
                           QString::number(puerto) +
                           QStringLiteral(") no es correcto (tiene que estar entre el 1 y el 9)"),
                       prompts::vbInformation);
        return;
    }
    const QString ajustes = objParametros().getValorNum(param::ModeloBalanza) == 0 ? QStringLiteral("9600,e,8,1")
                                                                                   : QStringLiteral("9600,n,8,1");
    objComm().InitPuerto(puerto, ajustes, 1);
    gblnBalanzaActiva = true;
    if (objParametros().getValorLogico(param::BalanzaModoContinuo)) {
        if (frm.scaleTimerEnabled())
            frm.AnadirLog(QStringLiteral("Activada la balanza en modo continuo"));
        else
            frm.AnadirLog(QStringLiteral("Error: El programa está configurado para usar la balanza en modo continuo "
                                         "pero el timer no está activo"));
    } else {
        frm.AnadirLog(QStringLiteral("Activada la balanza en modo no continuo"));
    }
}

namespace {

void EscribeValorRegistro(const QString& nombre, const QString& valor) {
    objReg().SetReg(gstrRutaRegistro, nombre, Variant(valor), Reg_class::HKEY_CURRENT_USER, registry::REG_SZ, true);
}

} // namespace

void Main(const QStringList& argumentos) {
    try {
        // 1-2: switches
        gblnParametrosCargados = false;
        gblnLog = false;
        gblnMensaje = false;
        gintRetraso = 0;
        gstrArgumentosOriginales = argumentos;
        const Interruptores interruptores = LeeInterruptores(LineaDeComandos(argumentos));
        AplicaInterruptores(interruptores);

        // 7, the instance test, comes before anything is logged: a refused copy's first line would
        // empty the running copy's log.txt (the first write of a run truncates the file).
        if (gintRetraso == 0 && !ReservaInstancia()) {
            MensajeUsuario(QStringLiteral("El programa ya está en ejecución, no puede iniciarse dos veces"),
                           prompts::vbExclamation);
            program::End();
        }

        // 4-5
        InicializaTeclas();
        gblnConexionesInicializadas = false;
        gstrCarpetaImagenes.clear();
        gstrRutaRegistro = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin");
        RegistraServiciosSuperiores();

        // What ending the program leaves tidy (the newest runs first): the tray icon goes, the
        // registry store is on disk, the connections are closed.
        program::addCleanup([] {
            for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()}) {
                if (cn->State() != ado::adStateClosed)
                    cn->Close();
            }
        });
        program::addCleanup([] { registry::RegistryStore::instance().save(); });
        program::addCleanup([] {
            if (FrmPrincipalCargado())
                FrmPrincipal().QuitaIconoBandeja();
        });

        // 6: the window, hidden, and its tray icon
        frmPrincipal& frm = FrmPrincipal();
        frm.MuestraIconoTareas(false);
        frm.muestraSinBandeja();

        // 7: a delayed start (a restart) waits before its first log line, so the copy it replaces
        // ends with its own log.txt whole.
        if (gintRetraso != 0) {
            basFuncionesComunes::Espera(qint64(gintRetraso) * 1000);
            // The instance we replace has ended by now: take its place as the running one.
            if (!ReservaInstancia())
                GrabaLog(QStringLiteral("Otra instancia del programa sigue en ejecución tras la espera"));
        }

        // 3
        RegistraComponentes();

        // 8: switch values that live in the registry
        if (interruptores.ipservidor)
            EscribeValorRegistro(param::IpServidor, *interruptores.ipservidor);
        if (interruptores.tpv)
            EscribeValorRegistro(param::TPV, *interruptores.tpv);

        // 9-10
        GrabaLog(QStringLiteral("Carga de parámetros"));
        CargaParametrosRegistro();
        basPrinter::InicializaCodigosPRN();

        // 11: database, and the post-connection step when it answers
        frm.InicializaConexiones();

        // 12-13
        ActivaBalanza(frm);
        CargaLiteralesCuandoHayaConexion();
    } catch (const program::Ended&) {
        throw;
    } catch (...) {
        ControlErrores(QStringLiteral("basGeneral.main"), true, vb::CurrentError());
        program::End();
    }
}

void resetMainForTests() {
    delete g_frmPrincipal;
    g_frmPrincipal = nullptr;
    objBotones.reset();
    SocketFront.reset();
    g_literalesPendientes = false;
}
