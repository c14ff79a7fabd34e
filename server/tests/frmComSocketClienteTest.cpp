// frmComSocketCliente. The outgoing client against peers on loopback that answer, close, reset or
// are not there: what the result entity, the connect message and the state say.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "server/frmComSocket.h"
#include "testsupport/ReiniciaTodo.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <sys/socket.h>

using namespace servertest;

namespace {

enum class Par { Responde, Cierra, Reinicia };

// Reads each request and then answers "{}", closes, or resets the connection (RST).
struct ParGuion : QObject {
    QTcpServer srv;
    Par modo = Par::Responde;
    int conexiones = 0;
    ParGuion() {
        srv.listen(QHostAddress::LocalHost, 0);
        connect(&srv, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = srv.nextPendingConnection();
            ++conexiones;
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                s->readAll();
                if (modo == Par::Responde) {
                    s->write("{}");
                } else if (modo == Par::Cierra) {
                    s->disconnectFromHost();
                } else {
                    const linger l{1, 0}; // closing now resets
                    ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
                    s->abort();
                }
            });
        });
    }
    QString puerto() const { return QString::number(srv.serverPort()); }
};

TEST(frmComSocketCliente, ResetsClosesAndAbsentPeersAreToldApart) {
    testenv::reiniciaTodo();
    const QString kReinicio = QString::fromLocal8Bit(std::strerror(ECONNRESET));
    const struct {
        Par modo;
        QString error;
        Variant numero;
        int estado;
    } casos[] = {
        {Par::Responde, "", "#ERROR#", frmComSocket::sckConnected},
        {Par::Cierra, "Error de timeout", "#ERROR#", frmComSocket::sckClosing},
        {Par::Reinicia, kReinicio, qint16(10054), frmComSocket::sckError},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(int(c.modo));
        ParGuion par;
        par.modo = c.modo;
        frmComSocket ventana;
        ASSERT_TRUE(ventana.SocketClienteConectar("127.0.0.1", par.puerto()));
        vb::EntidadPtr r;
        EXPECT_EQ(ventana.SocketClienteEnviarDatos("{\"accion\":\"Ping\"}", r, 5), c.modo == Par::Responde);
        EXPECT_EQ(r->Valor("error").toString(), c.error);
        EXPECT_EQ(r->Valor("socket_error_number"), c.numero);
        EXPECT_EQ(r->Valor("socket_error_source").toString(), c.modo == Par::Reinicia ? "Winsock" : "#ERROR#");
        EXPECT_EQ(ventana.estadoSocketCliente(), c.estado);

        // Connecting again starts afresh: a closed or failed connection is closed first and said so,
        // and the new one answers.
        par.modo = Par::Responde;
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
