// clsSocketFront. The request protocol end to end, every reply byte for byte, against the real front,
// database and CUPS capture; the weight action, the deferred and outgoing requests, script hosts.
#include "ClienteTcp.h"

#include "core/basLegacyFunctions.h"
#include "platform/Ado.h"
#include "platform/Cp1252.h"
#include "printing/tests/PrinterFixture.h"
#include "scale/clsComm.h"
#include "server/TurnoExclusivo.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"
#include "server/json/clsJsonScript.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/ServicioPrivado.h"
#include "testsupport/Simulador.h"
#include "testsupport/Waits.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <atomic>
#include <cups/cups.h>
#include <thread>

using namespace servertest;

namespace {

const QByteArray kPing = R"({"accion":"Ping"})";
const QByteArray kRespuestaPing = "200 OK\r{\"respuesta\":\"S\",\"ok\":true}";
const QByteArray kOk = "200 OK\r{\"ok\":true}";
const QByteArray kSinAccion = "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'#ERROR#\\' no implementada.\",\"ok\":false}";
const QByteArray kNoImprime = "200 OK\r{\"error\":\"No se ha podido imprimir el ticket.\",\"ok\":true}";

// A kitchen ticket request; `extra` goes after its text.
QByteArray cocina(const QString& texto, const QString& extra = {}) {
    return (QStringLiteral(R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":3,"idTicket":1234,"texto":")") + texto +
            QStringLiteral("\"") + extra + QStringLiteral("}"))
        .toUtf8();
}

// The request server as in the service: a core on a scratch database, printing to a raw CUPS queue
// captured in this process, and a front on a port of its own choosing.
class clsSocketFrontTest : public ::testing::Test {
protected:
    std::unique_ptr<testenv::ColaCaptura> cola;
    std::unique_ptr<coretest::ConnectedCore> core;
    prompts::ScriptedPrompts avisos;
    std::unique_ptr<clsSocketFront> front;
    std::unique_ptr<Simulador> sim;
    quint16 puerto = 0;
    clsJSON json;

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        TARVOLIN_REQUIRE_CUPS();
        cola = std::make_unique<testenv::ColaCaptura>(QStringLiteral("tarvolin_srv"));
        ASSERT_TRUE(cola->creada);
        core = std::make_unique<coretest::ConnectedCore>(coretest::ConnectedCoreOptions{
            .prefijo = QStringLiteral("server"),
            .parametros = tickettest::parametrosTicket() + parametrosBalanza() +
                          QList<QPair<QString, QString>>{{"UsarBalanza", "0"}, {"ImpTicket", cola->nombre}},
            .sqlInicial = QString::fromUtf8(tickettest::kFilasRestaurante),
            .cargarConfigTPV = false});
        ASSERT_TRUE(core->ok());

        // The post-connection step of the start-up, as far as the request server depends on it.
        objParametros().SetValor(QStringLiteral("PermitirVariosTPVSSimultaneamente"), QStringLiteral("0"));
        clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 45, 30)); });
        gdtmFechaConexion = QDateTime(QDate(2026, 3, 13), QTime(9, 0, 0));
        prompts::install(&avisos);
        printers::install(nullptr);
        setErrorPrinter(&ErrorTicketPrinter::instance());

        front = std::make_unique<clsSocketFront>();
        front->setPuertoForzado(0);
        front->Inicia();
        ASSERT_TRUE(front->SocketIniciado);
        puerto = front->puertoEscucha();
    }

    void TearDown() override {
        front.reset();
        program::waitMs(0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        testenv::reiniciaTodo(); // the scale's port closed before its simulator goes
        apuntaCom(2, {});
        sim.reset();
        printers::install(nullptr);
        prompts::install(nullptr);
        core.reset();
        cola.reset();
    }

    // An object that the reader never closes runs only once the peer has ended its data (no pause
    // ends it): then the peer shuts its sending side, as socat does without shut-none.
    QByteArray pide(const QByteArray& peticion) {
        trama::LectorPeticiones lector;
        if (lector.anade(peticion) == trama::LectorPeticiones::Estado::Completa || !lector.conObjeto())
            return intercambio(puerto, peticion);
        return enHilo([&] {
            ClienteTcp c(puerto);
            c.envia(peticion);
            c.cierraEnvio();
            return c.leeHastaCierre();
        });
    }

    static int filas(const QString& texto) {
        return int(
            std::ranges::count_if(recordingMainWindow().grid, [&](const QString& f) { return f.contains(texto); }));
    }
    // Jobs that reached the capture, waiting (bounded) for at least `n`.
    const std::vector<QByteArray>& trabajos(size_t n = 0) {
        cola->captura.espera(n);
        return cola->captura.trabajos;
    }
    QString logFichero() const {
        QFile f(RutaAplicacion() + QStringLiteral("/log.txt"));
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }
    void encola(const QStringList& peticiones) {
        for (const QString& p : peticiones)
            front->peticiones_aincronas()->Add(json.parseIEntidad(p));
    }
    QStringList quedan() { // and empties the queue
        QStringList r;
        for (auto c = front->peticiones_aincronas(); c->Count() > 0; c->Remove(1))
            r << vb::CStr(c->Item(1)->Valor("accion"));
        return r;
    }
};

