// The request protocol end to end: a client on loopback against the real request front, with the
// database of a small restaurant and a CUPS queue that prints into a capture. Every reply is checked
// byte for byte.
#include "EntornoServidor.h"

#include "core/basLegacyFunctions.h"
#include "platform/Ado.h"

#include <QTcpServer>
#include <barrier>
#include <thread>

using namespace servertest;

namespace {

const QByteArray kPing = R"({"accion":"Ping"})";
const QByteArray kRespuestaPing = "200 OK\r{\"respuesta\":\"S\",\"ok\":true}";
const QByteArray kMarca("\0--QUELLMARDEN-END-CONNECTION--\0", 32);
const QByteArray kSinAccion = "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'#ERROR#\\' no implementada.\",\"ok\":false}";

QByteArray cocina(const QString& texto, const QString& extra = {}) {
    return (QStringLiteral(R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":3,"idTicket":1234,"texto":")") + texto +
            QStringLiteral("\"") + extra + QStringLiteral("}"))
        .toUtf8();
}

using Protocolo = ServidorReal;

TEST_F(Protocolo, EachActionAnswersItsFieldsWithOkLast) {
    EXPECT_EQ(pide(kPing), kRespuestaPing);
    EXPECT_EQ(pide(R"({"accion":"ping"})"), kRespuestaPing);
    EXPECT_EQ(pide(R"({"accion":"PING","idTPV":"7","idTicket":12.5,"idCamarero":null})"), kRespuestaPing);
    EXPECT_EQ(pide(R"({"accion":"GetIdTPV"})"), "200 OK\r{\"idTPV\":\"1\",\"ok\":true}");

    printers::RecordingOutput impresoras;
    impresoras.printers = {"COCINA 1", "Barra"};
    printers::install(&impresoras);
    EXPECT_EQ(pide(R"({"accion":"GetPrinters"})"), "200 OK\r{\"result\":[\"COCINA 1\",\"Barra\"],\"ok\":true}");
    impresoras.printers.clear();
    EXPECT_EQ(pide(R"({"accion":"getprinters"})"), "200 OK\r{\"result\":[],\"ok\":true}");
    printers::install(nullptr);

    EXPECT_EQ(pide(R"({"accion":"shutdown"})"), "200 OK\r{\"ok\":true}");
    EXPECT_EQ(pide(R"({"accion":"cerrar_programa"})"), "200 OK\r{\"ok\":true}");
    EXPECT_EQ(recordingMainWindow().finalizarCalls, 2);
    EXPECT_FALSE(recordingMainWindow().lastRestart);
    EXPECT_EQ(pide(R"({"accion":"reiniciar_programa"})"), "200 OK\r{\"ok\":true}");
    EXPECT_EQ(recordingMainWindow().finalizarCalls, 3);
    EXPECT_TRUE(recordingMainWindow().lastRestart);
}

TEST_F(Protocolo, GetPrintersListsTheQueuesOfCups) {
    const QByteArray r = pide(R"({"accion":"GetPrinters"})");
    EXPECT_TRUE(r.startsWith("200 OK\r{\"result\":[")) << r.toStdString();
    EXPECT_TRUE(r.contains("\"" + cola->nombre.toUtf8() + "\"")) << r.toStdString();
    EXPECT_TRUE(r.endsWith("],\"ok\":true}")) << r.toStdString();
}

TEST_F(Protocolo, AnadirLogTurnsBackslashNIntoALineBreakInTheDatabaseLog) {
    EXPECT_EQ(pide(R"({"accion":"AnadirLog","Texto":"Mesa 4\\nsin sal\\Nurgente"})"), "200 OK\r{\"ok\":true}");
    EXPECT_EQ(core->valor("select hex(Concepto) from qm_log where Concepto like 'Tarvolin. Mesa 4%'"),
              QString::fromLatin1(QByteArray("Tarvolin. Mesa 4\r\nsin sal\r\nurgente").toHex().toUpper()));
}

TEST_F(Protocolo, UnknownActionIsAnsweredAndDumpedToTheLogFileWithValuesCut) {
    const QString largo(3000, u'x');
    const QByteArray r = pide((QStringLiteral(R"({"accion":"Imprimir","idTPV":3,"nota":")") + largo +
                               QStringLiteral(R"(","lista":[1,"a"],"nada":null})"))
                                  .toUtf8());
    EXPECT_EQ(r, "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'Imprimir\\' no implementada.\",\"ok\":false}");
    const QString log = logFichero();
    EXPECT_TRUE(log.contains(QStringLiteral("Imprimir\r\n     accion: Imprimir\r\n     idTPV: 3\r\n     nota: ") +
                             QString(1024, u'x') + QStringLiteral("\r\n     lista: [\"1\",\"a\"]\r\n     nada: \r\n")))
        << log.toStdString();

    // Without "accion" the action is the entity's answer for a missing name.
    EXPECT_EQ(pide(R"({"idTPV":3})"), kSinAccion);
}

TEST_F(Protocolo, BadFieldOrNoJsonIsAnsweredWithoutErrorTicketOrLostLink) {
    EXPECT_EQ(pide(R"({"accion":"Ping","idTPV":"abc"})"), "200 OK\r{\"ok\":false,\"errorVB6\":\"Type mismatch\"}");
    EXPECT_EQ(pide(R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":3,"idTicket":1234,"imprimir_pie":"S"})"),
              "200 OK\r{\"ok\":false,\"errorVB6\":\"Type mismatch\"}");
    EXPECT_EQ(pide(R"({"accion":"Ping","idTicket":1e12})"), "200 OK\r{\"ok\":false,\"errorVB6\":\"Overflow\"}");
    EXPECT_EQ(pide(R"({"accion":null})"), "200 OK\r{\"ok\":false,\"errorVB6\":\"Invalid use of Null\"}");
    // The reader keeps what it could read of a broken object; a bare "{" names no action.
    EXPECT_EQ(pide(R"({"accion":"Ping","idTPV":)"), kRespuestaPing);
    EXPECT_EQ(pide("GET / HTTP/1.1\r\nHost: caja\r\n\r\n"), "{}");
    EXPECT_EQ(pide("[1,2]{"), kSinAccion);
    EXPECT_EQ(filas("Error VB6: Tarvolin, origen_request:socket_Request, Type mismatch"), 2);
    EXPECT_TRUE(logFichero().contains("ERROR: clsSocketFront.EjecutaAccion. socket_Request: Overflow"));

    EXPECT_EQ(ConexionServidor().State(), ado::adStateOpen);
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_EQ(filas("Tarvolin Error"), 0);
    pide(R"({"accion":"ImprimirTicketEspecial","texto":"despues"})");
    ASSERT_EQ(trabajos(1).size(), 1u); // the only job is the ticket: no error ticket went out
    EXPECT_TRUE(trabajos()[0].contains("despues"));
}

TEST_F(Protocolo, NullAndTextWithoutBraceAreAnsweredWithoutTheOkLine) {
    EXPECT_EQ(pide("null"), "{}");
    EXPECT_EQ(pide("NULL"), "{}");
    EXPECT_EQ(pide("hola"), "{}");
    const QByteArray r = enHilo([this] {
        ClienteTcp c(puerto);
        c.envia("conexion_persistente_endnull");
        return c.leeRespuesta(true);
    });
    EXPECT_EQ(r, "{}" + kMarca);
}

TEST_F(Protocolo, PersistentPrefixKeepsTheConnectionForTheNextRequest) {
    const auto r = enHilo([this] {
        ClienteTcp c(puerto);
        c.envia("conexion_persistente" + kPing);
        QByteArrayList r{c.leeRespuesta()};
        c.envia("Conexion_Persistente" + kPing);
        r << c.leeRespuesta();
        c.envia(kPing); // without the prefix: answered, then closed
        r << c.leeHastaCierre() << QByteArray(c.cerrado() ? "cerrada" : "abierta");
        return r;
    });
    EXPECT_EQ(r, (QByteArrayList{kRespuestaPing, kRespuestaPing, kRespuestaPing, "cerrada"}));
}

TEST_F(Protocolo, EndMarkerFollowsTheReplyAndTheConnectionStays) {
    const auto r = enHilo([this] {
        ClienteTcp c(puerto);
        c.envia("CONEXION_PERSISTENTE_END" + kPing);
        QByteArrayList r{c.leeRespuesta(true)};
        // The short prefix right behind the long one is taken off too.
        c.envia("conexion_persistente_endconexion_persistente" + kPing);
        r << c.leeRespuesta(true);
        c.envia("conexion_persistente_endhola");
        r << c.leeRespuesta(true);
        r << QByteArray(c.cerrado() ? "cerrada" : "abierta");
        return r;
    });
    EXPECT_EQ(r, (QByteArrayList{kRespuestaPing + kMarca, kRespuestaPing + kMarca, "{}" + kMarca, "abierta"}));
}

TEST_F(Protocolo, RequestSplitByTheNetworkIsOneRequest) {
    const QByteArray peticion = R"(xx{"accion":"AnadirLog","Texto":"partido {en} \"dos\" \\ "})";
    // Each piece is sent once the server has read the one before.
    Hito primera([this] { return front->socket()->EstadoSocket(1) == "DataArrival"; });
    const auto r = enHilo(
        [&] {
            ClienteTcp c(puerto);
            c.envia(peticion.left(20));
            primera.espera();
            c.envia(peticion.mid(20, 16));
            c.envia(peticion.mid(36));
            return c.leeHastaCierre();
        },
        {&primera});
    EXPECT_EQ(r, "200 OK\r{\"ok\":true}");
    EXPECT_EQ(core->valor("select hex(Concepto) from qm_log where Concepto like 'Tarvolin. partido%'"),
              QString::fromLatin1(QByteArray("Tarvolin. partido {en} \"dos\" \\ ").toHex().toUpper()));
    EXPECT_EQ(filas("clsSockerFront.EjecutaAccion (AnadirLog)"), 1);
}

