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
