// The outgoing client against scripted servers on loopback: replies in pieces, the end marker split
// and followed by text, reply and close together, no reply (a limit that spans midnight), the
// reconnect after the peer's close, nobody listening.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "server/frmComSocket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>

using namespace servertest;

namespace {

// Answers each request with `piezas`, one write every 30 ms, then closes when asked.
struct ServidorGuion : QObject {
    QTcpServer srv;
    QByteArrayList piezas;
    bool cierra = false;
    QByteArray recibido;
    ServidorGuion() {
        srv.listen(QHostAddress::LocalHost, 0);
        connect(&srv, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = srv.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, this, [this, s] { recibido += s->readAll(), escribe(s, 0); });
        });
    }
    void escribe(QTcpSocket* s, int i) {
        if (i < piezas.size()) {
            s->write(piezas.at(i));
            QTimer::singleShot(30, s, [this, s, i] { escribe(s, i + 1); });
        } else if (cierra) {
            s->disconnectFromHost();
        }
    }
    QString puerto() const { return QString::number(srv.serverPort()); }
};

TEST(frmComSocketCliente, RepliesArriveWholeWhateverTheirPieces) {
    resetBasGeneralForTests();
    const QByteArray marca("\0--QUELLMARDEN-END-CONNECTION--\0", 32);
    const struct {
        QByteArrayList piezas;
        bool cierra, persistente, ok;
        QString respuesta, error;
    } casos[] = {
        {{"200 OK\r{\"a\":", "\"}\"}"}, false, false, true, "200 OK\r{\"a\":\"}\"}", ""},
        {{"200 OK\r{}" + marca.left(10), marca.mid(10) + "fin"}, false, true, true, "200 OK\r{}fin", ""},
        {{"200 OK\r{\"a\":1}"}, true, false, true, "200 OK\r{\"a\":1}", ""},
        {{"null"}, true, true, true, "null", ""},
        {{}, false, false, false, "#ERROR#", "Error de timeout"},
    };
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(23, 59, 59, 800)); });
    for (const auto& c : casos) {
        SCOPED_TRACE(c.respuesta.toStdString());
        ServidorGuion servidor;
        servidor.piezas = c.piezas;
        servidor.cierra = c.cierra;
        frmComSocket ventana;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto()));
        vb::EntidadPtr r;
        EXPECT_EQ(ventana.SocketClienteEnviarDatos(QStringLiteral("{\"t\":\"\u00f1\u20ac\"}"), r, c.ok ? 5 : 1,
                                                   c.persistente),
                  c.ok);
        ASSERT_EQ(r, ventana.socketClienteCmd());
        EXPECT_EQ(r->Valor("respuesta").toString(), c.respuesta);
        EXPECT_EQ(r->Valor("respuesta_recibida").toString(), c.ok ? "S" : "N");
        EXPECT_EQ(r->Valor("ok").toBool(), c.ok);
        EXPECT_EQ(r->Valor("error").toString(), c.error);
        program::waitWhile([&] { return !servidor.recibido.endsWith('}'); }, kEsperaMaximaMs);
        EXPECT_EQ(servidor.recibido, "{\"t\":\"\xF1\x80\"}");
    }
    clock_seam::setNowSource(nullptr);
}

TEST(frmComSocketCliente, ReconnectsAfterThePeersCloseAndTimesOutWhenNobodyListens) {
    resetBasGeneralForTests();
    ServidorGuion servidor;
    servidor.cierra = true;
    frmComSocket ventana;
    vb::EntidadPtr r;
    ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto()));
    EXPECT_FALSE(ventana.SocketClienteEnviarDatos("{}", r)); // no reply: the close ends the wait
    program::waitWhile([&] { return ventana.estadoSocketCliente() != 8; }, kEsperaMaximaMs);
    EXPECT_EQ(ventana.estadoSocketCliente(), 8);

    servidor.piezas = {"200 OK\r{}"};
    QString mensaje;
    ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto(), 5, &mensaje));
    EXPECT_EQ(mensaje, "El socket de conexión está en estado Error o Peer is closing the connection (8)");
    EXPECT_TRUE(ventana.SocketClienteEnviarDatos("{}", r));
    EXPECT_EQ(r->Valor("respuesta").toString(), "200 OK\r{}");

    const QString libre = servidor.puerto();
    servidor.srv.close();
    ventana.SocketClienteCerrarConexion();
    EXPECT_EQ(ventana.estadoSocketCliente(), 0);
    EXPECT_FALSE(ventana.SocketClienteConectar("127.0.0.1", libre, 1, &mensaje));
    EXPECT_EQ(mensaje, "Timeout en la conexión  (1s)");
    EXPECT_EQ(ventana.estadoSocketCliente(), 9);
    EXPECT_TRUE(recordingMainWindow().grid.contains("frmComSocket.SocketClienteConectar. Error de timeout (1)"));
}

} // namespace
