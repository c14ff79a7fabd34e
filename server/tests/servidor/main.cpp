// A test-only service: the core connected to a test database, the printer layer, and the request
// front listening (with the communication window under /instal), with a stand-in for the main window
// whose end of program arms the 500 ms timer.
// It is what the subprocess tests stop and restart and what the load benchmark measures.
//
// Environment: XDG_CONFIG_HOME (the registry with the till's parameters), TARVOLIN_PORT (the port),
// TARVOLIN_APP_DIR (the program's folder: log.txt, servidor.pid, argumentos.txt), and the usual
// ODBC and CUPS variables.
// Switches: the program's own (/retraso=N, /log, /instal, /tpv=N), and for tests
// /escala_retraso=F (seconds of /retraso are multiplied by F) and /reintento_ms=N (the socket retry
// timer's interval, 10000 by default).
// Once it listens it prints "ESCUCHANDO <port>" on a line of its own.
#include "ui/Main.h"
#include "core/Arranque.h"
#include "core/basGeneral.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "server/SocketWindowPort.h"
#include "server/clsSocketFront.h"
#include "testsupport/RecordingMainWindow.h"
#include "ui/frmComSocketVentana.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace {

// The main window as the request front sees it: no grid kept (the service runs for long), and the
// end of the program through the 500 ms timer, after launching a new copy for a restart.
class VentanaPruebas final : public RecordingMainWindow {
public:
    explicit VentanaPruebas(QStringList argumentos) : m_argumentos(std::move(argumentos)) {
        m_fin.setSingleShot(true);
        m_fin.setInterval(500);
        QObject::connect(&m_fin, &QTimer::timeout, [] { program::End(0); });
    }
    void AnadirLog(const QString&) override {}
    void FinalizarProgramaYDescargarFormularios(bool restart) override {
        GrabaLog(QStringLiteral("Fin del programa") + (restart ? QStringLiteral(" (reinicio)") : QString()));
        if (restart)
            QProcess::startDetached(QCoreApplication::applicationFilePath(),
                                    m_argumentos + QStringList{QStringLiteral("/retraso=5")});
        m_fin.start();
    }

private:
    QStringList m_argumentos;
    QTimer m_fin;
};

QString valorSwitch(const QStringList& args, const QString& nombre) {
    QString valor;
    for (const QString& a : args)
        if (a.startsWith(QLatin1Char('/') + nombre + QLatin1Char('='), Qt::CaseInsensitive))
            valor = a.mid(nombre.size() + 2);
    return valor;
}

void escribe(const QString& nombre, const QByteArray& contenido) {
    QFile f(program::applicationDir() + QLatin1Char('/') + nombre);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(contenido);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    gstrArgumentosOriginales = args;
    AplicaInterruptores(LeeInterruptores(LineaDeComandos(args)));
    if (!qEnvironmentVariableIsEmpty("TARVOLIN_APP_DIR"))
        program::setApplicationDir(qEnvironmentVariable("TARVOLIN_APP_DIR"));
    escribe(QStringLiteral("servidor.pid"), QByteArray::number(QCoreApplication::applicationPid()));
    escribe(QStringLiteral("argumentos.txt"), args.join(QLatin1Char('\n')).toUtf8());

    VentanaPruebas ventana(args);
    setMainWindow(&ventana);
    setSocketWindowFactory([] { return std::make_unique<frmComSocketVentana>(); });

    if (gintRetraso > 0) {
        const QString escala = valorSwitch(args, QStringLiteral("escala_retraso"));
        program::waitMs(qint64(gintRetraso * 1000 * (escala.isEmpty() ? 1 : escala.toDouble())));
    }

    CargaParametrosRegistro();
    if (!ConectaBBDD()) {
        std::fprintf(stderr, "no database\n");
        return 3;
    }
    InicializaSesion(QStringLiteral("servidor"), false);
    basPrinter::InicializaCodigosPRN();
    setErrorPrinter(&ErrorTicketPrinter::instance());

    SocketFront = std::make_unique<clsSocketFront>();
    QTimer reintento;
    const int intervalo = valorSwitch(args, QStringLiteral("reintento_ms")).toInt();
    reintento.setInterval(intervalo > 0 ? intervalo : 10000);
    reintento.setSingleShot(true);
    const auto inicia = [&] {
        SocketFront->Inicia();
        if (!SocketFront->SocketIniciado)
            return reintento.start();
        std::printf("ESCUCHANDO %u\n", unsigned(SocketFront->puertoEscucha()));
        std::fflush(stdout);
    };
    QObject::connect(&reintento, &QTimer::timeout, inicia);
    inicia();
    return app.exec();
}