TEST_F(Protocolo, GarbageBeforeTheBraceIsDroppedAndWhatFollowsTheObjectIgnored) {
    EXPECT_EQ(pide("\r\n-- basura {{" + kPing), kSinAccion);
    EXPECT_EQ(pide("POST /tarvolin HTTP/1.1\r\nContent-Length: 17\r\n\r\n" + kPing), kRespuestaPing);
    EXPECT_EQ(pide(kPing + R"({"accion":"GetIdTPV"})"), kRespuestaPing);
}

TEST_F(Protocolo, FiftyClientsAtOnceEachGetTheirOwnReply) {
    constexpr int kClientes = 50;
    const auto respuestas = enHilo([this] {
        std::vector<QByteArray> r(kClientes);
        std::barrier salida(kClientes);
        std::vector<std::thread> hilos;
        for (int i = 0; i < kClientes; ++i)
            hilos.emplace_back([&, i] {
                ClienteTcp c(puerto);
                salida.arrive_and_wait();
                c.envia(i % 2 ? kPing : QByteArray("{\"accion\":\"Eco") + QByteArray::number(i) + "\"}");
                r[size_t(i)] = c.leeHastaCierre();
            });
        for (auto& h : hilos)
            h.join();
        return r;
    });
    for (int i = 0; i < kClientes; ++i) {
        SCOPED_TRACE(i);
        if (i % 2)
            EXPECT_EQ(respuestas[size_t(i)], kRespuestaPing);
        else
            EXPECT_EQ(respuestas[size_t(i)], "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'Eco" + QByteArray::number(i) +
                                                 "\\' no implementada.\",\"ok\":false}");
    }
    program::waitWhile([this] { return front->socket()->conexionesAbiertas() > 0; }, kEsperaMaximaMs);
    EXPECT_EQ(front->socket()->conexionesAbiertas(), 0);
    EXPECT_EQ(front->socket()->intConexiones(), 0);
}

