// Kitchen tickets against real rows through the ODBC driver: whole jobs compared with golden files
// over the parameters that shape a ticket, and the faults a ticket must survive.
#include "test_tickets_support.h"

#include "core/basLegacyFunctions.h"
#include "platform/Ado.h"
#include "platform/Cp1252.h"

using namespace tickettest;
using basPrinter::CodigoImpresora;
using printertest::operator""_b;

namespace {

struct CasoGolden {
    const char* nombre;
    std::vector<std::pair<const char*, const char*>> parametros;
    std::function<void(coretest::ConnectedCore&, clsImprimirTicket&)> imprime;
};

void imprimeBase(coretest::ConnectedCore&, clsImprimirTicket& t) {
    EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(
        3, 1234, kTextoCocina, {.strTextoPie = QStringLiteral("Mesa con ni\u00f1os: traer dos tronas")}));
}

const std::vector<CasoGolden>& casosGolden() {
    static const std::vector<CasoGolden> casos = {
        // Header with the large number in digits, seller, table, identification block, observations, foot text.
        {"cocina_base", {}, imprimeBase},
        // Without the printed header only the set-up commands come before the lines.
        {"cocina_sin_cabecera",
         {},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, kTextoCocina, {.blnImprimirCabecera = false}));
         }},
        // Command numbers already recorded for the ticket are listed in order.
        {"cocina_numeros_comanda",
         {{"ImpDosCarTickGrandes", "2"}},
         [](coretest::ConnectedCore& core, clsImprimirTicket& t) {
             core.sql("insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idTPVComanda, "
                      "idGrupoComandas, idComanda) values (1,1,1234,3,2,1,15), (1,1,1234,3,2,1,12)");
             imprimeBase(core, t);
         }},
        // Seller in triple height by code, printer name line, blank lines, the request's header text, named
        // printer.
        {"cocina_vendedor_impresora",
         {{"ImprimirVendedorTicketCocina", "3"},
          {"ImpNombreVendedor", "0"},
          {"ImprimirNombreImpresoraTicketCocina", "1"},
          {"BlancosCabecera", "2"},
          {"BlancosCabeceraTicketCocina", "0"},
          {"ImpDosCarTickGrandes", "0"}},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"),
                                                        {.strImpresora = QStringLiteral("COCINA2"),
                                                         .strDescripcionCabecera = QStringLiteral("PASE CALIENTE")}));
         }},
        // A kitchen message replaces the header text.
        {"cocina_mensaje",
         {{"ImpDosCarTickGrandes", "0"}, {"ImprimirObservacionesTicketCocina", "0"}},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             t.strMensajeCocina = QStringLiteral("URGENTE");
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
         }},
        // Tables 9995 to 9999 and a real table without its number's name, in triple height; a ticket series,
        // waiters without a name, a ticket without dining room or guests.
        {"cocina_mesas_especiales",
         {{"ImpMesaTickCocinaGrande", "1"},
          {"ImpCodigoMesasSalas", "1"},
          {"EspacioEntreLineasCocina", "64"},
          {"BlancosCabeceraTicketCocina", "0"},
          {"ImpDosCarTickGrandes", "0"},
          {"ImprimirVendedorTicketCocina", "0"},
          {"ImprimirTPVCocina", "0"},
          {"BlancosPie", "0"}},
         [](coretest::ConnectedCore&, clsImprimirTicket&) {
             for (qint32 ticket : {1234, 9995, 9996, 9997, 9998, 9999}) {
                 clsImprimirTicket t;
                 EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, ticket, QStringLiteral("1 Agua")));
             }
         }},
        // The identification block at the foot: big ticket number, big dining room, handheld and waiter.
        {"cocina_identificacion_pie",
         {{"ImpCabTickCocinaFinal", "1"}, {"TicketGrande", "1"}, {"ImprimirSalaGrandeCocina", "1"}},
         [](coretest::ConnectedCore& core, clsImprimirTicket& t) {
             t.intCamarero = QStringLiteral("1");
             t.lngNumComandero = 2;
             imprimeBase(core, t);
         }},
        // Both observations, the general one and the whole block in double height; a long foot text.
        {"cocina_observaciones_grandes",
         {{"ImprimirObservacionesTicketCocina", "2"}, {"ImprimirObservacionesLetraGrande", "2"}},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(
                 3, 1234, QStringLiteral("1 Flan"),
                 {.strTextoPie =
                      QStringLiteral("Servir el postre cuando el cliente lo pida, no antes; avisar a sala")}));
         }},
        // Beep (drawer pulse), three blank lines, red cancelled off, the drawn rules.
        {"cocina_pito_blancos_regla",
         {{"EmitirPito", "5"},
          {"BlancosPie", "3"},
          {"ImprimirAnulacionesRojo", "1"},
          {"LineasHorizontalesCocina", "1"}},
         imprimeBase},
        // Code set 2: the printer is reset and set up by commands sent at once, bold and double height blanked.
        {"cocina_juego_codigos_2",
         {{"CodigosEscTicketNormal", "2"}, {"CodigosEscTicketCocina", "2"}, {"TipoLetraCocina", "5"}},
         imprimeBase},
        // Articles in inverse, emphasis by inverse, large and in capitals, with line spacing.
        {"cocina_articulos_inversos",
         {{"ImpArtInvTickCocina", "1"},
          {"TipoImpresionNegritaArticulosTicketCocina", "1"},
          {"ImpArtsLetraGrandeCocina", "1"},
          {"ImpArtsMayusculas", "1"},
          {"InterlineadoImpresoraCocina", "40"}},
         imprimeBase},
        // A ticket without a header row: the foot's block still prints its labels.
        {"cocina_sin_fila_cabecera",
         {{"ImpCabTickCocinaFinal", "1"}},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 4321, QStringLiteral("1 Flan")));
         }},
        // Three pieces: each a ticket with its own header and foot, the last one without lines.
        {"cocina_piezas",
         {{"ImpDosCarTickGrandes", "2"}, {"EspacioEntreLineasCocina", "64"}},
         [](coretest::ConnectedCore&, clsImprimirTicket& t) {
             EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(
                 3, 1234, QStringLiteral("1 Caf\u00e9<cortar>2 Tostadas\r\n<B>con tomate</B><cortar>")));
         }},
    };
    return casos;
}

