// Code strings, markup, the font and width table and the character translation, checked on the bytes
// that reach the printer.
#include "PrinterFixture.h"
#include "core/basFuncionesComunes.h"
#include "platform/Cp1252.h"

using namespace printertest;
using namespace basPrinter;

namespace {

class Translation : public PrinterTest {};

QByteArray traduce(const QString& texto, bool esCocina = false) {
    return cp1252::encode(TraducirCaracteres(texto, esCocina));
}

TEST_F(Translation, EveryAccentedCharacterMapsToItsPrinterByte) {
    struct Fila {
        const char* caracteres;
        int byte;
    };
    const Fila tabla[] = {
        {"¡", 173},  {"´`", 39},  {"çÇ", 135}, {"üÜ", 129}, {"éÉ", 130}, {"âÂãÃ", 131}, {"äÄ", 132},   {"àÀ", 133},
        {"êÊ", 136}, {"ëË", 137}, {"èÈ", 138}, {"ïÏ", 139}, {"îÎ", 140}, {"ìÌ", 141},   {"ôÔõÕ", 147}, {"öÖ", 148},
        {"òÒ", 149}, {"ûÛ", 150}, {"ùÙ", 151}, {"áÁ", 160}, {"íÍ", 161}, {"óÓ", 162},   {"úÚ", 163},   {"ñ", 164},
        {"Ñ", 165},  {"ª", 166},  {"º", 167},  {"¿", 168},  {"€", 238},  {"·", 250},
    };
    for (const auto& f : tabla) {
        const QString cs = QString::fromUtf8(f.caracteres);
        for (QChar c : cs)
            EXPECT_EQ(traduce(QString(c)), bytes({f.byte})) << QString(c).toStdString();
    }
    // Everything else is its own Windows-1252 byte.
    EXPECT_EQ(traduce(QStringLiteral("Az09 ,.-ÿ")), "Az09 ,.-\xff"_b);
}

TEST_F(Translation, EachCharacterIsTranslatedOnceNotThroughAChainOfReplacements) {
    // í becomes 161, which is the code of ¡ (itself mapped to 173); € with the euro page becomes 213,
    // which is the code of Õ (mapped to 147).
    EXPECT_EQ(traduce(QStringLiteral("í")), bytes({161}));
    par("CodigosEscTicketNormal", "4");
    EXPECT_EQ(traduce(QStringLiteral("€")), bytes({27, 't', 19, 213}));
    EXPECT_EQ(traduce(QStringLiteral("¡í")), bytes({27, 't', 19, 173, 161}));
}

TEST_F(Translation, CapitalEnyeKeepsItsOwnByteOtherCapitalsPrintSmall) {
    EXPECT_EQ(traduce(QStringLiteral("CAÑA")), bytes({'C', 'A', 165, 'A'}));
    EXPECT_EQ(traduce(QStringLiteral("caña")), bytes({'c', 'a', 164, 'a'}));
    EXPECT_EQ(traduce(QStringLiteral("Álava")).left(1), bytes({160}));
}

TEST_F(Translation, EuroCodePageIsChosenByTheKitchenOrTheNormalCodeSet) {
    const QString importe = QStringLiteral("12,50 €");
    par("CodigosEscTicketCocina", "3");
    EXPECT_EQ(traduce(importe, true), bytes({27, 't', 19}) + "12,50 "_b + bytes({213}));
    EXPECT_EQ(traduce(importe, false), "12,50 "_b + bytes({238})); // the kitchen setting does not apply
    par("CodigosEscTicketCocina", "0");
    EXPECT_EQ(traduce(importe, true), "12,50 "_b + bytes({238}));
    par("CodigosEscTicketNormal", "4");
    EXPECT_EQ(traduce(importe, false), bytes({27, 't', 19}) + "12,50 "_b + bytes({213}));
    EXPECT_EQ(traduce(importe, true), "12,50 "_b + bytes({238}));
}

TEST_F(Translation, CommandParametersReachThePrinterUntranslated) {
    // A line spacing of 96 (the grave accent) stays 96; text around it is still translated.
    Imprimir(CodigoImpresora({27, '3', 96}) + QStringLiteral("`á"), {.ConSalto = false});
    // Bit-image data that happens to hold accented codes, and a beep with parameter 237 (í).
    Imprimir(CodigoImpresora({27, '*', 0, 3, 0, 0xE1, 0xED, 0xB4}), {.ConSalto = false});
    par("EmitirPito", "3");
    par("EmitirPitoOkiDispositivo", "237");
    EmitirPito(0, QString());
    Imprimir(gCodigosPRN.PRN_ININEG + QStringLiteral("ñ"), {.ConSalto = false});
    EXPECT_EQ(envia(true),
              bytes({27, '3', 96, 39, 160, 27, '*', 0, 3, 0, 0xE1, 0xED, 0xB4, 27, 29, 7, 237, 2, 3, 27, 'E', 1, 164}));
}

TEST_F(Translation, CommandLengthsFromAnyParameterBytesEndInsideTheText) {
    const QByteArray hola = "Hola "_b;
    const QByteArray fsq = bytes({28, 'q'});
    const struct {
        const char* caso;
        QByteArray entrada, esperado;
    } casos[] = {
        // FS q with lengths whose product wraps a 32-bit count: it reached before the text and crashed.
        {"FS q int overflow", hola + fsq + bytes({2, 1, '@', 1, '@'}) + "abc",
         hola + fsq + bytes({2, 1, '@', 1, '@'}) + "abc"},
        {"FS q 255 images", fsq + bytes({255, 255, 255, 255, 255}) + "\xf1",
         fsq + bytes({255, 255, 255, 255, 255, 0xF1})},
        {"GS v 0 65535 x 65535", bytes({29, 'v', '0', 0, 255, 255, 255, 255, 0xF1}),
         bytes({29, 'v', '0', 0, 255, 255, 255, 255, 0xF1})},
        {"ESC & 256 characters", bytes({27, '&', 255, 0, 255, 255, 0xF1}), bytes({27, '&', 255, 0, 255, 255, 0xF1})},
        {"GS ( claims past the end", bytes({29, '(', 'k', 255, 255, 0xF1}), bytes({29, '(', 'k', 255, 255, 0xF1})},
        {"GS k with no NUL", bytes({29, 'k', 4, 'A', 0xF1}), bytes({29, 'k', 4, 'A', 0xF1})},
        {"ESC at the end", "\xf1"_b + bytes({27}), bytes({164, 27})},
        // Lengths that fit end where they say: the text after them is translated.
        {"FS q one image", fsq + bytes({1, 1, 0, 1, 0}) + QByteArray(8, '\xf1') + "\xf1",
         fsq + bytes({1, 1, 0, 1, 0}) + QByteArray(8, '\xf1') + bytes({164})},
        {"GS v one byte", bytes({29, 'v', '0', 0, 1, 0, 1, 0, 0xE1, 0xE1}),
         bytes({29, 'v', '0', 0, 1, 0, 1, 0, 0xE1, 160})},
    };
    for (const auto& c : casos) {
        for (bool cocina : {false, true}) {
            Imprimir(cp1252::decode(c.entrada), {.ConSalto = false});
            EXPECT_EQ(envia(true, cocina), c.esperado) << c.caso;
        }
        // The same bytes as they arrive in a request, with a character outside the basic plane ahead of
        // them: it goes out as one "?" and the scan behind it is unchanged.
        EXPECT_EQ(traduce(QStringLiteral("\U0001F600") + cp1252::decode(c.entrada)), "?"_b + c.esperado) << c.caso;
    }
}

TEST_F(Translation, MarkupInAnyCaseBecomesTheCodeStrings) {
    EXPECT_EQ(sustituyeTagsHTML(QStringLiteral("<B>x</b>")), gCodigosPRN.PRN_ININEG + "x" + gCodigosPRN.PRN_FINNEG);
    EXPECT_EQ(sustituyeTagsHTML(QStringLiteral("prn_inineg x PRN_finNEG")),
              gCodigosPRN.PRN_ININEG + " x " + gCodigosPRN.PRN_FINNEG);
    EXPECT_EQ(sustituyeTagsHTML(QStringLiteral("<U>a</U><DblAlt>b</dblalt><trialt>c</TRIALT>")),
              gCodigosPRN.PRN_INISUB + "a" + gCodigosPRN.PRN_FINSUB + gCodigosPRN.PRN_INIDBLALT + "b" +
                  gCodigosPRN.PRN_FINDBLALT + gCodigosPRN.PRN_INITRIALT + "c" + gCodigosPRN.PRN_FINTRIALT);
    EXPECT_EQ(cp1252::encode(sustituyeTagsHTML(QStringLiteral("<gig>1</gig><INV>2</inv>"))),
              bytes({29, 33, 102, '1', 29, 33, 0, 29, 66, 1, '2', 29, 66, 0}));
    EXPECT_EQ(sustituyeTagsHTML(QStringLiteral("uno&comma;dos&COMMA;")), QStringLiteral("uno,dos,"));
    EXPECT_EQ(sustituyeTagsHTML(QStringLiteral("a<br>b<BR>c")), QStringLiteral("a\r\nb\r\nc"));
    // The string given is replaced in place too.
    QString t = QStringLiteral("<u>s</u>");
    t = sustituyeTagsHTML(t);
    EXPECT_EQ(t, gCodigosPRN.PRN_INISUB + "s" + gCodigosPRN.PRN_FINSUB);
}

TEST_F(Translation, WordWrapAppliesTheMarkupOnceInstalled) {
    InstalaServiciosImpresion();
    EXPECT_EQ(basFuncionesComunes::AjustaTexto(42, QStringLiteral("<b>uno</b><br>dos &comma; tres")),
              gCodigosPRN.PRN_ININEG + "uno" + gCodigosPRN.PRN_FINNEG + "\r\ndos , tres");
}

TEST_F(Translation, CodeSetTwoInitialisationBlanksBoldAndDoubleSizeButNotUnderline) {
    par("CodigosEscTicketNormal", "2");
    InicializaImpresora(0, QString());
    // Each command of the start-up sequence is its own job; the empty send makes none.
    ASSERT_EQ(salida.jobs.size(), 5u);
    EXPECT_EQ(salida.jobs[0].data, bytes({27, '@', 13, 10}));
    EXPECT_EQ(salida.jobs[1].data, bytes({27, '!', 2, 13, 10}));
    EXPECT_EQ(salida.jobs[2].data, bytes({27, 'A', 0, 13, 10}));
    EXPECT_EQ(salida.jobs[3].data, bytes({29, 'E', 1, 13, 10}));
    EXPECT_EQ(salida.jobs[4].data, bytes({29, 's', 1, 13, 10}));
    Imprimir(sustituyeTagsHTML(QStringLiteral("<b>x</b><dblalt>y</dblalt><u>z</u>")), {.ConSalto = false});
    EXPECT_EQ(envia(), "xy"_b + bytes({27, 45, 1}) + "z"_b + bytes({27, 45, 0}));
    InicializaCodigosPRN();
    EXPECT_EQ(cp1252::encode(gCodigosPRN.PRN_ININEG), bytes({27, 69, 1}));
}

TEST_F(Translation, InitialisationSetsLineSpacingAndPrintMode) {
    const QString espaciado = InicializaImpresora(0, QString(), {.CambiarEspaciado = true});
    EXPECT_EQ(espaciado, QString(QChar(30))); // the caller's variable receives the spacing
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(envia(), bytes({27, '3', 30, 13, 10, 27, '!', 0, 13, 10}));
    salida.jobs.clear();
    // Sent at once when asked, to the caller's printer.
    InicializaImpresora(0, QStringLiteral("BARRA"), {.Enviar = true});
    EXPECT_EQ(unicoTrabajo(), bytes({27, '!', 0, 13, 10}));
    EXPECT_EQ(salida.jobs.back().printer, QStringLiteral("BARRA"));
    // Nothing at all while the print target captures.
    salida.jobs.clear();
    objImpresionPantalla().setDevolverTextoEnLugarDeImprimir(true);
    InicializaImpresora(0, QString(), {.CambiarEspaciado = true, .Enviar = true});
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
    EXPECT_TRUE(salida.jobs.empty());
}

TEST_F(Translation, LineSpacingThatIsNoByteIsSkippedAndReportedOnce) {
    par("EspacioEntreLineas", "300");
    QString espaciado;
    InicializaImpresora(0, QString(), {.CambiarEspaciado = true, .Espaciado = espaciado});
    EXPECT_EQ(mensajes(), 1);
    EXPECT_EQ(envia(), bytes({27, '!', 0, 13, 10})); // no ESC "3" without its parameter
}

TEST_F(Translation, FontCommandAndCharactersPerLine) {
    struct Fila {
        int letra, codigo;
        QByteArray orden;
        int ancho;
    };
    const Fila tabla[] = {
        {0, 0, {}, 42},
        {1, 0, bytes({27, '!', 16}), 42},
        {2, 1, bytes({27, '!', 32}), 56},
        {3, 2, bytes({27, '!', 48}), 34},
        {4, 3, bytes({27, '!', 1}), 43},
        {5, 0, bytes({27, '!', 17}), 56},
        {6, 1, bytes({27, '!', 33}), 74},
        {7, 2, bytes({27, '!', 49}), 45},
        {9, 0, bytes({27, '!', 0}), 42},
        {1, 3, bytes({27, '!', 16}), 33},
        {5, 7, bytes({27, '!', 17}), 42},
    };
    for (const auto& f : tabla) {
        for (bool cocina : {true, false}) {
            par(cocina ? "TipoLetraCocina" : "TipoLetraTickets", QString::number(f.letra));
            par(cocina ? "AnchoImpresoraCocina" : "AnchoImpresoraTickets", QString::number(f.codigo));
            par(cocina ? "TipoLetraTickets" : "TipoLetraCocina", "0");
            par(cocina ? "AnchoImpresoraTickets" : "AnchoImpresoraCocina", "9");
            EXPECT_EQ(EstableceLetraYAncho(0, QString(), cocina), f.ancho) << f.letra << "/" << f.codigo;
            EXPECT_EQ(envia(), f.orden.isEmpty() ? QByteArray() : f.orden + "\r\n"_b) << f.letra;
        }
    }
}

TEST_F(Translation, NarrowPrintersAndDriverWidthOverrideTheTable) {
    par("TipoLetraTickets", "5");
    EXPECT_EQ(EstableceLetraYAncho(9998, QString(), false), 34);
    EXPECT_EQ(EstableceLetraYAncho(9999, QString(), false), 34);
    par("UsarImpDRVSiempre", "True");
    par("AnchoDatosCabeceraDRV", "4499");
    EXPECT_EQ(EstableceLetraYAncho(9998, QString(), false), 60);
    par("AnchoDatosCabeceraDRV", "4500");
    EXPECT_EQ(EstableceLetraYAncho(0, QString(), false), 100);
    // Capturing: the width is still computed, no font command is added.
    gEstadoImpresion.mBufferImpresion.Texto.clear();
    objImpresionPantalla().setDevolverTextoEnLugarDeImprimir(true);
    par("UsarImpDRVSiempre", "False");
    EXPECT_EQ(EstableceLetraYAncho(0, QString(), false), 56);
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

} // namespace
