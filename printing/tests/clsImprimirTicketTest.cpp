// The ticket composer against real rows: kitchen tickets (golden or searched), special tickets, command numbers.
#include "PrinterFixture.h"

#include "core/basLegacyFunctions.h"
#include "platform/Ado.h"
#include "platform/Cp1252.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/Waits.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <functional>
#include <set>

using namespace tickettest;
using basPrinter::CodigoImpresora;

namespace {

const QByteArray kCorte = printertest::saltos(5) + bytes({29, 'V', 0});
const QByteArray kInicio = bytes({27, '!', 0}) + "\r\n";
const QString kNum = QStringLiteral("N") + QChar(163) + QStringLiteral("m. ");
const OpcionesTicketCocina kConPie{.strTextoPie = QStringLiteral("Mesa con ni\u00f1os: traer dos tronas")};
const OpcionesTicketCocina kSoloLineas{.blnImprimirCabecera = false, .blnImprimirPie = false};
const OpcionesTicketCocina kSinOpciones, kSinCabecera{.blnImprimirCabecera = false},
    kCocina2{.strImpresora = "COCINA2"};
const OpcionesTicketCocina kPase{.strImpresora = "COCINA2", .strDescripcionCabecera = "PASE CALIENTE"};
const OpcionesTicketCocina kPieLargo{.strTextoPie =
                                         "Servir el postre cuando el cliente lo pida, no antes; avisar a sala"};

// Makes every insert into qm_imppantalla that meets the condition fail as a duplicate would.
QString duplicado(const char* condicion) {
    return QStringLiteral("delimiter //\ncreate trigger fuerza_duplicado before insert on qm_imppantalla for each "
                          "row\nbegin\n  if %1 then\n    signal sqlstate '23000' set message_text = 'Duplicate entry "
                          "for key ux_qm_imppantalla_comanda', mysql_errno = 1062;\n  end if;\nend//\ndelimiter ;\n")
        .arg(QLatin1String(condicion));
}
// An article line padded to the kitchen's 42 columns, written as the golden files write bytes.
QString relleno(const QByteArray& linea) {
    return legible(linea + QByteArray(42 - linea.size(), ' ') + "\r\n");
}

using Prepara = std::function<void(clsImprimirTicket&)>;
const Prepara urgente = [](clsImprimirTicket& t) { t.strMensajeCocina = QStringLiteral("URGENTE"); };
const Prepara comandero = [](clsImprimirTicket& t) {
    t.intCamarero = QStringLiteral("1");
    t.lngNumComandero = 2;
};
const Prepara inyeccion = [](clsImprimirTicket& t) { t.intCamarero = QStringLiteral("0 or 1=1"); };
const Prepara catalan = [](clsImprimirTicket&) { gintIdiomaActual = 2; };
const Prepara medianoche = [](clsImprimirTicket&) { // the service connected days ago
    gdtmFechaConexion = QDateTime(QDate(2026, 3, 10), QTime(9, 0, 0));
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 15), QTime(0, 0, 5)); });
};
const QString kNumeros = "insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idTPVComanda, "
                         "idGrupoComandas, idComanda) values (1,1,1234,3,2,1,15), (1,1,1234,3,2,1,12)";

std::unique_ptr<clsImprimirTicket> compositor(qint32 ticket) { // of till 3
    auto t = std::make_unique<clsImprimirTicket>();
    t->lngTPV = 3;
    t->lngTicket = ticket;
    return t;
}

// One kitchen ticket of till 3: "cocina_..." cases are compared with their golden file, the others searched
// for what they must and must not hold ('|' between texts, bytes as in the golden files) and cut on their printer.
struct CasoCocina {
    const char* nombre;
    const char* parametros; // name=value, separated by blanks
    QString texto = kTextoCocina;
    OpcionesTicketCocina opciones = {};
    QString contiene = "", falta = "";
    QString sql = ""; // run before printing
    Prepara prepara = nullptr;
    const char* error = nullptr; // the procedure of the one error report
    bool resultado = true;
    const char* tickets = "1234";
};

