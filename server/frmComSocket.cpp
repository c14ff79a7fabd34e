#include "frmComSocket.h"

#include "core/VentanasCargadas.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "server/ConexionTcp.h"
#include "server/SocketWindowPort.h"
#include "server/TurnoExclusivo.h"
#include "server/json/clsJSON.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <deque>
#include <malloc.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxTrazaTexto = 2000; // requests and replies in trace lines

const QString kCreado = QStringLiteral("creado");
const QString kDataArrival = QStringLiteral("DataArrival");
const QString kClosed = QStringLiteral("closed");

// A listen failure is reported once; while the port stays busy the retries only trace it.
bool g_fallosEscuchaSeguidos = false;

QString texto(qint64 n) {
    return QString::number(n);
}

QString direccion(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : a.toString();
}

QString ipLocal() {
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    return QStringLiteral("127.0.0.1");
}

// Milliseconds on a monotonic clock, for the connections' time limits.
qint64 ahoraMs() {
    static QElapsedTimer reloj = [] {
        QElapsedTimer r;
        r.start();
        return r;
    }();
    return reloj.elapsed();
}

// Descriptors kept for everything but the connections: database links, log, CUPS, the windows, the
// scale and the client socket.
int reservaDescriptores(rlim_t limite) {
    return int(std::clamp<rlim_t>(limite / 4, 32, 256));
}
constexpr int kTopeConexiones = 4096;

} // namespace

void frmComSocket::elevaLimiteDescriptores() {
    static std::once_flag una;
    std::call_once(una, [] {
        rlimit l{};
        if (::getrlimit(RLIMIT_NOFILE, &l) == 0 && l.rlim_cur < l.rlim_max) {
            l.rlim_cur = l.rlim_max;
            ::setrlimit(RLIMIT_NOFILE, &l);
        }
    });
}

int frmComSocket::limiteConexiones() {
    elevaLimiteDescriptores();
    rlimit l{};
    if (::getrlimit(RLIMIT_NOFILE, &l) != 0 || l.rlim_cur == RLIM_INFINITY)
        return kTopeConexiones;
    // The listener's own reserve comes on top: the table fills before the listener refuses.
    const rlim_t reserva = rlim_t(reservaDescriptores(l.rlim_cur) + EscuchaTcp::kReservaDescriptores);
    const rlim_t libres = l.rlim_cur > reserva ? l.rlim_cur - reserva : 1;
    return int(std::min<rlim_t>(libres, kTopeConexiones));
}

// One accepted connection: its socket, the bytes gathered towards the next request, the requests
// waiting their turn on this connection, and the persistence of the exchange in progress.
class frmComSocket::Conexion final : public QObject, public std::enable_shared_from_this<frmComSocket::Conexion> {
public:
    Conexion(frmComSocket* ventana, ConexionTcp* s, qint16 i, QString direccionPar)
        : socket(s), indice(i), ip(std::move(direccionPar)), actividad(ahoraMs()), m_ventana(ventana) {
        socket->setParent(this);
        // Each event of the socket goes to the window's handler of the same name.
        connect(socket, &ConexionTcp::DataArrival, this, [this] { reenvia(&frmComSocket::socket_DataArrival); });
        connect(socket, &ConexionTcp::SendProgress, this,
                [this](qint64 n) { reenvia(&frmComSocket::socket_SendProgress, n); });
        connect(socket, &ConexionTcp::finDelPar, this, [this] { reenvia(&frmComSocket::socket_FinDelPar); });
        connect(socket, &ConexionTcp::Close, this, [this] { reenvia(&frmComSocket::socket_Close); });
        connect(socket, &ConexionTcp::Error, this,
                [this](const QString& descripcion) { reenvia(&frmComSocket::socket_Error, descripcion); });
    }
    // Stops every notification; the socket is closed by the caller.
    void suelta() {
        cerrada = true;
        silencio = -1;
        QObject::disconnect(socket, nullptr, this, nullptr);
    }