TEST_F(clsSocketFrontTest, EveryReplyByteForByte) {
    printers::RecordingOutput impresoras; // catches any error ticket too
    impresoras.printers = {"COCINA 1", "Barra"};
    printers::install(&impresoras);
    const struct {
        QByteArray peticion, respuesta;
    } casos[] = {
        {kPing, kRespuestaPing},
        {R"({"accion":"PING","idTPV":"7","idTicket":12.5,"idCamarero":null})", kRespuestaPing},
        {R"({"accion":"GetIdTPV"})", "200 OK\r{\"idTPV\":\"1\",\"ok\":true}"},
        // Field names match as written, action names in any case.
        {R"({"Accion":"Ping"})", kSinAccion},
        {R"({"ACCION":"Ping","accion":"PING"})", kRespuestaPing},
        {R"({"accion":"Ping","IDTPV":"abc"})", kRespuestaPing}, // not "idTPV": not read
        {R"({"accion":"AnadirLog","texto":"minusculas"})", kOk},
        {R"({"accion":"AnadirLog","Texto":"Mesa 4\\nsin sal\\Nurgente"})", kOk}, // backslash-n is a line break
        {R"({"idTPV":3})", kSinAccion},
        // Null and a text without a brace: no ok line.
        {"null", "{}"},
        {"hola", "{}"},
        // Garbage before the brace is dropped, what follows the object ignored.
        {"\r\n-- basura {{" + kPing, kSinAccion},
        {"POST /tarvolin HTTP/1.1\r\nContent-Length: 17\r\n\r\n" + kPing, kRespuestaPing},
        {kPing + R"({"accion":"GetIdTPV"})", kRespuestaPing},
        // A bad field is answered and reported like any error, the database link untouched.
        {R"({"accion":"Ping","idTPV":"abc"})", "200 OK\r{\"ok\":false,\"errorVB6\":\"Type mismatch\"}"},
        {R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":3,"idTicket":1234,"imprimir_pie":"S"})",
         "200 OK\r{\"ok\":false,\"errorVB6\":\"Type mismatch\"}"},
        {R"({"accion":"Ping","idTicket":1e12})", "200 OK\r{\"ok\":false,\"errorVB6\":\"Overflow\"}"},
        {R"({"accion":null})", "200 OK\r{\"ok\":false,\"errorVB6\":\"Invalid use of Null\"}"},
        // The reader keeps what it could read of a broken object; a bare "{" names no action.
        {R"({"accion":"Ping","idTPV":)", kRespuestaPing},
        {"GET / HTTP/1.1\r\nHost: caja\r\n\r\n", "{}"},
        {"[1,2]{", kSinAccion},
        {R"({"accion":"shutdown"})", kOk},
        {R"({"accion":"cerrar_programa"})", kOk},
        {R"({"accion":"reiniciar_programa"})", kOk},
        {R"({"accion":"getprinters"})", "200 OK\r{\"result\":[\"COCINA 1\",\"Barra\"],\"ok\":true}"},
        // Not in use: the silent weighing returns before any reason is found.
        {R"({"accion":"GetPeso"})", "200 OK\r{\"ok\":true,\"error\":\"\",\"peso\":0,\"tipo_error\":\"0\"}"},
        // An unknown action is dumped to log.txt with its values cut.
        {R"({"accion":"Imprimir","idTPV":3,"nota":")" + QByteArray(3000, 'x') + R"(","lista":[1,"a"],"nada":null})",
         "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'Imprimir\\' no implementada.\",\"ok\":false}"},
    };
    for (const auto& k : casos) {
        const qint64 lecturas = front->lecturasJSON();
        EXPECT_EQ(pide(k.peticion), k.respuesta) << k.peticion.toStdString();
        // Classified and run on one reading.
        EXPECT_EQ(front->lecturasJSON() - lecturas, k.peticion.contains('{') ? 1 : 0) << k.peticion.toStdString();
    }

    EXPECT_EQ(recordingMainWindow().finalizarCalls, 3);
    EXPECT_TRUE(recordingMainWindow().lastRestart);
    // "Texto" is the field of AnadirLog: "texto" leaves the line empty.
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto = 'Tarvolin. '"), "1");
    EXPECT_EQ(core->valor("select hex(Concepto) from qm_log where Concepto like 'Tarvolin. Mesa 4%'"),
              QString::fromLatin1(QByteArray("Tarvolin. Mesa 4\r\nsin sal\r\nurgente").toHex().toUpper()));
    EXPECT_EQ(filas("Error VB6: Tarvolin, origen_request:socket_Request, Type mismatch"), 2);
    QByteArrayList lineasError, esperadas;
    for (const auto& j : impresoras.jobs)
        lineasError << j.data.mid(j.data.indexOf("Tarvolin Error: ")).split('\r').first();
    for (const char* e : {"Type mismatch", "Type mismatch", "Overflow", "Invalid use of Null"})
        esperadas << QByteArray("Tarvolin Error: ERROR: clsSocketFront.EjecutaAccion. socket_Request: ") + e;
    EXPECT_EQ(lineasError, esperadas);
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto like "
                          "'Tarvolin. ERROR: clsSocketFront.EjecutaAccion. socket_Request: %'"),
              "4");
    const QString log = logFichero();
    EXPECT_TRUE(log.contains(QStringLiteral("Imprimir\r\n     accion: Imprimir\r\n     idTPV: 3\r\n     nota: ") +
                             QString(1024, u'x') + QStringLiteral("\r\n     lista: [\"1\",\"a\"]\r\n     nada: \r\n")));
    EXPECT_EQ(ConexionServidor().State(), ado::adStateOpen);
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_FALSE(recordingMainWindow().reconnectTimer);
    // Without an installed output, the queues of CUPS.
    printers::install(nullptr);
    EXPECT_TRUE(pide(R"({"accion":"GetPrinters"})").contains("\"" + cola->nombre.toUtf8() + "\""));

    // AnadirLog says when the row could not be stored; the detailed log keeps request and reply.
    ASSERT_TRUE(core->sql("rename table qm_log to qm_log_aparte"));
    const QByteArray r = pide(R"({"accion":"AnadirLog","Texto":"sin tabla"})");
    ASSERT_TRUE(core->sql("rename table qm_log_aparte to qm_log"));
    EXPECT_EQ(r, "200 OK\r{\"error\":\"No se ha podido grabar el log.\",\"ok\":true}");
    gblnGrabarLogDetallado = true;
    EXPECT_EQ(pide(kPing), kRespuestaPing);
    gblnGrabarLogDetallado = false;
    EXPECT_EQ(core->valor(R"(select count(*) from qm_log where Concepto in ('Tarvolin. clsSocket.RequestData: )"
                          R"({"accion":"Ping"}', 'Tarvolin. clsSocket.responseData: {"respuesta":"S","ok":true}'))"),
              "2");
}