const std::vector<CasoCocina>& casosCocina() {
    const QString flan = QStringLiteral("1 Flan"), dosFlan = QStringLiteral("1 Flan<cortar>2 Flan");
    static const std::vector<CasoCocina> casos = {
        // Header with the large number in digits, seller, table, identification block, observations, foot text.
        {"cocina_base", "", kTextoCocina, kConPie},
        // Without the printed header only the set-up commands come before the lines.
        {"cocina_sin_cabecera", "", kTextoCocina, kSinCabecera},
        // Command numbers already recorded for the ticket are listed in order, and none is allocated.
        {"cocina_numeros_comanda", "ImpDosCarTickGrandes=2", kTextoCocina, kConPie, "", "", kNumeros},
        // Seller in triple height by code, printer name line, blank lines, the request's header text.
        {"cocina_vendedor_impresora",
         "ImprimirVendedorTicketCocina=3 ImpNombreVendedor=0 ImprimirNombreImpresoraTicketCocina=1 BlancosCabecera=2 "
         "BlancosCabeceraTicketCocina=0 ImpDosCarTickGrandes=0",
         QStringLiteral("1 Flan"), kPase},
        // A kitchen message replaces the header text.
        {"cocina_mensaje", "ImpDosCarTickGrandes=0 ImprimirObservacionesTicketCocina=0", flan, kSinOpciones, "", "", "",
         urgente},
        // Tables 9995-9999 and a real one without its number's name; a series, nameless waiters, no room or guests.
        {"cocina_mesas_especiales",
         "ImpMesaTickCocinaGrande=1 ImpCodigoMesasSalas=1 EspacioEntreLineasCocina=64 BlancosCabeceraTicketCocina=0 "
         "ImpDosCarTickGrandes=0 ImprimirVendedorTicketCocina=0 ImprimirTPVCocina=0 BlancosPie=0",
         QStringLiteral("1 Agua"), kSinOpciones, "", "", "", nullptr, nullptr, true, "1234 9995 9996 9997 9998 9999"},
        // The identification block at the foot: big ticket number, big dining room, handheld and waiter.
        {"cocina_identificacion_pie", "ImpCabTickCocinaFinal=1 TicketGrande=1 ImprimirSalaGrandeCocina=1", kTextoCocina,
         kConPie, "", "", "", comandero},
        // Both observations, the general one and the whole block in double height; a long foot text.
        {"cocina_observaciones_grandes", "ImprimirObservacionesTicketCocina=2 ImprimirObservacionesLetraGrande=2", flan,
         kPieLargo},
        // Beep (drawer pulse), three blank lines, red cancelled off, the drawn rules.
        {"cocina_pito_blancos_regla", "EmitirPito=5 BlancosPie=3 ImprimirAnulacionesRojo=1 LineasHorizontalesCocina=1",
         kTextoCocina, kConPie},
        // Code set 2: the printer is reset and set up by commands sent at once, bold and double height blanked.
        {"cocina_juego_codigos_2", "CodigosEscTicketNormal=2 CodigosEscTicketCocina=2 TipoLetraCocina=5", kTextoCocina,
         kConPie},
        // Articles in inverse, emphasis by inverse, large and in capitals, with line spacing.
        {"cocina_articulos_inversos",
         "ImpArtInvTickCocina=1 TipoImpresionNegritaArticulosTicketCocina=1 ImpArtsLetraGrandeCocina=1 "
         "ImpArtsMayusculas=1 InterlineadoImpresoraCocina=40",
         kTextoCocina, kConPie},
        // A ticket without a header row: the foot's block still prints its labels.
        {"cocina_sin_fila_cabecera", "ImpCabTickCocinaFinal=1", flan, kSinOpciones, "", "", "", nullptr, nullptr, true,
         "4321"},
        // Three pieces: each a ticket with its own header and foot, the last one without lines.
        {"cocina_piezas", "ImpDosCarTickGrandes=2 EspacioEntreLineasCocina=64",
         QStringLiteral("1 Caf\u00e9<cortar>2 Tostadas\r\n<B>con tomate</B><cortar>")},

        {"sin_texto", "", QString()}, // prints nothing and counts as done
        // A lone LF joins its neighbours; CR LF and "<br>" break; "<BR>", "<B>" are text; a lone closing tag: no codes.
        {"saltos_y_negrita", "EspacioEntreLineasCocina=64", QStringLiteral("uno\ndos\r\ntres<BR><B>x</B><br></b>solo"),
         kSoloLineas, relleno("unodos") + "|tres<BR><B>x</B> |" + relleno("</b>solo"), "{ESC}E{01}|{ESC}E{00}"},
        // Capitals one character for one: "ß" keeps its column.
        {"mayusculas_eszett", "ImpArtsMayusculas=1 EspacioEntreLineasCocina=64", QStringLiteral("1 Wei\u00dfwurst"),
         kSoloLineas, relleno("1 WEI\xdfWURST")},
        // A character outside the basic plane is one byte on paper and takes one column.
        {"emoji_una_columna", "", QStringLiteral("1 Pizza \U0001F355 picante"), kSoloLineas,
         relleno("1 Pizza ? picante")},
        // A spacing that is no byte sends no spacing command (never the command without its parameter).
        {"interlineado_300", "EspacioEntreLineasCocina=64 InterlineadoImpresoraCocina=300", flan, kSinOpciones, flan,
         "{ESC}3|{ESC}2{CR}{LF}"},
        {"interlineado_255", "EspacioEntreLineasCocina=64 InterlineadoImpresoraCocina=255", flan, kSinOpciones,
         "{ESC}3{FF}{CR}{LF}1 Flan|{ESC}2{CR}{LF}"},
        {"espacio_300", "EspacioEntreLineasCocina=300 LineasHorizontalesCocina=1 ImpCabTickCocinaFinal=1",
         "1 Flan<cortar>1 Flan", kSinOpciones, "Impreso desde:", "{ESC}3"},
        // The kitchen's height codes hold during the job only (the table line used the ESC "!" forms).
        {"alturas_de_cocina", "CodigosEscTicketCocina=1", QStringLiteral("a<cortar>b"), kSinOpciones, "{ESC}!9"},
        // Each ticket carries the clock's day and time, also across midnight, not the connection's.
        {"fecha_tras_medianoche", "ImpDosCarTickGrandes=0", flan, kSinOpciones, "Fec: {ESC}E{00}15/03/26 00:00", "", "",
         medianoche},
        // Only the label is translated, not the printer's name.
        {"impresora_traducida", "ImprimirNombreImpresoraTicketCocina=1", flan, kCocina2, "Impressora COCINA2{CR}{LF}",
         "",
         "insert into idiomes (idioma, `text`, traduccion) values (2, 'Impresora', 'Impressora'), "
         "(2, 'COCINA2', 'CUINA2'), (2, 'COCINA2 Impresora', 'mal')",
         catalan},
        // The waiter code reaches the query as a value.
        {"camarero_como_valor", "ImpDosCarTickGrandes=0", flan, kSinOpciones, "Camarero: {ESC}E{00}{CR}{LF}", "Ana", "",
         inyeccion},
        // Observations that cannot be read (the allergy notes): the piece is not whole, so nothing of it
        // is printed and the answer says false; the report is all that comes out.
        {"fallo_en_el_pie", "", flan, kCocina2, "", flan, "drop table qm_cabticket_observ", nullptr,
         "ImprimirTicketCocinaPie", false},
        // A parameter that does not fit fails only the step using it, reported under its procedure.
        {"desborde_en_la_cabecera", "BlancosCabecera=40000", flan, kSinOpciones, "COCINA|Mesa:|1 Flan", "", "", nullptr,
         "ImprimirTicketCocinaCabecera"},
        {"desborde_en_el_pie", "BlancosPie=40000", flan, kSinOpciones, "Entrecot al punto|1 Flan", "", "", nullptr,
         "ImprimirTicketCocinaPie"},
        // On a live link a failed header query is no reason to reconnect; without their header the pieces
        // are not whole: none prints, the answer says false.
        {"fallo_en_la_cabecera", "ImprimirVendedorTicketCocina=0 ImpCabTickCocinaFinal=1", dosFlan, kSinOpciones, "",
         "1 Flan|2 Flan|Ticket {ESC}E{00} |Mesa:", "alter table qm_cabticket rename to qm_cabticket_old", nullptr,
         "ListCabTicket", false},
        // A seller that cannot be read leaves the header short: the piece is not whole and does not print.
        {"fallo_del_vendedor", "ImprimirVendedorTicketCocina=1", flan, kSinOpciones, "",
         "1 Flan|Mesa:", "drop table maeven", nullptr, "ImprimirTicketCocinaCabecera", false},
        // A command number taken between the read and the insert gives the next one.
        {"comanda_tomada_entretanto", "ImpDosCarTickGrandes=2", flan, kSinOpciones, "N{A3}m. 43", "",
         "insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idComanda, idGrupoComandas) values "
         "(1,1,1,3,41,1);\n" +
             duplicado("new.idComanda = 42")},
        // Endless duplicates give up once, in the first piece only; the ticket prints without a number.
        {"comanda_imposible", "ImpDosCarTickGrandes=2", dosFlan, kSinOpciones, "1 Flan|2 Flan", "m. ",
         duplicado("true"), nullptr, "getNumeroComanda"},
    };
    return casos;
}

