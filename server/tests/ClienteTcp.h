#pragma once
// A peer of the request server: a blocking TCP client on loopback, run by enHilo off its thread.
#include "platform/Program.h"
#include "server/TramaPeticion.h"

#include <QByteArray>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace servertest {

// The bound on any single wait (a test that waits longer gives its own); a client thread runs a few.
inline constexpr int kEsperaMaximaMs = 5000;
inline constexpr int kEsperaHiloMs = 3 * kEsperaMaximaMs;

class ClienteTcp final {
public:
    // From `origen`, a loopback address (127.0.0.1 unless given): a peer of another address.
    // With `recepcion`, the socket's receive buffer in bytes: a peer that reads slowly.
    explicit ClienteTcp(quint16 puerto, in_addr_t origen = INADDR_LOOPBACK, int recepcion = 0)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        if (recepcion > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &recepcion, sizeof recepcion);
        const sockaddr_in a{
            .sin_family = AF_INET, .sin_port = htons(puerto), .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
        const sockaddr_in desde{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(origen)}, .sin_zero = {}};
        if (origen != INADDR_LOOPBACK)
            ::bind(m_fd, reinterpret_cast<const sockaddr*>(&desde), sizeof desde);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
            cierra();
        const int uno = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
    }
    ~ClienteTcp() { cierra(); }
    ClienteTcp(const ClienteTcp&) = delete;
    ClienteTcp& operator=(const ClienteTcp&) = delete;

    bool conectado() const { return m_fd >= 0; }
    bool cerrado() const { return m_cerrado; }     // the server closed
    bool reiniciado() const { return m_reinicio; } // ... with a reset, which destroys what had not been read

    // False when the server has already gone (a reset or a broken pipe).
    bool envia(const QByteArray& datos) {
        for (qsizetype hecho = 0; hecho < datos.size();) {
            const ssize_t n = ::send(m_fd, datos.constData() + hecho, size_t(datos.size() - hecho), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            hecho += n;
        }
        return true;
    }

    // Reads until `fin` gives the length of a whole reply at the start of what came (kept: the rest),
    // the server closes (everything read), or the bound passes (the test fails naming `que`).
    QByteArray lee(const std::function<qsizetype(const QByteArray&)>& fin, int maxMs = kEsperaMaximaMs,
                   const char* que = "the replies expected") {
        const auto limite = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
        // After one wait has failed the peer stops waiting: the test fails once, not once a step.
        if (m_fallida)
            return {};
        for (;;) {
            if (const qsizetype n = fin ? fin(m_recibido) : 0; n > 0) {
                const QByteArray r = m_recibido.left(n);
                m_recibido.remove(0, n);
                return r;
            }
            if (m_cerrado)
                break;
            if (std::chrono::steady_clock::now() >= limite) {
                ADD_FAILURE() << "waited " << maxMs << " ms for " << que << " (" << m_recibido.size() << " bytes came)";
                m_fallida = true;
                break;
            }
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[65536];
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n < 0 && errno == ECONNRESET)
                m_reinicio = true;
            if (n <= 0)
                m_cerrado = true;
            else
                m_recibido.append(buf, n);
        }
        return std::exchange(m_recibido, {});
    }
    QByteArray leeHastaCierre(int maxMs = kEsperaMaximaMs) {
        return lee(nullptr, maxMs, "the server to close the connection");
    }
    // One whole JSON reply after "200 OK" CR (or a bare one), followed by the end marker when asked.
    QByteArray leeRespuesta(bool conMarca = false) {
        return lee(
            [conMarca](const QByteArray& d) -> qsizetype {
                if (conMarca) {
                    const QByteArray marca = '\0' + trama::kMarcaFin.toLatin1() + '\0';
                    const qsizetype i = d.indexOf(marca);
                    return i < 0 ? 0 : i + marca.size();
                }
                trama::LectorPeticiones lector; // the reply read as the server reads a request
                return lector.anade(d) == trama::LectorPeticiones::Estado::Completa ? lector.toma().size() : 0;
            },
            kEsperaMaximaMs, conMarca ? "a reply and its end marker" : "a whole reply");
    }

    void cierra() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Shuts the sending side only: the server sees the end of the data, the replies still come.
    void cierraEnvio() { ::shutdown(m_fd, SHUT_WR); }
    // Leaves with a reset, as a peer that is gone for good.
    void reinicia() {
        const linger l{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        cierra();
    }

private:
    int m_fd = -1;
    bool m_cerrado = false;
    bool m_reinicio = false;
    bool m_fallida = false; // a wait ran out
    QByteArray m_recibido;
};

// Something that happens on the server's thread (checked by enHilo), awaited by a client thread.
class Hito final {
public:
    Hito(const char* que, std::function<bool()> condicion) : m_que(que), m_condicion(std::move(condicion)) {}
    // Server's thread.
    void comprueba() {
        if (!m_cumplido && m_condicion())
            m_cumplido = true, m_promesa.set_value();
    }
    // Client thread: false, and the test fails naming the milestone, past the deadline.
    bool espera() {
        if (m_futuro.wait_for(std::chrono::milliseconds(kEsperaMaximaMs)) == std::future_status::ready)
            return true;
        ADD_FAILURE() << "waited " << kEsperaMaximaMs << " ms for " << m_que;
        return false;
    }

private:
    const char* m_que;
    std::function<bool()> m_condicion;
    std::promise<void> m_promesa;
    std::future<void> m_futuro = m_promesa.get_future();
    bool m_cumplido = false; // written on the server's thread only
};

// Runs `f` on a thread of its own while this thread (the server's) runs events and checks the
// milestones `f` waits for; the test fails when `f` has not ended within `maxMs`.
template <class F> auto enHilo(F&& f, std::initializer_list<Hito*> hitos = {}, int maxMs = kEsperaHiloMs) {
    auto futuro = std::async(std::launch::async, std::forward<F>(f));
    QTimer vigia;
    QObject::connect(&vigia, &QTimer::timeout, [&] {
        for (Hito* h : hitos)
            h->comprueba();
    });
    if (hitos.size() > 0)
        vigia.start(1);
    const auto acabado = [&] { return futuro.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    program::waitWhile([&] { return !acabado(); }, maxMs);
    if (!acabado()) {
        ADD_FAILURE() << "waited " << maxMs << " ms for the client thread's exchanges to end";
        program::waitWhile([&] { return !acabado(); });
    }
    return futuro.get();
}

// One request on a fresh connection read until closed; intercambio runs it on a thread of its own.
inline QByteArray pide(quint16 puerto, const QByteArray& peticion) {
    ClienteTcp c(puerto);
    if (!c.conectado())
        return "<no conecta>";
    c.envia(peticion);
    return c.leeHastaCierre();
}
inline QByteArray intercambio(quint16 puerto, const QByteArray& peticion) {
    return enHilo([=] { return pide(puerto, peticion); });
}

} // namespace servertest