    ConexionTcp* socket;
    const qint16 indice;
    const QString ip;
    // Times (ahoraMs) the sweep compares with the limits; -1: not running.
    qint64 silencio = -1;       // the last arrival of bytes being gathered
    qint64 inicioPeticion = -1; // the first byte of the request being gathered
    qint64 actividad;           // the last arrival or reply, for the inactivity limit
    trama::LectorPeticiones lector;
    std::deque<QByteArray> pendientes;
    QString Tag;
    bool atendiendo = false;   // a request of this connection is being handled (or waits for the turn)
    bool enTurno = false;      // ... and it waits for the print turn, not started yet
    bool enviando = false;     // its reply is being written
    bool cerrada = false;      // closed and unloaded
    bool desalojada = false;   // ... to make room for another: its waiting requests are dropped
    int revisionesEnPausa = 0; // readings of the request being gathered that a pause asked for
    qint64 pausaRevision() const { return revisionesEnPausa == 0 ? kPasoBarridoMs : trama::kSilencioMs; }
    bool sinMas = false;         // a fault ended the reading: what was queued before it is answered, then it closes
    std::shared_ptr<int> delPar; // the open connections of its peer's address, shared by all of them
    qint64 retenidos = 0;        // the bytes it holds, as last counted into m_bytesRetenidos
    quint64 orden = 0;           // accepted after every connection of a lower number

private:
    // Every entry point holds the connection, so it outlives whatever runs nested inside.
    template <class... A, class... B>
    void reenvia(void (frmComSocket::*manejador)(const ConexionPtr&, A...), B&&... b) {
        if (m_ventana)
            (m_ventana->*manejador)(shared_from_this(), std::forward<B>(b)...);
    }

    QPointer<frmComSocket> m_ventana;
};

frmComSocket::frmComSocket(QObject* parent) : QObject(parent), m_barrido(new QTimer(this)) {
    static std::once_flag una;
    // A request's buffer (up to a mebibyte) lives in its own mapping, given back whole when freed:
    // glibc would otherwise raise this threshold after the first frees and keep the heap grown.
    std::call_once(una, [] { ::mallopt(M_MMAP_THRESHOLD, 128 * 1024); });
    m_barrido->setInterval(kPasoBarridoMs);
    connect(m_barrido, &QTimer::timeout, this, &frmComSocket::onBarrido);
    // The form is loaded in every run; its window exists only once something shows it (/instal).
    ventanas::cargada(this, QStringLiteral("frmComSocket"));
}

frmComSocket::~frmComSocket() {
    Descarga();
}

QString frmComSocket::EstadoSocket(qint16 Index) const {
    return m_dicEstadoSocket.value(Index);
}

void frmComSocket::setEstadoSocket(qint16 Index, const QString& estado) {
    m_dicEstadoSocket.insert(Index, estado);
}

QWidget* frmComSocket::ventana() const {
    return m_ventana ? m_ventana->widget() : nullptr;
}

size_t frmComSocket::peticionesEnCola() const {
    size_t n = 0;
    for (const auto& [indice, c] : m_socket)
        n += c->pendientes.size();
    return n;
}

quint16 frmComSocket::puertoEscucha() const {
    return m_servidor && m_servidor->escuchando() ? m_servidor->puerto() : 0;
}

void frmComSocket::Log(const QString& texto) {
    AtrapaErrores(QStringLiteral("frmComSocket.Log"), [&] {
        GrabaLog(texto + QStringLiteral(": ") + basFuncionesComunes::TextoSegundos());
        if (gblnInstal && m_ventana) {
            m_ventana->addTraceLine(texto);
            program::doEvents();
        }
    });
}

bool frmComSocket::IniciaEscucha(qint32& Puerto) {
    auto escucha = [&] {
        Log(QStringLiteral("frmComSocket.IniciaEscucha (") + texto(Puerto) + QStringLiteral(")"));
        m_strHost = QHostInfo::localHostName();
        if (gblnInstal && ventanaInformativa())
            m_ventana->showTrace();
        if (m_ventana) {
            m_ventana->setHostText(QStringLiteral("Host Id: ") + m_strHost);
            m_ventana->setAddressText(QStringLiteral("Address: ") + ipLocal());
        }
        if (Puerto < 0 || Puerto > 65535)
            vb::Raise(vb::err::Overflow);
        Log(QStringLiteral("Listening to port: ") + texto(Puerto));
        if (!m_servidor) {
            m_servidor = new EscuchaTcp(this);
            connect(m_servidor, &EscuchaTcp::ConnectionRequest, this, &frmComSocket::socket_ConnectionRequest);
            connect(m_servidor, &EscuchaTcp::sinDescriptores, this, [this](const QString& descripcion) {
                Log(QStringLiteral("Sin descriptores libres (") + descripcion +
                    QStringLiteral("): no se aceptan conexiones hasta que se libere alguno"));
            });
        }
        if (const int e = m_servidor->escucha(quint16(Puerto)); e != 0) {
            // Winsock's numbers; the texts the trace has always shown for them.
            if (e == EADDRINUSE)
                throw VBError(vb::err::WinsockAddressInUse, QStringLiteral("The bound address is already in use"),
                              QStringLiteral("frmComSocket"));
            throw VBError(vb::err::WinsockAccessDenied, QString::fromLocal8Bit(std::strerror(e)),
                          QStringLiteral("frmComSocket"));
        }
        if (Puerto == 0) {
            Puerto = m_servidor->puerto();
            Log(QStringLiteral("Listening to port: ") + texto(Puerto));
        }
        g_fallosEscuchaSeguidos = false;
    };
    return vb::OnError(escucha, [&](const VBError& err) {
        // The start-up retries every few seconds while the port stays taken: one report on paper
        // is enough, the retries go to the trace.
        if (g_fallosEscuchaSeguidos)
            Log(QStringLiteral("Error: ") + err.description() + QStringLiteral(", Index:0"));
        else
            ControlErrores(QStringLiteral("frmComSocket.IniciaEscucha (") + m_strHost + QStringLiteral(")"), false,
                           err);
        g_fallosEscuchaSeguidos = true;
    });
}

