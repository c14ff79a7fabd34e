#pragma once
// An HTTP server on loopback for the back-office tests: answers each request with the next scripted
// reply (one with `callar` never answers; none left: 200, empty) and records what arrived.
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>
#include <functional>

struct PeticionHttp {
    QByteArray linea, cabecera, cuerpo; // linea: the method and the path, "POST /x"; cabecera: the rest
};

struct RespuestaHttp {
    int estado = 200;
    QByteArray cuerpo, tipo = "text/plain";
    bool callar = false;
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
            return;
        s->write("HTTP/1.1 " + QByteArray::number(r.estado) + " X\r\nContent-Type: " + r.tipo +
                 "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(r.cuerpo.size()) + "\r\n\r\n" +
                 r.cuerpo);
        s->disconnectFromHost();
    }
    QTcpServer m_servidor;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};
