// The text-capture print target.
#include "PrinterFixture.h"

using namespace printertest;
using namespace basPrinter;

namespace {

using clsImpresionPantallaTest = PrinterTest;

// Captured tickets never reach the printer: they are the pieces joined by line ends (the set-up sends
// no command, the width is still computed, the cut hands over the buffer); the text for recording loses
// the commands.
TEST_F(clsImpresionPantallaTest, CapturesTheTicketAndRecordsItWithoutCommands) {
    auto& t = objImpresionPantalla();
    t.setDevolverTextoEnLugarDeImprimir(true);
    par("TipoLetraTickets", "5");
    InicializaImpresora(trabajo, 0, QString(), {.CambiarEspaciado = true, .Enviar = true});
    EXPECT_EQ(EstableceLetraYAncho(trabajo, 0, QString(), false), 56);
    Imprimir(trabajo, QStringLiteral("cero"));
    CortarPapel(trabajo);
    Imprimir(trabajo, QStringLiteral("uno"));
    EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("dos"), {.Enviar = true}).salio());
    Imprimir(trabajo, QStringLiteral("tres"), {.ConSalto = false, .Enviar = true});
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(t.textoCapturado(), QStringLiteral("cero\r\n\r\nuno\r\ndos\r\n\r\ntres"));
    EXPECT_TRUE(buffer.isEmpty());
    t.Finaliza();
    EXPECT_TRUE(t.textoCapturado().isEmpty());

    const CodigosPRN& prn = gCodigosPRN;
    t.Imprime(prn.PRN_ININEG + "N" + prn.PRN_FINNEG + prn.PRN_INISUB + "S" + prn.PRN_FINSUB + prn.PRN_INIDBLALT + "D" +
              prn.PRN_FINDBLALT + prn.PRN_INITRIALT + "T" + prn.PRN_FINTRIALT + "\r\n" +
              CodigoImpresora({27, '!', 17}) + "X" + CodigoImpresora({27, '!', 0}) + "Y\r\n" + prn.PRN_INIINV + "I" +
              prn.PRN_FININV);
    EXPECT_EQ(t.getTextoGrabar(), QStringLiteral("NSDT\r") + QChar(17) + "XY\r" + CodigoImpresora({29, 66, 1}) + "I" +
                                      CodigoImpresora({29, 66}));
    EXPECT_EQ(t.textoCapturado(), t.getTextoGrabar()); // cleaned in place
}

} // namespace