class GoldenCocina : public TicketTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(GoldenCocina, WholeJobsMatchTheReviewedBytes) {
    const CasoGolden& caso = casosGolden()[GetParam()];
    for (const auto& [k, v] : caso.parametros)
        par(QString::fromLatin1(k), QString::fromUtf8(v));
    clsImprimirTicket ticket;
    caso.imprime(*core, ticket);
    EXPECT_TRUE(lineasError().empty()) << lineasError().front().toStdString();
    comparaGolden(QString::fromLatin1(caso.nombre), salida.jobs);
}

INSTANTIATE_TEST_SUITE_P(Tickets, GoldenCocina, ::testing::Range<size_t>(0, casosGolden().size()),
                         [](const ::testing::TestParamInfo<size_t>& i) {
                             return std::string(casosGolden()[i.param].nombre);
                         });

// ---- composition ----

using KitchenTicket = TicketTest;

TEST_F(KitchenTicket, EmptyTextPrintsNothingAndCountsAsDone) {
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QString()));
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_TRUE(basPrinter::gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(KitchenTicket, LineBreaksAndEmphasisFollowTheirExactSpelling) {
    par("EspacioEntreLineasCocina", "64");
    clsImprimirTicket t;
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("uno\ndos\r\ntres<BR><B>x</B><br></b>solo"),
                                               {.blnImprimirCabecera = false, .blnImprimirPie = false}));
    const QString s = todo();
    const QString bold = CodigoImpresora({27, 'E', 1});
    // A lone line feed joins its neighbours; CR LF and "<br>" break; "<BR>" and "<B>" are text.
    EXPECT_TRUE(s.contains(QStringLiteral("unodos") + QString(36, QLatin1Char(' ')) + QStringLiteral("\r\n")));
    EXPECT_TRUE(s.contains(QStringLiteral("tres<BR><B>x</B> ")));
    EXPECT_FALSE(s.contains(bold));
    // A line holding only the closing tag gets no closing codes.
    EXPECT_TRUE(s.contains(QStringLiteral("</b>solo ") + QString(33, QLatin1Char(' ')) + QStringLiteral("\r\n")));
    EXPECT_FALSE(s.contains(CodigoImpresora({27, 'E', 0})));
}

