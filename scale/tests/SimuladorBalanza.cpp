#include "SimuladorBalanza.h"
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SimuladorBalanza::SimuladorBalanza() {
    const QString a = m_dir.path() + QStringLiteral("/A");
    const QString b = m_dir.path() + QStringLiteral("/B");
    m_socat.setProcessChannelMode(QProcess::MergedChannels);
    m_socat.start(QStringLiteral("socat"),
                  {QStringLiteral("-d"), QStringLiteral("-d"), QStringLiteral("pty,raw,echo=0,link=") + a,
                   QStringLiteral("pty,raw,echo=0,link=") + b});
    if (!m_socat.waitForStarted(10000)) {
        m_error = QStringLiteral("socat did not start");
        return;
    }
    // socat reports "starting data transfer loop" once both ends exist.
    QByteArray salida;
    const QDeadlineTimer limite(20000);
    while (!salida.contains("starting data transfer loop") && !limite.hasExpired()) {
        m_socat.waitForReadyRead(200);
        salida += m_socat.readAll();
    }
    if (!QFileInfo::exists(a) || !QFileInfo::exists(b)) {
        m_error = QStringLiteral("socat links missing: ") + QString::fromLocal8Bit(salida);
        return;
    }
    m_fd = ::open(QFile::encodeName(b).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot open the simulator end");
        return;
    }
    termios t{};
    tcgetattr(m_fd, &t);
    cfmakeraw(&t);
    tcsetattr(m_fd, TCSANOW, &t);
    m_hilo = std::thread([this] { bucle(); });
}

SimuladorBalanza::~SimuladorBalanza() {
    m_parar = true;
    if (m_hilo.joinable())
        m_hilo.join();
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_socat.state() != QProcess::NotRunning) {
        m_socat.terminate();
        if (!m_socat.waitForFinished(5000)) {
            m_socat.kill();
            m_socat.waitForFinished(5000);
        }
    }
}

void SimuladorBalanza::encolaRespuesta(const QByteArray& r) {
    std::lock_guard<std::mutex> l(m_mutex);
    m_respuestas.push_back(r);
}

void SimuladorBalanza::envia(const QByteArray& datos) {
    qsizetype hecho = 0;
    while (hecho < datos.size()) {
        const ssize_t n = ::write(m_fd, datos.constData() + hecho, size_t(datos.size() - hecho));
        if (n > 0)
            hecho += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
    }
}

QByteArray SimuladorBalanza::recibido() {
    std::lock_guard<std::mutex> l(m_mutex);
    return m_recibido;
}

void SimuladorBalanza::limpiaRecibido() {
    std::lock_guard<std::mutex> l(m_mutex);
    m_recibido.clear();
}

QByteArray SimuladorBalanza::esperaRecibido(int n) {
    std::unique_lock<std::mutex> l(m_mutex);
    m_cv.wait_for(l, std::chrono::seconds(10), [&] { return m_recibido.size() >= n; });
    return m_recibido;
}

void SimuladorBalanza::bucle() {
    char buf[512];
    while (!m_parar) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            continue;
        QByteArray respuesta;
        bool responder = false;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            m_recibido.append(buf, n);
            m_pendiente.append(buf, n);
            const qsizetype fin = m_pendiente.indexOf("\r\n");
            if (fin >= 0) {
                m_pendiente.remove(0, fin + 2);
                if (!m_respuestas.empty()) {
                    respuesta = m_respuestas.front();
                    m_respuestas.pop_front();
                }
                responder = true;
            }
        }
        m_cv.notify_all();
        if (responder) {
            envia(respuesta);
            ++m_atendidas;
        }
    }
}
