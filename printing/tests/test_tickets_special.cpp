// Special tickets: free text with markup, pieces, the 42-column wrap and the shop's header and foot
// rows of configticket.
#include "test_tickets_support.h"

#include "platform/Cp1252.h"

using namespace tickettest;
using basPrinter::CodigoImpresora;
using printertest::operator""_b;

namespace {

const QByteArray kCorte = QByteArray("\r\n").repeated(5) + bytes({29, 'V', 0});
const QByteArray kInicio = bytes({27, '!', 0}) + "\r\n";

using SpecialTicket = TicketTest;

TEST_F(SpecialTicket, EachPieceIsATicketOfItsOwn) {
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketEspecial(QStringLiteral("uno<cortar>dos")).blnEnviado);
    ASSERT_EQ(salida.jobs.size(), 2u);
    EXPECT_EQ(salida.jobs[0].data, kInicio + "uno\r\n" + kCorte);
    EXPECT_EQ(salida.jobs[1].data, "dos\r\n" + kCorte);
    EXPECT_EQ(salida.jobs[0].printer, QStringLiteral("TICKETS"));
}

TEST_F(SpecialTicket, LineEndsAndBreakTagsEachBreakALine) {
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketEspecial(QStringLiteral("uno\r\ndos\ntres<br>cuatro<BR>cinco")).blnEnviado);
    ASSERT_EQ(salida.jobs.size(), 1u);
    EXPECT_EQ(salida.jobs[0].data, kInicio + "uno\r\n\r\ndos\r\ntres\r\ncuatro<BR>cinco\r\n" + kCorte);
}

TEST_F(SpecialTicket, LinesLongerThan42ColumnsAreWrappedAndCodesCount) {
    const QString a40(40, QLatin1Char('a'));
    const QString x36(36, QLatin1Char('x'));
    clsImprimirTicket t;
    // 42 columns: as it is; 43: wrapped at the blank; a bold word of 36 plus its two codes: 42, as it is;
    // one more character and the codes push it to the wrap; tags in capitals are text.
    EXPECT_TRUE(t.ImprimirTicketEspecial(a40 + QStringLiteral(" b<br>") + a40 + QStringLiteral(" bb<br><b>") + x36 +
                                         QStringLiteral("</b><br><b>y ") + x36 + QStringLiteral("</b><br><B>z</B>"))
                    .blnEnviado);
    ASSERT_EQ(salida.jobs.size(), 1u);
    const QByteArray bold = bytes({27, 'E', 1}), fin = bytes({27, 'E', 0});
    const QByteArray a = a40.toLatin1(), x = x36.toLatin1();
    EXPECT_EQ(salida.jobs[0].data, kInicio + a + " b\r\n" + a + "\r\nbb\r\n" + bold + x + fin + "\r\n" + bold +
                                       "y\r\n" + x + fin + "\r\n<B>z</B>\r\n" + kCorte);
}

TEST_F(SpecialTicket, AnyCharactersPrintAndCountOneColumnEach) {
    const QByteArray fsq = bytes({28, 'q', 2, 1, '@', 1, '@'});
    const QString cara = QStringLiteral("\U0001F600");
    const struct {
        const char* caso;
        QString texto;
        QByteArray impreso;
    } casos[] = {
        // The request that ended the service: an image command claiming more than the whole ticket.
        {"FS q overflow", QStringLiteral("Hola ") + cp1252::decode(fsq) + QStringLiteral("abc"),
         "Hola "_b + fsq + "abc\r\n"},
        // 42 characters outside the basic plane fit the line; 43 are wrapped.
        {"42 emoji", cara.repeated(42), QByteArray(42, '?') + "\r\n"},
        {"43 emoji", cara.repeated(40) + QStringLiteral(" ") + cara + cara, QByteArray(40, '?') + "\r\n??\r\n"},
    };
    for (const auto& c : casos) {
        salida.jobs.clear();
        clsImprimirTicket t;
        EXPECT_TRUE(t.ImprimirTicketEspecial(c.texto).blnEnviado) << c.caso;
        ASSERT_EQ(salida.jobs.size(), 1u) << c.caso;
        EXPECT_EQ(salida.jobs[0].data, kInicio + c.impreso + kCorte) << c.caso;
    }
}

TEST_F(SpecialTicket, ShopRowsFrameEveryPiece) {
    core->sql("insert into configticket (idEmpresa, idRestaurante, idioma, idOrden, Texto) values "
              "(1,1,0,1,'RESTAURANTE EL PUERTO'), (1,1,0,2,''), (1,1,0,3,'C/ Mayor, 12'), (1,1,0,4,null), "
              "(1,1,0,7,'\u00a1Gracias por su visita!'), (1,1,0,8,''), (1,1,0,9,null), "
              "(1,1,1,5,'Otro idioma'), (2,1,0,5,'Otra empresa')");
    par("CodigosEscTicketNormal", "3");
    par("LogoEnImpresora", "1");
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketEspecial(QStringLiteral("<dblalt>Pedido</dblalt> 27<br><u>Recoger</u><cortar>"),
                                         {.blnImprimirCabeceraYPie = true, .blnImprimirLogo = true})
                    .blnEnviado);
    EXPECT_TRUE(lineasError().empty());
    // The code set's own double height lasted for the ticket only.
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INIDBLALT, CodigoImpresora({29, '!', 17}));
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_FINDBLALT, CodigoImpresora({29, '!', 0}));
    comparaGolden(QStringLiteral("especial_cabecera_pie"), salida.jobs);
}

TEST_F(SpecialTicket, StandardCodeSetKeepsTheStandardDoubleHeight) {
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketEspecial(QStringLiteral("<dblalt>X</dblalt>")).blnEnviado);
    EXPECT_EQ(salida.jobs.at(0).data, kInicio + bytes({29, '!', 17}) + "X" + bytes({29, '!', 0}) + "\r\n" + kCorte);
}

TEST_F(SpecialTicket, EmptyTextSendsNothingAndLeavesTheSetUpInTheBuffer) {
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketEspecial(QString()).blnEnviado);
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(basPrinter::gEstadoImpresion.mBufferImpresion.Texto, QString::fromLatin1(kInicio));
}

TEST_F(SpecialTicket, SecondaryPrinterTakesTheFollowingPiecesAndTheCallerLearnsIt) {
    par("ImprImpSecundaria", "1");
    frmPrincipalVars().blnImpresoraSecundaria = true;
    QString impresora = QStringLiteral("BARRA");
    clsImprimirTicket t;
    const auto r = t.ImprimirTicketEspecial(QStringLiteral("uno<cortar>dos"), {.strImpresora = impresora});
    EXPECT_TRUE(r.blnEnviado);
    EXPECT_EQ(r.strImpresora, QStringLiteral("SECUNDARIA"));
    ASSERT_EQ(salida.jobs.size(), 2u);
    EXPECT_EQ(salida.jobs[1].printer, QStringLiteral("SECUNDARIA"));
    EXPECT_FALSE(salida.jobs[0].data.contains(bytes({29, 'V'}))); // the secondary printer is not cut
}

TEST_F(SpecialTicket, RefusedJobMakesTheResultFalse) {
    gblnLog = true;
    salida.fail = true;
    clsImprimirTicket t;
    EXPECT_FALSE(t.ImprimirTicketEspecial(QStringLiteral("uno")).blnEnviado);
}

} // namespace