class clsImprimirTicketCocina : public TicketTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(clsImprimirTicketCocina, PrintsItsTicket) {
    const CasoCocina& c = casosCocina()[GetParam()];
    pon(c.parametros);
    if (!c.sql.isEmpty()) {
        ASSERT_TRUE(core->sql(c.sql));
    }
    clsImprimirTicket t;
    if (c.prepara)
        c.prepara(t);
    for (const QString& ticket : QString::fromLatin1(c.tickets).split(' '))
        EXPECT_EQ(t.ImprimirTicketCocinaEspecial(3, ticket.toInt(), c.texto, c.opciones).blnEnviado, c.resultado);
    const auto errores = lineasError();
    ASSERT_EQ(errores.size(), c.error ? 1u : 0u) << (errores.empty() ? "" : errores.front().toStdString());
    if (c.error) {
        EXPECT_TRUE(errores[0].startsWith(QStringLiteral("Tarvolin Error: ERROR: clsImprimirTicket.") + c.error));
        if (QByteArray(c.error) == "ImprimirTicketCocinaPie") { // the ticket is cut before the report
            EXPECT_TRUE(esError(salida.jobs.back()));
        }
    }
    EXPECT_TRUE(avisos.calls.empty());
    // The kitchen's code strings hold for the ticket only.
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INIDBLALT, CodigoImpresora({29, '!', 17}));
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INITRIALT, CodigoImpresora({29, '!', 34}));
    if (QByteArray(c.nombre).startsWith("cocina_"))
        return comparaGolden(QString::fromLatin1(c.nombre), salida.jobs);
    // A ticket with text is cut and sent when whole; one that is not is dropped (a spacing set-up may
    // have gone ahead of it).
    const bool cortado = std::ranges::any_of(trabajosTicket(), [](const auto& j) { return j.data.endsWith(kCorte); });
    EXPECT_EQ(cortado, !c.texto.isEmpty() && c.resultado);
    const QString visto = legible(todo().toLatin1());
    for (const QString& s : c.contiene.split('|', Qt::SkipEmptyParts))
        EXPECT_TRUE(visto.contains(s)) << s.toStdString();
    for (const QString& s : c.falta.split('|', Qt::SkipEmptyParts))
        EXPECT_FALSE(visto.contains(s)) << s.toStdString();
    for (const auto& j : trabajosTicket()) { // whole tickets, or the line spacing sent ahead of one
        EXPECT_TRUE(j.data.endsWith(kCorte) || (j.data.size() == 3 && j.data.startsWith(bytes({27, '3'}))));
        EXPECT_EQ(j.printer, c.opciones.strImpresora.isEmpty() ? QStringLiteral("TICKETS") : c.opciones.strImpresora);
    }
}

INSTANTIATE_TEST_SUITE_P(Cocina, clsImprimirTicketCocina, ::testing::Range<size_t>(0, casosCocina().size()),
                         [](const ::testing::TestParamInfo<size_t>& i) {
                             return std::string(casosCocina()[i.param].nombre);
                         });

class clsImprimirTicketTest : public TicketTest {
protected:
    bool cocina(qint32 ticket, const QString& texto) {
        return clsImprimirTicket().ImprimirTicketCocinaEspecial(3, ticket, texto).blnEnviado;
    }
    bool especial(const QString& texto, const OpcionesTicketEspecial& o = {}) {
        return clsImprimirTicket().ImprimirTicketEspecial(texto, o).blnEnviado;
    }
};

