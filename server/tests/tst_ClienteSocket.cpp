// The outgoing client of the communication window against scripted servers on loopback: replies in
// pieces, the end marker split and followed by text, reply and close together, no reply at all (a
// limit that spans midnight), a peer that closes and the reconnect after it, nobody listening.
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

const QByteArray kMarca("\0--QUELLMARDEN-END-CONNECTION--\0", 32);

// Answers every request with `piezas`, one write each, 30 ms apart; then closes when asked.
class ServidorGuion final : public QObject {
public:
    QByteArrayList piezas;
    bool cerrarTrasResponder = false;
    bool cerrarAlAceptar = false;
    QByteArray recibido;

    ServidorGuion() {
        m_srv.listen(QHostAddress::LocalHost, 0);
        connect(&m_srv, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = m_srv.nextPendingConnection();
            if (cerrarAlAceptar)
                return s->disconnectFromHost();
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                recibido += s->readAll();
                escribe(s, 0);
            });
        });
    }
    QString puerto() const { return QString::number(m_srv.serverPort()); }

private:
    void escribe(QTcpSocket* s, int i) {
        if (i < piezas.size()) {
            s->write(piezas.at(i));
            s->flush();
            QTimer::singleShot(30, s, [this, s, i] { escribe(s, i + 1); });
        } else if (cerrarTrasResponder) {
            s->disconnectFromHost();
        }
    }
    QTcpServer m_srv;
};

struct Caso {
    const char* nombre;
    QByteArrayList piezas;
    bool cierra;
    bool persistente;
    bool ok;
    QString respuesta; // "#ERROR#" when nothing came
    QString error;
};

TEST(frmComSocketCliente, RepliesArriveWholeWhateverTheirPieces) {
    resetBasGeneralForTests();
    const std::vector<Caso> casos = {
        {"two writes", {"200 OK\r{\"a\":", "\"b\"}"}, false, false, true, "200 OK\r{\"a\":\"b\"}", ""},
        {"marker split and followed by text",
         {"200 OK\r{\"a\":1}" + kMarca.left(10), kMarca.mid(10) + "fin"},
         false,
         true,
         true,
         "200 OK\r{\"a\":1}fin",
         ""},
        {"reply and close together", {"200 OK\r{\"a\":1}"}, true, false, true, "200 OK\r{\"a\":1}", ""},
        {"reply without marker, then close", {"null"}, true, true, true, "null", ""},
        {"no reply", {}, false, false, false, "#ERROR#", "Error de timeout"},
    };
    // A limit that passes midnight still ends.
    clock_seam::setNowSource([] { return QDateTime(QDate(2026, 3, 14), QTime(23, 59, 59, 800)); });
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nombre);
        ServidorGuion servidor;
        servidor.piezas = c.piezas;
        servidor.cerrarTrasResponder = c.cierra;
        frmComSocket ventana;
        QString mensaje;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto(), 5, &mensaje));
        EXPECT_EQ(ventana.estadoSocketCliente(), 7);
        EXPECT_EQ(mensaje, "");
        vb::EntidadPtr r;
        const QString peticion = QStringLiteral("{\"accion\":\"Ping\",\"texto\":\"\u00f1\u20ac\"}");
        EXPECT_EQ(ventana.SocketClienteEnviarDatos(peticion, r, c.ok ? 5 : 1, c.persistente), c.ok);
        ASSERT_TRUE(r);
        EXPECT_EQ(r, ventana.socketClienteCmd());
        EXPECT_EQ(r->Valor("respuesta").toString(), c.respuesta);
        EXPECT_EQ(r->Valor("respuesta_recibida").toString(), c.ok ? "S" : "N");
        EXPECT_EQ(r->Valor("ok").toBool(), c.ok);
        EXPECT_EQ(r->Valor("error").toString(), c.error);
        program::waitWhile([&] { return !servidor.recibido.endsWith('}'); }, kEsperaMaximaMs);
        EXPECT_EQ(servidor.recibido, "{\"accion\":\"Ping\",\"texto\":\"\xF1\x80\"}");
    }
    clock_seam::setNowSource(nullptr);
}

TEST(frmComSocketCliente, AfterThePeersCloseTheNextConnectResetsAndConnects) {
    resetBasGeneralForTests();
    ServidorGuion servidor;
    servidor.cerrarAlAceptar = true;
    frmComSocket ventana;
    ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto(), 5));
    program::waitWhile([&] { return ventana.estadoSocketCliente() != 8; }, kEsperaMaximaMs);
    EXPECT_EQ(ventana.estadoSocketCliente(), 8);
    EXPECT_FALSE(ventana.socketClienteConectado());

    servidor.cerrarAlAceptar = false;
    servidor.piezas = {"200 OK\r{}"};
    QString mensaje;
    ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", servidor.puerto(), 5, &mensaje));
    EXPECT_EQ(mensaje, "El socket de conexión está en estado Error o Peer is closing the connection (8)");
    vb::EntidadPtr r;
    EXPECT_TRUE(ventana.SocketClienteEnviarDatos("{}", r));
    EXPECT_EQ(r->Valor("respuesta").toString(), "200 OK\r{}");
    EXPECT_TRUE(recordingMainWindow().grid.contains(
        "frmComSocket.SocketClienteConectar. Cerrar socket cliente (estado: 8)"));
    ventana.SocketClienteCerrarConexion();
    EXPECT_EQ(ventana.estadoSocketCliente(), 0);
}

TEST(frmComSocketCliente, NobodyListeningIsTheTimeOutText) {
    resetBasGeneralForTests();
    quint16 libre = 0;
    {
        QTcpServer s;
        ASSERT_TRUE(s.listen(QHostAddress::LocalHost, 0));
        libre = s.serverPort();
    }
    frmComSocket ventana;
    QString mensaje;
    EXPECT_FALSE(ventana.SocketClienteConectar("127.0.0.1", QString::number(libre), 1, &mensaje));
    EXPECT_EQ(mensaje, "Timeout en la conexión  (1s)");
    EXPECT_TRUE(recordingMainWindow().grid.contains("frmComSocket.SocketClienteConectar. Error de timeout (1)"));
    EXPECT_EQ(ventana.estadoSocketCliente(), 9);
}

} // namespace
