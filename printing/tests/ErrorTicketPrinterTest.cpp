// The error line and the unattended error ticket, each a job of its own beside a ticket in progress.
#include "printing/ErrorTicketPrinter.h"
#include "PrinterFixture.h"

using namespace printertest;
using namespace basPrinter;

namespace {

using ErrorTicketPrinterTest = PrinterTest;

TEST_F(ErrorTicketPrinterTest, ErrorLineAndErrorTicketAreJobsOfTheirOwn) {
    InstalaServiciosImpresion();
    ASSERT_EQ(errorPrinter(), &ErrorTicketPrinter::instance());
    Imprimir(trabajo, QStringLiteral("mitad de una comanda"));
    errorPrinter()->printErrorLine(QStringLiteral("ERROR: x: y"));
    errorPrinter()->printErrorTicket(QStringLiteral("sin papel"));
    ASSERT_EQ(salida.jobs.size(), 2u);
    EXPECT_EQ(salida.jobs[0].data, "Tarvolin Error: ERROR: x: y\r\n"_b);
    const QByteArray t = salida.jobs[1].data;
    EXPECT_TRUE(t.startsWith(bytes({27, 69, 1, 27, 45, 1}) + "Se ha producido un error:"_b +
                             bytes({27, 69, 0, 27, 45, 0}) + "\r\n\r\nFecha: "_b));
    EXPECT_TRUE(t.contains("\r\nHora: "));
    EXPECT_TRUE(t.contains("\r\n\r\nMensaje de error:\r\nsin papel\r\n"));
    EXPECT_TRUE(t.endsWith(bytes({29, 86, 0})));
    // The ticket in progress is left as it was and goes out with its own cut.
    EXPECT_EQ(buffer, QStringLiteral("mitad de una comanda\r\n"));
}

// Unattended: the report of a failure is itself printed, fails too, and goes no further.
TEST_F(ErrorTicketPrinterTest, FailingPrinterPrintsOneErrorTicketAndStops) {
    struct Intentos final : printers::RecordingOutput {
        std::vector<QByteArray> intentados;
        bool send(const QString& p, const QByteArray& d, QString* e) override {
            intentados.push_back(d);
            return RecordingOutput::send(p, d, e);
        }
    } rota;
    rota.fail = true;
    printers::install(&rota);
    gblnParametrosCargados = true;
    InstalaServiciosImpresion();
    EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("comanda"), {.Enviar = true}).salio());
    ASSERT_EQ(rota.intentados.size(), 2u);
    EXPECT_EQ(rota.intentados[0], "comanda\r\n"_b);
    EXPECT_TRUE(rota.intentados[1].contains("No se ha podido imprimir en TICKETS"));
    EXPECT_TRUE(avisos.calls.empty());
}

} // namespace

// The printer's parameters are known when an error ticket can print: with every one it prints, whatever
// road the printer's settings send it down; without one that the ticket reads, they are not known (the
// unattended start-up then logs what it would print instead of ending the program for want of a key).
TEST_F(ErrorTicketPrinterTest, ParametersKnownOnlyWhenTheErrorTicketCanPrint) {
    const auto termina = [this] {
        try {
            errorPrinter()->printErrorTicket(QStringLiteral("sin driver"));
        } catch (const program::Ended&) {
            return true;
        }
        return false;
    };
    const char* ajustes[] = {"", "ImprImpSecundaria=1 ImpresoraSecundaria=SEC", "LogoEnImpresora=1 ImpLogoAntes=1",
                             "EmitirPito=1 CodigosEscTicketNormal=1", "UsarDriverOPOS=1 ImpresoraOPOS=OPOS"};
    int leidas = 0;
    for (const char* a : ajustes) {
        SCOPED_TRACE(a);
        reinicia();
        gblnParametrosCargados = true;
        pon(a);
        EXPECT_TRUE(errorPrinter()->conoceSusParametros());
        EXPECT_FALSE(termina());
        EXPECT_FALSE(salida.jobs.empty());
        registry::RegistryStore& registro = registry::RegistryStore::instance();
        for (const auto& [clave, valor] : parametrosSalida()) {
            SCOPED_TRACE(clave.toStdString());
            const auto guardado = registro.value(registry::Root::CurrentUser, coretest::kClaveTarvolin, clave);
            ASSERT_TRUE(guardado);
            registro.deleteValue(registry::Root::CurrentUser, coretest::kClaveTarvolin, clave);
            objParametros().resetForTests();
            objParametros().GetParamReg();
            const bool conocidos = errorPrinter()->conoceSusParametros();
            const bool lee = termina();
            leidas += lee;
            EXPECT_FALSE(lee && conocidos) << "the ticket ended the program for a key said to be known";
            registro.setValue(registry::Root::CurrentUser, coretest::kClaveTarvolin, *guardado);
        }
    }
    EXPECT_GT(leidas, 5 * 8); // the ticket does read keys on every road
}