void frmComSocket::Descarga() {
    if (m_servidor)
        m_servidor->cierra();
    m_pocas.clear();
    m_cortas.clear();
    m_largas.clear();
    const auto elementos = m_socket; // descargaElemento changes the map
    for (const auto& [indice, c] : elementos)
        descargaElemento(c);
}

void frmComSocket::socket_ConnectionRequest(qintptr descriptor) {
    // Accepted at once (the original waited 500 ms first, for the data): each connection gathers its
    // bytes until its request is whole, and the wait only let a burst of connections hold the loop.
    AtrapaErrores(QStringLiteral("frmComSocket.socket_ConnectionRequest"), [&] {
        const QString requestID = texto(qint64(descriptor));
        const QString ip = direccion(ConexionTcp::direccionDe(descriptor));
        // Over a limit the connection is closed before anything else: under a flood of refusals
        // only the first one of the episode is traced.
        const int delPar = conexionesDe(ip);
        if (delPar >= m_maxPorPar) {
            bool& enEpisodio = m_parEnRechazo[ip];
            rechaza(descriptor, ip,
                    texto(delPar) + QStringLiteral(" conexiones abiertas desde ") + ip +
                        QStringLiteral(", request id ") + requestID,
                    enEpisodio);
            return;
        }
        // A full table makes room (the original had no table to fill): a connection of the address
        // that holds the most goes, so that no peer can keep the tills out.
        if (int(m_socket.size()) >= std::min(m_maxConexiones, kMaxConexiones) && !haceSitio(ip)) {
            rechaza(descriptor, ip,
                    texto(qint64(m_socket.size())) + QStringLiteral(" conexiones abiertas, request id ") + requestID,
                    m_rechazoGeneral);
            return;
        }
        m_rechazoGeneral = false;
        m_parEnRechazo.remove(ip);
        Log(QStringLiteral("Connection request id ") + requestID + QStringLiteral(" from ") + ip);
        m_strUltimoRequestID = requestID;
        // The lowest index that no open connection holds: the limit is what is open, not what was.
        int n = 1;
        for (auto it = m_socket.begin(); it != m_socket.end() && it->first == n; ++it)
            ++n;
        // The element is taken before any trace line: a trace line may let other events run.
        // Its socket is watched from here on: nothing that arrives can be missed.
        auto c = ConexionPtr(new Conexion(this, new ConexionTcp(descriptor), qint16(n), ip),
                             [](Conexion* p) { p->deleteLater(); });
        c->orden = ++m_aceptadas;
        m_socket[qint16(n)] = c;
        auto& cuenta = m_porPar[ip];
        if (!cuenta)
            cuenta = std::make_shared<int>(0);
        ++*cuenta;
        c->delPar = cuenta;
        setEstadoSocket(qint16(n), kCreado);
        m_intConexiones = qint16(m_socket.size());
        if (!m_barrido->isActive())
            m_barrido->start();
        muestraConexiones();
        Log(QStringLiteral("Creado socket nuevo ") + texto(n) + QStringLiteral(", resquestID:") + requestID);
    });
}

int frmComSocket::conexionesDe(const QString& ip) const {
    const auto p = m_porPar.constFind(ip);
    return p == m_porPar.cend() ? 0 : **p;
}

