#pragma once
// A scale at the far end of a socat pseudo-terminal pair: the driver opens end A as its COM port,
// the simulator holds end B raw (CR kept), records what the driver writes, answers each request
// (ending in CR LF) with the next queued reply ("" = silent), and can send unasked; a reply or an
// unasked send may come in parts with a pause between them, as a slow scale sends. It also keeps
// end A open itself, before the driver does, to read back the line settings the driver gave it (a
// pty keeps the speed, parity and stop bits it is given; it always reports 8 data bits).
#include "platform/Registry.h"
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

class Simulador final {
public:
    Simulador() {
        m_socat.setProcessChannelMode(QProcess::MergedChannels);
        m_socat.start("socat", {"-d", "-d", "pty,raw,echo=0,link=" + puerto(), "pty,raw,echo=0,link=" + extremo()});
        QByteArray salida;
        for (QDeadlineTimer t(20000); !salida.contains("starting data transfer loop") && !t.hasExpired();) {
            m_socat.waitForReadyRead(100);
            salida += m_socat.readAll();
        }
        m_fd = ::open(QFile::encodeName(extremo()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        m_vigia = ::open(QFile::encodeName(puerto()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return;
        termios t{};
        tcgetattr(m_fd, &t);
        cfmakeraw(&t);
        tcsetattr(m_fd, TCSANOW, &t);
        m_hilo = std::thread([this] { bucle(); });
    }
    ~Simulador() {
        m_parar = true;
        if (m_hilo.joinable())
            m_hilo.join();
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_vigia >= 0)
            ::close(m_vigia);
        m_socat.kill();
        m_socat.waitForFinished(5000);
    }
    bool arrancado() const { return m_fd >= 0 && m_vigia >= 0; }
    QString puerto() const { return m_dir.path() + "/A"; }
    termios ajustes() const {
        termios t{};
        ::tcgetattr(m_vigia, &t);
        return t;
    }

    void responde(const QByteArray& r) { respondeEnTrozos({r}, 0); }
    // The next reply in `trozos`, `pausaMs` apart, the first `retrasoMs` after the request (a late scale).
    void respondeEnTrozos(const QList<QByteArray>& trozos, int pausaMs, int retrasoMs = 0) {
        std::lock_guard<std::mutex> l(m_mutex);
        m_respuestas.push_back({trozos, pausaMs, retrasoMs});
    }
    // Sends `trozos` unasked, `pausaMs` apart, from the simulator's thread (the call returns at once).
    void enviaEnTrozos(const QList<QByteArray>& trozos, int pausaMs) {
        std::lock_guard<std::mutex> l(m_mutex);
        m_envios.push_back({trozos, pausaMs});
    }
    void envia(const QByteArray& d) {
        for (qsizetype hecho = 0; hecho < d.size();) {
            const ssize_t n = ::write(m_fd, d.constData() + hecho, size_t(d.size() - hecho));
            if (n > 0)
                hecho += n;
        }
    }
    // Bytes that wait on the driver's end of the line, unread.
    int enCola() const {
        int n = 0;
        return ::ioctl(m_vigia, FIONREAD, &n) == 0 ? n : -1;
    }
    // What the driver wrote, once at least n bytes came (or after a generous wait).
    QByteArray recibido(int n = 0) {
        std::unique_lock<std::mutex> l(m_mutex);
        m_cv.wait_for(l, std::chrono::seconds(10), [&] { return m_recibido.size() >= n; });
        return m_recibido;
    }

private:
    QString extremo() const { return m_dir.path() + "/B"; }
    struct Envio {
        QList<QByteArray> trozos;
        int pausaMs = 0;
        int retrasoMs = 0;
    };
    void enviaPorTrozos(const Envio& e) {
        if (e.retrasoMs > 0) // the scale's own delay, not a wait for anything
            std::this_thread::sleep_for(std::chrono::milliseconds(e.retrasoMs));
        for (qsizetype i = 0; i < e.trozos.size(); ++i) {
            if (i > 0) // the scale's own pause, not a wait for anything
                std::this_thread::sleep_for(std::chrono::milliseconds(e.pausaMs));
            envia(e.trozos[i]);
        }
    }
    void bucle() {
        char buf[256];
        QByteArray pendiente;
        while (!m_parar) {
            std::deque<Envio> salida;
            {
                std::lock_guard<std::mutex> l(m_mutex);
                salida.swap(m_envios);
            }
            pollfd p{m_fd, POLLIN, 0};
            const ssize_t n = salida.empty() && ::poll(&p, 1, 20) > 0 ? ::read(m_fd, buf, sizeof buf) : 0;
            if (n > 0) {
                std::lock_guard<std::mutex> l(m_mutex);
                m_recibido.append(buf, n);
                pendiente.append(buf, n);
                for (qsizetype fin; (fin = pendiente.indexOf("\r\n")) >= 0;) {
                    pendiente.remove(0, fin + 2);
                    if (!m_respuestas.empty()) {
                        salida.push_back(m_respuestas.front());
                        m_respuestas.pop_front();
                    }
                }
            }
            m_cv.notify_all();
            for (const Envio& e : salida)
                enviaPorTrozos(e);
        }
    }

    QTemporaryDir m_dir;
    QProcess m_socat;
    int m_fd = -1;
    int m_vigia = -1; // end A, held open for ajustes()
    std::thread m_hilo;
    std::atomic<bool> m_parar{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    QByteArray m_recibido;
    std::deque<Envio> m_respuestas;
    std::deque<Envio> m_envios;
};

// COM<n> is `dispositivo` in the registry's serial map (as the scale's start-up resolves it), none
// when it is empty.
inline void apuntaCom(int n, const QString& dispositivo) {
    auto& reg = registry::RegistryStore::instance();
    const QString clave = registry::kSerialCommMapKey, com = QStringLiteral("COM%1").arg(n);
    for (const registry::Value& v : reg.values(registry::Root::LocalMachine, clave))
        if (v.data.toString() == com)
            reg.deleteValue(registry::Root::LocalMachine, clave, v.name);
    if (!dispositivo.isEmpty())
        reg.setValue(registry::Root::LocalMachine, clave, {dispositivo, registry::REG_SZ, com});
}

// The scale settings the weighing reads: model 0 in request mode, no manual entry.
inline QList<QPair<QString, QString>> parametrosBalanza() {
    return {{"ModeloBalanza", "0"},
            {"BalanzaModoContinuo", "0"},
            {"TiempoBalanzaModoContinuo", "300"},
            {"TipoFuncionamientoBalanza", "0"},
            {"PermitirEntradaPesoManual", "0"},
            {"PosicionImporteDisplay", "0"},
            {"FuncPizzeria", "0"}};
}
