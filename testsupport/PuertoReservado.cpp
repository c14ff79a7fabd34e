#include "PuertoReservado.h"

#include <QFile>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testenv {

namespace {

// The lowest ephemeral port; ours are picked below it.
int primeroEfimero() {
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    const int p = f.open(QIODevice::ReadOnly) ? f.readAll().simplified().split(' ').value(0).toInt() : 0;
    return p > 12000 ? p : 32768;
}

bool libre(quint16 puerto) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int uno = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(puerto);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

PuertoReservado::PuertoReservado() {
    const int hasta = primeroEfimero(), desde = hasta - 10000;
    const QByteArray carpeta = "/tmp/tarvolin-puertos";
    ::mkdir(carpeta.constData(), 01777);
    for (int intento = 0; intento < 200 && m_puerto == 0; ++intento) {
        const auto p = quint16(QRandomGenerator::global()->bounded(desde, hasta));
        const QByteArray ruta = carpeta + "/" + QByteArray::number(p);
        const int fd = ::open(ruta.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && libre(p)) {
            m_puerto = p;
            m_cerrojo = fd;
        } else {
            ::close(fd);
        }
    }
}

PuertoReservado::~PuertoReservado() {
    if (m_cerrojo >= 0)
        ::close(m_cerrojo);
}

} // namespace testenv
