// The communication window with a handler of the test's own: the framing of empty replies, one
// request at a time per connection while other connections go on, the exclusive turn, element
// indexes, a failing handler, and the trace window of the installation switch.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/VBError.h"
#include "server/TurnoExclusivo.h"
#include "server/frmComSocket.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <gtest/gtest.h>
#include <thread>

using namespace servertest;

namespace {

class VentanaSocket : public ::testing::Test {
protected:
    std::unique_ptr<frmComSocket> ventana;
    quint16 puerto = 0;
    std::function<void(const QString&, QString&)> manejador;

    void SetUp() override {
        resetBasGeneralForTests();
        ventana = std::make_unique<frmComSocket>();
        QObject::connect(ventana.get(), &frmComSocket::Request, [this](const QString& d, QString& r) {
            if (manejador)
                manejador(d, r);
        });
        qint32 p = 0;
        ASSERT_TRUE(ventana->IniciaEscucha(p));
        puerto = quint16(p);
        ASSERT_EQ(puerto, ventana->puertoEscucha());
    }
    void TearDown() override {
        ventana.reset();
        gblnInstal = false;
        resetBasGeneralForTests();
    }
    void esperaConexiones(int n) {
        program::waitWhile([&] { return ventana->conexionesAbiertas() != n; }, kEsperaMaximaMs);
        ASSERT_EQ(ventana->conexionesAbiertas(), n);
    }
};

TEST_F(VentanaSocket, EmptyReplyIsTheOkLineAloneOrNull) {
    EXPECT_EQ(intercambio(puerto, R"({"accion":"x"})"), "200 OK\r");
    EXPECT_EQ(intercambio(puerto, "hola"), "null");
    manejador = [](const QString& d, QString& r) { r = QStringLiteral("[") + d + QStringLiteral("]"); };
    EXPECT_EQ(intercambio(puerto, "hola"), "[hola]");
    // Windows-1252 both ways.
    EXPECT_EQ(intercambio(puerto, "ca\xF1\x61 \x80"), "[ca\xF1\x61 \x80]");
}

TEST_F(VentanaSocket, OneRequestAtATimePerConnectionWhileOthersGoOn) {
    QStringList orden;
    int dentro = 0, maxDentro = 0;
    manejador = [&](const QString& d, QString& r) {
        orden << QStringLiteral("inicio ") + d;
        maxDentro = std::max(maxDentro, ++dentro);
        if (d.contains(QLatin1String("lenta")))
            program::waitMs(300); // other events run meanwhile
        orden << QStringLiteral("fin ") + d;
        --dentro;
        r = d;
    };
    const auto r = enHilo([this] {
        ClienteTcp a(puerto);
        a.envia(R"(conexion_persistente{"n":"lenta 1"})");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        a.envia(R"(conexion_persistente{"n":"2"})");
        // Another connection while the first request of `a` waits.
        ClienteTcp b(puerto);
        b.envia(R"({"n":"otra"})");
        const QByteArray rb = b.leeHastaCierre();
        const QByteArray ra1 = a.leeRespuesta();
        const QByteArray ra2 = a.leeRespuesta();
        return QByteArrayList{rb, ra1, ra2};
    });
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"n\":\"otra\"}", "200 OK\r{\"n\":\"lenta 1\"}", "200 OK\r{\"n\":\"2\"}"}));
    EXPECT_EQ(orden, (QStringList{R"(inicio {"n":"lenta 1"})", R"(inicio {"n":"otra"})", R"(fin {"n":"otra"})",
                                  R"(fin {"n":"lenta 1"})", R"(inicio {"n":"2"})", R"(fin {"n":"2"})"}));
}

