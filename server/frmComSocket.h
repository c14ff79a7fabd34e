#pragma once
// The communication window: the program's TCP server. Element 0 listens; every accepted connection
// becomes an element with the lowest free index, its state text and its own byte buffer. Whole
// requests (see TramaPeticion.h) are handed, one at a time per connection and in order, to whoever
// handles the Request signal (clsSocketFront); the reply is framed, sent as Windows-1252 bytes, and
// the connection is closed after it unless the request asked to keep it.
//
// Bounds: at most maxConexiones() connections at once, derived from the process's descriptor limit,
// and maxConexionesPorPar() from one peer address (kept connections count too). A connection over
// the address's limit is accepted and closed at once, with one trace line per episode of refusals;
// at the connection limit a connection of the address that holds the most (one with nothing being
// served, gathering nothing if it can; else one whose requests only wait, dropped unanswered, when that address holds
// more than the newcomer's) is closed, traced, to make room, so a till always gets in. When accepting fails
// for lack of descriptors all the same, the port is not watched for a short back-off and is watched again by itself
// (one log line per episode). At most kMaxPendientes whole requests wait per connection (then the connection is not
// read until one is handled), and the bytes of unfinished and queued requests of every connection together stay under
// maxBytesRetenidos (the connection that would pass it is closed and traced); their memory goes back to the system when
// the peers leave. A request must be whole within limitePeticionMs() of its first byte, and a connection that has not
// asked to be kept and sends nothing for limiteInactividadMs() is closed; one sweep timer watches these limits for
// every connection. A peer that shuts its sending side still gets its replies, and what it sent is handed over, an
// unclosed object too.
//
// The window itself (SocketWindowPort, made by the factory the upper layer registers) is a trace
// list, made and shown with the installation switch, or made when the informative window is
// opened. Every step writes a trace line through Log; without a window it goes to the log only.
//
// The same window also carries an outgoing TCP client (frmComSocketCliente.cpp) and the timed
// callback contexts (TemporizadoresAsync.cpp).
#include "platform/Collections.h"
#include "server/TramaPeticion.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class EscuchaTcp;
class QTimer;
class QWidget;
class SocketWindowPort;
namespace vb {
class LateBound;
}
class ConexionTcp;