bool frmComSocket::haceSitio(const QString& ip) {
    // The connection that goes belongs to the address that holds the most; of its connections, one
    // that gathers nothing goes before one that gathers a request, then one whose requests only wait
    // (in the queues or for the print turn), then the one silent for longest. A connection whose
    // request runs, or whose reply goes out, stays. So a peer that holds one or two connections (a
    // till) pays only when no address holds more: a flood of prints waiting their turn cannot keep it out.
    const int delNuevo = conexionesDe(ip);
    // Requests that wait and have not started (one whose reading a fault ended has some).
    auto espera = [](const Conexion& c) { return !c.pendientes.empty() || c.enTurno || c.sinMas; };
    auto clave = [&](const Conexion& c) {
        return std::tuple(-*c.delPar, espera(c) ? 2 : !c.lector.vacio() ? 1 : 0, c.actividad, c.orden);
    };
    ConexionPtr callada;
    for (const auto& [indice, c] : m_socket) {
        const bool corre = c->atendiendo && !c->enTurno;
        if (corre || c->enviando)
            continue;
        // Waiting requests are dropped only for an address that holds more than the newcomer's.
        if (espera(*c) && *c->delPar <= delNuevo)
            continue;
        if (!callada || clave(*c) < clave(*callada))
            callada = c;
    }
    // The newcomer's address never takes a place from one that holds no more than it does.
    if (!callada || (callada->ip != ip && *callada->delPar <= delNuevo))
        return false;
    const qint64 ahora = ahoraMs();
    const qint64 segundos = (ahora - callada->actividad) / 1000;
    const qint64 descartadas = qint64(callada->pendientes.size()) + (callada->enTurno ? 1 : 0);
    ++m_desalojadas;
    callada->desalojada = true;
    descargaElemento(callada);
    // Its requests never run: the queues pass over a closed connection, the print turn over this one.
    callada->pendientes.clear();
    // Under a flood of connections a few lines a second say it.
    if (ahora / 1000 != m_segundoDesalojo)
        m_segundoDesalojo = ahora / 1000, m_desalojosEnSegundo = 0;
    if (++m_desalojosEnSegundo <= kTrazasDesalojoPorSegundo)
        Log(QStringLiteral("Conexiones llenas: se cierra la conexión ") + texto(callada->indice) +
            QStringLiteral(" desde ") + callada->ip + QStringLiteral(", callada desde hace ") + texto(segundos) +
            QStringLiteral(" s") +
            (descartadas > 0 ? QStringLiteral(", sin atender ") + texto(descartadas) +
                                   (descartadas == 1 ? QStringLiteral(" petición") : QStringLiteral(" peticiones"))
                             : QString()) +
            QStringLiteral(", para aceptar una desde ") + ip);
    return true;
}

void frmComSocket::rechaza(qintptr descriptor, const QString& ip, const QString& motivo, bool& enEpisodio) {
    ::close(int(descriptor));
    ++m_rechazadas;
    if (std::exchange(enEpisodio, true))
        return;
    Log(QStringLiteral("Conexión rechazada: ") + motivo + QStringLiteral(" (") + ip +
        QStringLiteral("); las siguientes se rechazan sin traza hasta que se acepte otra"));
}

void frmComSocket::socket_DataArrival(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (c->cerrada || !c->socket->abierta())
            return;
        setEstadoSocket(c->indice, kDataArrival);
        c->actividad = ahoraMs();
        alimenta(c);
    });
}

