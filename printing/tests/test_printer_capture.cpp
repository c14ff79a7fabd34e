// The text-capture print target.
#include "PrinterFixture.h"

using namespace printertest;
using namespace basPrinter;

namespace {

class Capture : public PrinterTest {};

TEST_F(Capture, PiecesAreJoinedByLineEnds) {
    auto& t = objImpresionPantalla();
    t.Imprime(QStringLiteral("A"));
    t.Imprime(QStringLiteral("B"));
    EXPECT_EQ(t.textoCapturado(), QStringLiteral("A\r\nB"));
    t.Finaliza();
    EXPECT_TRUE(t.textoCapturado().isEmpty());
}

TEST_F(Capture, TextForRecordingLosesTheCommands) {
    auto& t = objImpresionPantalla();
    t.Imprime(gCodigosPRN.PRN_ININEG + "N" + gCodigosPRN.PRN_FINNEG + gCodigosPRN.PRN_INISUB + "S" +
              gCodigosPRN.PRN_FINSUB + gCodigosPRN.PRN_INIDBLALT + "D" + gCodigosPRN.PRN_FINDBLALT +
              gCodigosPRN.PRN_INITRIALT + "T" + gCodigosPRN.PRN_FINTRIALT + "\r\n" + CodigoImpresora({27, '!', 17}) +
              "X" + CodigoImpresora({27, '!', 0}) + "Y\r\n" + gCodigosPRN.PRN_INIINV + "I" + gCodigosPRN.PRN_FININV);
    EXPECT_EQ(t.getTextoGrabar(), QStringLiteral("NSDT\r") + QChar(17) + "XY\r" + CodigoImpresora({29, 66, 1}) + "I" +
                                      CodigoImpresora({29, 66}));
    EXPECT_EQ(t.textoCapturado(), t.getTextoGrabar()); // cleaned in place
}

TEST_F(Capture, CapturedTicketsNeverReachThePrinter) {
    objImpresionPantalla().setDevolverTextoEnLugarDeImprimir(true);
    Imprimir(QStringLiteral("uno"));
    EXPECT_FALSE(Imprimir(QStringLiteral("dos"), {.Enviar = true}));
    Imprimir(QStringLiteral("tres"), {.ConSalto = false, .Enviar = true});
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(objImpresionPantalla().textoCapturado(), QStringLiteral("uno\r\ndos\r\n\r\ntres"));
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

} // namespace
