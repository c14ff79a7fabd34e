// A test-only service for the load benchmark: the core connected to a test database, the printer
// layer, and the request front listening, with a stand-in for the main window whose end of program
// arms the 500 ms timer.
//
// Environment: XDG_CONFIG_HOME (the registry with the till's parameters), TARVOLIN_PORT (the port),
// TARVOLIN_APP_DIR (the program's folder, for log.txt), and the usual ODBC and CUPS variables.
// Once it listens it prints "ESCUCHANDO <port>" on a line of its own.
#include "ui/Main.h"
#include "core/Arranque.h"
#include "core/basGeneral.h"
#include "platform/Program.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "server/clsSocketFront.h"
#include "testsupport/RecordingMainWindow.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {

// The main window as the request front sees it: no grid kept (the service runs for long), and the
// end of the program through the 500 ms timer.
class VentanaPruebas final : public RecordingMainWindow {
public:
    VentanaPruebas() {
        m_fin.setSingleShot(true);
        QObject::connect(&m_fin, &QTimer::timeout, [] { program::End(0); });
    }
    void AnadirLog(const QString&) override {}
    void FinalizarProgramaYDescargarFormularios(bool) override { m_fin.start(500); }

private:
    QTimer m_fin;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LeeInterruptores(LineaDeComandos(app.arguments().mid(1)), gInterruptores);
    if (!qEnvironmentVariableIsEmpty("TARVOLIN_APP_DIR"))
        program::setApplicationDir(qEnvironmentVariable("TARVOLIN_APP_DIR"));
    VentanaPruebas ventana;
    setMainWindow(&ventana);

    CargaParametrosRegistro();
    if (!ConectaBBDD()) {
        std::fprintf(stderr, "no database\n");
        return 3;
    }
    InicializaSesion(QStringLiteral("servidor"), false);
    basPrinter::InicializaCodigosPRN();
    setErrorPrinter(&ErrorTicketPrinter::instance());

    SocketFront = std::make_unique<clsSocketFront>();
    SocketFront->Inicia();
    if (!SocketFront->SocketIniciado) {
        std::fprintf(stderr, "not listening\n");
        return 4;
    }
    std::printf("ESCUCHANDO %u\n", unsigned(SocketFront->puertoEscucha()));
    std::fflush(stdout);
    return app.exec();
}