TEST_F(VentanaSocket, ExclusiveRequestsWaitTheirTurnAcrossConnections) {
    ventana->setPeticionExclusiva([](const QString& d) { return d.contains(QLatin1String("excl")); });
    QStringList orden;
    manejador = [&](const QString& d, QString& r) {
        orden << QStringLiteral("inicio ") + d;
        if (d.contains(QLatin1String("excl")))
            program::waitMs(200);
        orden << QStringLiteral("fin ") + d;
        r = d;
    };
    const auto r = enHilo([this] {
        ClienteTcp a(puerto), b(puerto), c(puerto);
        a.envia(R"({"excl":1})");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        b.envia(R"({"excl":2})");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        c.envia(R"({"libre":3})");
        return QByteArrayList{c.leeHastaCierre(), a.leeHastaCierre(), b.leeHastaCierre()};
    });
    EXPECT_EQ(r, (QByteArrayList{"200 OK\r{\"libre\":3}", "200 OK\r{\"excl\":1}", "200 OK\r{\"excl\":2}"}));
    EXPECT_EQ(orden, (QStringList{R"(inicio {"excl":1})", R"(inicio {"libre":3})", R"(fin {"libre":3})",
                                  R"(fin {"excl":1})", R"(inicio {"excl":2})", R"(fin {"excl":2})"}));
    EXPECT_FALSE(TurnoExclusivo::instancia().ocupado());
}

TEST_F(VentanaSocket, NewElementTakesTheIndexAfterTheHighestLoaded) {
    ClienteTcp a(puerto), b(puerto);
    esperaConexiones(2);
    EXPECT_EQ(ventana->intConexiones(), 2);
    a.cierra();
    esperaConexiones(1);
    EXPECT_EQ(ventana->intConexiones(), 1);
    EXPECT_EQ(ventana->EstadoSocket(1), "closed");
    ClienteTcp c(puerto);
    esperaConexiones(2);
    EXPECT_EQ(ventana->intConexiones(), 3);
    EXPECT_EQ(ventana->EstadoSocket(3), "creado");
    EXPECT_EQ(ventana->EstadoSocket(7), "");
}

TEST_F(VentanaSocket, FailingHandlerClosesTheConnectionInsteadOfLeavingThePeerWaiting) {
    manejador = [](const QString&, QString&) { vb::Raise(5, QStringLiteral("fallo de prueba")); };
    const auto r = enHilo([this] {
        ClienteTcp c(puerto);
        c.envia("conexion_persistente{}");
        const QByteArray datos = c.leeHastaCierre();
        return datos + (c.cerrado() ? "|cerrada" : "|abierta");
    });
    EXPECT_EQ(r, "|cerrada");
    EXPECT_TRUE(
        recordingMainWindow().grid.join('\n').contains("ERROR: frmComSocket.socket_DataArrival: fallo de prueba"));
    manejador = nullptr;
    EXPECT_EQ(intercambio(puerto, "{}"), "200 OK\r");
}

TEST_F(VentanaSocket, TraceWindowOnlyWithTheInstallationSwitch) {
    EXPECT_EQ(ventana->ventana(), nullptr);
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("Listening to port: 0: "));

    gblnInstal = true;
    frmComSocket conVentana;
    qint32 p = 0;
    ASSERT_TRUE(conVentana.IniciaEscucha(p));
    QWidget* w = conVentana.ventana();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->findChild<QLabel*>("lblHostID")->text().startsWith("Host Id: "));
    EXPECT_TRUE(w->findChild<QLabel*>("lblAddress")->text().startsWith("Address: "));
    EXPECT_EQ(intercambio(quint16(p), "{}"), "200 OK\r");
    auto* lista = w->findChild<QListWidget*>("List1");
    QStringList lineas;
    for (int i = 0; i < lista->count(); ++i)
        lineas << lista->item(i)->text();
    // The list shows the trace lines without the seconds (from the first after it was made); the
    // last one is selected.
    EXPECT_EQ(lineas.first(), "Listening to port: 0");
    EXPECT_TRUE(lineas.contains("Creado socket nuevo 1, resquestID:" +
                                lineas.filter("Connection request id ").first().section(' ', 3, 3)));
    EXPECT_TRUE(lineas.contains("Received: {} from 127.0.0.1(" +
                                lineas.filter("Connection request id ").first().section(' ', 3, 3) + ")"));
    EXPECT_TRUE(lineas.contains(QStringLiteral("Sending: 200 OK\r to 127.0.0.1")));
    EXPECT_TRUE(lineas.contains("Envio completo index:1"));
    EXPECT_EQ(lista->currentRow(), lista->count() - 1);
    program::waitWhile([&] { return conVentana.conexionesAbiertas() > 0; }, kEsperaMaximaMs);
    EXPECT_EQ(w->findChild<QLabel*>("lblConnections")->text(), "conexiones: 0");
}

} // namespace
