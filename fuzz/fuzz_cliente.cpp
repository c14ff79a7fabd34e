// The outgoing TCP client's reply road on arbitrary bytes: a peer on loopback answers each send with
// the input, cut in two writes where the first byte says, then closes; the client gathers the reply,
// in persistent mode (the second byte's low bit) looks for the end marker, and decides when it is
// whole. Nothing may crash, hang or grow without bound, and every send must end. The reply it keeps
// must be what the peer sent: the bytes up to some point (all of them once the peer closed without
// an end marker in persistent mode); with an end marker, everything before it and the marker taken
// out; and "ok" says whether anything came.
#include "fuzz/EntornoFuzz.h"
#include "platform/Collections.h"
#include "server/frmComSocket.h"
#include "testsupport/RecordingOutput.h"

#include "platform/Cp1252.h"
#include "server/TramaPeticion.h"
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno : ProcesoFuzz<QCoreApplication> {
    using ProcesoFuzz::ProcesoFuzz;
    QTcpServer par;
    QByteArray primera, segunda;
};

Entorno* g_entorno = nullptr;

[[noreturn]] void falla(const char* que, const QString& recibida, const QString& enviada) {
    std::fprintf(stderr, "%s\n  kept: %s\n  sent: %s\n", que, recibida.toUtf8().toPercentEncoding().constData(),
                 enviada.toUtf8().toPercentEncoding().constData());
    std::abort();
}

// The reply kept against the text the peer sent.
void compruebaRespuesta(const QString& recibida, const QString& enviada, bool persistente) {
    const QString marca = QChar(0) + trama::kMarcaFin + QChar(0);
    const qsizetype m = persistente ? enviada.indexOf(marca, 0, Qt::CaseInsensitive) : -1;
    if (m < 0) {
        // Without a marker to stop at, the client reads until the reply is whole or the peer closes.
        if (!enviada.startsWith(recibida))
            falla("the reply kept is not what the peer sent", recibida, enviada);
        if (persistente && recibida != enviada)
            falla("persistent mode without an end marker stopped before the peer closed", recibida, enviada);
        return;
    }
    // It stops once the marker has come: what came before it is kept whole, the marker is taken out.
    if (!recibida.startsWith(enviada.left(m)) || recibida.size() > enviada.size() - marca.size())
        falla("the reply kept is not the peer's text with its end marker taken out", recibida, enviada);
}

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
    if (size < 2)
        return 0;
    const bool persistente = data[1] & 1;
    const QByteArray resto(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const qsizetype corte = qsizetype(data[0]) % (resto.size() + 1);
    g_entorno->primera = resto.left(corte);
    g_entorno->segunda = resto.mid(corte);

    frmComSocket ventana;
    if (!ventana.SocketClienteConectar(QStringLiteral("127.0.0.1"), QString::number(g_entorno->par.serverPort()), 2))
        std::abort();
    vb::EntidadPtr resultado;
    const bool ok =
        ventana.SocketClienteEnviarDatos(QStringLiteral("{\"accion\":\"Ping\"}"), resultado, 1, persistente);
    if (!resultado)
        std::abort();
    ventana.SocketClienteCerrarConexion();
    if (ok != (resultado->Valor(QStringLiteral("respuesta_recibida")).toString() == QLatin1String("S")) ||
        ok != !resto.isEmpty())
        falla("\"ok\" does not say whether the peer's reply came", resultado->Valor("respuesta").toString(),
              cp1252::decode(resto));
    if (ok)
        compruebaRespuesta(resultado->Valor(QStringLiteral("respuesta")).toString(), cp1252::decode(resto),
                           persistente);
    return 0;
}
