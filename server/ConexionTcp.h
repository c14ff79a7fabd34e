#pragma once
// One accepted TCP connection of the request server, on its own non-blocking descriptor. Every
// connection's descriptor is watched by one epoll set that the event loop sees as a single
// descriptor, so a thousand idle connections cost the loop nothing on each pass. QTcpSocket closes both directions as
// soon as the peer stops sending, so a peer that sends its request and shuts its sending side (socat, `nc -N`, HTTP/1.0
// clients) could never get its reply; here the end of the peer's data is only a signal, and the reply still goes out.
//
// The connection also turns on TCP keep-alive (a vanished peer is found within minutes), writes
// at once what it is given (the rest when the socket can take it), and reads only while its owner
// lets it (pausaLectura): what a busy connection sends meanwhile waits in the kernel.
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;

class ConexionTcp final : public QObject {
    Q_OBJECT
public:
    // Takes the descriptor of an accepted connection (closed on destruction).
    explicit ConexionTcp(qintptr descriptor, QObject* parent = nullptr);
    ~ConexionTcp() override;
    ConexionTcp(const ConexionTcp&) = delete;
    ConexionTcp& operator=(const ConexionTcp&) = delete;

    // The peer's address of a connected descriptor.
    static QHostAddress direccionDe(qintptr descriptor);

    qintptr descriptor() const { return m_fd; }
    QHostAddress direccionPar() const { return m_par; }
    bool abierta() const { return m_fd >= 0; }
    // The peer has sent all it will send (its side is shut); the connection can still be written.
    bool finLectura() const { return m_finLectura; }

    // The bytes read so far, taken away.
    QByteArray leeTodo();
    qint64 disponibles() const { return m_entrada.size(); }
    // Stops (true) or resumes reading from the socket.
    void pausaLectura(bool pausa);

    // Queues bytes for the peer and sends what the socket takes now; `SendProgress` follows from the
    // event loop.
    void escribe(const QByteArray& datos);
    qint64 porEscribir() const { return m_salida.size(); }

    // Closes once everything queued has gone, so that the peer gets every reply: the sending side is
    // shut, and what the peer still sends is read and dropped for a bounded time before the close.
    void cierraTrasEnvio();
    // Closed connections whose descriptor still waits for the peer to take the last replies.
    static int despedidasEnCurso();
    // Closes at once, discarding what was not sent.
    void aborta();

signals:
    void DataArrival();
    void SendProgress(qint64 bytes);
    void finDelPar(); // the peer shut its sending side
    void Close();     // the connection is gone: closed by the peer with a reset, by an error, or here
    void Error(const QString& descripcion);

private:
    friend class VigiaConexiones;
    void onLegible();
    void onEscribible();
    void onListo(uint32_t eventos);
    // Tells the epoll set what this connection waits for now.
    void vigila();
    void envia();
    void anunciaEscritos();
    void fallo(int codigo);
    void cierra();

    qintptr m_fd = -1;
    QHostAddress m_par;
    quint64 m_generacion = 0; // tells this connection's events from those of an earlier one on the descriptor
    uint32_t m_eventos = 0;   // what the epoll set watches for it (0: not in the set)
    bool m_quiereEscribir = false;
    QByteArray m_entrada;
    QByteArray m_salida;
    qint64 m_escritosSinAnunciar = 0;
    bool m_anuncioPendiente = false;
    bool m_pausada = false;
    bool m_finLectura = false;
    bool m_cerrarTrasEnvio = false;
};

// The listening socket of the request server. Accepts every waiting connection (a bounded number per
// pass of the event loop) and hands each descriptor over, except the last kReservaDescriptores
// below the descriptor limit: a connection that gets one of those is closed at once, as when the
// descriptors run out. When accepting fails for lack of
// descriptors, the socket is not watched for a short back-off and then watched again by itself:
// sinDescriptores is signalled once per episode, and the episode ends with the next connection
// accepted.
class EscuchaTcp final : public QObject {
    Q_OBJECT
public:
    static constexpr int kEsperaSinDescriptoresMs = 250;
    // Descriptors below the process's limit that are never handed to a peer.
    static constexpr int kReservaDescriptores = 32;

    explicit EscuchaTcp(QObject* parent = nullptr);
    ~EscuchaTcp() override;
    EscuchaTcp(const EscuchaTcp&) = delete;
    EscuchaTcp& operator=(const EscuchaTcp&) = delete;

    // Listens on every address (IPv6 and IPv4) at `puerto` (0: any free port). 0 when it listens,
    // else the errno of the failure.
    int escucha(quint16 puerto);
    void cierra();
    bool escuchando() const { return m_fd >= 0; }
    quint16 puerto() const { return m_puerto; }
    bool enEspera() const { return m_sinDescriptores; }
    // Connections closed at accept because their descriptor was one of the reserve.
    qint64 rechazadasPorReserva() const { return m_rechazadasPorReserva; }

signals:
    void ConnectionRequest(qintptr descriptor);
    void sinDescriptores(const QString& descripcion);

private:
    void onLegible();
    static bool enReserva(int descriptor);

    int m_fd = -1;
    qint64 m_rechazadasPorReserva = 0;
    quint16 m_puerto = 0;
    QSocketNotifier* m_aviso = nullptr;
    QTimer* m_espera = nullptr;
    bool m_sinDescriptores = false;
};
