#include "ConexionTcp.h"

#include <QHash>
#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr int kEventosPorPasada = 256;  // connections served per pass of the event loop
constexpr int kAceptadasPorPasada = 64; // connections accepted per pass

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

// One pass over the ready events of the epoll set `ep` (at most kEventosPorPasada): f(descriptor,
// generation, events), the event's data being the generation above the descriptor.
template <class F> void pasadaEpoll(int ep, F&& f) {
    epoll_event ev[kEventosPorPasada];
    const int n = ::epoll_wait(ep, ev, kEventosPorPasada, 0);
    for (int i = 0; i < n; ++i)
        f(int(uint32_t(ev[i].data.u64)), ev[i].data.u64 >> 32, ev[i].events);
}

} // namespace

// The one epoll set of the thread's connections, seen by the event loop through one notifier. Each
// pass serves the connections that are ready, each once; what is left stays ready (the set is
// level-triggered) for the next pass. An event for a connection that has gone meanwhile, or for a
// newer one on the same descriptor, finds nothing or reads nothing: every handler takes "nothing
// there" calmly.
class VigiaConexiones final {
public:
    // The request server lives on the main thread; the set lives as long as the process.
    static VigiaConexiones& instancia() {
        static VigiaConexiones* v = new VigiaConexiones;
        return *v;
    }
    quint64 alta(ConexionTcp* c) {
        const quint64 g = ++m_generaciones;
        m_conexiones.insert(int(c->m_fd), {c, g});
        return g;
    }
    void baja(ConexionTcp* c) {
        if (c->m_eventos != 0)
            ::epoll_ctl(m_ep, EPOLL_CTL_DEL, int(c->m_fd), nullptr);
        c->m_eventos = 0;
        auto it = m_conexiones.find(int(c->m_fd));
        if (it != m_conexiones.end() && it->conexion == c)
            m_conexiones.erase(it);
    }
    void vigila(ConexionTcp* c, uint32_t eventos) {
        if (eventos == c->m_eventos)
            return;
        epoll_event e{};
        e.events = eventos;
        e.data.u64 = (c->m_generacion << 32) | quint64(uint32_t(c->m_fd));
        const int op = c->m_eventos == 0 ? EPOLL_CTL_ADD : eventos == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
        ::epoll_ctl(m_ep, op, int(c->m_fd), &e);
        c->m_eventos = eventos;
    }

private:
    struct Alta {
        ConexionTcp* conexion;
        quint64 generacion;
    };
    VigiaConexiones() : m_ep(::epoll_create1(EPOLL_CLOEXEC)), m_aviso(m_ep, QSocketNotifier::Read) {
        QObject::connect(&m_aviso, &QSocketNotifier::activated, [this] { pasada(); });
    }
    ~VigiaConexiones() { ::close(m_ep); }
    void pasada() {
        pasadaEpoll(m_ep, [this](int fd, quint64 g, uint32_t eventos) {
            // Looked up each time: an earlier handler may have closed it, or nested events replaced it.
            const auto it = m_conexiones.constFind(fd);
            if (it != m_conexiones.cend() && (it->generacion & 0xffffffffu) == g)
                it->conexion->onListo(eventos);
        });
    }

    int m_ep;
    QSocketNotifier m_aviso;
    QHash<int, Alta> m_conexiones;
    quint64 m_generaciones = 0;
};

// Connections closed after their last reply, until the peer has them all: the sending side is shut
// (the peer reads the replies, then the end of the data), and what the peer still sends is read and
// dropped, so that the close is no reset that would destroy replies still on their way. A
// descriptor is closed when the peer ends too, after kDespedidaMs, after kMaxDrenados bytes, or to
// make room when kMaxDespedidas wait already (the oldest goes).
class Despedidas final {
public:
    static constexpr int kDespedidaMs = 2000;
    static constexpr int kMaxDespedidas = 512;
    static constexpr qint64 kMaxDrenados = qint64(1) << 20;

