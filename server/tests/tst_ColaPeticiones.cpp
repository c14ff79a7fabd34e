// The request front's queue and outgoing requests on the service as it runs: drains of every kind
// (one pass when everything fails to the end, a print whose printer is gone stays, the print turn,
// a nested drain), enviaPeticion to our own port and to the test service in its own process.
#include "EntornoServidor.h"
#include "ServicioExterno.h"

#include "platform/Program.h"
#include "server/TurnoExclusivo.h"
#include "server/json/clsJSON.h"

using namespace servertest;

namespace {

// Its log rows run a drain of their own: a drain from inside a queued action.
struct VentanaQueDrena : RecordingMainWindow {
    clsSocketFront* front;
    QList<bool> anidadas;
    void AnadirLog(const QString& t) override { anidadas << front->EjecutarRequestPendientesCola(t); }
};

class Cola : public ServidorReal {
protected:
    clsJSON json;
    void encola(const QStringList& peticiones) {
        for (const QString& p : peticiones)
            front->peticiones_aincronas()->Add(json.parseIEntidad(p));
    }
    QStringList quedan() { // and empties the queue
        QStringList r;
        for (auto cola = front->peticiones_aincronas(); cola->Count() > 0; cola->Remove(1))
            r << vb::CStr(cola->Item(1)->Valor("accion"));
        return r;
    }
};

TEST_F(Cola, DrainsRunInOrderOnePassAndKeepWhatFailed) {
    const QString kPing = R"({"accion":"Ping"})";
    const QString kFalla = R"({"accion":"Nada"})";
    const QString kAlFinal = R"({"accion":"Otra","on_fail_poner_al_final_cola":1})";
    const QString kRetenida = R"({"accion":"GetIdTPV","no_ejecutar_si_ticket_abierto":true})";
    const QString kSinImpresora = R"({"accion":"ImprimirTicketEspecial","texto":"x","impresora":"no_existe_tarvolin"})";
    const QString kImprime = R"({"accion":"ImprimirTicketEspecial","texto":"cola"})";
    const struct {
        const char* nombre;
        QStringList peticiones;
        bool ticketAbierto, turnoOcupado, resultado;
        QStringList quedan;
    } casos[] = {
        {"empty", {}, false, false, false, {}},
        {"one success", {kPing}, false, false, false, {}},
        {"three successes", {kPing, kPing, kPing}, false, false, true, {}},
        {"held while a ticket is open", {kRetenida, kPing}, true, false, false, {"GetIdTPV", "Ping"}},
        {"failure at the head stops", {kFalla, kPing}, false, false, false, {"Nada", "Ping"}},
        {"failures go to the end, one pass", {kAlFinal, kAlFinal, kPing}, false, false, true, {"Otra", "Otra"}},
        {"print that did not go out stays",
         {kSinImpresora, kPing},
         false,
         false,
         false,
         {"ImprimirTicketEspecial", "Ping"}},
        {"print waits while the print turn is taken", {kImprime}, false, true, false, {"ImprimirTicketEspecial"}},
        {"print with the turn free", {kImprime, kPing}, false, false, true, {}},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nombre);
        ASSERT_TRUE(program::waitWhile([] { return TurnoExclusivo::instancia().ocupado(); }, 5000));
        encola(c.peticiones);
        frmPrincipalVars().lngTPV = frmPrincipalVars().lngTicket = c.ticketAbierto ? 7 : 0;
        bool r = !c.resultado;
        if (c.turnoOcupado)
            TurnoExclusivo::instancia().ejecuta([&] { r = front->EjecutarRequestPendientesCola("prueba"); });
        else
            r = front->EjecutarRequestPendientesCola("prueba");
        EXPECT_EQ(r, c.resultado);
        EXPECT_EQ(quedan(), c.quedan);
    }
    frmPrincipalVars().lngTPV = frmPrincipalVars().lngTicket = 0;
    EXPECT_EQ(trabajos(1).size(), 1u);

    // A drain from inside a queued action returns at once; the outer one goes on.
    VentanaQueDrena ventana;
    ventana.front = front.get();
    encola({R"({"accion":"AnadirLog","Texto":"anidada"})", kPing});
    setMainWindow(&ventana);
    EXPECT_TRUE(front->EjecutarRequestPendientesCola("prueba"));
    setMainWindow(nullptr);
    EXPECT_TRUE(ventana.anidadas.size() > 0 && !ventana.anidadas.contains(true));
    EXPECT_EQ(quedan(), QStringList());
}

TEST_F(Cola, EnviaPeticionTalksToOurOwnPortAndTellsWhenNobodyListens) {
    qint32 p = 0;
    vb::EntidadPtr parametros;
    vb::EntidadPtr r = front->enviaPeticion("Ping", &parametros, "127.0.0.1", &p);
    EXPECT_EQ(p, puerto);
    EXPECT_EQ(parametros->Valor("accion").toString(), "Ping");
    EXPECT_EQ(r->Valor("respuesta").toString(), "200 OK\r{\"respuesta\":\"S\",\"ok\":true}");

    // A print sent to our own port from inside a print waits for the turn its sender holds: the send
    // ends at its limit, and the ticket goes out only once the outer print has finished.
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
}

TEST_F(Cola, ComanderoPortByInstanceEvenWithoutTheParameter) {
    const struct {
        const char* instancias; // nullptr: the till lacks the parameter
        qint16 instancia, puerto;
    } casos[] = {{nullptr, 3, 8088}, {"1", 3, 8088},   {"2", 0, 8088},
                 {"2", 1, 9089},     {"3,5", 2, 9090}, {"2", 30000, 8088}};
    for (const auto& c : casos) {
        if (c.instancias)
            objParametros().SetValor("InstanciasQuellmardenComandero", c.instancias);
        EXPECT_EQ(front->getPuertoSocketComandero(c.instancia), c.puerto) << c.instancia;
    }
    EXPECT_GE(filas("ERROR: clsSocketFront.getPuertoSocketFront: Overflow"), 1);
}

TEST(ColaPeticiones, EnviaPeticionPingsTheServiceInItsOwnProcess) {
    TARVOLIN_REQUIRE_DATABASE();
    ServicioExterno s(QStringLiteral("srvenvia"));
    ASSERT_TRUE(s.arranca({}));
    clsSocketFront front;
    qint32 p = s.puerto();
    const vb::EntidadPtr r = front.enviaPeticion("Ping", nullptr, "127.0.0.1", &p);
    EXPECT_EQ(r->Valor("respuesta").toString(), "200 OK\r{\"respuesta\":\"S\",\"ok\":true}");
}

} // namespace
