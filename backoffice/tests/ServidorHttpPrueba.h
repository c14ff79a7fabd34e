#pragma once
// An HTTP server on loopback for the back-office tests: answers each request with the next scripted
// reply (chunked, cut by a reset, a redirect, or held for later; none left: 200, empty) and records
// what arrived.
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <functional>
#include <sys/socket.h>

struct PeticionHttp {
    QByteArray linea, cabecera, cuerpo; // linea: the method and the path, "POST /x"; cabecera: the rest
};

struct RespuestaHttp {
    RespuestaHttp(int e = 200, QByteArray c = {}, QByteArray t = "text/plain", bool h = false, int n = 0,
                  qsizetype k = -1, QByteArray u = {})
        : estado(e), cuerpo(std::move(c)), tipo(std::move(t)), callar(h), trozos(n), corte(k), ubicacion(std::move(u)) {
    }
    int estado;
    QByteArray cuerpo, tipo;
    bool callar;          // held: answered by suelta(), if ever
    int trozos;           // > 0: chunked transfer in that many pieces
    qsizetype corte;      // >= 0: the whole length announced, that many bytes sent, then a reset
    QByteArray ubicacion; // a redirect's Location
};

class ServidorHttpPrueba final : public QObject {
public:
    ServidorHttpPrueba() {
        m_servidor.listen(QHostAddress::LocalHost, 0);
        connect(&m_servidor, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_servidor.nextPendingConnection()) {
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QTcpSocket::disconnected, this, [this] { ++desconexiones; });
                connect(s, &QTcpSocket::readyRead, this, [this, s] { lee(s); });
            }
        });
    }
    QString direccion() const { return QStringLiteral("127.0.0.1:%1").arg(m_servidor.serverPort()); }
    std::deque<RespuestaHttp> respuestas;
    std::vector<PeticionHttp> peticiones;
    std::function<void()> alRecibir; // runs when a whole request has arrived
    int desconexiones = 0;
    // Answers the held request now (if its connection is still there).
    void suelta(const RespuestaHttp& r) {
        if (m_retenido && m_retenido->state() == QAbstractSocket::ConnectedState)
            responde(m_retenido, r);
    }

private:
    void lee(QTcpSocket* s) {
        QByteArray& b = m_buffers[s];
        b += s->readAll();
        const qsizetype fin = b.indexOf("\r\n\r\n"), primera = b.indexOf("\r\n");
        static const QRegularExpression largoRe("\r\ncontent-length:\\s*(\\d+)",
                                                QRegularExpression::CaseInsensitiveOption);
        const qsizetype largo = largoRe.match(QString::fromLatin1(b.left(fin + 2))).captured(1).toLongLong();
        if (fin < 0 || b.size() < fin + 4 + largo)
            return;
        const PeticionHttp p{b.left(b.lastIndexOf(' ', primera)), b.mid(primera, fin + 2 - primera),
                             b.mid(fin + 4, largo)};
        m_buffers.remove(s);
        peticiones.push_back(p);
        if (alRecibir)
            alRecibir();
        const RespuestaHttp r = respuestas.empty() ? RespuestaHttp{} : respuestas.front();
        if (!respuestas.empty())
            respuestas.pop_front();
        if (r.callar)
            m_retenido = s;
        else
            responde(s, r);
    }
    void responde(QTcpSocket* s, const RespuestaHttp& r) {
        QByteArray cab =
            "HTTP/1.1 " + QByteArray::number(r.estado) + " X\r\nContent-Type: " + r.tipo + "\r\nConnection: close\r\n";
        if (!r.ubicacion.isEmpty())
            cab += "Location: " + r.ubicacion + "\r\n";
        if (r.trozos > 0) {
            s->write(cab + "Transfer-Encoding: chunked\r\n\r\n");
            const qsizetype paso = r.cuerpo.size() / r.trozos + 1;
            for (qsizetype i = 0; i < r.cuerpo.size(); i += paso) {
                const QByteArray t = r.cuerpo.mid(i, paso);
                s->write(QByteArray::number(t.size(), 16) + "\r\n" + t + "\r\n");
                s->flush();
            }
            s->write("0\r\n\r\n");
        } else {
            s->write(cab + "Content-Length: " + QByteArray::number(r.cuerpo.size()) + "\r\n\r\n" +
                     (r.corte >= 0 ? r.cuerpo.left(r.corte) : r.cuerpo));
        }
        if (r.corte >= 0) {
            s->waitForBytesWritten(5000);
            const linger l{1, 0}; // closed with a reset, not a FIN
            setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &l, sizeof l);
            s->abort();
            return;
        }
        s->disconnectFromHost();
    }

    QPointer<QTcpSocket> m_retenido;
    QTcpServer m_servidor;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