// A refused print answers false; under /log or /mensaje at once: no box holds it, the failure goes to the grid.
TEST_F(clsImprimirTicketTest, FailedPrintAnswersFalseWithoutWaitingOnAMessageBox) {
    const struct {
        bool log, mensaje, cocina;
    } casos[] = {{true, false, true}, {true, false, false}, {false, true, true}, {true, true, false}};
    salida.fail = true;
    for (const auto& c : casos) {
        SCOPED_TRACE(testing::Message() << c.log << c.mensaje << c.cocina);
        gblnLog = c.log;
        gblnMensaje = c.mensaje;
        recordingMainWindow().grid.clear();
        EXPECT_FALSE(c.cocina ? cocina(1234, QStringLiteral("1 Flan")) : especial(QStringLiteral("Hola")));
        EXPECT_TRUE(avisos.calls.empty());
        EXPECT_FALSE(recordingMainWindow().grid.filter(QStringLiteral("No se ha podido imprimir en")).isEmpty());
    }
    gblnMensaje = false;
    salida.fail = false;
    EXPECT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
    // Away from the print road a message still asks the user.
    MensajeUsuario(QStringLiteral("fuera de la impresión"));
    gblnLog = false;
    EXPECT_EQ(avisos.calls.size(), 1u);
}

// A parameter the till lacks ends the program only where a block needs it (VendedorTicketOLinea: the seller).
TEST_F(clsImprimirTicketTest, AMissingParameterEndsTheProgramOnlyWhereABlockNeedsIt) {
    registry::RegistryStore::instance().deleteValue(registry::Root::CurrentUser, coretest::kClaveTarvolin,
                                                    QStringLiteral("VendedorTicketOLinea"));
    objParametros().resetForTests();
    objParametros().GetParamReg();
    ASSERT_FALSE(objParametros().existe(param::VendedorTicketOLinea));
    par("ImprimirVendedorTicketCocina", "0");
    EXPECT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
    par("ImprimirVendedorTicketCocina", "1");
    EXPECT_THROW(cocina(1234, QStringLiteral("1 Flan")), program::Ended);
}

// A print answers for its own jobs, piece by piece: a refused error line leaves the ticket sent; a refused
// piece says where and why, and that its failure was told.
TEST_F(clsImprimirTicketTest, TheResultIsItsOwnJobsPieceByPiece) {
    struct RechazaUna final : printers::RecordingOutput {
        bool send(const QString& p, const QByteArray& d, QString* e) override {
            fail = p == QLatin1String("ROTA");
            return RecordingOutput::send(p, d, e);
        }
    } rechaza;
    printers::install(&rechaza);
    par("ImpTicket", "ROTA");
    par("BlancosCabecera", "40000"); // the header's blank lines overflow and print an error line
    gblnLog = true;
    const ResultadoImpresion cocina =
        clsImprimirTicket().ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan<cortar>2 Flan"), kCocina2);
    EXPECT_TRUE(cocina.blnEnviado);
    EXPECT_TRUE(cocina.blnPiezasRecorridas);
    ASSERT_EQ(cocina.piezas.size(), 2);
    for (const basPrinter::ResultadoEnvio& p : cocina.piezas) {
        EXPECT_TRUE(p.salio());
        EXPECT_EQ(p.impresora, QStringLiteral("COCINA2"));
    }
    EXPECT_FALSE(cocina.blnFalloInformado);
    EXPECT_FALSE(recordingMainWindow().grid.filter(QStringLiteral("No se ha podido imprimir en ROTA")).isEmpty());
    ASSERT_FALSE(rechaza.jobs.empty());
    for (const auto& j : rechaza.jobs)
        EXPECT_EQ(j.printer, QStringLiteral("COCINA2"));

    const ResultadoImpresion especial =
        clsImprimirTicket().ImprimirTicketEspecial(QStringLiteral("uno<cortar>dos"), {.strImpresora = "ROTA"});
    EXPECT_FALSE(especial.blnEnviado);
    ASSERT_EQ(especial.piezas.size(), 2);
    for (const basPrinter::ResultadoEnvio& p : especial.piezas) {
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.impresora, QStringLiteral("ROTA"));
        EXPECT_TRUE(p.error.contains(QStringLiteral("refused"))) << p.error.toStdString();
    }
    EXPECT_TRUE(especial.blnFalloInformado);
    gblnLog = false;
    printers::install(&salida);
}

