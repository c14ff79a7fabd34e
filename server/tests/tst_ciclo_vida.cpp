// Stop and restart through the protocol, on the service running as a process of its own: the reply
// still arrives, the process ends, and a restart leaves a new copy (started with the delay switch)
// listening on the same port.
#include "ServicioExterno.h"

#include <thread>

using namespace servertest;

namespace {

const QByteArray kRespuestaPing = "200 OK\r{\"respuesta\":\"S\",\"ok\":true}";

template <class F> bool hasta(F&& condicion) {
    for (auto t = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEsperaMaximaMs);
         std::chrono::steady_clock::now() < t; std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (condicion())
            return true;
    return false;
}

TEST(ServicioExterno, ShutdownIsAnsweredThenTheProcessEnds) {
    TARVOLIN_REQUIRE_DATABASE();
    ServicioExterno s(QStringLiteral("srvfin"));
    ASSERT_TRUE(s.arranca({"/log"}));
    EXPECT_EQ(s.pide(R"({"accion":"Ping"})"), kRespuestaPing);
    EXPECT_EQ(s.pide(R"({"accion":"shutdown"})"), "200 OK\r{\"ok\":true}");
    ASSERT_TRUE(s.proceso().waitForFinished(kEsperaMaximaMs));
    EXPECT_EQ(s.proceso().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(s.proceso().exitCode(), 0);
    const QString log = s.fichero("log.txt");
    EXPECT_TRUE(log.contains("Received: {\"accion\":\"shutdown\"} from 127.0.0.1")) << log.toStdString();
    EXPECT_TRUE(log.contains("Envio completo index:1")) << log.toStdString();
    EXPECT_TRUE(log.contains("Fin del programa")) << log.toStdString();
    EXPECT_TRUE(s.pide(R"({"accion":"Ping"})").isEmpty()); // nobody listens any more
}

TEST(ServicioExterno, RestartLeavesANewCopyListeningWithTheDelaySwitch) {
    TARVOLIN_REQUIRE_DATABASE();
    ServicioExterno s(QStringLiteral("srvreinicio"));
    // The delay of the new copy is cut to a tenth; its socket retry runs every 200 ms.
    const QStringList args{"/log", "/escala_retraso=0.1", "/reintento_ms=200"};
    ASSERT_TRUE(s.arranca(args));
    const qint64 primero = s.proceso().processId();
    EXPECT_EQ(s.pide("conexion_persistente_end{\"accion\":\"reiniciar_programa\"}"),
              "200 OK\r{\"ok\":true}" + QByteArray("\0--QUELLMARDEN-END-CONNECTION--\0", 32))
        << "the persistent connection stays open until the process ends";
    ASSERT_TRUE(s.proceso().waitForFinished(kEsperaMaximaMs));
    EXPECT_EQ(s.proceso().exitCode(), 0);

    // The new copy writes its pid and switches, waits its delay, and listens on the same port.
    qint64 segundo = 0;
    QByteArray ping;
    EXPECT_TRUE(hasta([&] {
        segundo = s.fichero("servidor.pid").toLongLong();
        if (segundo == primero || segundo == 0)
            return false;
        s.vigila(segundo);
        return !(ping = s.pide(R"({"accion":"Ping"})")).isEmpty();
    }));
    EXPECT_EQ(ping, kRespuestaPing);
    EXPECT_EQ(s.fichero("argumentos.txt"), (args + QStringList{"/retraso=5"}).join('\n'));

    EXPECT_EQ(s.pide(R"({"accion":"cerrar_programa"})"), "200 OK\r{\"ok\":true}");
    EXPECT_TRUE(hasta([&] { return !procesoVivo(segundo); }));
}

// Requests that once ended or froze the service, sent to the service's own process: each is
// answered (or its connection closed) and the service still answers a Ping afterwards.
void sobrevive(const char* prefijoBD, std::initializer_list<std::pair<const char*, QByteArray>> casos) {
    ServicioExterno s(QString::fromLatin1(prefijoBD));
    ASSERT_TRUE(s.arranca({}));
    for (const auto& [caso, peticion] : casos) {
        SCOPED_TRACE(caso);
        s.pide(peticion);
        ASSERT_EQ(s.pide(R"({"accion":"Ping"})"), kRespuestaPing);
    }
}

TEST(ServicioExterno, RequestsThatMustNotEndTheService) {
    TARVOLIN_REQUIRE_DATABASE();
    QByteArray quejas = "{";
    for (int i = 0; quejas.size() < 1'000'000; ++i)
        quejas += QByteArray::number(i) + ":t,imprimir,";
    quejas += "}";
    sobrevive("srvduro", {
                             {"huge action name", R"({"accion":")" + QByteArray(1'000'000, 'x') + R"("})"},
                             {"a megabyte of complaints", quejas},
                             {"pipelined pair",
                              "conexion_persistente" + QByteArray(R"({"accion":"Ping"})") + R"({"accion":"Ping"})"},
                         });
}

// The ESC/POS scanner crash (FS q with huge sizes). The mend is in the printer layer, on its own
// branch: this fails until that is merged.
TEST(ServicioExterno, EscPosImageCommandInASpecialTicketNeedsThePrinterMend) {
    TARVOLIN_REQUIRE_DATABASE();
    sobrevive(
        "srvfsq",
        {{"FS q in a special ticket",
          R"({"accion":"ImprimirTicketEspecial","texto":"Hola \u001cq\u0002\u0001@\u0001@abc","impresora":""})"}});
}

} // namespace