TEST_F(KitchenTicket, LineSpacingOutsideAByteSendsNoSpacingCommands) {
    par("EspacioEntreLineasCocina", "64");
    for (const char* valor : {"300", "-5"}) {
        par("InterlineadoImpresoraCocina", QString::fromLatin1(valor));
        salida.jobs.clear();
        clsImprimirTicket t;
        ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
        EXPECT_FALSE(todo().contains(CodigoImpresora({27, '3'}))) << valor;
        EXPECT_FALSE(todo().contains(CodigoImpresora({27, '2'}))) << valor;
    }
    par("InterlineadoImpresoraCocina", "255");
    salida.jobs.clear();
    clsImprimirTicket t;
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(CodigoImpresora({27, '3', 255}) + QStringLiteral("\r\n1 Flan")));
    EXPECT_TRUE(todo().contains(CodigoImpresora({27, '2'}) + QStringLiteral("\r\n")));
}

TEST_F(KitchenTicket, HeightCodesOfTheKitchenAreRestoredAfterEachPiece) {
    par("CodigosEscTicketCocina", "1");
    clsImprimirTicket t;
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("a<cortar>b")));
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INIDBLALT, CodigoImpresora({29, '!', 17}));
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INITRIALT, CodigoImpresora({29, '!', 34}));
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_FINTRIALT, CodigoImpresora({29, '!', 0}));
    // During the job the table line used the ESC "!" forms.
    EXPECT_TRUE(todo().contains(CodigoImpresora({27, '!', 57})));
}

// ---- faults a ticket must survive ----

TEST_F(KitchenTicket, ArticleLinesOfAnyCharactersPrintAtTheLineWidth) {
    const QByteArray fsq = bytes({28, 'q', 2, 1, '@', 1, '@'});
    const struct {
        const char* caso;
        QString linea;
        QByteArray impresa; // before the padding to 42 bytes
    } casos[] = {
        // An image command that claims far more than the ticket holds: the line and the rest of the ticket
        // go out as they are.
        {"FS q overflow", QStringLiteral("Hola ") + cp1252::decode(fsq) + QStringLiteral("abc"),
         "Hola "_b + fsq + "abc"},
        // A character outside the basic plane is one byte on paper and takes one column.
        {"emoji", QStringLiteral("1 Pizza \U0001F355 picante"), "1 Pizza ? picante"},
    };
    for (const auto& c : casos) {
        salida.jobs.clear();
        clsImprimirTicket t;
        ASSERT_TRUE(
            t.ImprimirTicketCocinaEspecial(3, 1234, c.linea, {.blnImprimirCabecera = false, .blnImprimirPie = false}))
            << c.caso;
        ASSERT_FALSE(salida.jobs.empty()) << c.caso;
        const QByteArray linea = c.impresa + QByteArray(42 - c.impresa.size(), ' ') + "\r\n";
        EXPECT_TRUE(salida.jobs.back().data.contains(linea)) << c.caso;
        EXPECT_TRUE(salida.jobs.back().data.endsWith(bytes({29, 'V', 0}))) << c.caso;
    }
    EXPECT_TRUE(lineasError().empty());
}

