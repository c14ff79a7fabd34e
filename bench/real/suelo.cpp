// The floor for the request protocol: a minimal server that answers a Ping with the same bytes as
// tarvolin, one thread and epoll, nothing else. A request ends at its closing brace; a text that begins
// with "conexion_persistente" keeps its connection open, any other is closed after the reply.
//   bench_real_suelo PORT        (0: any free port; prints "listening PORT" once it listens)
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

const char kRespuesta[] = "200 OK\r{\"respuesta\":\"S\",\"ok\":true}";
const char kPersistente[] = "conexion_persistente";

// Length of the first request in `d` (up to its first closing brace: a Ping has no inner object and
// no braces in its strings), 0 while there is none.
size_t finObjeto(const std::string& d) {
    const size_t i = d.find('}');
    return i == std::string::npos ? 0 : i + 1;
}

// Reads what came and answers every whole request (also when the peer has finished sending). False
// when the connection is to be closed.
bool atiende(int fd, std::string& pendiente) {
    char buf[4096];
    bool cerrada = false;
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n > 0) {
            pendiente.append(buf, size_t(n));
            continue;
        }
        if (n == 0)
            cerrada = true;
        else if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        break;
    }
    while (const size_t fin = finObjeto(pendiente)) {
        const bool persistente = pendiente.compare(0, sizeof kPersistente - 1, kPersistente) == 0;
        if (::send(fd, kRespuesta, sizeof kRespuesta - 1, MSG_NOSIGNAL) != ssize_t(sizeof kRespuesta - 1))
            return false;
        if (!persistente)
            return false;
        pendiente.erase(0, fin);
    }
    return !cerrada;
}

} // namespace

int main(int argc, char** argv) {
    const int puerto = argc > 1 ? std::atoi(argv[1]) : 0;
    const int escucha = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const int uno = 1;
    ::setsockopt(escucha, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(puerto));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t largo = sizeof a;
    if (::bind(escucha, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(escucha, 4096) != 0 ||
        ::getsockname(escucha, reinterpret_cast<sockaddr*>(&a), &largo) != 0) {
        std::perror("bench_real_suelo");
        return 1;
    }
    std::printf("listening %d\n", ntohs(a.sin_port));
    std::fflush(stdout);

    const int ep = ::epoll_create1(0);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = escucha;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, escucha, &ev);
    std::unordered_map<int, std::string> conexiones;
    epoll_event eventos[256];
    for (;;) {
        const int n = ::epoll_wait(ep, eventos, 256, -1);
        for (int i = 0; i < n; ++i) {
            const int fd = eventos[i].data.fd;
            if (fd == escucha) {
                for (int c; (c = ::accept4(escucha, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
                    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
                    epoll_event e{};
                    e.events = EPOLLIN | EPOLLRDHUP;
                    e.data.fd = c;
                    ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &e);
                    conexiones[c];
                }
                continue;
            }
            if (!atiende(fd, conexiones[fd])) {
                ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
                ::close(fd);
                conexiones.erase(fd);
            }
        }
    }
}
