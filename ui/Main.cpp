// The start-up procedure and the start-up module's own procedures.
#include "ui/Main.h"

#include "backoffice/ui/frmComInternetVentana.h"
#include "controls/frmCalc.h"
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
#include "scale/ScaleWindowsPort.h"
#include "scale/clsComm.h"
#include "server/SocketWindowPort.h"
#include "server/TurnoExclusivo.h"
#include "server/clsSocketFront.h"
#include "ui/RegistroVentanas.h"
#include "ui/TemporizadorVB.h"
#include "ui/frmComSocketVentana.h"
#include "ui/frmPrincipal.h"
#include "ui/frmRecalcularPeso.h"

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
// request server, the scale's windows, the back-office client's window, and the objects the trigger
// rules call by name.
void RegistraServiciosSuperiores() {
    setSocketWindowFactory([] { return std::make_unique<frmComSocketVentana>(); });
    setComInternetWindowFactory([](frmComInternet& c) { return std::make_unique<frmComInternetVentana>(c); });
    setReweighWindowFactory([](clsComm& comm) { return std::make_unique<frmRecalcularPeso>(comm); });
    setNumericKeypad([](const QString& descripcion, QString& valor) { return frmCalc::Pedir(descripcion, valor); });
    basPrinter::setTurnoImpresion(
        [](std::function<void()> tarea) { TurnoExclusivo::instancia().ejecuta(std::move(tarea)); });
    reglas::registraObjeto(QStringLiteral("frmPrincipal"), [] { return static_cast<vb::LateBound*>(&FrmPrincipal()); });
    reglas::registraObjeto(QStringLiteral("SocketFront"),
                           [] { return dynamic_cast<vb::LateBound*>(SocketFront.get()); });
    RegistroVentanas::instancia().instala();
}

bool esRetraso(const QString& pieza) {
    return recortaBlancos(pieza).startsWith(QLatin1String("retraso"), Qt::CaseInsensitive);
}

} // namespace

// ---- Command-line switches ----
QString LineaDeComandos(const QStringList& argumentos) {
    return argumentos.join(QLatin1Char(' '));
}