// cupsd refuses chosen jobs: a refused set-up job is resent once, each piece's ticket job decides its result.
TEST_F(clsImprimirTicketTest, AgainstARefusingCupsdTheResultFollowsWhatWentOut) {
    TARVOLIN_REQUIRE_CUPS();
    struct ColaQueRechaza final : printers::RawOutput {
        printers::CupsOutput cups;
        QString cola;
        std::set<int> rechazados; // send attempts (from 1) the queue refuses
        int intentos = 0;
        bool send(const QString& p, const QByteArray& d, QString* e) override {
            QProcess::execute(rechazados.count(++intentos) ? "cupsreject" : "cupsaccept", {cola});
            return cups.send(p, d, e);
        }
        QStringList list() override { return cups.list(); }
        QString defaultPrinter() override { return cups.defaultPrinter(); }
    };
    const struct {
        const char* caso;
        std::set<int> rechazados;
        std::vector<bool> piezasOk;
        std::vector<const char*> enPapel; // the ticket jobs that reached the printer, by their line
        size_t trabajos;                  // jobs that reached the printer, set-up jobs included
        qsizetype contados;               // failures told
    } casos[] = {
        {"set-up refused once: sent again, both tickets print", {1}, {true, true}, {"1 Flan", "2 Flan"}, 4, 0},
        {"set-up refused twice: the ticket goes all the same", {1, 2}, {true, true}, {"1 Flan", "2 Flan"}, 3, 0},
        {"set-up refused twice, then its ticket", {1, 2, 3}, {false, true}, {"2 Flan"}, 2, 1},
        {"ticket refused after its set-up", {2}, {false, true}, {"2 Flan"}, 3, 1},
        {"second set-up refused once", {3}, {true, true}, {"1 Flan", "2 Flan"}, 4, 0},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        testenv::ColaCaptura cola(QStringLiteral("prn_rechaza"));
        ASSERT_TRUE(cola.creada);
        ColaQueRechaza salidaCups;
        salidaCups.cola = cola.nombre;
        salidaCups.rechazados = c.rechazados;
        printers::install(&salidaCups);
        par("ImpTicket", cola.nombre);
        gblnLog = true;
        recordingMainWindow().grid.clear();
        const auto r = clsImprimirTicket().ImprimirTicketCocinaEspecial(3, 1234, "1 Flan<cortar>2 Flan", kSinOpciones);
        QProcess::execute("cupsaccept", {cola.nombre});
        printers::install(&salida);
        gblnLog = false;
        ASSERT_EQ(r.piezas.size(), qsizetype(c.piezasOk.size()));
        for (size_t i = 0; i < c.piezasOk.size(); ++i)
            EXPECT_EQ(r.piezas.at(qsizetype(i)).ok, c.piezasOk[i]) << "piece " << i;
        EXPECT_EQ(r.blnEnviado, std::ranges::all_of(c.piezasOk, std::identity()));
        // A told failure is logged and shown (under /log both land in the grid as the same row).
        QStringList contados = recordingMainWindow().grid.filter(QStringLiteral("No se ha podido imprimir en"));
        contados.removeDuplicates();
        EXPECT_EQ(contados.size(), c.contados) << contados.join('\n').toStdString();
        EXPECT_EQ(r.blnFalloInformado, c.contados > 0);
        // Every set-up job that went out, and one ticket job per piece that printed; no error ticket.
        ASSERT_TRUE(cola.captura.espera(c.trabajos));
        std::vector<QByteArray> tickets;
        for (const QByteArray& j : cola.captura.trabajos) {
            EXPECT_FALSE(j.contains("Tarvolin Error") || j.contains("Se ha producido")) << j.toStdString();
            if (j != bytes({27, '3', 30}))
                tickets.push_back(j);
        }
        ASSERT_EQ(tickets.size(), c.enPapel.size());
        for (size_t i = 0; i < tickets.size(); ++i)
            EXPECT_TRUE(tickets[i].contains(c.enPapel[i])) << tickets[i].toStdString();
        // cupsd's own answer is the reason logged, not a stale system error.
        const QStringList motivos = recordingMainWindow().grid.filter(QStringLiteral("No se ha podido"));
        EXPECT_FALSE(motivos.isEmpty());
        for (const QString& m : motivos)
            EXPECT_TRUE(m.contains(QStringLiteral("not-accepting"))) << m.toStdString();
    }
}

// A length-limit send of the seller line gets no kitchen character set (ESC "t" 19); the table's does.
TEST_F(clsImprimirTicketTest, TheSellerLineIsSentWithoutTheKitchenCharacterSet) {
    pon("LongMaxTexto=1 CodigosEscTicketCocina=3");
    ASSERT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
    const QByteArray paginaEuro = bytes({27, 't', 19});
    int vistas = 0;
    for (const auto& j : trabajosTicket())
        if (j.data.contains("Vendedor") || j.data.contains("Mesa:")) {
            ++vistas;
            EXPECT_EQ(j.data.startsWith(paginaEuro), j.data.contains("Mesa:")) << legible(j.data).toStdString();
        }
    EXPECT_EQ(vistas, 2);
}

// Control bytes from outside (GS "(" "L", ESC) are dropped wherever they enter; the rest prints translated.
TEST_F(clsImprimirTicketTest, ControlBytesFromOutsideAreDroppedAndTheRestTranslates) {
    const QString sucio = QStringLiteral("A\x1d(L\u00ff\u00ff\x1b\u00f1B\tC"); // A GS ( L 255 255 ESC ñ B TAB C
    const QString limpio = QStringLiteral("A(L") + QChar(0xff) + QChar(0xff) + QChar(164) + QStringLiteral("B C");
    const QString sql = QStringLiteral("update %1 set %2 = '%3'");
    const struct {
        const char* donde;
        QString sql; // a row made dirty, or none
        OpcionesTicketCocina o;
        QString texto;
    } casos[] = {
        {"article line", {}, kSinOpciones, sucio},
        {"foot text", {}, {.strTextoPie = sucio}, QStringLiteral("1 Flan")},
        {"header description", {}, {.strDescripcionCabecera = sucio}, QStringLiteral("1 Flan")},
        {"observation row", sql.arg("qm_cabticket_observ", "observ_preparacion", sucio), kSinOpciones, "1 Flan"},
        {"table name row", sql.arg("maemes", "nombre", sucio), kSinOpciones, "1 Flan"},
        {"seller row", sql.arg("maeven", "nombre", sucio), kSinOpciones, "1 Flan"},
    };
    const QString ninos = QStringLiteral("ni") + QChar(164) + QStringLiteral("os");
    for (const auto& c : casos) {
        SCOPED_TRACE(c.donde);
        if (!c.sql.isEmpty()) {
            ASSERT_TRUE(core->sql(c.sql));
        }
        salida.jobs.clear();
        OpcionesTicketCocina o = c.o;
        const bool pieFijo = o.strTextoPie.isEmpty(); // the foot's own text follows every other field
        if (pieFijo)
            o.strTextoPie = QStringLiteral("Mesa con ni\u00f1os");
        ASSERT_TRUE(clsImprimirTicket().ImprimirTicketCocinaEspecial(3, 1234, c.texto, o).blnEnviado);
        const QString t = todo();
        EXPECT_TRUE(t.contains(limpio)) << legible(t.toLatin1()).toStdString();
        EXPECT_FALSE(t.contains(QStringLiteral("\x1d(L")));
        EXPECT_EQ(t.contains(ninos), pieFijo) << legible(t.toLatin1()).toStdString();
        EXPECT_FALSE(t.contains(QChar(0xf1)));
    }
}