class frmComSocket final : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxConexiones = 32767; // the 16-bit element indexes
    static constexpr int kMaxPendientes = 16;    // whole requests waiting their turn on one connection
    static constexpr int kInactividadMs = 5 * 60 * 1000;
    static constexpr int kLimitePeticionMs = 30 * 1000; // from a request's first byte to its last
    static constexpr int kMaxConexionesPorPar = 32;     // a till holds a handful
    // The bytes of unfinished and queued requests over every connection together.
    static constexpr qint64 kMaxBytesRetenidos = qint64(192) << 20;
    static constexpr int kPasoBarridoMs = 100; // the sweep over the connections' time limits

    // Raises the process's soft descriptor limit to its hard limit (once; later calls do nothing).
    static void elevaLimiteDescriptores();
    // The connection limit for the current descriptor limit: what is left after the database links,
    // the log, CUPS and the windows, and never more than a few thousand.
    static int limiteConexiones();

    explicit frmComSocket(QObject* parent = nullptr);
    ~frmComSocket() override;
    frmComSocket(const frmComSocket&) = delete;
    frmComSocket& operator=(const frmComSocket&) = delete;

    // State text of an element ("creado", "conected", "DataArrival", "closed", ""), compared by
    // callers without regard to case; "" for an index never seen.
    QString EstadoSocket(qint16 Index) const;
    void setEstadoSocket(qint16 Index, const QString& estado);

    // One trace line: to the log writer with the seconds since midnight, and to the trace list.
    void Log(const QString& texto);

    // Listens on Puerto (0: any free port, written back into Puerto). False when it cannot.
    bool IniciaEscucha(qint32& Puerto);

    // Stops listening and closes every connection; used when a newer window takes over.
    void Descarga();

    // Requests for which this answers true (given the text handed to Request) wait for the shared
    // exclusive turn (TurnoExclusivo) before they are handled. The text given is the same QString
    // (shared data) that Request receives afterwards.
    void setPeticionExclusiva(std::function<bool(const QString&)> f) { m_peticionExclusiva = std::move(f); }

    // The number of open connections, as the trace window shows it.
    qint16 intConexiones() const { return m_intConexiones; }
    int conexionesAbiertas() const { return int(m_socket.size()); }
    // Whole requests waiting their turn, over every connection.
    size_t peticionesEnCola() const;
    // Settings for tests; they apply to connections accepted afterwards.
    void setMaxConexiones(int n) { m_maxConexiones = n; }
    int maxConexiones() const { return m_maxConexiones; }
    void setMaxConexionesPorPar(int n) { m_maxPorPar = n; }
    int maxConexionesPorPar() const { return m_maxPorPar; }
    void setLimiteInactividadMs(int ms) { m_inactividadMs = ms; }
    int limiteInactividadMs() const { return m_inactividadMs; }
    void setLimitePeticionMs(int ms) { m_limitePeticionMs = ms; }
    int limitePeticionMs() const { return m_limitePeticionMs; }
    // Connections accepted and closed at once because a limit was reached.
    qint64 conexionesRechazadas() const { return m_rechazadas; }
    // Silent connections closed to make room for a new one at the connection limit.
    qint64 conexionesDesalojadas() const { return m_desalojadas; }
    void setMaxBytesRetenidos(qint64 n) { m_maxBytesRetenidos = n; }
    // The bytes of unfinished and queued requests held now, and the connections closed for them.
    qint64 bytesRetenidos() const { return m_bytesRetenidos; }
    qint64 cerradasPorMemoria() const { return m_cerradasPorMemoria; }
    quint16 puertoEscucha() const; // 0 when not listening
    QWidget* ventana() const;      // the window; null until the switch or an opening makes it (or no factory)

    // ---- Outgoing client (one connection per window) ----
    // Connects to strIp:strPuerto, waiting at most segundos_timeout seconds. strMensajeError gets a
    // text when the connection had to be reset first or timed out.
    bool SocketClienteConectar(const QString& strIp, const QString& strPuerto, qint16 segundos_timeout = 5,
                               QString* strMensajeError = nullptr);
    // Sends strData as it stands and waits for the reply; eResultado (created when null) gets
    // "respuesta_recibida", "respuesta", "error", "ok" and the error details. True when reply data came.
    bool SocketClienteEnviarDatos(const QString& strData, vb::EntidadPtr& eResultado, qint16 segundos_timeout = 5,
                                  bool blnUsarConexionPersistente = false);
    void SocketClienteCerrarConexion();
    bool socketClienteConectado() const;
    vb::EntidadPtr socketClienteCmd() const;
    // The client's state as Winsock numbers it; sckClosing: closed by the peer (until our own close).
    enum StateConstants : int {
        sckClosed = 0,
        sckResolvingHost = 4,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9
    };
    int estadoSocketCliente() const;

    // ---- Timed callback contexts ----
    // The contexts the sentinel visits (created on first use); a subscriber adds its entities here.
    vb::ColeccionPtr subcriptoresTimerCentinela();
    // The sentinel timer (6000 ms) is created stopped: this switches the whole mechanism on or off.
    void activaTimerComprobaciones(bool activo);
    bool timerComprobacionesActivo() const;
    qint16 creaNuevoTimerAsync(const vb::EntidadPtr& eSubscriptor);
    // Ticks of the sentinel and of the one-shot element Index (public so hosts and tests can drive them).
    void TimerComprobaciones_Timer();
    void TimerAsync_Timer(qint16 Index);
    int timersAsyncCargados() const; // one-shot elements loaded now
    // Whom the callbacks are called on by name; null (the default) means the global SocketFront.
    void setObjetoCallbacks(vb::LateBound* objeto);

    // ---- Informative window (nothing without a window factory) ----
    void abrirFormularioInformativoUsuarioNoModalSiempreVisible();
    void ocultarFormulario();
    void mostrarTexto(const QString& strTexto);
    void mostrarTextoLabel(const QString& strTexto);
    bool blnCanceladoPorUsuario() const;

signals:
    // One whole request; the handler writes the reply text into responseData.
    void Request(const QString& RequestData, QString& responseData);