TEST_F(KitchenTicket, FailureInTheFootStillCutsTheTicketOnItsOwnPrinterBeforeTheReport) {
    core->sql("drop table qm_cabticket_observ");
    clsImprimirTicket t;
    t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"), {.strImpresora = QStringLiteral("COCINA2")});
    ASSERT_GE(salida.jobs.size(), 3u);
    const auto& ticket = salida.jobs[salida.jobs.size() - 2];
    EXPECT_EQ(ticket.printer, QStringLiteral("COCINA2"));
    EXPECT_TRUE(ticket.data.contains("1 Flan"));
    EXPECT_TRUE(ticket.data.endsWith(QByteArray("\r\n").repeated(5) + bytes({29, 'V', 0})));
    // The report comes after the ticket, as its own job on the ticket printer.
    const auto& error = salida.jobs.back();
    EXPECT_EQ(error.printer, QStringLiteral("TICKETS"));
    EXPECT_TRUE(error.data.startsWith("Tarvolin Error: ERROR: clsImprimirTicket.ImprimirTicketCocinaPie: "));
    EXPECT_EQ(lineasError().size(), 1u);
}

TEST_F(KitchenTicket, SpacingValueOutsideAByteLeavesEveryTicketWholeAndSilent) {
    par("EspacioEntreLineasCocina", "300");
    par("LineasHorizontalesCocina", "1");
    par("ImpCabTickCocinaFinal", "1");
    for (int i = 0; i < 2; ++i) {
        clsImprimirTicket t;
        EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    }
    ASSERT_EQ(salida.jobs.size(), 2u);
    for (const auto& j : salida.jobs) {
        EXPECT_TRUE(j.data.endsWith(bytes({29, 'V', 0})));
        EXPECT_FALSE(j.data.contains(bytes({27, '3'})));
        EXPECT_TRUE(j.data.contains("Impreso desde:"));
    }
    EXPECT_TRUE(lineasError().empty());
    EXPECT_TRUE(avisos.calls.empty());
}

// On a live link a failed header query is no reason to reconnect: the pieces still print, without the
// header row, and the answer tells that the ticket is not whole.
TEST_F(KitchenTicket, FailedHeaderQueryIsReportedOncePrintsWithoutTheRowAndAnswersFalse) {
    core->sql("alter table qm_cabticket rename to qm_cabticket_old");
    par("ImprimirVendedorTicketCocina", "0");
    par("ImpCabTickCocinaFinal", "1");
    clsImprimirTicket t;
    EXPECT_FALSE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan<cortar>2 Flan")));
    ASSERT_EQ(lineasError().size(), 1u);
    EXPECT_TRUE(
        lineasError().front().startsWith(QStringLiteral("Tarvolin Error: ERROR: clsImprimirTicket.ListCabTicket: ")));
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto like '%ListCabTicket%'"), QStringLiteral("1"));
    // Both pieces print as tickets without a header row.
    const QString s = todo();
    EXPECT_EQ(s.count(QStringLiteral("Ticket ") + CodigoImpresora({27, 'E', 0}) + QStringLiteral(" ")), 2);
    EXPECT_TRUE(s.contains(QStringLiteral("1 Flan")) && s.contains(QStringLiteral("2 Flan")));
    EXPECT_FALSE(s.contains(QStringLiteral("Mesa:")));
}

// The service connected days ago; each ticket carries the clock's day and time, also across midnight.
TEST_F(KitchenTicket, DateLineFollowsTheClockAcrossMidnight) {
    par("ImpDosCarTickGrandes", "0");
    gdtmFechaConexion = QDateTime(QDate(2026, 3, 10), QTime(9, 0, 0));
    const std::pair<QDateTime, const char*> casos[] = {
        {QDateTime(QDate(2026, 3, 14), QTime(23, 59, 40)), "14/03/26 23:59"},
        {QDateTime(QDate(2026, 3, 15), QTime(0, 0, 5)), "15/03/26 00:00"},
        {QDateTime(QDate(2026, 4, 1), QTime(12, 30, 0)), "01/04/26 12:30"},
    };
    for (const auto& [ahora, fec] : casos) {
        clock_seam::setNowSource([t = ahora] { return t; });
        salida.jobs.clear();
        clsImprimirTicket t;
        ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
        EXPECT_TRUE(todo().contains(QStringLiteral("Fec: ") + CodigoImpresora({27, 'E', 0}) + QLatin1String(fec)))
            << fec;
    }
}