    static Despedidas& instancia() {
        static Despedidas* d = new Despedidas;
        return *d;
    }
    void despide(int fd) {
        ::shutdown(fd, SHUT_WR);
        while (int(m_vivas.size()) >= kMaxDespedidas && !m_orden.empty()) {
            const auto [viejo, turno, plazo] = m_orden.front();
            m_orden.pop_front();
            termina(viejo, turno);
        }
        const quint64 turno = ++m_turnos;
        m_vivas.insert(fd, {turno, 0});
        m_orden.push_back({fd, turno, ahora() + kDespedidaMs});
        epoll_event e{};
        e.events = EPOLLIN | EPOLLRDHUP;
        e.data.u64 = (turno << 32) | quint64(uint32_t(fd));
        if (::epoll_ctl(m_ep, EPOLL_CTL_ADD, fd, &e) != 0) {
            termina(fd, turno);
            return;
        }
        if (!m_reloj.isActive())
            m_reloj.start();
    }
    int esperando() const { return int(m_vivas.size()); }

private:
    struct Viva {
        quint64 turno;
        qint64 drenados;
    };
    struct Plazo {
        int fd;
        quint64 turno;
        qint64 hasta;
    };
    Despedidas() : m_ep(::epoll_create1(EPOLL_CLOEXEC)), m_aviso(m_ep, QSocketNotifier::Read) {
        QObject::connect(&m_aviso, &QSocketNotifier::activated, [this] { pasada(); });
        m_reloj.setInterval(kDespedidaMs / 4);
        QObject::connect(&m_reloj, &QTimer::timeout, [this] { vencidas(); });
    }
    static qint64 ahora() {
        timespec t{};
        ::clock_gettime(CLOCK_MONOTONIC, &t);
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    }
    void pasada() {
        pasadaEpoll(m_ep, [this](int fd, quint64 turno, uint32_t) {
            auto it = m_vivas.find(fd);
            if (it == m_vivas.end() || (it->turno & 0xffffffffu) != turno)
                return;
            static char resto[kBloqueLectura];
            bool fin = false;
            for (int vuelta = 0; vuelta < 4; ++vuelta) {
                const ssize_t r = ::recv(fd, resto, sizeof resto, MSG_DONTWAIT);
                if (r > 0) {
                    it->drenados += r;
                    continue;
                }
                fin = r == 0 || !reintentar(errno);
                break;
            }
            if (fin || it->drenados > kMaxDrenados)
                termina(fd, it->turno);
        });
    }
    void vencidas() {
        const qint64 t = ahora();
        while (!m_orden.empty() && m_orden.front().hasta <= t) {
            const auto [fd, turno, plazo] = m_orden.front();
            m_orden.pop_front();
            termina(fd, turno);
        }
        if (m_orden.empty())
            m_reloj.stop();
    }
    void termina(int fd, quint64 turno) {
        const auto it = m_vivas.find(fd);
        if (it == m_vivas.end() || it->turno != turno)
            return; // closed already; the descriptor may belong to another connection now
        m_vivas.erase(it);
        ::epoll_ctl(m_ep, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
    }

    int m_ep;
    QSocketNotifier m_aviso;
    QTimer m_reloj;
    QHash<int, Viva> m_vivas;
    std::deque<Plazo> m_orden; // by deadline, which is the order they came in
    quint64 m_turnos = 0;
};

int ConexionTcp::despedidasEnCurso() {
    return Despedidas::instancia().esperando();
}

ConexionTcp::ConexionTcp(qintptr descriptor, QObject* parent) : QObject(parent), m_fd(descriptor) {
    const int fd = int(m_fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); // an accepted descriptor blocks
    opcion(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    opcion(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveInactivoS);
    opcion(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervaloS);
    opcion(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveSondas);
    opcion(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    m_par = direccionDe(m_fd);
    m_generacion = VigiaConexiones::instancia().alta(this) & 0xffffffffu;
    vigila();
}

void ConexionTcp::vigila() {
    if (!abierta())
        return;
    uint32_t e = 0;
    if (!m_pausada && !m_finLectura)
        e |= EPOLLIN;
    if (m_quiereEscribir)
        e |= EPOLLOUT;
    VigiaConexiones::instancia().vigila(this, e);
}

void ConexionTcp::onListo(uint32_t eventos) {
    // A reset or an error shows as readable or writable: the read or the write finds it.
    const bool falla = eventos & (EPOLLERR | EPOLLHUP);
    if ((eventos & EPOLLIN) || (falla && !m_pausada && !m_finLectura))
        onLegible();
    if (abierta() && ((eventos & EPOLLOUT) || (falla && m_quiereEscribir)))
        onEscribible();
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
    vigila();
}

void ConexionTcp::onLegible() {
    if (!abierta() || m_pausada || m_finLectura)
        return;
    bool llegaron = false;
    // Read through one block (the request server runs on one thread) and appended as it came: a
    // buffer of the block's size for every arrival (its allocation rounded up past the 128 KiB of
    // mallopt's threshold) would be mapped and unmapped for every request.
    static char bloque[kBloqueLectura];
    for (qint64 leidos = 0; leidos < kMaxLecturaPorAviso;) {
        const ssize_t n = ::recv(int(m_fd), bloque, kBloqueLectura, 0);
        if (n > 0) {
            m_entrada.append(bloque, n);
            leidos += n;
            llegaron = true;
            continue;
        }
        if (n == 0) {
            m_finLectura = true;
            vigila();
            break;
        }
        const int e = errno;
        if (e == EINTR)
            continue;
        if (!reintentar(e)) {
            if (llegaron)
                emit DataArrival();
            fallo(e);
            return;
        }
        break;
    }
    // Handlers may close the connection: nothing of it is used after them.
    const bool fin = m_finLectura;
    if (llegaron)
        emit DataArrival();
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
            m_quiereEscribir = true;
            vigila();
            break;
        }
        // Announced from the event loop, as every other outcome of a write.
        QMetaObject::invokeMethod(
            this, [this, e] { fallo(e); }, Qt::QueuedConnection);
        m_quiereEscribir = false;
        vigila();
        return;
    }
    if (m_salida.isEmpty() && m_quiereEscribir) {
        m_quiereEscribir = false;
        vigila();
    }
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
        emit SendProgress(n);
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
    emit Error(QString::fromLocal8Bit(std::strerror(codigo)));
    aborta();
    emit Close();
}

void ConexionTcp::cierra() {
    if (!abierta())
        return;
    // Unread bytes would turn the close into a reset that can destroy the replies still in flight.
    VigiaConexiones::instancia().baja(this);
    m_quiereEscribir = false;
    Despedidas::instancia().despide(int(std::exchange(m_fd, -1)));
    m_salida.clear();
}

void ConexionTcp::aborta() {
    if (!abierta())
        return;
    VigiaConexiones::instancia().baja(this);
    m_quiereEscribir = false;
    ::close(int(m_fd));
    m_fd = -1;
    m_salida.clear();
}

// ---- The listening socket ----

EscuchaTcp::EscuchaTcp(QObject* parent) : QObject(parent), m_espera(new QTimer(this)) {
    m_espera->setSingleShot(true);
    m_espera->setInterval(kEsperaSinDescriptoresMs);
    connect(m_espera, &QTimer::timeout, this, [this] {
        if (m_aviso)
            m_aviso->setEnabled(true);
    });
}

EscuchaTcp::~EscuchaTcp() {
    cierra();
}

int EscuchaTcp::escucha(quint16 puerto) {
    cierra();
    int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const bool v6 = fd >= 0;
    if (!v6)
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    opcion(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    sockaddr_storage a{};
    socklen_t largo;
    if (v6) {
        opcion(fd, IPPROTO_IPV6, IPV6_V6ONLY, 0); // IPv4 peers too
        auto* a6 = reinterpret_cast<sockaddr_in6*>(&a);
        a6->sin6_family = AF_INET6;
        a6->sin6_port = htons(puerto);
        a6->sin6_addr = in6addr_any;
        largo = sizeof *a6;
    } else {
        auto* a4 = reinterpret_cast<sockaddr_in*>(&a);
        a4->sin_family = AF_INET;
        a4->sin_port = htons(puerto);
        a4->sin_addr.s_addr = htonl(INADDR_ANY);
        largo = sizeof *a4;
    }
    // Bursts of tills connecting at once must not wait for the accept queue.
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), largo) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &largo) != 0) {
        const int e = errno;
        ::close(fd);
        return e;
    }
    m_fd = fd;
    m_puerto =
        ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    m_aviso = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_aviso, &QSocketNotifier::activated, this, &EscuchaTcp::onLegible);
    return 0;
}

