// The printer layer against the private cupsd: raw queues that point at a TCP capture in this process.
#include "PrinterFixture.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/TestEnv.h"
#include <cups/cups.h>
#include <memory>

using namespace printertest;
using namespace basPrinter;

namespace {

class Cups : public PrinterTest {
protected:
    std::unique_ptr<testenv::ColaCaptura> cola; // a raw queue that prints into a capture of this process

    void SetUp() override {
        PrinterTest::SetUp();
        printers::install(nullptr); // the real libcups output
        if (!testenv::haveCups())
            return;
        cola = std::make_unique<testenv::ColaCaptura>(QStringLiteral("tarvolin_prn"));
        ASSERT_TRUE(cola->creada);
        par("ImpTicket", cola->nombre);
    }
    void TearDown() override {
        cola.reset();
        PrinterTest::TearDown();
    }
};

TEST_F(Cups, EveryByteArrivesUnchanged) {
    TARVOLIN_REQUIRE_CUPS();
    QString todos;
    QByteArray esperado;
    for (int b = 0; b < 256; ++b) {
        todos += vb::Chr(b);
        esperado.append(char(b));
    }
    EXPECT_TRUE(Imprimir(todos, {.ConSalto = false, .Enviar = true, .Traducir = false}));
    ASSERT_TRUE(cola->captura.espera(1));
    EXPECT_EQ(cola->captura.trabajos[0], esperado);
}

TEST_F(Cups, EachTicketIsOneJob) {
    TARVOLIN_REQUIRE_CUPS();
    Imprimir(gCodigosPRN.PRN_ININEG + QStringLiteral("Mesa 4") + gCodigosPRN.PRN_FINNEG);
    Imprimir(QStringLiteral("2 Caña"));
    CortarPapel({.ImprimirLogoDespues = false});
    Imprimir(QStringLiteral("1 Café"));
    CortarPapel({.ImprimirLogoDespues = false});
    ASSERT_TRUE(cola->captura.espera(2));
    const QByteArray pie = QByteArray("\r\n").repeated(5) + bytes({29, 'V', 0});
    // Jobs may reach the capture in either order.
    std::vector<QByteArray> esperados = {bytes({27, 'E', 1}) + "Mesa 4"_b + bytes({27, 'E', 0}) + "\r\n2 Ca"_b +
                                             bytes({164}) + "a\r\n"_b + pie,
                                         "1 Caf"_b + bytes({130}) + "\r\n"_b + pie};
    auto recibidos = cola->captura.trabajos;
    std::sort(recibidos.begin(), recibidos.end());
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(recibidos, esperados);
}

TEST_F(Cups, NoNameAtAllGoesToTheDefaultPrinter) {
    TARVOLIN_REQUIRE_CUPS();
    // This process's own default (LPDEST), so the shared server's default stays as it is.
    const QByteArray antes = qgetenv("LPDEST");
    qputenv("LPDEST", cola->nombre.toUtf8());
    cups_dest_t* destinos = nullptr;
    const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &destinos);
    cups_dest_t* porDefecto = cupsGetDest(nullptr, nullptr, n, destinos);
    const QString nombreDefecto = porDefecto ? QString::fromUtf8(porDefecto->name) : QString();
    cupsFreeDests(n, destinos);
    par("ImpTicket", "");
    const bool ok = Imprimir(QStringLiteral("sin nombre"), {.Enviar = true});
    if (antes.isNull())
        qunsetenv("LPDEST");
    else
        qputenv("LPDEST", antes);
    EXPECT_EQ(nombreDefecto, cola->nombre);
    EXPECT_TRUE(ok);
    ASSERT_TRUE(cola->captura.espera(1));
    EXPECT_EQ(cola->captura.trabajos[0], "sin nombre\r\n"_b);
}

TEST_F(Cups, MissingQueueIsReportedOnce) {
    TARVOLIN_REQUIRE_CUPS();
    EXPECT_FALSE(Imprimir(QStringLiteral("x"),
                          {.Enviar = true, .NombreImpresora = cola->nombre + QStringLiteral("_no_existe")}));
    EXPECT_EQ(mensajes(), 1);
    // The next ticket to a good queue is unaffected.
    EXPECT_TRUE(Imprimir(QStringLiteral("y"), {.Enviar = true}));
    ASSERT_TRUE(cola->captura.espera(1));
    EXPECT_EQ(cola->captura.trabajos[0], "y\r\n"_b);
}

} // namespace