TEST_F(KitchenTicket, OnlyTheLabelImpresoraIsTranslatedNotThePrinterName) {
    core->sql("insert into idiomes (idioma, `text`, traduccion) values (2, 'Impresora', 'Impressora'), "
              "(2, 'COCINA2', 'CUINA2'), (2, 'COCINA2 Impresora', 'mal')");
    gintIdiomaActual = 2;
    par("ImprimirNombreImpresoraTicketCocina", "1");
    clsImprimirTicket t;
    ASSERT_TRUE(
        t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"), {.strImpresora = QStringLiteral("COCINA2")}));
    EXPECT_TRUE(todo().contains(QStringLiteral("Impressora COCINA2\r\n")));
}

TEST_F(KitchenTicket, WaiterCodeReachesTheQueryAsAValue) {
    par("ImpDosCarTickGrandes", "0");
    clsImprimirTicket t;
    t.intCamarero = QStringLiteral("0 or 1=1");
    ASSERT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(QStringLiteral("Camarero: ") + CodigoImpresora({27, 'E', 0}) + QStringLiteral("\r\n")));
    EXPECT_FALSE(todo().contains(QStringLiteral("Ana")));
    EXPECT_TRUE(lineasError().empty());
}

TEST_F(KitchenTicket, ResultTellsWhetherTheTicketWentOut) {
    salida.fail = true;
    gblnLog = true; // the refused job is reported in the log, not on the refusing printer
    clsImprimirTicket t;
    EXPECT_FALSE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    salida.fail = false;
    clsImprimirTicket otro;
    EXPECT_TRUE(otro.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
}

// Under /log (a message would be a box) or /mensaje (every log line a box) a print that fails answers
// false at once: no box holds its reply, the failure goes to the grid and the log.
TEST_F(KitchenTicket, FailedPrintAnswersWithoutWaitingOnAMessageBox) {
    struct Caso {
        bool log, mensaje, cocina;
    };
    const Caso casos[] = {{true, false, true}, {true, false, false}, {false, true, true}, {true, true, false}};
    for (const Caso& c : casos) {
        gblnLog = c.log;
        gblnMensaje = c.mensaje;
        salida.fail = true;
        avisos.calls.clear();
        recordingMainWindow().grid.clear();
        clsImprimirTicket t;
        const bool ok = c.cocina ? t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"))
                                 : t.ImprimirTicketEspecial(QStringLiteral("Hola")).blnEnviado;
        EXPECT_FALSE(ok) << c.log << c.mensaje << c.cocina;
        EXPECT_TRUE(avisos.calls.empty()) << c.log << c.mensaje << c.cocina << ": " << avisos.calls.size();
        EXPECT_FALSE(recordingMainWindow().grid.filter(QStringLiteral("No se ha podido imprimir en")).isEmpty());
    }
    gblnLog = gblnMensaje = false;
    salida.fail = false;
    // Away from the print road a message still asks the user.
    gblnLog = true;
    MensajeUsuario(QStringLiteral("fuera de la impresión"));
    gblnLog = false;
    EXPECT_EQ(avisos.calls.size(), 1u);
}

// ---- a lost database link ----

// The link dies under both connections while the till is quiet (the server kills them, or its idle
// time-out closes them). The first kitchen ticket after that prints its whole header at once, with
// no error report and without the reconnect timer (which never fires here): the check before the
// job finds the dead link, or the header query does and runs again on connections made anew.
TEST_F(KitchenTicket, FirstTicketAfterALostLinkPrintsItsHeaderAtOnce) {
    coretest::ReconnectingMainWindow ventana(50);
    ventana.setArmado(false);
    QTimer vigilante; // a job that waited for the timer would wait until this ends the program
    QObject::connect(&vigilante, &QTimer::timeout, [] { program::requestEnd(); });
    vigilante.start(60000);
    const char* kAntes = "Conexión con MySQL perdida: se vuelve a conectar";
    const char* kCabecera = "ListCabTicket: conexión perdida, se vuelve a conectar";
    const std::tuple<bool, int, const char*> casos[] = {
        {false, 0, kAntes}, {false, 3600000, kCabecera}, {true, 0, kAntes}, {true, 3600000, kCabecera}};
    for (const auto& [inactividad, comprobarTrasMs, traza] : casos) {
        QStringList ids;
        for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()}) {
            cn->LinkCheckIdleMs = comprobarTrasMs; // 0: the check before the job asks the server
            ids << vb::CStr(cn->Execute(QStringLiteral("select connection_id()"))->Fields(0).Value);
            if (inactividad)
                cn->Execute(QStringLiteral("set session wait_timeout=1"));
        }
        if (inactividad) { // wait until the server has closed both
            const QString quedan =
                QStringLiteral("select count(*) from information_schema.processlist where id in (%1)")
                    .arg(ids.join(','));
            for (const qint64 limite = clock_seam::tickMs() + 30000;
                 core->valor(quedan) != QLatin1String("0") && clock_seam::tickMs() < limite;)
                program::waitMs(50);
            ASSERT_EQ(core->valor(quedan), QStringLiteral("0"));
        } else {
            testenv::killConnections(core->db());
        }
        salida.jobs.clear();
        ventana.grid.clear();
        clsImprimirTicket t;
        EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"))) << traza;
        ASSERT_FALSE(program::ending()) << traza << ": the job waited for the reconnect timer";
        for (const char* l : {"Mesa:", "Ticket ", "Fec: ", "Camarero apertura mesa:", "Sala:", "PAXs:", "Ventana"})
            EXPECT_TRUE(todo().contains(QLatin1String(l))) << inactividad << traza << ": " << l;
        EXPECT_TRUE(lineasError().empty());
        EXPECT_EQ(ventana.grid.filter(QString::fromUtf8(traza)).size(), 1) << inactividad << traza;
        EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    }
    EXPECT_EQ(ventana.ticks, 0);

    // A server out of reach: nothing prints and the job answers false at once (its reply carries
    // "error"), the failure is reported once and the reconnect timer is left trying.
    const qsizetype ip = garrValoresRegistro.indexOf(QStringLiteral("IpServidor")) + 1;
    ASSERT_GT(ip, 0);
    const QString alcanzable = garrValoresRegistro.at(ip);
    garrValoresRegistro[ip] = QStringLiteral("127.0.0.1;PORT=1");
    testenv::killConnections(core->db());
    salida.jobs.clear();
    clsImprimirTicket sinServidor;
    EXPECT_FALSE(sinServidor.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    ASSERT_FALSE(program::ending()) << "the job waited for the server";
    EXPECT_TRUE(trabajosTicket().empty());
    EXPECT_EQ(lineasError().size(), 1u);
    EXPECT_FALSE(frmPrincipalVars().blnConexionOk);
    EXPECT_TRUE(ventana.reconnectTimer);
    clsImprimirTicket otraVez; // now the check before the job finds the server away
    EXPECT_FALSE(otraVez.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(trabajosTicket().empty());
    EXPECT_EQ(lineasError().size(), 2u);
    // The server back: the next ticket reconnects by itself and prints whole.
    garrValoresRegistro[ip] = alcanzable;
    clsImprimirTicket deVuelta;
    EXPECT_TRUE(deVuelta.ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(QStringLiteral("Mesa:")));
    for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()})
        cn->LinkCheckIdleMs = ado::Connection().LinkCheckIdleMs;
}

} // namespace