void frmComSocket::alimenta(const ConexionPtr& c) {
    bool llegaron = false;
    while (!c->cerrada && !c->sinMas) {
        if (c->pendientes.size() >= size_t(kMaxPendientes)) {
            c->socket->pausaLectura(true);
            break;
        }
        trama::LectorPeticiones::Estado estado = c->lector.estado();
        if (estado != trama::LectorPeticiones::Estado::Completa && c->socket->disponibles() > 0) {
            llegaron = true;
            estado = c->lector.anade(c->socket->leeTodo());
        }
        if (estado == trama::LectorPeticiones::Estado::Completa) {
            c->silencio = -1;
            encola(c, c->lector.toma());
            // What followed it is the start of the next request.
            c->inicioPeticion = c->lector.vacio() ? -1 : ahoraMs();
            continue;
        }
        if (estado == trama::LectorPeticiones::Estado::Excedida || estado == trama::LectorPeticiones::Estado::Anidada) {
            const qsizetype bytes = c->lector.tamano();
            terminaTrasCola(c);
            Log(estado == trama::LectorPeticiones::Estado::Excedida
                    ? QStringLiteral("Petición de más de ") + texto(trama::kMaxPeticion) +
                          QStringLiteral(" bytes desde ") + c->ip + QStringLiteral(": se cierra la conexión ") +
                          texto(c->indice)
                    : QStringLiteral("Petición anidada más de ") + texto(clsJSON::kMaxNivel) +
                          QStringLiteral(" niveles desde ") + c->ip + QStringLiteral(" (") + texto(bytes) +
                          QStringLiteral(" bytes): se cierra la conexión ") + texto(c->indice));
            return;
        }
        break;
    }
    if (c->cerrada || c->sinMas)
        return;
    if (!cuentaBytes(c))
        return;
    if (c->pendientes.size() >= size_t(kMaxPendientes))
        return;
    if (c->lector.vacio())
        c->inicioPeticion = -1;
    else if (c->inicioPeticion < 0)
        c->inicioPeticion = ahoraMs();
    if (!c->socket->finLectura()) {
        // The quiet time counts from the last arrival.
        if (llegaron && !c->lector.vacio())
            c->silencio = ahoraMs();
        c->socket->pausaLectura(false);
        return;
    }
    // The peer has sent all it will send: what it sent is handed over, whole requests first, then
    // the rest as it stands (an object it never closed too), as the quiet time would.
    c->silencio = -1;
    entregaResto(c);
    if (!c->atendiendo && !c->enviando && c->pendientes.empty()) {
        socket_Close(c);
        c->socket->aborta();
    }
    // Otherwise the connection is closed once its last reply has gone.
}

void frmComSocket::entregaResto(const ConexionPtr& c) {
    while (!c->cerrada && c->pendientes.size() < size_t(kMaxPendientes) && !c->lector.vacio()) {
        // A whole request first; then the rest, which the reader takes as it stands.
        const auto estado = c->lector.revisa();
        if (estado == trama::LectorPeticiones::Estado::Excedida || estado == trama::LectorPeticiones::Estado::Anidada) {
            terminaTrasCola(c);
            Log(QStringLiteral("Petición rechazada desde ") + c->ip + QStringLiteral(": se cierra la conexión ") +
                texto(c->indice));
            return;
        }
        const bool completa = estado == trama::LectorPeticiones::Estado::Completa;
        encola(c, c->lector.toma());
        if (!completa)
            break;
    }
    if (c->sinMas)
        return;
    c->inicioPeticion = c->lector.vacio() ? -1 : ahoraMs();
    cuentaBytes(c);
}

void frmComSocket::terminaTrasCola(const ConexionPtr& c) {
    // Settled before any trace line. The requests it closed before the fault are answered in order.
    c->sinMas = true;
    c->silencio = c->inicioPeticion = -1;
    c->lector = trama::LectorPeticiones();
    c->socket->pausaLectura(true);
    cuentaBytes(c);
    if (!c->atendiendo && !c->enviando && c->pendientes.empty())
        descargaElemento(c, true);
}

bool frmComSocket::cuentaBytes(const ConexionPtr& c) {
    qint64 n = 0;
    if (!c->cerrada) {
        n = c->lector.tamano() + c->socket->disponibles();
        for (const QByteArray& p : c->pendientes)
            n += p.size();
    }
    m_bytesRetenidos += n - c->retenidos;
    c->retenidos = n;
    if (c->cerrada || m_bytesRetenidos <= m_maxBytesRetenidos)
        return true;
    // Past the bound for every connection together: the connection that would pass it goes.
    const qint64 total = m_bytesRetenidos;
    ++m_cerradasPorMemoria;
    descargaElemento(c);
    Log(QStringLiteral("Peticiones sin atender: ") + texto(total) + QStringLiteral(" bytes, más de ") +
        texto(m_maxBytesRetenidos) + QStringLiteral("; se cierra la conexión ") + texto(c->indice) +
        QStringLiteral(" desde ") + c->ip + QStringLiteral(" (") + texto(n) + QStringLiteral(" bytes)"));
    return false;
}

void frmComSocket::socket_FinDelPar(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (!c->cerrada)
            alimenta(c);
    });
}