// Both connections killed or timed out while quiet: the next kitchen ticket prints its whole header at once,
// without error or the reconnect timer (the pre-job check or the header query finds the dead link).
TEST_F(clsImprimirTicketTest, FirstTicketAfterALostLinkPrintsItsHeaderAtOnce) {
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
        SCOPED_TRACE(testing::Message() << inactividad << traza);
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
            ASSERT_TRUE(waits::until([&] { return core->valor(quedan) == QLatin1String("0"); },
                                     "the server to close both idle connections", 2 * waits::kDeadlineMs));
        } else {
            testenv::killConnections(core->db());
        }
        salida.jobs.clear();
        ventana.grid.clear();
        EXPECT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
        ASSERT_FALSE(program::ending()) << "the job waited for the reconnect timer";
        for (const char* l : {"Mesa:", "Ticket ", "Fec: ", "Camarero apertura mesa:", "Sala:", "PAXs:", "Ventana"})
            EXPECT_TRUE(todo().contains(QLatin1String(l))) << l;
        EXPECT_TRUE(lineasError().empty());
        EXPECT_EQ(ventana.grid.filter(QString::fromUtf8(traza)).size(), 1);
        EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    }
    EXPECT_EQ(ventana.ticks, 0);

    // A server out of reach: nothing prints, false at once, one report per job, the reconnect timer left trying.
    const qsizetype ip = garrValoresRegistro.indexOf(QStringLiteral("IpServidor")) + 1;
    ASSERT_GT(ip, 0);
    const QString alcanzable = garrValoresRegistro.at(ip);
    garrValoresRegistro[ip] = QStringLiteral("127.0.0.1;PORT=1");
    testenv::killConnections(core->db());
    salida.jobs.clear();
    for (size_t intento = 1; intento <= 2; ++intento) { // the second time the check before the job finds it
        EXPECT_FALSE(cocina(1234, QStringLiteral("1 Flan")));
        ASSERT_FALSE(program::ending()) << "the job waited for the server";
        EXPECT_TRUE(trabajosTicket().empty());
        EXPECT_EQ(lineasError().size(), intento);
        EXPECT_FALSE(frmPrincipalVars().blnConexionOk);
        EXPECT_TRUE(ventana.reconnectTimer);
    }
    // The server back: the next ticket reconnects by itself and prints whole.
    garrValoresRegistro[ip] = alcanzable;
    EXPECT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(QStringLiteral("Mesa:")));
    for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()})
        cn->LinkCheckIdleMs = ado::Connection().LinkCheckIdleMs;
}

// ---- special tickets ----

TEST_F(clsImprimirTicketTest, SpecialTicketPiecesLinesAndTheWrapAt42Columns) {
    const QString a(40, QLatin1Char('a')), x(36, QLatin1Char('x')), cara = QStringLiteral("\U0001F600");
    const QString inicio = legible(kInicio), corte = legible(kCorte),
                  fsq = cp1252::decode(bytes({28, 'q', 2, 1, '@', 1, '@'}));
    const struct {
        QString texto, trabajos; // the jobs as the golden files write bytes, '|' between jobs
    } casos[] = {
        {"uno<cortar>dos", inicio + "uno{CR}{LF}" + corte + "|dos{CR}{LF}" + corte},
        // Line ends and break tags each break a line ("<BR>" is text).
        {"uno\r\ndos\ntres<br>cuatro<BR>cinco",
         inicio + "uno{CR}{LF}{CR}{LF}dos{CR}{LF}tres{CR}{LF}cuatro<BR>cinco{CR}{LF}" + corte},
        // 42 columns: as it is; 43: wrapped at the blank; a bold word of 36 plus its two codes: 42, as it is;
        // one more character and the codes push it to the wrap; tags in capitals are text.
        {a + " b<br>" + a + " bb<br><b>" + x + "</b><br><b>y " + x + "</b><br><B>z</B>",
         inicio + a + " b{CR}{LF}" + a + "{CR}{LF}bb{CR}{LF}{ESC}E{01}" + x + "{ESC}E{00}{CR}{LF}{ESC}E{01}y{CR}{LF}" +
             x + "{ESC}E{00}{CR}{LF}<B>z</B>{CR}{LF}" + corte},
        // The standard code set keeps the standard double height.
        {"<dblalt>X</dblalt>", inicio + "{GS}!{11}X{GS}!{00}{CR}{LF}" + corte},
        // An image command claiming more than the ticket (it ended the service): its control bytes dropped.
        {"Hola " + fsq + "abc", inicio + "Hola q@@abc{CR}{LF}" + corte},
        // A character outside the basic plane takes one column in the wrap.
        {cara.repeated(42), inicio + QString(42, u'?') + "{CR}{LF}" + corte},
        {cara.repeated(40) + " " + cara + cara, inicio + QString(40, u'?') + "{CR}{LF}??{CR}{LF}" + corte},
        {QString(), ""}, // nothing sent (the set-up stays in the buffer)
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString());
        salida.jobs.clear();
        EXPECT_TRUE(especial(c.texto));
        QStringList trabajos;
        for (const auto& j : salida.jobs) {
            trabajos << legible(j.data);
            EXPECT_EQ(j.printer, QStringLiteral("TICKETS"));
        }
        EXPECT_EQ(trabajos.join('|'), c.trabajos);
    }
    EXPECT_TRUE(lineasError().empty());
}