// A hung print server makes GetPrinters answer the failure, not a printerless system's empty list.
TEST_F(clsSocketFrontTest, GetPrintersWhileCupsdHangsAnswersTheFailure) {
    testenv::ServicioPrivado cupsd(testenv::ServicioPrivado::Tipo::Cupsd);
    ASSERT_TRUE(cupsd.ok()) << cupsd.error().toStdString();
    struct Restaura {
        QByteArray s = cupsServer();
        ~Restaura() { cupsSetServer(s.isEmpty() ? nullptr : s.constData()); }
    } restaura;
    cupsSetServer(QFile::encodeName(cupsd.socket()).constData());
    const QByteArray kGetPrinters = R"({"accion":"GetPrinters"})", kVacia = "200 OK\r{\"result\":[],\"ok\":true}";
    ASSERT_EQ(pide(kGetPrinters), kVacia);
    cupsd.para();
    // The listing's wait, then the error ticket's (which the hung server cannot take either).
    const QByteArray r = enHilo([&] {
        ClienteTcp c(puerto);
        c.envia(kGetPrinters);
        return c.leeHastaCierre(15000);
    });
    ASSERT_EQ(r, "200 OK\r{\"ok\":false,\"errorVB6\":\"No se ha podido leer la lista de impresoras: el servidor de "
                 "impresi\\u00F3n (CUPS) no responde\"}");
    cupsd.sigue();
    ASSERT_TRUE(waits::until([&] { return pide(kGetPrinters) == kVacia; }, "the list once cupsd goes on", 10000));
}

TEST_F(clsSocketFrontTest, KitchenTicketReachesThePrinterAsTheComposerMakesItAndAFailedPrintSaysSo) {
    // The same ticket through the recording output, then through the wire to CUPS.
    printers::RecordingOutput grabado;
    printers::install(&grabado);
    ASSERT_TRUE(clsImprimirTicket()
                    .ImprimirTicketCocinaEspecial(3, 1234, QStringLiteral("1 Entrecot<br>2 Ca\u00f1a"))
                    .blnEnviado);
    printers::install(nullptr);
    ASSERT_FALSE(grabado.jobs.empty());
    ASSERT_TRUE(core->sql("delete from qm_imppantalla"));
    EXPECT_EQ(pide(cocina(QStringLiteral("1 Entrecot<br>2 Ca\\u00f1a"))), kOk);
    ASSERT_EQ(trabajos(grabado.jobs.size()).size(), grabado.jobs.size());
    for (size_t i = 0; i < grabado.jobs.size(); ++i)
        EXPECT_EQ(trabajos()[i], grabado.jobs[i].data) << i;
    // A print that does not go out says so.
    EXPECT_EQ(pide(R"({"accion":"ImprimirTicketEspecial","texto":"nada","impresora":"no_existe_esta_cola_tarvolin"})"),
              kNoImprime);
    EXPECT_EQ(pide(cocina("1 Sopa", R"(,"impresora":"no_existe_esta_cola_tarvolin")")), kNoImprime);
}