TEST_F(Protocolo, KitchenTicketReachesThePrinterAsTheComposerMakesIt) {
    const QString texto = QStringLiteral("1 Entrecot<br>2 Ca\u00f1a");
    // The same ticket through the recording output, then through the wire to CUPS.
    printers::RecordingOutput grabado;
    printers::install(&grabado);
    ASSERT_TRUE(clsImprimirTicket().ImprimirTicketCocinaEspecial(3, 1234, texto));
    printers::install(nullptr);
    ASSERT_FALSE(grabado.jobs.empty());
    core->sql("delete from qm_imppantalla");

    EXPECT_EQ(pide(cocina(QStringLiteral("1 Entrecot<br>2 Ca\\u00f1a"))), "200 OK\r{\"ok\":true}");
    ASSERT_EQ(trabajos(grabado.jobs.size()).size(), grabado.jobs.size());
    for (size_t i = 0; i < grabado.jobs.size(); ++i)
        EXPECT_EQ(trabajos()[i], grabado.jobs[i].data) << i;

    // The request's text is Windows-1252 on the wire ("Café €"); "impresora" absent prints on ImpTicket.
    grabado.jobs.clear();
    printers::install(&grabado);
    ASSERT_TRUE(clsImprimirTicket().ImprimirTicketEspecial(QStringLiteral("Caf\u00e9 \u20ac")).blnEnviado);
    printers::install(nullptr);
    const size_t antes = trabajos().size();
    EXPECT_EQ(pide("{\"accion\":\"ImprimirTicketEspecial\",\"texto\":\"Caf\xE9 \x80\"}"), "200 OK\r{\"ok\":true}");
    ASSERT_EQ(trabajos(antes + grabado.jobs.size()).size(), antes + grabado.jobs.size());
    for (size_t i = 0; i < grabado.jobs.size(); ++i)
        EXPECT_EQ(trabajos()[antes + i], grabado.jobs[i].data) << i;
}

