#include "frmComSocket.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "server/ConexionTcp.h"
#include "server/SocketWindowPort.h"
#include "server/TurnoExclusivo.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTimer>
#include <deque>
#include <sys/socket.h>
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

// The listening element: hands every accepted descriptor over at once, so that the connection is
// read and written by ConexionTcp and no QTcpSocket ever owns it.
class ServidorEscucha final : public QTcpServer {
public:
    ServidorEscucha(QObject* parent, std::function<void(qintptr)> alAceptar)
        : QTcpServer(parent), m_alAceptar(std::move(alAceptar)) {
        // Bursts of tills connecting at once must not wait for the accept queue.
        setListenBacklogSize(SOMAXCONN);
    }

protected:
    void incomingConnection(qintptr descriptor) override { m_alAceptar(descriptor); }

private:
    std::function<void(qintptr)> m_alAceptar;
};

} // namespace

// One accepted connection: its socket, the bytes gathered towards the next request, the requests
// waiting their turn on this connection, and the persistence of the exchange in progress.
class frmComSocket::Conexion final : public QObject, public std::enable_shared_from_this<frmComSocket::Conexion> {
public:
    Conexion(frmComSocket* ventana, ConexionTcp* s, qint16 i, int inactividadMs)
        : socket(s), indice(i), m_ventana(ventana) {
        socket->setParent(this);
        ip = direccion(socket->direccionPar());
        silencio.setSingleShot(true);
        silencio.setInterval(trama::kSilencioMs);
        inactividad.setSingleShot(true);
        inactividad.setInterval(inactividadMs);
        inactividad.start();
        connect(socket, &ConexionTcp::datosLlegados, this, &Conexion::onReadyRead);
        connect(socket, &ConexionTcp::escritos, this, &Conexion::onBytesWritten);
        connect(socket, &ConexionTcp::finDelPar, this, &Conexion::onFinDelPar);
        connect(socket, &ConexionTcp::cerrada, this, &Conexion::onDisconnected);
        connect(socket, &ConexionTcp::error, this, &Conexion::onErrorOccurred);
        connect(&silencio, &QTimer::timeout, this, &Conexion::onSilencio);
        connect(&inactividad, &QTimer::timeout, this, &Conexion::onInactividad);
    }
    // Stops every notification; the socket is closed by the caller.
    void suelta() {
        cerrada = true;
        silencio.stop();
        inactividad.stop();
        QObject::disconnect(socket, nullptr, this, nullptr);
    }

    ConexionTcp* socket;
    const qint16 indice;
    QString ip;
    QTimer silencio;
    QTimer inactividad; // restarted by every arrival
    trama::LectorPeticiones lector;
    std::deque<QByteArray> pendientes;
    QString Tag;
    bool atendiendo = false; // a request of this connection is being handled (or waits for the turn)
    bool enviando = false;   // its reply is being written
    bool cerrada = false;    // closed and unloaded

private:
    // Every entry point holds the connection, so it outlives whatever runs nested inside.
    void onReadyRead() {
        if (m_ventana)
            m_ventana->socket_DataArrival(shared_from_this());
    }
    void onBytesWritten(qint64 n) {
        if (m_ventana)
            m_ventana->socket_SendProgress(shared_from_this(), n);
    }
    void onDisconnected() {
        if (m_ventana)
            m_ventana->socket_Close(shared_from_this());
    }
    void onFinDelPar() {
        if (m_ventana)
            m_ventana->socket_FinDelPar(shared_from_this());
    }
    void onErrorOccurred(const QString& descripcion) {
        if (m_ventana)
            m_ventana->socket_Error(shared_from_this(), descripcion);
    }
    void onSilencio() {
        if (m_ventana)
            m_ventana->onSilencio(shared_from_this());
    }
    void onInactividad() {
        if (m_ventana)
            m_ventana->onInactividad(shared_from_this());
    }

    QPointer<frmComSocket> m_ventana;
};

frmComSocket::frmComSocket(QObject* parent) : QObject(parent) {}

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
    return m_servidor && m_servidor->isListening() ? m_servidor->serverPort() : 0;
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
        if (!m_servidor)
            m_servidor = new ServidorEscucha(this, [this](qintptr d) { onConnectionRequest(d); });
        if (!m_servidor->listen(QHostAddress::Any, quint16(Puerto))) {
            const bool ocupado = m_servidor->serverError() == QAbstractSocket::AddressInUseError;
            throw VBError(ocupado ? vb::err::WinsockAddressInUse : vb::err::WinsockAccessDenied,
                          m_servidor->errorString(), QStringLiteral("frmComSocket"));
        }
        if (Puerto == 0) {
            Puerto = m_servidor->serverPort();
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
        m_servidor->close();
    const auto elementos = m_socket; // descargaElemento changes the map
    for (const auto& [indice, c] : elementos)
        descargaElemento(c);
}

