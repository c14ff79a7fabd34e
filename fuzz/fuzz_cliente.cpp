// The outgoing TCP client's reply road on arbitrary bytes: a peer on loopback answers each send with
// the input, cut in two writes where the first byte says, then closes; the client gathers the reply,
// looks for the end marker and decides when it is whole. Nothing may crash, hang or grow without
// bound, and every send must end.
#include "fuzz/EntornoFuzz.h"
#include "platform/Collections.h"
#include "server/frmComSocket.h"
#include "testsupport/RecordingOutput.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno : ProcesoFuzz<QCoreApplication> {
    using ProcesoFuzz::ProcesoFuzz;
    QTcpServer par;
    QByteArray primera, segunda;
};

Entorno* g_entorno = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_entorno = new Entorno(argc, argv);
    if (!g_entorno->par.listen(QHostAddress::LocalHost, 0))
        std::abort();
    // The peer answers the first bytes it reads with the two pieces of the input.
    QObject::connect(&g_entorno->par, &QTcpServer::newConnection, [] {
        while (QTcpSocket* s = g_entorno->par.nextPendingConnection()) {
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
                s->readAll();
                s->write(g_entorno->primera);
                s->flush();
                s->write(g_entorno->segunda);
                s->flush();
                s->disconnectFromHost();
            });
        }
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray resto(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const qsizetype corte = qsizetype(data[0]) % (resto.size() + 1);
    g_entorno->primera = resto.left(corte);
    g_entorno->segunda = resto.mid(corte);

    frmComSocket ventana;
    if (!ventana.SocketClienteConectar(QStringLiteral("127.0.0.1"), QString::number(g_entorno->par.serverPort()), 2))
        std::abort();
    vb::EntidadPtr resultado;
    ventana.SocketClienteEnviarDatos(QStringLiteral("{\"accion\":\"Ping\"}"), resultado, 1);
    if (!resultado)
        std::abort();
    ventana.SocketClienteCerrarConexion();
    return 0;
}