// The printer's delay runs events: pings are answered meanwhile, a second print waits its turn,
// and its peer, reset while it waits, is sent nothing.
TEST_F(clsSocketFrontTest, PingsAreAnsweredWhileAPrintWaitsAndPrintsNeverInterleave) {
    objParametros().SetValor(QStringLiteral("DelayImpresion"), QStringLiteral("700"));
    Hito aImprime("the first print to start",
                  [] { return filas("clsSockerFront.EjecutaAccion (ImprimirTicketEspecial)") > 0; });
    Hito bEspera("the second print to wait its turn", [] { return TurnoExclusivo::instancia().enEspera() == 1; });
    std::atomic<int> orden{0};
    int finA = 0;
    QList<int> pings;
    enHilo(
        [&] {
            ClienteTcp a(puerto), b(puerto);
            a.envia(R"({"accion":"ImprimirTicketEspecial","texto":"A1<cortar>A2"})");
            std::thread lectorA([&] { finA = a.leeHastaCierre() == kOk ? ++orden : -1; });
            aImprime.espera();
            b.envia(R"({"accion":"ImprimirTicketEspecial","texto":"B1<cortar>B2"})");
            bEspera.espera();
            b.reinicia();
            for (int i = 0; i < 5; ++i)
                pings << (servertest::pide(puerto, kPing) == kRespuestaPing ? ++orden : -1);
            lectorA.join();
            return 0;
        },
        {&aImprime, &bEspera});
    for (int p : pings)
        EXPECT_TRUE(p > 0 && p < finA) << p << " " << finA;
    EXPECT_TRUE(waits::until([] { return filas("Socket is closed") > 0; }, "the trace of the gone peer's reply",
                             kEsperaMaximaMs));
    EXPECT_EQ(filas("Socket is closed"), 1);
    EXPECT_EQ(filas("Sending: "), 6); // A's reply and the pings

    // One ticket's pieces after the other's, each piece a job of its own.
    QByteArrayList piezas;
    for (const QByteArray& j : trabajos(4))
        for (const QByteArray p : {"A1", "A2", "B1", "B2"})
            if (j.contains(p))
                piezas << p;
    EXPECT_EQ(piezas, (QByteArrayList{"A1", "A2", "B1", "B2"}));
}

