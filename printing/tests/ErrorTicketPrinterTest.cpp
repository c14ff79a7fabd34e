// The error line and the unattended error ticket, each a job of its own beside a ticket in progress.
#include "printing/ErrorTicketPrinter.h"
#include "PrinterFixture.h"
#include "platform/Cp1252.h"

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

// An error's text quotes what a request or a database row carried. Whatever byte it held, and an escape
// sequence whole, reaches the printer as text or not at all: on the error line that ControlErrores prints
// and on the ticket that MensajeUsuario prints unattended, the only commands are the ticket's own bold,
// underline and cut; a CR or LF is a line end, nothing else below 0x20 (nor DEL) goes out.
TEST_F(ErrorTicketPrinterTest, ControlCharactersInAnErrorTextNeverReachThePrinterAsCommands) {
    gblnParametrosCargados = true; // unattended: messages go on paper
    QList<QByteArray> citas;
    for (int b = 0; b < 256; ++b)
        citas << QByteArray(1, char(b));
    citas << "\x1b@"
          << "\x1d\x56\x00"_b
          << "\x10\x14\x01\x00\x05"_b
          << "\x1b\x70\x00\x19\xfa"_b
          << "\x1b\x74\x10";
    const auto soloTexto = [](const QByteArray& trozo) {
        return std::all_of(trozo.begin(), trozo.end(), [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u >= 0x20 && u != 0x7f) || u == '\r' || u == '\n';
        });
    };
    for (const QByteArray& cita : citas) {
        SCOPED_TRACE(legible(cita).toStdString());
        const QString citado = QStringLiteral("mesa <") + cp1252::decode(cita) + QStringLiteral("> fin");
        salida.jobs.clear();
        ControlErrores(QStringLiteral("prueba.Proc"), false, VBError(5, QStringLiteral("Dato: ") + citado));
        MensajeUsuario(QStringLiteral("Aviso: ") + citado, prompts::vbExclamation);
        ASSERT_EQ(salida.jobs.size(), 2u);
        const QByteArray linea = salida.jobs[0].data;
        EXPECT_TRUE(linea.startsWith("Tarvolin Error: ERROR: prueba.Proc: Dato: mesa <"))
            << legible(linea).toStdString();
        EXPECT_TRUE(soloTexto(linea)) << legible(linea).toStdString();
        const QByteArray ticket = salida.jobs[1].data;
        const qsizetype desde = ticket.indexOf("Mensaje de error:\r\nAviso: mesa <");
        ASSERT_GE(desde, 0) << legible(ticket).toStdString();
        ASSERT_TRUE(ticket.endsWith(bytes({29, 86, 0})));
        const QByteArray mensaje = ticket.mid(desde, ticket.size() - 3 - desde);
        EXPECT_TRUE(soloTexto(mensaje)) << legible(mensaje).toStdString();
        const QByteArray cabecera =
            bytes({27, 69, 1, 27, 45, 1}) + "Se ha producido un error:"_b + bytes({27, 69, 0, 27, 45, 0});
        EXPECT_TRUE(ticket.startsWith(cabecera));
        EXPECT_TRUE(soloTexto(ticket.mid(cabecera.size(), desde - cabecera.size())));
    }
}