void frmComSocket::onConnectionRequest(qintptr descriptor) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_ConnectionRequest"), [&] {
        const QString requestID = texto(qint64(descriptor));
        Log(QStringLiteral("Connection request id ") + requestID + QStringLiteral(" from ") +
            direccion(ConexionTcp::direccionDe(descriptor)));
        m_strUltimoRequestID = requestID;
        // The lowest index that no open connection holds: the limit is what is open, not what was.
        int n = 1;
        for (auto it = m_socket.begin(); it != m_socket.end() && it->first == n; ++it)
            ++n;
        if (int(m_socket.size()) >= m_maxConexiones || n > kMaxConexiones) {
            ::close(int(descriptor));
            Log(QStringLiteral("Conexión rechazada: ") + texto(qint64(m_socket.size())) +
                QStringLiteral(" conexiones abiertas, request id ") + requestID);
            return;
        }
        // The element is taken before any trace line: a trace line may let other events run.
        // Its socket is watched from here on: nothing that arrives can be missed.
        auto c = ConexionPtr(new Conexion(this, new ConexionTcp(descriptor), qint16(n), m_inactividadMs),
                             [](Conexion* p) { p->deleteLater(); });
        m_socket[qint16(n)] = c;
        setEstadoSocket(qint16(n), kCreado);
        m_intConexiones = qint16(m_socket.size());
        muestraConexiones();
        Log(QStringLiteral("Creado socket nuevo ") + texto(n) + QStringLiteral(", resquestID:") + requestID);
    });
}

void frmComSocket::socket_DataArrival(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (c->cerrada || !c->socket->abierta())
            return;
        setEstadoSocket(c->indice, kDataArrival);
        c->inactividad.start();
        alimenta(c);
    });
}

void frmComSocket::alimenta(const ConexionPtr& c) {
    bool llegaron = false;
    while (!c->cerrada) {
        if (c->pendientes.size() >= size_t(kMaxPendientes)) {
            c->socket->pausaLectura(true);
            return;
        }
        trama::LectorPeticiones::Estado estado = c->lector.estado();
        if (estado != trama::LectorPeticiones::Estado::Completa && c->socket->disponibles() > 0) {
            llegaron = true;
            estado = c->lector.anade(c->socket->leeTodo());
        }
        if (estado == trama::LectorPeticiones::Estado::Completa) {
            c->silencio.stop();
            encola(c, c->lector.toma());
            continue;
        }
        if (estado == trama::LectorPeticiones::Estado::Excedida) {
            Log(QStringLiteral("Petición de más de ") + texto(trama::kMaxPeticion) + QStringLiteral(" bytes desde ") +
                c->ip + QStringLiteral(": se cierra la conexión ") + texto(c->indice));
            descargaElemento(c);
        }
        break;
    }
    if (c->cerrada)
        return;
    if (!c->socket->finLectura()) {
        // The quiet time counts from the last arrival.
        if (llegaron && !c->lector.vacio())
            c->silencio.start();
        c->socket->pausaLectura(false);
        return;
    }
    // The peer has sent all it will send.
    c->silencio.stop();
    if (c->lector.objetoAbierto()) {
        // It stopped in the middle of an object: nothing of it is run.
        Log(QStringLiteral("Petición incompleta descartada (") + texto(c->lector.tamano()) + QStringLiteral(" bytes)"));
        c->lector.toma();
    } else if (!c->lector.vacio()) {
        // A text without an object ends here, as it would after the quiet time.
        encola(c, c->lector.toma());
    }
    if (!c->atendiendo && !c->enviando && c->pendientes.empty()) {
        socket_Close(c);
        c->socket->aborta();
    }
    // Otherwise the connection is closed once its last reply has gone.
}

void frmComSocket::socket_FinDelPar(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (!c->cerrada)
            alimenta(c);
    });
}

void frmComSocket::onSilencio(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (c->cerrada || c->lector.vacio())
            return;
        if (c->pendientes.size() >= size_t(kMaxPendientes))
            c->silencio.start();
        else
            encola(c, c->lector.toma());
    });
}

void frmComSocket::onInactividad(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_DataArrival"), [&] {
        if (c->cerrada)
            return;
        // A connection at work, or one its peer asked to keep, waits on.
        if (c->atendiendo || c->enviando || !c->pendientes.empty() || trama::esPersistente(c->Tag)) {
            c->inactividad.start();
            return;
        }
        Log(QStringLiteral("Conexión ") + texto(c->indice) + QStringLiteral(" inactiva desde ") + c->ip +
            QStringLiteral(": se cierra"));
        descargaElemento(c);
    });
}

