// frmComSocketCliente. The outgoing client against scripted peers on loopback that answer in pieces,
// close, reset or are not there: what the result entity, the connect message and the state say.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "server/frmComSocket.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/Waits.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/socket.h>

using namespace servertest;

namespace {

// Answers each request with `piezas`, one write every 30 ms, then closes or resets (RST) if asked.
struct ServidorGuion : QObject {
    QTcpServer srv;
    QByteArrayList piezas;
    enum Fin { Queda, Cierra, Reinicia } fin = Queda;
    int conexiones = 0;
    QByteArray recibido;
    ServidorGuion() {
        srv.listen(QHostAddress::LocalHost, 0);
        connect(&srv, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = srv.nextPendingConnection();
            ++conexiones;
            connect(s, &QTcpSocket::readyRead, this, [this, s] { recibido += s->readAll(), escribe(s, 0); });
        });
    }
    void escribe(QTcpSocket* s, int i) {
        if (i < piezas.size()) {
            s->write(piezas.at(i));
            QTimer::singleShot(30, s, [this, s, i] { escribe(s, i + 1); });
        } else if (fin == Cierra) {
            s->disconnectFromHost();
        } else if (fin == Reinicia) {
            const linger l{1, 0}; // closing now resets
            ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
            s->abort();
        }
    }
    QString puerto() const { return QString::number(srv.serverPort()); }
};

TEST(frmComSocketCliente, RepliesArriveWholeWhateverTheirPieces) {
    testenv::reiniciaTodo();
    const QByteArray marca("\0--QUELLMARDEN-END-CONNECTION--\0", 32);
    const struct {
        QByteArrayList piezas;
        bool cierra, persistente, ok;
        QString respuesta, error;
    } casos[] = {
        {{"200 OK\r{\"a\":", "\"}\"}"}, false, false, true, "200 OK\r{\"a\":\"}\"}", ""},
        // Whole by the JSON reader's grammar, as the server frames requests: the brace in apostrophes.
        {{"200 OK\r{'a':'}", "x'}"}, false, false, true, "200 OK\r{'a':'}x'}", ""},
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
        servidor.fin = c.cierra ? ServidorGuion::Cierra : ServidorGuion::Queda;
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
        EXPECT_TRUE(waits::until([&] { return servidor.recibido.endsWith('}'); },
                                 "the scripted server to get the request", kEsperaMaximaMs));
        EXPECT_EQ(servidor.recibido, "{\"t\":\"\xF1\x80\"}");
    }
    clock_seam::setNowSource(nullptr);
}

TEST(frmComSocketCliente, ResetsClosesAndAbsentPeersAreToldApart) {
    testenv::reiniciaTodo();
    const QString kReinicio = QString::fromLocal8Bit(std::strerror(ECONNRESET));
    const struct {
        ServidorGuion::Fin fin;
        QString error;
        Variant numero;
        int estado;
    } casos[] = {
        {ServidorGuion::Queda, "", "#ERROR#", frmComSocket::sckConnected},
        {ServidorGuion::Cierra, "Error de timeout", "#ERROR#", frmComSocket::sckClosing},
        {ServidorGuion::Reinicia, kReinicio, qint16(10054), frmComSocket::sckError},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(int(c.fin));
        ServidorGuion par;
        par.fin = c.fin;
        if (c.fin == ServidorGuion::Queda)
            par.piezas = {"{}"};
        frmComSocket ventana;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", par.puerto()));
        vb::EntidadPtr r;
        EXPECT_EQ(ventana.SocketClienteEnviarDatos("{\"accion\":\"Ping\"}", r, 5), c.fin == ServidorGuion::Queda);
        EXPECT_EQ(r->Valor("error").toString(), c.error);
        EXPECT_EQ(r->Valor("socket_error_number"), c.numero);
        EXPECT_EQ(r->Valor("socket_error_source").toString(), c.fin == ServidorGuion::Reinicia ? "Winsock" : "#ERROR#");
        EXPECT_EQ(ventana.estadoSocketCliente(), c.estado);

        // Connecting again starts afresh: a closed or failed connection is closed first and said so,
        // and the new one answers.
        par.piezas = {"{}"}, par.fin = ServidorGuion::Queda;
        QString mensaje;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", par.puerto(), 5, &mensaje));
        EXPECT_EQ(mensaje, c.estado == frmComSocket::sckConnected
                               ? QString()
                               : "El socket de conexión está en estado Error o Peer is closing the connection (" +
                                     QString::number(c.estado) + ")");
        EXPECT_EQ(par.conexiones, c.estado == frmComSocket::sckConnected ? 1 : 2);
        vb::EntidadPtr otra;
        EXPECT_TRUE(ventana.SocketClienteEnviarDatos("{}", otra, 5));
        EXPECT_EQ(otra->Valor("respuesta").toString(), "{}");
        EXPECT_EQ(otra->Valor("socket_error_number"), Variant("#ERROR#"));
    }
}

// Data that comes with no send waiting for it is traced and dropped: the next send's reply is its own.
TEST(frmComSocketCliente, DataWithNoSendPendingIsTracedAndDropped) {
    testenv::reiniciaTodo();
    ServidorGuion par;
    par.piezas = {"{}"};
    QObject::connect(&par.srv, &QTcpServer::newConnection, &par, [&] {
        for (QTcpSocket* s : par.srv.findChildren<QTcpSocket*>())
            s->write("sin pedir");
    });
    frmComSocket ventana;
    ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", par.puerto()));
    ASSERT_TRUE(waits::until(
        [] { return !recordingMainWindow().grid.filter("Datos sin envío pendiente: sin pedir").isEmpty(); },
        "the trace of the data that came unasked", kEsperaMaximaMs));
    vb::EntidadPtr r;
    ASSERT_TRUE(ventana.SocketClienteEnviarDatos("{}", r, 5));
    ASSERT_EQ(r->Valor("respuesta").toString(), "{}");
}

TEST(frmComSocketCliente, ARefusedOrUnknownPeerSaysSoAndASendWithoutAConnectionFails) {
    testenv::reiniciaTodo();
    QTcpServer libre;
    ASSERT_TRUE(libre.listen(QHostAddress::LocalHost, 0));
    const QString puertoLibre = QString::number(libre.serverPort());
    libre.close();
    const struct {
        QString host, mensaje;
    } casos[] = {
        {"127.0.0.1", "Error en la conexión (10061: Connection refused)"},
        {"no-existe.invalid", "Error en la conexión (11001: Host not found)"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.host.toStdString());
        frmComSocket ventana;
        QString mensaje;
        EXPECT_FALSE(ventana.SocketClienteConectar(c.host, puertoLibre, 5, &mensaje));
        EXPECT_EQ(mensaje, c.mensaje);
        vb::EntidadPtr r;
        EXPECT_FALSE(ventana.SocketClienteEnviarDatos("{}", r, 5));
        EXPECT_EQ(r->Valor("error").toString(),
                  "Wrong protocol or connection state for the requested transaction or request");
        EXPECT_EQ(r->Valor("ok"), Variant(false));
    }
}

} // namespace