TEST_F(Protocolo, FailedPrintKeepsOkAndSaysSoInError) {
    const QByteArray r =
        pide(R"({"accion":"ImprimirTicketEspecial","texto":"nada","impresora":"no_existe_esta_cola_tarvolin"})");
    EXPECT_EQ(r, "200 OK\r{\"error\":\"No se ha podido imprimir el ticket.\",\"ok\":true}");
    EXPECT_EQ(pide(cocina("1 Sopa", R"(,"impresora":"no_existe_esta_cola_tarvolin")")),
              "200 OK\r{\"error\":\"No se ha podido imprimir el ticket.\",\"ok\":true}");
}

class ImpresionLenta : public ServidorReal {
protected:
    QList<QPair<QString, QString>> parametrosExtra() const override { return {{"DelayImpresion", "700"}}; }
};

TEST_F(ImpresionLenta, PingsAreAnsweredWhileAPrintWaitsAndPrintsNeverInterleave) {
    Hito impresionEmpezada([] { return filas("clsSockerFront.EjecutaAccion (ImprimirTicketEspecial)") > 0; });
    std::atomic<int> orden{0};
    std::atomic<int> finImpresionA{0}, finImpresionB{0};
    std::vector<int> pings;
    const auto respuestas = enHilo(
        [&] {
            QByteArrayList r;
            std::thread a([&] {
                ClienteTcp c(puerto);
                c.envia(R"({"accion":"ImprimirTicketEspecial","texto":"A1<cortar>A2"})");
                r << c.leeHastaCierre();
                finImpresionA = ++orden;
            });
            // The first print is inside the printer layer before the other requests go.
            impresionEmpezada.espera();
            std::thread b([&] {
                ClienteTcp c(puerto);
                c.envia(R"({"accion":"ImprimirTicketEspecial","texto":"B1<cortar>B2"})");
                finImpresionB = c.leeHastaCierre() == "200 OK\r{\"ok\":true}" ? ++orden : -1;
            });
            for (int i = 0; i < 5; ++i) {
                ClienteTcp c(puerto);
                c.envia(kPing);
                pings.push_back(c.leeHastaCierre() == kRespuestaPing ? ++orden : -1);
            }
            a.join();
            b.join();
            return r;
        },
        {&impresionEmpezada});
    ASSERT_EQ(respuestas, QByteArrayList{"200 OK\r{\"ok\":true}"});
    for (int p : pings)
        EXPECT_TRUE(p > 0 && p < finImpresionA) << p << " " << finImpresionA;
    EXPECT_GT(finImpresionB, finImpresionA);

    // One ticket's pieces after the other's, each piece a job of its own.
    const auto& t = trabajos(4);
    ASSERT_EQ(t.size(), 4u);
    QByteArrayList piezas;
    for (const QByteArray& j : t)
        piezas << (j.contains("A1")   ? "A1"
                   : j.contains("A2") ? "A2"
                   : j.contains("B1") ? "B1"
                   : j.contains("B2") ? "B2"
                                      : "?");
    EXPECT_EQ(piezas, (QByteArrayList{"A1", "A2", "B1", "B2"}));
}