void frmComSocket::encola(const ConexionPtr& c, QByteArray peticion) {
    c->pendientes.push_back(std::move(peticion));
    // Handled from the event loop, not inside the socket's readyRead: the socket does not signal
    // readyRead again while that handler runs, and the request may wait (printing, the scale).
    QMetaObject::invokeMethod(
        this, [this, c] { atiendeSiguiente(c); }, Qt::QueuedConnection);
}

void frmComSocket::atiendeSiguiente(const ConexionPtr& c) {
    if (c->cerrada || c->atendiendo || c->enviando || c->pendientes.empty())
        return;
    const QByteArray bruto = std::move(c->pendientes.front());
    c->pendientes.pop_front();
    c->atendiendo = true;
    alimenta(c); // the queue has room again
    if (m_peticionExclusiva && m_peticionExclusiva(trama::analizaPeticion(cp1252::decode(bruto)).datos)) {
        TurnoExclusivo::instancia().ejecuta([ventana = QPointer<frmComSocket>(this), c, bruto] {
            if (ventana)
                ventana->atiende(c, bruto);
            else
                c->atendiendo = false;
        });
    } else {
        atiende(c, bruto);
    }
}

void frmComSocket::atiende(const ConexionPtr& c, const QByteArray& bruto) {
    struct Fin {
        Conexion* c;
        ~Fin() { c->atendiendo = false; }
    } fin{c.get()};
    auto responde = [&] {
        const QString datos = cp1252::decode(bruto);
        Log(QStringLiteral("Received: ") + trama::extracto(datos, kMaxTrazaTexto) + QStringLiteral(" from ") + c->ip +
            QStringLiteral("(") + m_strUltimoRequestID + QStringLiteral(")"));
        const trama::PeticionRecibida peticion = trama::analizaPeticion(datos);
        c->Tag = peticion.Tag;
        QString respuesta;
        emit Request(peticion.datos, respuesta);
        respuesta = trama::enmarcaRespuesta(peticion, respuesta);
        if (c->cerrada) {
            // The peer left (or the window was unloaded) while the request ran.
            Log(QStringLiteral("Socket is closed"));
            return;
        }
        Log(QStringLiteral("Sending: ") + trama::extracto(respuesta, kMaxTrazaTexto) + QStringLiteral(" to ") + c->ip);
        c->enviando = true;
        c->socket->escribe(cp1252::encode(respuesta));
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
        Log(QStringLiteral("Envio completo index:") + texto(c->indice));
        c->enviando = false;
        if (c->cerrada)
            return;
        c->inactividad.start();
        // A peer that has shut its side keeps the connection until its last request is answered.
        const bool masPeticiones = !c->pendientes.empty() || !c->socket->finLectura();
        if (trama::esPersistente(c->Tag) && masPeticiones) {
            atiendeSiguiente(c);
            return;
        }
        c->suelta();
        c->socket->cierraTrasEnvio();
        setEstadoSocket(c->indice, kClosed);
        quitaElemento(c);
        setEstadoSocket(c->indice, QString());
    });
}

void frmComSocket::socket_Close(const ConexionPtr& c) {
    AtrapaErrores(QStringLiteral("frmComSocket.socket_Close"), [&] {
        Log(QStringLiteral("Connection closed: ") + c->ip);
        if (c->cerrada)
            return;
        if (!c->lector.vacio())
            Log(QStringLiteral("Petición incompleta descartada (") + texto(c->lector.tamano()) +
                QStringLiteral(" bytes)"));
        c->suelta();
        if (m_socket.count(c->indice) && m_socket[c->indice] == c)
            setEstadoSocket(c->indice, QString());
        quitaElemento(c);
        setEstadoSocket(c->indice, kClosed);
    });
}

void frmComSocket::socket_Error(const ConexionPtr& c, const QString& descripcion) {
    Log(QStringLiteral("Error: ") + descripcion + QStringLiteral(", Index:") + texto(c->indice));
}

void frmComSocket::descargaElemento(const ConexionPtr& c) {
    if (c->cerrada)
        return;
    c->suelta();
    c->socket->aborta();
    quitaElemento(c);
    setEstadoSocket(c->indice, kClosed);
}

void frmComSocket::quitaElemento(const ConexionPtr& c) {
    if (auto it = m_socket.find(c->indice); it != m_socket.end() && it->second == c)
        m_socket.erase(it);
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
