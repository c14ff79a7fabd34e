// The single output road: buffer, length limit, printer choice, prefixes, the OPOS road, failures.
#include "PrinterFixture.h"
#include "core/Reg_class.h"
#include "platform/Cp1252.h"
#include "printing/ErrorTicketPrinter.h"

using namespace printertest;
using namespace basPrinter;

namespace {

class Output : public PrinterTest {
protected:
    void registraImpresora(int numero, const QString& nombre) {
        objReg().SetReg(gstrRutaRegistro + QStringLiteral("\\impresoras"), QString::number(numero), nombre);
    }
    void TearDown() override {
        objReg().DeleteKey(gstrRutaRegistro + QStringLiteral("\\impresoras"));
        PrinterTest::TearDown();
    }
};

TEST_F(Output, LinesCollectUntilTheSendingCallThenGoOutAsOneJob) {
    EXPECT_FALSE(Imprimir(QStringLiteral("uno")));
    EXPECT_FALSE(Imprimir(QStringLiteral("dos"), {.ConSalto = false}));
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_TRUE(Imprimir(QStringLiteral("tres"), {.Enviar = true}));
    EXPECT_EQ(unicoTrabajo(), "uno\r\ndostres\r\n"_b);
    EXPECT_EQ(salida.jobs.back().printer, QStringLiteral("TICKETS"));
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(Output, LengthLimitSendsOnlyPastTheLimit) {
    Imprimir(QString(15000, QLatin1Char('x')), {.ConSalto = false});
    EXPECT_TRUE(salida.jobs.empty());
    Imprimir(QStringLiteral("y"), {.ConSalto = false});
    EXPECT_EQ(unicoTrabajo().size(), 15001);

    salida.jobs.clear();
    par("LongMaxTexto", "10");
    Imprimir(QStringLiteral("0123456789"), {.ConSalto = false});
    EXPECT_TRUE(salida.jobs.empty());
    Imprimir(QStringLiteral("A"), {.ConSalto = false});
    EXPECT_EQ(unicoTrabajo(), "0123456789A"_b);

    salida.jobs.clear();
    par("LongMaxTexto", "-1");
    Imprimir(QString(20000, QLatin1Char('x')), {.ConSalto = false});
    EXPECT_TRUE(salida.jobs.empty());
}

TEST_F(Output, ItosTicketPrinterHasNoLimitAndNoTranslationOtherPrintersDo) {
    par("FuncionamientoItos", "1");
    par("LongMaxTexto", "5");
    Imprimir(QStringLiteral("ñandú ñandú"), {.ConSalto = false});
    EXPECT_TRUE(salida.jobs.empty());
    Imprimir(QString(), {.ConSalto = false, .Enviar = true});
    EXPECT_EQ(unicoTrabajo(), cp1252::encode(QStringLiteral("ñandú ñandú")));

    salida.jobs.clear();
    registraImpresora(3, QStringLiteral("COCINA"));
    Imprimir(QStringLiteral("ñandú!"), {.ConSalto = false, .idImpresora = 3});
    EXPECT_EQ(unicoTrabajo(), bytes({164, 'a', 'n', 'd', 163, '!'}));
    EXPECT_EQ(salida.jobs.back().printer, QStringLiteral("COCINA"));
}

TEST_F(Output, PrinterNameFollowsItsPrecedence) {
    struct Fila {
        const char* caso;
        int numero;
        const char* registro; // name under \impresoras for the number
        const char* nombre;   // NombreImpresora
        bool secundariaParam, secundariaFlag, cinta;
        const char* impTicket;
        const char* esperado; // nullptr: dropped
    };
    const Fila tabla[] = {
        {"ticket printer", 0, "", "", false, false, false, "TICKETS", "TICKETS"},
        {"numbered printer", 4, "COCINA", "", false, false, false, "TICKETS", "COCINA"},
        {"number not registered", 7, "", "", false, false, false, "TICKETS", "DEFECTO"},
        {"name given beats number", 4, "COCINA", "BARRA", false, false, false, "TICKETS", "BARRA"},
        {"name given beats ImpTicket", 0, "", "BARRA", false, false, false, "TICKETS", "BARRA"},
        {"secondary needs both", 0, "", "BARRA", true, false, false, "TICKETS", "BARRA"},
        {"secondary printer", 0, "", "BARRA", true, true, false, "TICKETS", "SECUNDARIA"},
        {"control tape beats all", 0, "", "BARRA", true, true, true, "TICKETS", "CINTA"},
        {"all empty: default", 0, "", "", false, false, false, "", "DEFECTO"},
        {"registry NO IMPRIMIR", 5, "cocina no imprimir nunca", "BARRA", true, true, true, "TICKETS", nullptr},
        {"ImpTicket NO IMPRIMIR is a name", 0, "", "", false, false, false, "NO IMPRIMIR", "NO IMPRIMIR"},
    };
    salida.defaultName = QStringLiteral("DEFECTO");
    par("ImpresoraSecundaria", "SECUNDARIA");
    par("ImpCintaControl", "CINTA");
    for (const auto& f : tabla) {
        SCOPED_TRACE(f.caso);
        salida.jobs.clear();
        registraImpresora(f.numero, QString::fromUtf8(f.registro));
        par("ImpTicket", QString::fromUtf8(f.impTicket));
        par("ImprImpSecundaria", f.secundariaParam ? "1" : "0");
        frmPrincipalVars().blnImpresoraSecundaria = f.secundariaFlag;
        frmPrincipalVars().blnCintaControl = f.cinta;
        const bool enviado =
            Imprimir(QStringLiteral("x"),
                     {.Enviar = true, .idImpresora = f.numero, .NombreImpresora = QString::fromUtf8(f.nombre)});
        if (!f.esperado) {
            EXPECT_FALSE(enviado);
            EXPECT_TRUE(salida.jobs.empty());
        } else {
            ASSERT_EQ(salida.jobs.size(), 1u);
            EXPECT_EQ(salida.jobs[0].printer, QString::fromUtf8(f.esperado));
        }
        EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
    }
}

TEST_F(Output, DroppedBufferIsNeitherLoggedNorWaited) {
    gblnLog = true;
    registraImpresora(5, QStringLiteral("Cocina NO IMPRIMIR"));
    Imprimir(QStringLiteral("nada"), {.Enviar = true, .idImpresora = 5});
    for (const auto& linea : recordingMainWindow().grid)
        EXPECT_FALSE(linea.startsWith(QStringLiteral("Impreso en"))) << linea.toStdString();
    EXPECT_TRUE(salida.jobs.empty());
}

TEST_F(Output, SendIsLoggedUnderTheLogSwitch) {
    gblnLog = true;
    Imprimir(QStringLiteral("hola"), {.Enviar = true});
    EXPECT_TRUE(recordingMainWindow().grid.contains(QStringLiteral("Impreso en TICKETS")));
    EXPECT_TRUE(recordingMainWindow().grid.contains(QStringLiteral("hola\r\n")));
}

TEST_F(Output, InvoicePrinterPrefixGoesBeforeTheEuroPage) {
    par("FuncFacturadora", "1");
    par("CodigosEscTicketNormal", "4");
    Imprimir(QStringLiteral("5 €"), {.ConSalto = false, .Enviar = true});
    EXPECT_EQ(unicoTrabajo(), bytes({27, 'c', '0', 1, 27, 't', 19, '5', ' ', 213}));
}

TEST_F(Output, OposRoadSendsTheWrappedPayloadToItsQueueWithoutLogLines) {
    gblnLog = true;
    par("UsarDriverOPOS", "1");
    par("ImpresoraOPOS", "tm-t88");
    par("ImpTicket", "TM-T88");
    Imprimir(QStringLiteral("A"), {.Enviar = true});
    EXPECT_EQ(unicoTrabajo(), bytes({27, '=', 1}) + "A\r\n\r\n"_b);
    EXPECT_EQ(salida.jobs.back().printer, QStringLiteral("tm-t88"));
    for (const auto& linea : recordingMainWindow().grid)
        EXPECT_FALSE(linea.startsWith(QStringLiteral("Impreso en")));
    // Another printer takes the ordinary road.
    salida.jobs.clear();
    Imprimir(QStringLiteral("B"), {.ConSalto = false, .Enviar = true, .NombreImpresora = QStringLiteral("OTRA")});
    EXPECT_EQ(unicoTrabajo(), "B"_b);
}

TEST_F(Output, EmptyBufferMakesNoJob) {
    EXPECT_TRUE(Imprimir(QString(), {.ConSalto = false, .Enviar = true}));
    par("FuncFacturadora", "1");
    par("CodigosEscTicketNormal", "4");
    EXPECT_TRUE(Imprimir(QString(), {.ConSalto = false, .Enviar = true}));
    EXPECT_TRUE(salida.jobs.empty());
}

TEST_F(Output, FailedSendIsReportedAndTheCallSaysSo) {
    salida.fail = true;
    EXPECT_FALSE(Imprimir(QStringLiteral("x"), {.Enviar = true}));
    EXPECT_EQ(mensajes(), 1);
    ASSERT_FALSE(avisos.calls.empty());
    EXPECT_EQ(avisos.calls.back().style, 64);
    EXPECT_TRUE(avisos.calls.back().text.contains(QStringLiteral("TICKETS")));
    bool registrado = false;
    for (const auto& linea : recordingMainWindow().grid)
        registrado |= linea.contains(QStringLiteral("No se ha podido imprimir en TICKETS"));
    EXPECT_TRUE(registrado);
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(Output, FailingPrinterPrintsOneErrorTicketAndStops) {
    // Unattended: the report of a failure is itself printed, fails too, and goes no further.
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
    EXPECT_FALSE(Imprimir(QStringLiteral("comanda"), {.Enviar = true}));
    ASSERT_EQ(rota.intentados.size(), 2u);
    EXPECT_EQ(rota.intentados[0], "comanda\r\n"_b);
    EXPECT_TRUE(rota.intentados[1].contains("Se ha producido un error:"));
    EXPECT_TRUE(rota.intentados[1].contains("No se ha podido imprimir en TICKETS"));
    EXPECT_EQ(mensajes(), 0);
    printers::install(&salida);
}

TEST_F(Output, ErrorLineAndErrorTicketAreJobsOfTheirOwn) {
    InstalaServiciosImpresion();
    ASSERT_EQ(errorPrinter(), &ErrorTicketPrinter::instance());
    Imprimir(QStringLiteral("mitad de una comanda"));
    errorPrinter()->printErrorLine(QStringLiteral("ERROR: x: y"));
    EXPECT_EQ(unicoTrabajo(), "Tarvolin Error: ERROR: x: y\r\n"_b);

    salida.jobs.clear();
    errorPrinter()->printErrorTicket(QStringLiteral("sin papel"));
    const QByteArray t = unicoTrabajo();
    EXPECT_TRUE(t.startsWith(bytes({27, 69, 1, 27, 45, 1}) + "Se ha producido un error:"_b +
                             bytes({27, 69, 0, 27, 45, 0}) + "\r\n\r\nFecha: "_b));
    EXPECT_TRUE(t.contains("\r\nHora: "));
    EXPECT_TRUE(t.contains("\r\n\r\nMensaje de error:\r\nsin papel\r\n"));
    EXPECT_TRUE(t.endsWith(bytes({29, 86, 0})));
    // The ticket in progress is left as it was and goes out with its own cut.
    EXPECT_EQ(gEstadoImpresion.mBufferImpresion.Texto, QStringLiteral("mitad de una comanda\r\n"));
}

} // namespace