void frmComSocket::onBarrido() {
    // Memory the peers' requests held goes back to the system once they have gone.
    m_picoRetenidos = std::max(m_picoRetenidos, m_bytesRetenidos);
    if (m_picoRetenidos - m_bytesRetenidos >= kDevolverMemoria) {
        ::malloc_trim(0);
        m_picoRetenidos = m_bytesRetenidos;
    }
    if (m_socket.empty()) {
        m_barrido->stop();
        return;
    }
    const qint64 ahora = ahoraMs();
    std::vector<ConexionPtr> vencidas; // handlers may change the map: they run after the walk
    for (const auto& [indice, c] : m_socket) {
        const bool silencio =
            c->silencio >= 0 && ((c->lector.revisionPendiente() && ahora - c->silencio >= c->pausaRevision()) ||
                                 (c->lector.terminaConPausa() && ahora - c->silencio >= trama::kSilencioMs));
        const bool peticion = c->inicioPeticion >= 0 && ahora - c->inicioPeticion >= m_limitePeticionMs;
        const bool inactiva = ahora - c->actividad >= m_inactividadMs;
        if (silencio || peticion || inactiva)
            vencidas.push_back(c);
    }
    for (const ConexionPtr& c : vencidas)
        onSilencio(c);
}

void frmComSocket::onSilencio(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (c->cerrada)
            return;
        const qint64 ahora = ahoraMs();
        const bool llena = c->pendientes.size() >= size_t(kMaxPendientes);
        // While its queue is full the connection is not read: its time is not the peer's.
        if (c->inicioPeticion >= 0 && ahora - c->inicioPeticion >= m_limitePeticionMs && !llena &&
            c->lector.revisa() != trama::LectorPeticiones::Estado::Completa) {
            const qsizetype bytes = c->lector.tamano();
            descargaElemento(c);
            Log(QStringLiteral("Petición sin terminar tras ") + texto(m_limitePeticionMs / 1000) +
                QStringLiteral(" s desde ") + c->ip + QStringLiteral(" (") + texto(bytes) +
                QStringLiteral(" bytes): se cierra la conexión ") + texto(c->indice));
            return;
        }
        if (c->silencio >= 0 && !c->lector.vacio() && !llena) {
            if (c->lector.revisionPendiente() && ahora - c->silencio >= c->pausaRevision()) {
                // No pause ends an object (a lost segment or a till writing in pieces would run a ticket
                // cut short, answered ok); a pause only lets the reader be asked about a "}" that
                // its budget held back (the first time after one sweep step, then after the quiet
                // time: a peer that drips a "}" at a time costs the reader two readings a second).
                c->revisionesEnPausa++;
                c->lector.revisa();
                alimenta(c);
            } else if (c->lector.terminaConPausa() && ahora - c->silencio >= trama::kSilencioMs) {
                // A text that holds no object ("null", words) has nothing else to end it.
                c->silencio = -1;
                entregaResto(c);
            }
        } else if (c->silencio >= 0 && llena && ahora - c->silencio >= trama::kSilencioMs) {
            c->silencio = ahora;
        }
        if (ahora - c->actividad >= m_inactividadMs)
            onInactividad(c);
    });
}

void frmComSocket::onInactividad(const ConexionPtr& c) {
    if (c->cerrada)
        return;
    // A connection at work, or one its peer asked to keep, waits on.
    if (c->atendiendo || c->enviando || !c->pendientes.empty() || trama::esPersistente(c->Tag)) {
        c->actividad = ahoraMs();
        return;
    }
    descargaElemento(c);
    Log(QStringLiteral("Conexión ") + texto(c->indice) + QStringLiteral(" inactiva desde ") + c->ip +
        QStringLiteral(": se cierra"));
}

void frmComSocket::encola(const ConexionPtr& c, QByteArray peticion) {
    c->revisionesEnPausa = 0;
    // A short request of an address that holds a connection or two (a till) goes before those of
    // addresses that hold many: a flood of requests does not make a till wait behind it.
    const bool corta = peticion.size() <= kMaxPeticionCorta;
    (!corta ? m_largas : *c->delPar <= kPocasConexiones ? m_pocas : m_cortas).push_back(c);
    c->pendientes.push_back(std::move(peticion));
    // Handled from the event loop, not inside the socket's read: the request may wait (printing,
    // the scale), and the sockets are read again between two requests.
    if (!std::exchange(m_turnoPedido, true))
        QMetaObject::invokeMethod(this, &frmComSocket::siguienteTurno, Qt::QueuedConnection);
}