void LeeInterruptores(const QString& strLineaComandos, EstadoInterruptores& r) {
    const QStringList piezas = strLineaComandos.split(QLatin1Char('/'));
    for (qsizetype i = 1; i < piezas.size(); ++i) {
        const QString& pieza = piezas.at(i);
        const QString t = recortaBlancos(pieza).toLower();
        QString valor;
        if (t == QLatin1String("debug"))
            r.gblnDebug = true;
        if (t.startsWith(QLatin1String("nombre_bd")) && valorDe(pieza, valor))
            r.gstrNombreBDSwitch = valor;

        if (t == QLatin1String("desarrollo")) {
            r.gblnDesarrollo = true;
        } else if (t == QLatin1String("mensaje")) {
            r.gblnMensaje = true;
        } else if (t.startsWith(QLatin1String("ipservidor"))) {
            if (valorDe(pieza, valor))
                r.gstrIpServidorSwitch = valor;
        } else if (pieza.startsWith(QLatin1String("instal"), Qt::CaseInsensitive)) {
            r.gblnInstal = true;
        } else if (t == QLatin1String("log")) {
            r.gblnLog = true;
        } else if (t.startsWith(QLatin1String("retraso"))) {
            if (valorDe(pieza, valor)) {
                const double n = basFuncionesComunes::ValNumero(valor);
                if (n != 0)
                    r.gintRetraso = qint32(std::clamp(vb::RoundHalfEven(n), -32768.0, 32767.0));
            }
        } else if (t.startsWith(QLatin1String("tpv"))) {
            if (valorDe(pieza, valor) && basFuncionesComunes::ValNumero(valor) != 0)
                r.gstrTPVSwitch = valor;
        }
    }
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
    QString ruta;
    if (!AtrapaErrores(QStringLiteral("basFunc.RutaImgs"), [&] { ruta = CarpetaImagenes(); }))
        return gstrCarpetaImagenes;
    return ruta;
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

FinComando EjecutaComandoYEspera(const QString& strComando, int msMaximo) {
    FinComando fin;
    const auto falla = [&](FinComando::Estado estado, const QString& por) {
        fin.estado = estado;
        fin.error = QStringLiteral("EjecutaComandoYEspera: ") + strComando + QStringLiteral(": ") + por;
        GrabaLog(fin.error, true);
        return fin;
    };
    QStringList partes = QProcess::splitCommand(strComando);
    if (partes.isEmpty())
        return falla(FinComando::NoArranca, QStringLiteral("no hay orden que ejecutar"));
    QProcess p;
    p.setProgram(partes.takeFirst());
    p.setArguments(partes);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    // Checked and bounded, where the old program ignored a failed start and waited without limit.
    if (!p.waitForStarted(msMaximo))
        return falla(FinComando::NoArranca, QStringLiteral("no se ha podido ejecutar (") + p.errorString() + u')');
    if (!p.waitForFinished(msMaximo)) {
        p.kill();
        p.waitForFinished(-1);
        return falla(FinComando::FueraDePlazo, QStringLiteral("no ha terminado en %1 ms, se detiene").arg(msMaximo));
    }
    if (p.exitStatus() == QProcess::CrashExit)
        return falla(FinComando::Terminado, QStringLiteral("ha terminado por una señal"));
    fin.estado = FinComando::Terminado;
    fin.codigoSalida = p.exitCode();
    return fin;
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
    if (objParametros().lee(param::UsarBalanza) != 1)
        return;
    const qint16 puerto = objParametros().leeAlArrancar(param::PuertoBalanza);
    frm.AnadirLog(QStringLiteral("Activando balanza en el puerto COM") + QString::number(puerto));
    if (puerto < 1 || puerto > 9) {
        MensajeUsuario(QStringLiteral("Se ha configurado el uso de la balanza, pero el puerto serie configurado (") +
                           QString::number(puerto) +
                           QStringLiteral(") no es correcto (tiene que estar entre el 1 y el 9)"),
                       prompts::vbInformation);
        return;
    }
    const QString ajustes = objParametros().leeAlArrancar(param::ModeloBalanza) == 0 ? QStringLiteral("9600,e,8,1")
                                                                                     : QStringLiteral("9600,n,8,1");
    objComm().InitPuerto(puerto, ajustes, 1);
    gblnBalanzaActiva = true;
    // (read as the scale reads it, so the line says the mode the scale is really in)
    if (objParametros().leeAlArrancar(param::BalanzaModoContinuo) == 1) {
        // A timer without an interval never ticks: the old program called that scale active.
        const bool leeSola = frm.scaleTimerEnabled() && frm.scaleTimerInterval() > 0;
        if (leeSola) {
            frm.AnadirLog(QStringLiteral("Activada la balanza en modo continuo"));
        } else {
            frm.AnadirLog(QStringLiteral("Error: El programa está configurado para usar la balanza en modo continuo "
                                         "pero el timer no está activo"));
            if (frm.scaleTimerEnabled())
                frm.AnadirLog(QStringLiteral("El parámetro TiempoBalanzaModoContinuo (%1) no es un intervalo en "
                                             "milisegundos: la balanza no se leerá")
                                  .arg(objParametros().getValor(param::TiempoBalanzaModoContinuo.nombre, true)));
        }
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
    const bool completo = AtrapaErrores(QStringLiteral("basGeneral.main"), [&] {
        // The command-line switches, read before anything else looks at them.
        gblnParametrosCargados = false;
        gblnLog = false;
        gblnMensaje = false;
        gintRetraso = 0;
        gstrArgumentosOriginales = argumentos;
        LeeInterruptores(LineaDeComandos(argumentos), gInterruptores);

        // The one-instance test comes before anything is logged: a refused copy's first line would
        // empty the running copy's log.txt (the first write of a run truncates the file).
        if (gintRetraso == 0 && !ReservaInstancia()) {
            MensajeUsuario(QStringLiteral("El programa ya está en ejecución, no puede iniciarse dos veces"),
                           prompts::vbExclamation);
            program::End();
        }

        // Key codes, the registry path and the hooks the lower layers call upward.
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

        // The main window, hidden, and its tray icon.
        frmPrincipal& frm = FrmPrincipal();
        frm.MuestraIconoTareas(false);
        frm.muestraSinBandeja();

        // A delayed start (a restart) waits before its first log line, so the copy it replaces
        // ends with its own log.txt whole.
        if (gintRetraso != 0) {
            basFuncionesComunes::Espera(qint64(gintRetraso) * 1000);
            // The instance we replace has ended by now: take its place as the running one.
            if (!ReservaInstancia())
                GrabaLog(QStringLiteral("Otra instancia del programa sigue en ejecución tras la espera"));
        }

        // The components that lie beside the program.
        RegistraComponentes();

        // Switch values that live in the registry are written there before the parameters load.
        if (!gstrIpServidorSwitch.isEmpty())
            EscribeValorRegistro(param::IpServidor.nombre, gstrIpServidorSwitch);
        if (!gstrTPVSwitch.isEmpty())
            EscribeValorRegistro(param::TPV.nombre, gstrTPVSwitch);

        // The registry parameters, then the printer code strings they choose.
        GrabaLog(QStringLiteral("Carga de parámetros"));
        CargaParametrosRegistro();
        basPrinter::InicializaCodigosPRN();

        // The database, and the post-connection step when it answers (else a timer retries).
        frm.InicializaConexiones();

        // The scale, and the translation literals once the query helper exists.
        ActivaBalanza(frm);
        CargaLiteralesCuandoHayaConexion();
    });
    // A start-up that failed half-way is not left running.
    if (!completo)
        program::End();
}

void resetMainForTests() {
    delete g_frmPrincipal;
    g_frmPrincipal = nullptr;
    objBotones.reset();
    SocketFront.reset();
    g_literalesPendientes = false;
    RegistroVentanas::instancia().resetForTests();
}