void EscuchaTcp::cierra() {
    m_espera->stop();
    delete m_aviso;
    m_aviso = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_puerto = 0;
    m_sinDescriptores = false;
}

bool EscuchaTcp::enReserva(int descriptor) {
    rlimit l{};
    if (::getrlimit(RLIMIT_NOFILE, &l) != 0 || l.rlim_cur == RLIM_INFINITY)
        return false;
    return rlim_t(descriptor) + kReservaDescriptores >= l.rlim_cur;
}

void EscuchaTcp::onLegible() {
    // Handlers may close the listener (a newer window takes over): nothing of it is used after them.
    for (int i = 0; i < kAceptadasPorPasada && m_fd >= 0; ++i) {
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c >= 0 && enReserva(c)) {
            // Descriptors are handed out lowest first: this one is among the last few, which stay
            // for the program itself (Qt's threads need pipes, the log and CUPS need files).
            ::close(c);
            ++m_rechazadasPorReserva;
            m_aviso->setEnabled(false);
            m_espera->start();
            if (!std::exchange(m_sinDescriptores, true))
                emit sinDescriptores(QStringLiteral("reserva de ") + QString::number(kReservaDescriptores) +
                                     QStringLiteral(" descriptores"));
            break;
        }
        if (c >= 0) {
            m_sinDescriptores = false;
            emit ConnectionRequest(c);
            continue;
        }
        const int e = errno;
        if (e == EINTR || e == ECONNABORTED || e == EPROTO)
            continue;
        if (e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM) {
            // The peer waits in the accept queue; polling again at once would only spin.
            m_aviso->setEnabled(false);
            m_espera->start();
            if (!std::exchange(m_sinDescriptores, true))
                emit sinDescriptores(QString::fromLocal8Bit(std::strerror(e)));
        }
        break;
    }
}