private:
    class Conexion;
    using ConexionPtr = std::shared_ptr<Conexion>;

    void socket_ConnectionRequest(qintptr descriptor);
    void socket_DataArrival(const ConexionPtr& c);
    // Moves the socket's bytes into the reader and whole requests into the queue while it has room.
    void alimenta(const ConexionPtr& c);
    void socket_FinDelPar(const ConexionPtr& c);
    // Hands over what the connection gathered: its whole requests, then the rest as it stands.
    void entregaResto(const ConexionPtr& c);
    // Counts the connection's bytes into the total; past the bound it closes it and says false.
    bool cuentaBytes(const ConexionPtr& c);
    // At the connection limit: closes the silent connection that has waited longest, or one whose
    // requests have not started; false when every connection is at work.
    bool haceSitio(const QString& ip);
    int conexionesDe(const QString& ip) const;
    // The sweep: quiet time, request time and inactivity of every connection.
    void onBarrido();
    void onInactividad(const ConexionPtr& c);
    void rechaza(qintptr descriptor, const QString& ip, const QString& motivo, bool& enEpisodio);
    // Closing a connection that was not kept: the requests it sent behind its last one are traced.
    void trazaDescartadas(const ConexionPtr& c);
    void socket_SendProgress(const ConexionPtr& c, qint64 bytesSent);
    void socket_SendComplete(const ConexionPtr& c);
    void socket_Close(const ConexionPtr& c);
    void socket_Error(const ConexionPtr& c, const QString& descripcion);
    void onSilencio(const ConexionPtr& c);

    void encola(const ConexionPtr& c, QByteArray peticion);
    // One turn of the request queues: the next connection with a whole request is served.
    void siguienteTurno();
    void atiendeSiguiente(const ConexionPtr& c);
    void atiende(const ConexionPtr& c, const QString& datos, const trama::PeticionRecibida& peticion);
    // Closes the element's connection (when still open) and unloads it; `ordenada`: so that every
    // reply written still reaches the peer (see ConexionTcp::cierraTrasEnvio), else at once.
    void descargaElemento(const ConexionPtr& c, bool ordenada = false);
    // A fault (a request too large or too deep) ends the reading: the requests queued before it
    // are answered, then the connection closes.
    void terminaTrasCola(const ConexionPtr& c);
    // Takes the element out of the list (when it is still there) and counts it off.
    void quitaElemento(const ConexionPtr& c);
    void muestraConexiones();

    EscuchaTcp* m_servidor = nullptr;
    QTimer* m_barrido = nullptr;
    int m_maxConexiones = limiteConexiones();
    int m_maxPorPar = kMaxConexionesPorPar;
    int m_inactividadMs = kInactividadMs;
    int m_limitePeticionMs = kLimitePeticionMs;
    QHash<QString, std::shared_ptr<int>> m_porPar; // open connections by peer address
    QHash<QString, bool> m_parEnRechazo;           // peers whose refusals have been traced since their last accept
    bool m_rechazoGeneral = false;                 // refusals at the connection limit traced since the last accept
    qint64 m_rechazadas = 0;
    qint64 m_desalojadas = 0;
    quint64 m_aceptadas = 0;
    static constexpr int kTrazasDesalojoPorSegundo = 5;
    qint64 m_segundoDesalojo = -1;
    int m_desalojosEnSegundo = 0;
    qint64 m_maxBytesRetenidos = kMaxBytesRetenidos;
    qint64 m_bytesRetenidos = 0;
    qint64 m_cerradasPorMemoria = 0;
    qint64 m_picoRetenidos = 0; // the most held since memory was last given back
    static constexpr qint64 kDevolverMemoria = qint64(16) << 20;
    // Connections with a whole request waiting, by the size of that request.
    static constexpr qsizetype kMaxPeticionCorta = 16 * 1024;
    static constexpr int kCortasPorLarga = 4;
    static constexpr int kPocasConexiones = 2;
    std::deque<ConexionPtr> m_pocas, m_cortas, m_largas; // short ones of few-connection addresses, of others, long
    int m_cortasSeguidas = 0;
    bool m_turnoPedido = false;
    std::map<qint16, ConexionPtr> m_socket; // elements 1 and up, by index
    QHash<qint16, QString> m_dicEstadoSocket;
    qint16 m_intConexiones = 0;
    QString m_strUltimoRequestID;
    QString m_strHost;
    std::function<bool(const QString&)> m_peticionExclusiva;
    std::unique_ptr<SocketWindowPort> m_ventana;
    bool m_errorEscuchaAvisado = false; // the last listen failure was already reported

    class Cliente;
    class Temporizadores;
    // The reply wait of SocketClienteEnviarDatos; true when reply data came.
    bool SocketClienteEsperaRespuesta(qint16 segundos_timeout, bool blnUsarConexionPersistente);
    Cliente& cliente();
    Temporizadores& temporizadores();
    // The window, made on first use; null without a factory.
    SocketWindowPort* ventanaInformativa();
    std::shared_ptr<Cliente> m_cliente;               // made on first use
    std::shared_ptr<Temporizadores> m_temporizadores; // made on first use
};