void frmComSocket::siguienteTurno() {
    m_turnoPedido = false;
    // Short requests go first, so that a ticket does not wait behind every large request of a
    // flood; a long one is still served after every few short ones.
    const bool cortas = !m_pocas.empty() || !m_cortas.empty();
    const bool larga = !m_largas.empty() && (!cortas || m_cortasSeguidas >= kCortasPorLarga);
    std::deque<ConexionPtr>& cola = larga ? m_largas : !m_pocas.empty() ? m_pocas : m_cortas;
    if (cola.empty())
        return;
    const ConexionPtr c = std::move(cola.front());
    cola.pop_front();
    m_cortasSeguidas = larga ? 0 : m_cortasSeguidas + 1;
    // One request per turn: the loop runs (reads, accepts) before the next.
    if (!m_pocas.empty() || !m_cortas.empty() || !m_largas.empty()) {
        m_turnoPedido = true;
        QMetaObject::invokeMethod(this, &frmComSocket::siguienteTurno, Qt::QueuedConnection);
    }
    atiendeSiguiente(c);
}

void frmComSocket::atiendeSiguiente(const ConexionPtr& c) {
    if (c->cerrada || c->atendiendo || c->enviando || c->pendientes.empty())
        return;
    const QByteArray bruto = std::move(c->pendientes.front());
    c->pendientes.pop_front();
    c->atendiendo = true;
    alimenta(c); // the queue has room again
    if (c->cerrada)
        return; // the bound on unanswered bytes closed it
    // Decoded and framed once: the text the classifier sees is the very text handed to Request, so
    // that the handler can reuse what the classifier read of it.
    const QString datos = cp1252::decode(bruto);
    trama::PeticionRecibida peticion = trama::analizaPeticion(datos);
    if (m_peticionExclusiva && m_peticionExclusiva(peticion.datos)) {
        c->enTurno = true;
        TurnoExclusivo::instancia().ejecuta(
            [ventana = QPointer<frmComSocket>(this), c, datos, peticion = std::move(peticion)] {
                c->enTurno = false;
                // A connection closed to make room while its request waited: that request never runs. (One
                // whose peer left meanwhile still prints: the kitchen needs the ticket all the same.)
                if (ventana && !c->desalojada)
                    ventana->atiende(c, datos, peticion);
                else
                    c->atendiendo = false;
            });
    } else {
        atiende(c, datos, peticion);
    }
}

void frmComSocket::atiende(const ConexionPtr& c, const QString& datos, const trama::PeticionRecibida& peticion) {
    struct Fin {
        Conexion* c;
        ~Fin() { c->atendiendo = false; }
    } fin{c.get()};
    auto responde = [&] {
        Log(QStringLiteral("Received: ") + trama::extracto(datos, kMaxTrazaTexto) + QStringLiteral(" from ") + c->ip +
            QStringLiteral("(") + m_strUltimoRequestID + QStringLiteral(")"));
        c->Tag = peticion.Tag;
        QString respuesta;
        emit Request(peticion.datos, respuesta);
        respuesta = trama::enmarcaRespuesta(peticion, respuesta);
        // The connection's state is settled before any trace line: with the installation switch a
        // trace line runs events, and the reply's completion may be handled inside it.
        c->atendiendo = false;
        if (c->cerrada) {
            // The peer left (or the window was unloaded) while the request ran.
            Log(QStringLiteral("Socket is closed"));
            return;
        }
        c->enviando = true;
        c->socket->escribe(cp1252::encode(respuesta));
        Log(QStringLiteral("Sending: ") + trama::extracto(respuesta, kMaxTrazaTexto) + QStringLiteral(" to ") + c->ip);
        Log(QStringLiteral("..."));
    };
    vb::OnError(responde, [&](const VBError& err) {
        ControlErrores(QStringLiteral("frmComSocket.socket_DataArrival"), true, err);
        // Nothing will answer this request: the peer learns it from the closed connection.
        descargaElemento(c);
    });
}

void frmComSocket::socket_SendProgress(const ConexionPtr& c, qint64 bytesSent) {
    Log(QStringLiteral("SendProgress, bytesSent:") + texto(bytesSent));
    if (c->enviando && !c->cerrada && c->socket->porEscribir() == 0)
        socket_SendComplete(c);
}

void frmComSocket::socket_SendComplete(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_SendComplete"), [&] {
        // Settled before the trace line, which may run events (see atiende).
        c->enviando = false;
        if (c->cerrada) {
            Log(QStringLiteral("Envio completo index:") + texto(c->indice));
            return;
        }
        c->actividad = ahoraMs();
        // A peer that has shut its side keeps the connection until its last request is answered.
        const bool masPeticiones = !c->pendientes.empty() || (!c->socket->finLectura() && !c->sinMas);
        if (trama::esPersistente(c->Tag) && masPeticiones) {
            Log(QStringLiteral("Envio completo index:") + texto(c->indice));
            atiendeSiguiente(c);
            return;
        }
        c->suelta();
        c->socket->cierraTrasEnvio();
        setEstadoSocket(c->indice, kClosed);
        quitaElemento(c);
        setEstadoSocket(c->indice, QString());
        Log(QStringLiteral("Envio completo index:") + texto(c->indice));
        trazaDescartadas(c);
    });
}