TEST_F(clsImprimirTicketTest, ShopRowsFrameEverySpecialPiece) {
    core->sql("insert into configticket (idEmpresa, idRestaurante, idioma, idOrden, Texto) values "
              "(1,1,0,1,'RESTAURANTE EL PUERTO'), (1,1,0,2,''), (1,1,0,3,'C/ Mayor, 12'), (1,1,0,4,null), "
              "(1,1,0,7,'\u00a1Gracias por su visita!'), (1,1,0,8,''), (1,1,0,9,null), "
              "(1,1,1,5,'Otro idioma'), (2,1,0,5,'Otra empresa')");
    pon("CodigosEscTicketNormal=3 LogoEnImpresora=1");
    EXPECT_TRUE(especial(QStringLiteral("<dblalt>Pedido</dblalt> 27<br><u>Recoger</u><cortar>"),
                         {.blnImprimirCabeceraYPie = true, .blnImprimirLogo = true}));
    EXPECT_TRUE(lineasError().empty());
    // The code set's own double height lasted for the ticket only.
    EXPECT_EQ(basPrinter::gCodigosPRN.PRN_INIDBLALT, CodigoImpresora({29, '!', 17}));
    comparaGolden(QStringLiteral("especial_cabecera_pie"), salida.jobs);
}

TEST_F(clsImprimirTicketTest, SecondaryPrinterTakesTheFollowingPiecesAndTheCallerLearnsIt) {
    par("ImprImpSecundaria", "1");
    frmPrincipalVars().blnImpresoraSecundaria = true;
    const ResultadoImpresion r =
        clsImprimirTicket().ImprimirTicketEspecial(QStringLiteral("uno<cortar>dos"), {.strImpresora = "BARRA"});
    EXPECT_TRUE(r.blnEnviado);
    EXPECT_EQ(r.strImpresora, QStringLiteral("SECUNDARIA"));
    ASSERT_EQ(salida.jobs.size(), 2u);
    EXPECT_EQ(salida.jobs[1].printer, QStringLiteral("SECUNDARIA"));
    EXPECT_FALSE(salida.jobs[0].data.contains(bytes({29, 'V'}))); // the secondary printer is not cut
}

// ---- command numbers in qm_imppantalla ----

// Digit mode: till and ticket digits, nothing allocated; else the next number of the group, recorded.
TEST_F(clsImprimirTicketTest, NextCommandNumberIgnoresTillRangesAndOtherGroupsAndIsRecorded) {
    ASSERT_TRUE(cocina(5, QStringLiteral("1 Flan")));
    EXPECT_TRUE(todo().contains(kNum + QStringLiteral("305")));
    EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), QStringLiteral("0"));
    core->sql("insert into qm_imppantalla (idEmpresa, idRestaurante, idTicket, idTPV, idComanda, idGrupoComandas) "
              "values (1,1,1,3,41,4), (1,1,2,3,999999,4), (1,1,3,3,3000001,4), (1,1,4,3,500,2), (2,1,5,3,700,4)");
    par("GrupoComandas", "4");
    const auto t = compositor(1234);
    EXPECT_EQ(t->getNumeroComanda(), 42);
    // company, restaurant, printer 0, ticket, ticket's till, this service's till, group, number, record 1
    EXPECT_EQ(core->valor("select concat_ws(',', idEmpresa, idRestaurante, idImpresora, idTicket, idTPV, idTPVComanda, "
                          "idGrupoComandas, idComanda, idRegistro) from qm_imppantalla where idTicket=1234"),
              QStringLiteral("1,1,0,1234,3,1,4,42,1"));
    // The same composer keeps its number without asking the database again.
    const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
    EXPECT_EQ(t->getNumeroComanda(), 42);
    EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas(), antes);
}

// The kitchen screens' copy on the same database is no error; another insert error: unrecorded, no copy.
TEST_F(clsImprimirTicketTest, CommandNumberCopyForTheKitchenScreens) {
    coretest::ReconnectingMainWindow ventana(50);
    par("ConectarPantallasCocinaDirectasaTPV", "1");
    for (bool bloqueada : {false, true}) {
        if (bloqueada && core->sql("delete from qm_imppantalla"))
            core->sql("delimiter //\ncreate trigger bloquea before insert on qm_imppantalla for each row\nbegin\n  "
                      "signal sqlstate '45000' set message_text = 'Comandas bloqueadas';\nend//\ndelimiter ;\n");
        const qint64 antes = clsImprimirTicket::sentenciasEjecutadas();
        EXPECT_EQ(compositor(1234)->getNumeroComanda(), 1);
        // read, insert and (when it went in) the second connection's insert
        EXPECT_EQ(clsImprimirTicket::sentenciasEjecutadas() - antes, bloqueada ? 2 : 3);
        EXPECT_EQ(core->valor("select count(*) from qm_imppantalla"), bloqueada ? "0" : "1");
        ASSERT_EQ(lineasError().size(), bloqueada ? 1u : 0u);
    }
    EXPECT_TRUE(lineasError().front().contains(QStringLiteral("Comandas bloqueadas")));
}

constexpr int kPorProceso = 50;