TEST_F(ImpresionLenta, PeerThatLeavesWhileItsPrintRunsGetsNothingSent) {
    // A peer gone for good (a reset); one that only shut its sending side is still answered.
    Hito impresionEmpezada([] { return filas("clsSockerFront.EjecutaAccion (ImprimirTicketEspecial)") > 0; });
    const bool cerrada = enHilo(
        [&] {
            ClienteTcp c(puerto);
            c.envia(R"({"accion":"ImprimirTicketEspecial","texto":"sin espera"})");
            impresionEmpezada.espera();
            c.reinicia();
            return true;
        },
        {&impresionEmpezada});
    ASSERT_TRUE(cerrada);
    program::waitWhile([] { return filas("Socket is closed") == 0; }, kEsperaMaximaMs);
    EXPECT_EQ(filas("Socket is closed"), 1);
    EXPECT_EQ(filas("Sending: "), 0);
    EXPECT_TRUE(trabajos(1)[0].contains("sin espera"));
    EXPECT_EQ(pide(kPing), kRespuestaPing);
}

TEST_F(Protocolo, PeerClosingMidRequestOrSilentLeavesNoTrace) {
    frmComSocket& ventana = *front->socket();
    auto liberadas = [&] {
        program::waitWhile([&] { return ventana.conexionesAbiertas() > 0; }, kEsperaMaximaMs);
        return ventana.conexionesAbiertas() == 0;
    };
    // Half a request, then gone: nothing is run, nothing is sent.
    enHilo([this] {
        ClienteTcp c(puerto);
        return c.envia(R"({"accion":"ImprimirTicketEspecial","texto":"a medias)");
    });
    ASSERT_TRUE(liberadas());
    EXPECT_EQ(filas("Petición incompleta descartada"), 1);
    EXPECT_EQ(ventana.EstadoSocket(1), "closed");
    EXPECT_EQ(ventana.intConexiones(), 0);

    // A connection that says nothing and closes.
    enHilo([this] { return ClienteTcp(puerto).conectado(); });
    ASSERT_TRUE(liberadas());
    EXPECT_EQ(ventana.EstadoSocket(1), "closed");

    // One that says nothing and stays does not hold up the others.
    ClienteTcp callado(puerto);
    ASSERT_TRUE(callado.conectado());
    program::waitWhile([&] { return ventana.conexionesAbiertas() == 0; }, kEsperaMaximaMs);
    EXPECT_EQ(ventana.EstadoSocket(1), "creado");
    EXPECT_EQ(pide(kPing), kRespuestaPing);
    EXPECT_EQ(ventana.EstadoSocket(2), ""); // answered, closed by the server and unloaded
    EXPECT_EQ(ventana.conexionesAbiertas(), 1);
    EXPECT_EQ(ventana.intConexiones(), 1);

    EXPECT_EQ(filas("clsSockerFront.EjecutaAccion (ImprimirTicketEspecial)"), 0);
    EXPECT_TRUE(cola->captura.trabajos.empty());
}

TEST_F(Protocolo, RequestOverOneMebibyteClosesItsConnection) {
    const auto r = enHilo([this] {
        ClienteTcp c(puerto);
        QByteArray grande = R"({"accion":"AnadirLog","Texto":")";
        grande += QByteArray(trama::kMaxPeticion, 'x');
        c.envia(grande); // may fail part way once the server has closed
        const QByteArray respuesta = c.leeHastaCierre();
        return respuesta + (c.cerrado() ? "|cerrada" : "|abierta");
    });
    EXPECT_EQ(r, "|cerrada");
    EXPECT_EQ(filas("Petición de más de 1048576 bytes"), 1);
    EXPECT_EQ(filas("clsSockerFront.EjecutaAccion (AnadirLog)"), 0);
    EXPECT_EQ(pide(kPing), kRespuestaPing);
}