void frmComSocket::socket_Close(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_Close"), [&] {
        if (c->cerrada) {
            Log(QStringLiteral("Connection closed: ") + c->ip);
            return;
        }
        // Settled before the trace lines, which may run events.
        const qsizetype incompleta = c->lector.tamano();
        c->suelta();
        if (m_socket.count(c->indice) && m_socket[c->indice] == c)
            setEstadoSocket(c->indice, QString());
        quitaElemento(c);
        setEstadoSocket(c->indice, kClosed);
        Log(QStringLiteral("Connection closed: ") + c->ip);
        if (incompleta > 0)
            Log(QStringLiteral("Petición incompleta descartada (") + texto(incompleta) + QStringLiteral(" bytes)"));
    });
}

void frmComSocket::socket_Error(const ConexionPtr& c, const QString& descripcion) {
    Log(QStringLiteral("Error: ") + descripcion + QStringLiteral(", Index:") + texto(c->indice));
}

void frmComSocket::descargaElemento(const ConexionPtr& c, bool ordenada) {
    if (c->cerrada)
        return;
    c->suelta();
    if (ordenada)
        c->socket->cierraTrasEnvio();
    else
        c->socket->aborta();
    quitaElemento(c);
    setEstadoSocket(c->indice, kClosed);
}

void frmComSocket::trazaDescartadas(const ConexionPtr& c) {
    // What the peer sent behind the request just answered: the whole requests, and a last piece.
    c->lector.anade(c->socket->leeTodo());
    qint64 n = qint64(c->pendientes.size());
    while (c->lector.revisa() == trama::LectorPeticiones::Estado::Completa) {
        c->lector.toma();
        ++n;
    }
    if (!c->lector.vacio())
        ++n;
    if (n > 0)
        Log(texto(n) + (n == 1 ? QStringLiteral(" petición descartada") : QStringLiteral(" peticiones descartadas")) +
            QStringLiteral(" tras la última de la conexión ") + texto(c->indice) + QStringLiteral(" desde ") + c->ip +
            QStringLiteral(", que no pidió seguir abierta"));
}

void frmComSocket::quitaElemento(const ConexionPtr& c) {
    m_bytesRetenidos -= std::exchange(c->retenidos, 0);
    if (auto it = m_socket.find(c->indice); it != m_socket.end() && it->second == c) {
        m_socket.erase(it);
        if (auto p = m_porPar.find(c->ip); p != m_porPar.end() && --**p <= 0) {
            m_porPar.erase(p);
            m_parEnRechazo.remove(c->ip);
        }
    }
    m_intConexiones = qint16(m_socket.size());
    muestraConexiones();
}

void frmComSocket::muestraConexiones() {
    if (m_ventana)
        m_ventana->setConnectionsText(QStringLiteral("conexiones: ") + texto(m_intConexiones));
}

// ---- The informative operations ----

SocketWindowPort* frmComSocket::ventanaInformativa() {
    if (!m_ventana)
        m_ventana = makeSocketWindow();
    return m_ventana.get();
}

void frmComSocket::abrirFormularioInformativoUsuarioNoModalSiempreVisible() {
    AtrapaErrores(QStringLiteral("frmComSocket.abrirFormularioInformativoUsuarioNoModalSiempreVisible"), [&] {
        if (ventanaInformativa())
            m_ventana->openInformative();
    });
}

void frmComSocket::ocultarFormulario() {
    if (m_ventana)
        m_ventana->hideWindow();
}

void frmComSocket::mostrarTexto(const QString& strTexto) {
    AtrapaErrores(QStringLiteral("frmComSocket.mostrarTexto"), [&] {
        if (ventanaInformativa())
            m_ventana->setText(strTexto);
    });
}

void frmComSocket::mostrarTextoLabel(const QString& strTexto) {
    AtrapaErrores(QStringLiteral("frmComSocket.mostrarTextoLabel"), [&] {
        if (ventanaInformativa())
            m_ventana->setStatusText(strTexto);
    });
}

bool frmComSocket::blnCanceladoPorUsuario() const {
    return m_ventana && m_ventana->cancelled();
}
