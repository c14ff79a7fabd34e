// The weight action over TCP against a simulated serial scale on a pseudo-terminal pair.
#include "EntornoServidor.h"

#include "platform/Registry.h"
#include "testsupport/Simulador.h"

using namespace servertest;

namespace {

class PesoPorTcp : public ServidorReal {
protected:
    std::unique_ptr<Simulador> sim;

    // A simulated scale of `modelo` on COM2, opened as the start-up opens it, in use.
    void balanza(int modelo, bool continuo) {
        sim = std::make_unique<Simulador>();
        ASSERT_TRUE(sim->arrancado());
        apuntaCom2(sim->puerto());
        objParametros().SetValor(QStringLiteral("ModeloBalanza"), QString::number(modelo));
        objParametros().SetValor(QStringLiteral("BalanzaModoContinuo"), continuo ? "1" : "0");
        resetObjCommForTests();
        ASSERT_TRUE(objComm().InitPuerto(2, modelo == 0 ? "9600,e,8,1" : "9600,n,8,1", 1));
        gblnBalanzaActiva = true;
    }
    void TearDown() override {
        ServidorReal::TearDown();
        apuntaCom2({});
        sim.reset();
    }
    // COM2 is `dispositivo` in the registry's serial map (none when empty).
    static void apuntaCom2(const QString& dispositivo) {
        auto& reg = registry::RegistryStore::instance();
        for (const registry::Value& v : reg.values(registry::Root::LocalMachine, registry::kSerialCommMapKey))
            if (v.data.toString() == QLatin1String("COM2"))
                reg.deleteValue(registry::Root::LocalMachine, registry::kSerialCommMapKey, v.name);
        if (!dispositivo.isEmpty())
            reg.setValue(registry::Root::LocalMachine, registry::kSerialCommMapKey,
                         {dispositivo, registry::REG_SZ, QStringLiteral("COM2")});
    }
};

TEST_F(PesoPorTcp, StableWeightNoProductAndScaleNotInUse) {
    // Not in use: the silent weighing returns before any reason is found.
    EXPECT_EQ(pide(R"({"accion":"GetPeso"})"), "200 OK\r{\"ok\":true,\"error\":\"\",\"peso\":0,\"tipo_error\":\"0\"}");

    // Continuous reading: an empty scale, then a stable 1.25 kg.
    balanza(5, true);
    sim->envia("\x02"
               "A ---,000");
    objComm().commBalanzaContinuoOnComm(true);
    sim->envia("\x02"
               "A  01,250");
    objComm().commBalanzaContinuoOnComm(true);
    EXPECT_EQ(pide(R"({"accion":"getpeso","idTPV":3})"),
              "200 OK\r{\"ok\":true,\"error\":\"\",\"peso\":1.25,\"tipo_error\":\"0\"}");

    // Request mode: the scale answers a zero weight, so there is no product.
    balanza(0, false);
    sim->responde("+  0.000\r\n");
    EXPECT_EQ(pide(R"({"accion":"GetPeso"})"), "200 OK\r{\"ok\":true,\"error\":\"Ponga el producto sobre la balanza, "
                                               "por favor...\",\"peso\":0,\"tipo_error\":\"3\"}");
    EXPECT_EQ(sim->recibido(3), "D\r\n");
    EXPECT_TRUE(avisos.calls.empty());
}

TEST_F(PesoPorTcp, PingsAreAnsweredWhileTheScaleIsAsked) {
    balanza(0, false);
    sim->responde("+  2.500\r\n");
    const auto r = enHilo([this] {
        ClienteTcp peso(puerto);
        peso.envia(R"({"accion":"GetPeso"})");
        // The weighing waits for the scale's reply; a ping meanwhile is answered first.
        while (filas("clsSockerFront.EjecutaAccion (GetPeso)") == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ClienteTcp ping(puerto);
        ping.envia(R"({"accion":"Ping"})");
        const QByteArray rp = ping.leeHastaCierre();
        return QByteArrayList{rp, peso.leeHastaCierre()};
    });
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"respuesta\":\"S\",\"ok\":true}",
                                 "200 OK\r{\"ok\":true,\"error\":\"\",\"peso\":2.5,\"tipo_error\":\"0\"}"}));
}

} // namespace
