#pragma once
// A scale at the far end of a socat pseudo-terminal pair. The driver opens end A as its COM port;
// the simulator holds end B in raw mode (CR kept), records every byte the driver writes, answers
// each request (a text ending in CR LF) with the next queued reply, and can send on its own as a
// scale that streams frames does.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class SimuladorBalanza {
public:
    SimuladorBalanza();
    ~SimuladorBalanza();
    SimuladorBalanza(const SimuladorBalanza&) = delete;
    SimuladorBalanza& operator=(const SimuladorBalanza&) = delete;

    bool arrancado() const { return m_fd >= 0; }
    QString error() const { return m_error; }
    QString puertoDriver() const { return m_dir.path() + QStringLiteral("/A"); }

    // Next replies, one per request received; an empty reply means the scale stays silent.
    void encolaRespuesta(const QByteArray& r);
    // Bytes sent now, without a request.
    void envia(const QByteArray& datos);
    // Everything the driver has written so far, and clearing it.
    QByteArray recibido();
    void limpiaRecibido();
    // Waits (with a generous limit) until at least n bytes have arrived; what arrived.
    QByteArray esperaRecibido(int n);
    int peticionesAtendidas() const { return m_atendidas; }

private:
    void bucle();

    QTemporaryDir m_dir;
    QProcess m_socat;
    int m_fd = -1;
    QString m_error;
    std::thread m_hilo;
    std::atomic<bool> m_parar{false};
    std::atomic<int> m_atendidas{0};
    std::mutex m_mutex;
    std::condition_variable m_cv;
    QByteArray m_recibido;
    QByteArray m_pendiente; // request text not yet ended by CR LF
    std::deque<QByteArray> m_respuestas;
};
