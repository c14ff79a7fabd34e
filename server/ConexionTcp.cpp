#include "ConexionTcp.h"

#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kBloqueLectura = 65536;
constexpr qint64 kMaxLecturaPorAviso = 4 * kBloqueLectura; // then other connections get their turn

// Keep-alive probes after a minute of silence, every 10 s, six unanswered ones end the connection.
constexpr int kKeepAliveInactivoS = 60;
constexpr int kKeepAliveIntervaloS = 10;
constexpr int kKeepAliveSondas = 6;

void opcion(int fd, int nivel, int nombre, int valor) {
    ::setsockopt(fd, nivel, nombre, &valor, sizeof valor);
}

bool reintentar(int e) {
    return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}

} // namespace

ConexionTcp::ConexionTcp(qintptr descriptor, QObject* parent) : QObject(parent), m_fd(descriptor) {
    const int fd = int(m_fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); // an accepted descriptor blocks
    opcion(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    opcion(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveInactivoS);
    opcion(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervaloS);
    opcion(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveSondas);
    opcion(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    m_par = direccionDe(m_fd);
    m_lectura = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_escritura = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_escritura->setEnabled(false);
    connect(m_lectura, &QSocketNotifier::activated, this, &ConexionTcp::onLegible);
    connect(m_escritura, &QSocketNotifier::activated, this, &ConexionTcp::onEscribible);
}

QHostAddress ConexionTcp::direccionDe(qintptr descriptor) {
    sockaddr_storage a{};
    socklen_t n = sizeof a;
    QHostAddress r;
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&a), &n) == 0)
        r.setAddress(reinterpret_cast<const sockaddr*>(&a));
    return r;
}

ConexionTcp::~ConexionTcp() {
    aborta();
}

QByteArray ConexionTcp::leeTodo() {
    QByteArray r;
    r.swap(m_entrada);
    return r;
}

void ConexionTcp::pausaLectura(bool pausa) {
    m_pausada = pausa;
    if (m_lectura)
        m_lectura->setEnabled(!pausa && !m_finLectura && abierta());
}

void ConexionTcp::onLegible() {
    if (!abierta() || m_pausada || m_finLectura)
        return;
    bool llegaron = false;
    for (qint64 leidos = 0; leidos < kMaxLecturaPorAviso;) {
        const qsizetype antes = m_entrada.size();
        m_entrada.resize(antes + kBloqueLectura);
        const ssize_t n = ::recv(int(m_fd), m_entrada.data() + antes, kBloqueLectura, 0);
        m_entrada.resize(antes + std::max<qsizetype>(n, 0));
        if (n > 0) {
            leidos += n;
            llegaron = true;
            continue;
        }
        if (n == 0) {
            m_finLectura = true;
            m_lectura->setEnabled(false);
            break;
        }
        const int e = errno;
        if (e == EINTR)
            continue;
        if (!reintentar(e)) {
            if (llegaron)
                emit datosLlegados();
            fallo(e);
            return;
        }
        break;
    }
    // Handlers may close the connection: nothing of it is used after them.
    const bool fin = m_finLectura;
    if (llegaron)
        emit datosLlegados();
    if (fin && abierta())
        emit finDelPar();
}

void ConexionTcp::escribe(const QByteArray& datos) {
    if (!abierta())
        return;
    m_salida += datos;
    envia();
}

void ConexionTcp::envia() {
    while (abierta() && !m_salida.isEmpty()) {
        const ssize_t n = ::send(int(m_fd), m_salida.constData(), size_t(m_salida.size()), MSG_NOSIGNAL);
        if (n > 0) {
            m_salida.remove(0, n);
            m_escritosSinAnunciar += n;
            continue;
        }
        const int e = errno;
        if (e == EINTR)
            continue;
        if (reintentar(e)) {
            m_escritura->setEnabled(true);
            break;
        }
        // Announced from the event loop, as every other outcome of a write.
        QMetaObject::invokeMethod(
            this, [this, e] { fallo(e); }, Qt::QueuedConnection);
        m_escritura->setEnabled(false);
        return;
    }
    if (m_salida.isEmpty() && m_escritura)
        m_escritura->setEnabled(false);
    if (m_escritosSinAnunciar > 0 && !m_anuncioPendiente) {
        m_anuncioPendiente = true;
        QMetaObject::invokeMethod(this, &ConexionTcp::anunciaEscritos, Qt::QueuedConnection);
    }
}

void ConexionTcp::onEscribible() {
    envia();
}

void ConexionTcp::anunciaEscritos() {
    m_anuncioPendiente = false;
    const qint64 n = m_escritosSinAnunciar;
    m_escritosSinAnunciar = 0;
    if (n > 0 && abierta())
        emit escritos(n);
    if (m_cerrarTrasEnvio && m_salida.isEmpty())
        cierra();
}

void ConexionTcp::cierraTrasEnvio() {
    m_cerrarTrasEnvio = true;
    if (m_salida.isEmpty() && !m_anuncioPendiente)
        cierra();
}

void ConexionTcp::fallo(int codigo) {
    if (!abierta())
        return;
    emit error(QString::fromLocal8Bit(std::strerror(codigo)));
    aborta();
    emit cerrada();
}

void ConexionTcp::cierra() {
    if (!abierta())
        return;
    // Unread bytes would turn the close into a reset that can destroy the reply still in flight.
    char resto[4096];
    for (int i = 0; i < 64 && ::recv(int(m_fd), resto, sizeof resto, MSG_DONTWAIT) > 0; ++i) {
    }
    aborta();
}

void ConexionTcp::aborta() {
    if (!abierta())
        return;
    delete m_lectura;
    delete m_escritura;
    m_lectura = m_escritura = nullptr;
    ::close(int(m_fd));
    m_fd = -1;
    m_salida.clear();
}