TEST_F(Protocolo, BusyPortIsReportedOnceAndInitiaListensOnceItIsFree) {
    QTcpServer ocupante;
    ASSERT_TRUE(ocupante.listen(QHostAddress::Any, 0));
    const quint16 ocupado = ocupante.serverPort();
    QPointer<frmComSocket> anterior = front->socket();
    front->setPuertoForzado(ocupado);

    front->Inicia();
    EXPECT_FALSE(front->SocketIniciado);
    front->Inicia();
    EXPECT_FALSE(front->SocketIniciado);
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

} // namespace

namespace {

TEST_F(Protocolo, FieldNamesMatchAsWrittenActionNamesInAnyCase) {
    const struct {
        QByteArray peticion, respuesta;
    } casos[] = {
        {R"({"Accion":"Ping"})", kSinAccion},
        {R"({"ACCION":"Ping","accion":"PING"})", kRespuestaPing},
        {R"({"accion":"Ping","IDTPV":"abc"})", kRespuestaPing}, // not "idTPV": not read
        {R"({"accion":"AnadirLog","texto":"minusculas"})", "200 OK\r{\"ok\":true}"},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.peticion.toStdString());
        EXPECT_EQ(pide(k.peticion), k.respuesta);
    }
    // "Texto" is the field of AnadirLog: "texto" leaves the line empty.
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto = 'Tarvolin. '"), "1");
}

TEST_F(Protocolo, AnadirLogSaysWhenTheRowCouldNotBeStored) {
    ASSERT_TRUE(core->sql("rename table qm_log to qm_log_aparte"));
    const QByteArray r = pide(R"({"accion":"AnadirLog","Texto":"sin tabla"})");
    ASSERT_TRUE(core->sql("rename table qm_log_aparte to qm_log"));
    EXPECT_EQ(r, "200 OK\r{\"error\":\"No se ha podido grabar el log.\",\"ok\":true}");
    EXPECT_EQ(pide(R"({"accion":"AnadirLog","Texto":"con tabla"})"), "200 OK\r{\"ok\":true}");
}

TEST_F(Protocolo, HugeNamesAreCutInTheReplyAndTheTrace) {
    const QByteArray largo(900'000, '\xE9'); // six characters each once escaped in the reply
    QByteArray quejas = "{";
    for (int i = 0; quejas.size() < 1'000'000; ++i)
        quejas += QByteArray::number(i) + ":t,";
    quejas += "}";
    const qsizetype logAntes = logFichero().size();
    const struct {
        const char* caso;
        QByteArray peticion;
        QByteArray inicio;
    } casos[] = {
        {"action name", R"({"accion":")" + largo + R"("})", "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'\\u00E9\\u00E9"},
        {"key", R"({")" + largo + R"(":1,"accion":"Nada"})", "200 OK\r{\"errorVB6\":\"Acci\\u00F3n \\'Nada"},
        {"complaints", quejas, kSinAccion},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.caso);
        recordingMainWindow().grid.clear();
        const QByteArray r = pide(k.peticion);
        EXPECT_TRUE(r.startsWith(k.inicio)) << r.left(200).toStdString();
        EXPECT_LT(r.size(), 2000);
        qsizetype mayor = 0;
        for (const QString& f : recordingMainWindow().grid)
            mayor = std::max(mayor, f.size());
        EXPECT_LT(mayor, 10'000);
    }
    EXPECT_LT(logFichero().size() - logAntes, 100'000);
}

TEST_F(Protocolo, DetailedLogKeepsRequestAndReplyInTheDatabaseLog) {
    gblnGrabarLogDetallado = true;
    EXPECT_EQ(pide(kPing), kRespuestaPing);
    gblnGrabarLogDetallado = false;
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto = 'Tarvolin. clsSocket.RequestData: "
                          "{\"accion\":\"Ping\"}'"),
              "1");
    EXPECT_EQ(core->valor("select count(*) from qm_log where Concepto = 'Tarvolin. clsSocket.responseData: "
                          "{\"respuesta\":\"S\",\"ok\":true}'"),
              "1");
}

TEST_F(Protocolo, PortFollowsTheTillSettingAndIsOpenedInTheFirewallLists) {
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
}

} // namespace