// Child side: runs only when started by the test below, against its database.
TEST(clsImprimirTicketHija, AllocatesFiftyNumbers) {
    const QString db = qEnvironmentVariable("TARVOLIN_COMANDA_DB");
    if (db.isEmpty())
        GTEST_SKIP() << "started by clsImprimirTicketTest.TwoProcessesAllocatingAtOnceGetDistinctNumbers";
    const int hija = qEnvironmentVariableIntValue("TARVOLIN_COMANDA_HIJA");
    coretest::resetCore();
    coretest::borraRegistro();
    for (const auto& p : coretest::parametrosBase(db) + parametrosTicket() +
                             printertest::Parametros{{QStringLiteral("TPV"), QString::number(10 + hija)}})
        coretest::escribeRegistro(p.first, p.second);
    CargaParametrosRegistro();
    ASSERT_TRUE(ConectaBBDD());
    InicializaSesion(QStringLiteral("hija"), false);
    for (int i = 0; i < kPorProceso; ++i) {
        EXPECT_GT(compositor(hija * 1000 + i)->getNumeroComanda(), 0);
    }
    coretest::resetCore();
}

TEST_F(clsImprimirTicketTest, TwoProcessesAllocatingAtOnceGetDistinctNumbers) {
    std::vector<std::unique_ptr<QProcess>> hijas;
    for (int i = 1; i <= 2; ++i) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TARVOLIN_COMANDA_DB"), core->db());
        env.insert(QStringLiteral("TARVOLIN_COMANDA_HIJA"), QString::number(i));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--gtest_filter=clsImprimirTicketHija.AllocatesFiftyNumbers")});
        hijas.push_back(std::move(p));
    }
    for (auto& p : hijas) {
        ASSERT_TRUE(p->waitForFinished(4 * waits::kDeadlineMs)) << "a child allocating its fifty numbers did not end";
        const QString salidaHija = QString::fromUtf8(p->readAll());
        EXPECT_EQ(p->exitCode(), 0) << salidaHija.toStdString();
        EXPECT_TRUE(salidaHija.contains(QStringLiteral("[  PASSED  ] 1 test"))) << salidaHija.toStdString();
    }
    EXPECT_EQ(core->valor("select concat(count(*), ' ', count(distinct idComanda), ' ', min(idComanda), ' ', "
                          "max(idComanda), ' ', count(distinct idTPVComanda)) from qm_imppantalla"),
              QStringLiteral("100 100 1 100 2"));
}

} // namespace

// The database link dropped between a kitchen ticket's header and its foot (the server kills the main
// connection as the header starts printing; nothing after it reads the database before the foot):
// the observations with the allergy note cannot be read, so the piece is not whole and the print
// says it did not print, not that its fate is unknown. Nothing of it goes to the kitchen; when the
// length limit had already sent part of it, the rest goes with a line saying the copy is incomplete,
// and is cut. Sent again, as the till does on that answer, the ticket prints whole, once.
TEST_F(clsImprimirTicketTest, ALinkDroppedBetweenHeaderAndFootNeverPassesForTheWholeTicket) {
    par("ImprimirVendedorTicketCocina", "0"); // no look-up in the header after the cut
    par("ImpDosCarTickGrandes", "0");
    par("ImpCabTickCocinaFinal", "1");
    const struct {
        const char* longMaxTexto;
        bool parteEnviada;
    } casos[] = {{"0", false}, {"60", true}};
    for (const auto& c : casos) {
        SCOPED_TRACE(c.longMaxTexto);
        par("LongMaxTexto", c.longMaxTexto);
        salida.jobs.clear();
        QString id;
        ASSERT_TRUE(vb::OnError(
            [&] { id = vb::CStr(ConexionServidor().OpenRecordset("select connection_id()")->Fields(0).Value); },
            [](const VBError& e) { FAIL() << e.description().toStdString(); }));
        struct CortaEnLaCabecera final : RecordingMainWindow {
            std::function<void()> corta;
            void AnadirLog(const QString& concepto) override {
                RecordingMainWindow::AnadirLog(concepto);
                if (corta && concepto.startsWith(QLatin1String("Voy a imprimir la cabecera")))
                    std::exchange(corta, {})();
            }
        } ventana;
        ventana.corta = [&] { EXPECT_TRUE(core->sql(QStringLiteral("kill ") + id)); };
        setMainWindow(&ventana);
        const ResultadoImpresion r =
            clsImprimirTicket().ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Flan"));
        setMainWindow(nullptr);
        EXPECT_FALSE(ventana.corta) << "the link was not cut";
        EXPECT_FALSE(r.blnEnviado);
        EXPECT_FALSE(r.incierto());
        ASSERT_EQ(r.piezas.size(), 1);
        EXPECT_FALSE(r.piezas[0].ok);
        EXPECT_TRUE(r.piezas[0].error.contains("comanda incompleta")) << r.piezas[0].error.toStdString();
        const QString visto = legible(todo().toLatin1());
        EXPECT_FALSE(visto.contains("Cliente celiaco"));
        EXPECT_EQ(visto.contains("COMANDA INCOMPLETA"), c.parteEnviada) << visto.toStdString();
        if (c.parteEnviada) {
            EXPECT_TRUE(todo().endsWith(QString::fromLatin1(kCorte)));
        } else {
            EXPECT_FALSE(visto.contains("Flan"));
        }
        const auto errores = lineasError();
        ASSERT_EQ(errores.size(), 1u);
        EXPECT_TRUE(errores[0].contains("ImprimirTicketCocinaPie")) << errores[0].toStdString();

        salida.jobs.clear();
        EXPECT_TRUE(cocina(1234, QStringLiteral("1 Flan")));
        const QString entero = legible(todo().toLatin1());
        EXPECT_EQ(entero.count("1 Flan"), 1);
        EXPECT_EQ(entero.count("Cliente celiaco"), 1);
        EXPECT_FALSE(entero.contains("INCOMPLETA"));
    }
}