TEST_F(clsSocketFrontTest, HugeNamesAreCutInTheReplyAndTheTrace) {
    const QByteArray largo(900'000, '\xE9'); // six characters each once escaped in the reply
    QByteArray quejas = "{";
    for (int i = 0; quejas.size() < 1'000'000; ++i)
        quejas += QByteArray::number(i) + ":t,";
    quejas += "}";
    const qsizetype logAntes = logFichero().size();
    const struct {
        QByteArray peticion;
        QByteArray inicio;
    } casos[] = {
        {R"({"accion":")" + largo + R"("})", "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'\\u00E9\\u00E9"},
        {R"({")" + largo + R"(":1,"accion":"Nada"})", "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'Nada"},
        {quejas, kSinAccion},
    };
    for (const auto& k : casos) {
        recordingMainWindow().grid.clear();
        const QByteArray r = pide(k.peticion);
        EXPECT_TRUE(r.startsWith(k.inicio)) << r.left(200).toStdString();
        EXPECT_LT(r.size(), 2000);
        for (const QString& f : recordingMainWindow().grid)
            EXPECT_LT(f.size(), 10'000);
    }
    EXPECT_LT(logFichero().size() - logAntes, 100'000);
}

TEST_F(clsSocketFrontTest, BusyPortIsReportedOnceAndIniciaListensOnceItIsFree) {
    QTcpServer ocupante;
    ASSERT_TRUE(ocupante.listen(QHostAddress::Any, 0));
    const quint16 ocupado = ocupante.serverPort();
    QPointer<frmComSocket> anterior = front->socket();
    front->setPuertoForzado(ocupado);

    for (int i = 0; i < 2; ++i) {
        front->Inicia();
        EXPECT_FALSE(front->SocketIniciado);
    }
    // One report (log grid, database log and paper), then only trace lines.
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto like '%ERROR: frmComSocket.IniciaEscucha (%'"),
              "1");
    EXPECT_GE(filas("Error: The bound address is already in use, Index:0"), 1);

    ocupante.close();
    front->Inicia();
    EXPECT_TRUE(front->SocketIniciado);
    EXPECT_EQ(front->getPuertoSocketFront(), ocupado);
    EXPECT_EQ(intercambio(ocupado, kPing), kRespuestaPing);
    // Every retry made a new window; the earlier ones are gone and no longer listen.
    program::waitMs(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(anterior.isNull());
    EXPECT_EQ(intercambio(puerto, kPing), "<no conecta>");
}

TEST_F(clsSocketFrontTest, PortsFollowTheTillSettingsAndAreOpenedInTheFirewallLists) {
    EXPECT_EQ(filas(QStringLiteral("Firewall_HabilitarPuerto (%1)").arg(puerto)), 1);
    EXPECT_EQ(filas(QStringLiteral("Firewall_HabilitarPuerto (8088)")), 1);

    clsSocketFront otro;
    otro.setPuertoForzado(std::nullopt);
    EXPECT_EQ(otro.getPuertoSocketFront(), 8089);
    objParametros().SetValor(QStringLiteral("PermitirVariosTPVSSimultaneamente"), QStringLiteral("1"));
    objParametros().SetValor(QStringLiteral("TPV"), QStringLiteral("5"));
    EXPECT_EQ(otro.getPuertoSocketFront(), 8093);
    // A setting that is no Boolean is reported and the usual port kept.
    objParametros().SetValor(QStringLiteral("PermitirVariosTPVSSimultaneamente"), QStringLiteral("S"));
    EXPECT_EQ(otro.getPuertoSocketFront(), 8089);
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto like '%clsSocketFront.getPuertoSocketFront%'"),
              "1");

    // The comandero's port by instance, even without the parameter.
    EXPECT_EQ(front->getPuertoSocketComandero(3), 8088);
    objParametros().SetValor(QStringLiteral("InstanciasQuellmardenComandero"), QStringLiteral("3,5"));
    EXPECT_EQ(front->getPuertoSocketComandero(0), 8088);
    EXPECT_EQ(front->getPuertoSocketComandero(2), 9090);
    EXPECT_EQ(front->getPuertoSocketComandero(30000), 8088);
    EXPECT_GE(filas("ERROR: clsSocketFront.getPuertoSocketFront: Overflow"), 1);
}

// A simulated serial scale on a pty answers zero: the reason comes back in the reply, never as a
// message box.
TEST_F(clsSocketFrontTest, GetPesoReadsTheScaleInUseSilently) {
    sim = std::make_unique<Simulador>();
    ASSERT_TRUE(sim->arrancado());
    apuntaCom(2, sim->puerto());
    ASSERT_TRUE(objComm().InitPuerto(2, "9600,e,8,1", 1));
    gblnBalanzaActiva = true;
    sim->responde("+  0.000\r\n");
    EXPECT_EQ(pide(R"({"accion":"GetPeso"})"), "200 OK\r{\"ok\":true,\"error\":\"Ponga el producto sobre la balanza, "
                                               "por favor...\",\"peso\":0,\"tipo_error\":\"3\"}");
    EXPECT_EQ(sim->recibido(3), "D\r\n");
    EXPECT_TRUE(avisos.calls.empty());
}

// Its log rows run a drain of their own: a drain from inside a queued action.
struct VentanaQueDrena : RecordingMainWindow {
    clsSocketFront* front;
    QList<bool> anidadas;
    void AnadirLog(const QString& t) override { anidadas << front->EjecutarRequestPendientesCola(t); }
};

TEST_F(clsSocketFrontTest, DrainsRunInOrderOnePassAndKeepWhatFailed) {
    const QString kPingCola = R"({"accion":"Ping"})";
    const QString kFalla = R"({"accion":"Nada"})";
    const QString kAlFinal = R"({"accion":"Otra","on_fail_poner_al_final_cola":1})";
    const QString kRetenida = R"({"accion":"GetIdTPV","no_ejecutar_si_ticket_abierto":true})";
    const QString kSinImpresora = R"({"accion":"ImprimirTicketEspecial","texto":"x","impresora":"no_existe_tarvolin"})";
    const QString kImprime = R"({"accion":"ImprimirTicketEspecial","texto":"cola"})";
    const QString kImp = QStringLiteral("ImprimirTicketEspecial");
    const QString kAccionMayuscula =
        R"({"Accion":"ImprimirTicketEspecial","texto":"x","on_fail_poner_al_final_cola":1})";
    const struct {
        const char* nombre;
        QStringList peticiones;
        bool ticketAbierto, turnoOcupado, resultado;
        QStringList quedan;
    } casos[] = {
        {"empty", {}, false, false, false, {}},
        {"one success", {kPingCola}, false, false, false, {}},
        {"three successes", {kPingCola, kPingCola, kPingCola}, false, false, true, {}},
        {"held while a ticket is open", {kRetenida, kPingCola}, true, false, false, {"GetIdTPV", "Ping"}},
        {"failure at the head stops", {kFalla, kPingCola}, false, false, false, {"Nada", "Ping"}},
        {"failures go to the end, one pass", {kAlFinal, kAlFinal, kPingCola}, false, false, true, {"Otra", "Otra"}},
        {"print that did not go out stays", {kSinImpresora, kPingCola}, false, false, false, {kImp, "Ping"}},
        {"print waits while the print turn is taken", {kImprime}, false, true, false, {kImp}},
        {"print with the turn free", {kImprime, kPingCola}, false, false, true, {}},
        // A field is read by its exact name, as the action is: "Accion" names no print.
        {"Accion is no print", {kAccionMayuscula, kPingCola}, false, true, true, {kImp}},
        {"no request object: reported, taken out", {"no es json", "[1]", kPingCola}, false, false, true, {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nombre);
        ASSERT_TRUE(program::waitWhile([] { return TurnoExclusivo::instancia().ocupado(); }, 5000));
        encola(c.peticiones);
        frmPrincipalVars().lngTPV = frmPrincipalVars().lngTicket = c.ticketAbierto ? 7 : 0;
        // Also reachable by name, as a script's callback calls it.
        const auto drena = [&] { return vb::CallByName(*front, "ejecutarrequestpendientescola", {"prueba"}).toBool(); };
        bool r = !c.resultado;
        if (c.turnoOcupado)
            TurnoExclusivo::instancia().ejecuta([&] { r = drena(); });
        else
            r = drena();
        EXPECT_EQ(r, c.resultado);
        EXPECT_EQ(quedan(), c.quedan);
    }
    frmPrincipalVars().lngTPV = frmPrincipalVars().lngTicket = 0;
    // The entries that held no request reached the error handler.
    const auto errores = [&] {
        return std::ranges::count_if(trabajos(), [](const QByteArray& j) { return j.contains("Tarvolin Error"); });
    };
    EXPECT_TRUE(waits::until([&] { return errores() >= 2; }, "two error tickets", kEsperaMaximaMs));
    EXPECT_EQ(errores(), 2);
    EXPECT_EQ(std::ranges::count_if(trabajos(), [](const QByteArray& j) { return j.contains("cola\r"); }), 1);
    EXPECT_GT(filas("ERROR: clsSocketFront.ejecuta_siguiente_request_en_cola: Object required\r\n(424 - "), 0);

    // A drain from inside a queued action returns at once; the outer one goes on.
    VentanaQueDrena ventana;
    ventana.front = front.get();
    encola({R"({"accion":"AnadirLog","Texto":"anidada"})", kPingCola});
    setMainWindow(&ventana);
    EXPECT_TRUE(front->EjecutarRequestPendientesCola("prueba"));
    setMainWindow(nullptr);
    EXPECT_TRUE(ventana.anidadas.size() > 0 && !ventana.anidadas.contains(true));
    EXPECT_EQ(quedan(), QStringList());
}

// The real CUPS output; once a job holding `tras` has reached `cola` the queue refuses new jobs.
struct RechazaTras final : printers::RawOutput {
    printers::CupsOutput cups;
    QString cola;
    QByteArray tras;
    bool send(const QString& p, const QByteArray& datos, QString* error) override {
        const bool ok = cups.send(p, datos, error);
        if (ok && p == cola && datos.contains(tras)) {
            EXPECT_EQ(QProcess::execute("cupsreject", {std::exchange(cola, QString())}), 0);
        }
        return ok;
    }
    QStringList list() override { return cups.list(); }
    QString defaultPrinter() override { return cups.defaultPrinter(); }
};

TEST_F(clsSocketFrontTest, PrintFailingPartWayRetriesOnlyWhatDidNotGoOutAndReportsOnce) {
    testenv::ColaCaptura cocina(QStringLiteral("tarvolin_coc"));
    ASSERT_TRUE(cocina.creada);
    RechazaTras salida;
    salida.cola = cocina.nombre;
    salida.tras = "PRIMERO";
    printers::install(&salida);
    const QString enCocina = QStringLiteral(R"(,"impresora":"%1")").arg(cocina.nombre);
    encola({QString::fromUtf8(::cocina(QStringLiteral("1 PRIMERO<cortar>1 SEGUNDO"), enCocina))});
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(front->EjecutarRequestPendientesCola("prueba"));
    ASSERT_EQ(front->peticiones_aincronas()->Count(), 1);
    EXPECT_EQ(front->peticiones_aincronas()->Item(1)->Valor("texto").toString(), "1 SEGUNDO");
    // One error ticket for the three failed tries: a marker printed after them comes right behind it.
    ASSERT_TRUE(clsImprimirTicket().ImprimirTicketEspecial("marca").blnEnviado);
    const auto errores = [&] {
        return std::ranges::count_if(trabajos(), [](const QByteArray& j) { return j.contains("Se ha producido"); });
    };
    EXPECT_TRUE(waits::until([&] { return !trabajos().empty() && trabajos().back().contains("marca"); },
                             "the marker printed after the failed tries", kEsperaMaximaMs));
    EXPECT_EQ(errores(), 1);

    ASSERT_TRUE(testenv::lpadmin({"-p", cocina.nombre, "-E"}));
    EXPECT_FALSE(front->EjecutarRequestPendientesCola("prueba"));
    // A drain right after one that printed prints too.
    encola({QString::fromUtf8(::cocina(QStringLiteral("1 TERCERO"), enCocina))});
    EXPECT_FALSE(front->EjecutarRequestPendientesCola("prueba"));
    EXPECT_EQ(front->peticiones_aincronas()->Count(), 0);
    // Each dish once, in order (a piece may take more than one job).
    const auto platos = [&] {
        QByteArray r;
        for (const QByteArray& j : cocina.captura.trabajos)
            for (const char* plato : {"PRIMERO", "SEGUNDO", "TERCERO"})
                if (j.contains(plato))
                    r += plato[0];
        return r;
    };
    EXPECT_TRUE(
        waits::until([&] { return platos().endsWith('T'); }, "the third dish on the kitchen queue", kEsperaMaximaMs));
    EXPECT_EQ(platos(), "PST");
    printers::install(nullptr);
}

// A queued ticket's set-up job refused twice: the ticket prints once, so the request is done, no error.
TEST_F(clsSocketFrontTest, QueuedTicketWhoseSetUpWasRefusedIsDoneOnce) {
    testenv::ColaCaptura cocina(QStringLiteral("tarvolin_prep"));
    ASSERT_TRUE(cocina.creada);
    struct RechazaPreparacion final : printers::RawOutput {
        printers::CupsOutput cups;
        QString cola;
        int rechazos = 2;
        bool send(const QString& p, const QByteArray& datos, QString* error) override {
            const bool preparacion = datos.size() == 3 && datos.startsWith("\x1b\x33"); // ESC "3": line spacing
            if (p == cola)
                QProcess::execute(preparacion && rechazos-- > 0 ? "cupsreject" : "cupsaccept", {cola});
            return cups.send(p, datos, error);
        }
        QStringList list() override { return cups.list(); }
        QString defaultPrinter() override { return cups.defaultPrinter(); }
    } salida;
    salida.cola = cocina.nombre;
    printers::install(&salida);
    encola({QString::fromUtf8(
        ::cocina(QStringLiteral("1 UNICO"), QStringLiteral(R"(,"impresora":"%1")").arg(cocina.nombre)))});
    EXPECT_FALSE(front->EjecutarRequestPendientesCola("prueba"));
    EXPECT_EQ(salida.rechazos, 0);
    EXPECT_EQ(front->peticiones_aincronas()->Count(), 0);
    ASSERT_TRUE(clsImprimirTicket().ImprimirTicketEspecial("marca").blnEnviado);
    EXPECT_TRUE(waits::until([&] { return !trabajos().empty() && trabajos().back().contains("marca"); },
                             "the marker printed after the ticket", kEsperaMaximaMs));
    EXPECT_TRUE(std::ranges::none_of(trabajos(), [](const QByteArray& j) { return j.contains("Se ha producido"); }));
    ASSERT_TRUE(cocina.captura.espera(1));
    EXPECT_EQ(std::ranges::count_if(cocina.captura.trabajos, [](const auto& j) { return j.contains("UNICO"); }), 1);
    printers::install(nullptr);
}

TEST_F(clsSocketFrontTest, EnviaPeticionTalksToOurOwnPortAndTellsWhenNobodyListens) {
    qint32 p = 0;
    vb::EntidadPtr r = front->enviaPeticion("Ping", nullptr, "127.0.0.1", &p);
    EXPECT_EQ(p, puerto);
    EXPECT_EQ(r->Valor("respuesta").toString(), kRespuestaPing);

    // A print sent to our own port from inside a print times out; the ticket goes out afterwards.
    auto impresion = std::make_shared<vb::entidadGenerica>();
    impresion->Propiedad("texto", "desde dentro");
    TurnoExclusivo::instancia().ejecuta([&] { r = front->enviaPeticion("ImprimirTicketEspecial", &impresion); });
    EXPECT_FALSE(r->Valor("ok").toBool());
    EXPECT_EQ(r->Valor("error").toString(), "Error de timeout");
    EXPECT_EQ(trabajos(1).size(), 1u);

    QTcpServer libre;
    ASSERT_TRUE(libre.listen(QHostAddress::LocalHost, 0));
    qint32 q = libre.serverPort();
    libre.close();
    EXPECT_EQ(front->enviaPeticion("Ping", nullptr, "127.0.0.1", &q)->Count(), 0); // nobody listens
    EXPECT_EQ(filas(QStringLiteral("clsSocketFront.enviaPeticion (127.0.0.1:%1): Error en la conexión (10061: "
                                   "Connection refused)")
                        .arg(q)),
              1);
}

TEST(clsSocketFront, ScriptHostGetsTheFailureInsteadOfTheReplyFields) {
    testenv::reiniciaTodo();
    clsSocketFront front;
    clsJsonScript js;
    vb::EntidadPtr r;
    const auto ejecuta = [&](const char* peticion) {
        r.reset();
        return front.EjecutaAccion(clsJSON().parseIEntidad(peticion), r, QStringLiteral("script"), &js);
    };
    const auto informes = [](const QString& inicio) {
        return std::ranges::count_if(recordingMainWindow().grid,
                                     [&](const QString& f) { return f.startsWith("ERROR: " + inicio); });
    };
    EXPECT_FALSE(ejecuta(R"({"accion":"Ping","idTPV":"abc"})"));
    EXPECT_EQ(r->Count(), 0);
    EXPECT_GT(informes("clsSocketFront.EjecutaAccion.  - Type mismatch: Type mismatch\r\n(13 - "), 0);
    const auto uno = informes("clsSocketFront.EjecutaAccion. "); // the rows of one report
    // An unknown action: no error text and no dump, only "ok" false.
    EXPECT_FALSE(ejecuta(R"({"accion":"Otra"})"));
    EXPECT_EQ(r->Count(), 1);
    EXPECT_EQ(r->Valor("ok"), Variant(false));
    EXPECT_EQ(informes("clsSocketFront.EjecutaAccion. "), uno);
    // A failure after the action was recognised still counts as recognised.
    EXPECT_TRUE(ejecuta(R"({"accion":"ImprimirTicketCocinaEspecial","imprimir_cabecera":"S"})"));
    EXPECT_EQ(informes("clsSocketFront.EjecutaAccion. "), 2 * uno);
    // Called outside a failure there is no pending error to read: number 0, no description.
    EXPECT_FALSE(js.ctrlErrorScript(QStringLiteral("proc")));
    EXPECT_GT(informes("proc - : \r\n(0 - "), 0);
}

} // namespace

// The real CUPS output to a private cupsd, which is stopped at the chosen moment of the job that
// holds `marca` (once).
struct ParaEnElPlato final : printers::RawOutput {
    printers::CupsOutput cups;
    testenv::ServicioPrivado* cupsd = nullptr;
    QByteArray marca;
    printers::Stage momento = printers::Stage::CreateJobSent;
    bool parado = false;
    printers::JobResult sendJob(const QString& p, const QByteArray& d) override {
        if (!parado && !marca.isEmpty() && d.contains(marca))
            printers::setStageHook([this](printers::Stage s) {
                if (s == momento && !std::exchange(parado, true))
                    cupsd->para();
            });
        const printers::JobResult r = cups.sendJob(p, d);
        printers::setStageHook({});
        return r;
    }
    bool send(const QString& p, const QByteArray& d, QString* e) override {
        const printers::JobResult r = sendJob(p, d);
        if (e)
            *e = r.error;
        return r.printed();
    }
    printers::JobResult settle(const printers::PendingJob& job) override { return cups.settle(job); }
    QStringList list() override { return cups.list(); }
    QString defaultPrinter() override { return cups.defaultPrinter(); }
};

// cupsd stopped at each moment of a ticket's job (before the Create-Job's answer, after the document,
// after its answer's header) and going on once the print gave up. A reply that says printed has the
// ticket once on paper, one that says it failed has it nowhere, one that says it may have printed has
// it at most once; a queued ticket is on paper exactly once after the queue's retries (asked first,
// sent again only when cupsd said it did not print); no job stays in cupsd.
TEST_F(clsSocketFrontTest, AStoppedCupsdNeitherLosesNorDoublesAQueuedTicketAndTheReplyNeverGuesses) {
    testenv::CupsdPrivado propio;
    testenv::CapturaTcp captura;
    ASSERT_TRUE(propio.colaCaptura(QStringLiteral("parada"), captura)) << propio.cupsd.error().toStdString();
    printers::CupsOutput::setWaits(0.4, 0.2);
    ParaEnElPlato salida;
    salida.cupsd = &propio.cupsd;
    printers::install(&salida);
    struct Fin {
        testenv::ServicioPrivado& cupsd;
        ~Fin() {
            printers::install(nullptr);
            cupsd.sigue();
            printers::resetForTests();
        }
    } fin{propio.cupsd};
    int n = 0;
    const auto plato = [&](const QByteArray& que) {
        return QByteArray(R"({"accion":"ImprimirTicketEspecial","impresora":"parada","texto":")") + que + "\"}";
    };
    // Everything settled and a marker behind it at the printer: the copies of `que` on paper.
    const auto copias = [&](const QByteArray& que) {
        EXPECT_TRUE(waits::until(
            [&] {
                return printers::CupsOutput::unsettled().empty() &&
                       propio.sinTerminar(QStringLiteral("parada")).isEmpty();
            },
            "no job left in cupsd", 4 * waits::kDeadlineMs));
        const QByteArray marca = "MARCA" + QByteArray::number(++n);
        EXPECT_TRUE(waits::until([&] { return salida.cups.send(QStringLiteral("parada"), marca, nullptr); },
                                 "the marker sent"));
        EXPECT_TRUE(waits::until([&] { return !captura.trabajos.empty() && captura.trabajos.back() == marca; },
                                 "the marker at the printer"));
        return std::ranges::count_if(captura.trabajos, [&](const QByteArray& j) { return j.contains(que); });
    };
    for (const printers::Stage momento :
         {printers::Stage::CreateJobSent, printers::Stage::DocumentSent, printers::Stage::AnswerHeader}) {
        SCOPED_TRACE(testing::Message() << "stopped at moment " << int(momento));
        salida.momento = momento;

        // Straight from a till: the reply.
        const QByteArray directo = "DIRECTO" + QByteArray::number(int(momento));
        salida.marca = directo;
        salida.parado = false;
        vb::EntidadPtr respuesta = std::make_shared<vb::entidadGenerica>();
        front->EjecutaAccion(json.parseIEntidad(QString::fromUtf8(plato(directo))), respuesta, "prueba");
        propio.cupsd.sigue();
        const QString error = respuesta->Existe("error") ? vb::CStr(respuesta->Valor("error")) : QString();
        const bool sinRespuesta = momento != printers::Stage::AnswerHeader; // stopped before cupsd answered
        if (sinRespuesta) {
            EXPECT_TRUE(error.startsWith("Puede que el ticket se haya impreso")) << error.toStdString();
            EXPECT_EQ(vb::CStr(respuesta->Valor("impreso")), "desconocido");
        }
        const auto enPapel = copias(directo);
        if (error.isEmpty())
            EXPECT_EQ(enPapel, 1);
        else if (error.startsWith("Puede que el ticket se haya impreso"))
            EXPECT_LE(enPapel, 1);
        else
            EXPECT_EQ(enPapel, 0) << error.toStdString();

        // Through the request queue.
        const QByteArray encolado = "ENCOLADO" + QByteArray::number(int(momento));
        salida.marca = encolado;
        salida.parado = false;
        encola({QString::fromUtf8(plato(encolado))});
        front->EjecutarRequestPendientesCola("prueba");
        propio.cupsd.sigue();
        if (sinRespuesta) { // kept, to be asked about first
            EXPECT_EQ(front->peticiones_aincronas()->Count(), 1);
        }
        EXPECT_TRUE(waits::until(
            [&] {
                front->EjecutarRequestPendientesCola("prueba");
                return front->peticiones_aincronas()->Count() == 0;
            },
            "the queue to be done", 4 * waits::kDeadlineMs));
        EXPECT_EQ(copias(encolado), 1);
    }
    // The reason logged is cupsd's own answer or that none came, never a status left from before.
    EXPECT_GT(filas("sin respuesta de cupsd"), 0);
    EXPECT_EQ(filas("Success ("), 0);
}
