// The outgoing TCP client of the communication window: one connection to another program that
// speaks the same protocol, one request text out, the reply gathered into an entity.
//
// Every operation waits for its condition on a monotonic deadline while events run (program::
// waitWhile), so the socket's own events arrive inside the waits and so do other requests to this
// program's server. The client reads every byte that arrives, also together with or after the
// peer's close. A non-persistent reply is complete when its JSON object closes (or the peer closes
// the connection); a persistent one when the end marker has come, wherever it lies in the text.
//
// A peer that resets the connection raises the error event (Winsock's 10054 and the platform's
// description) and leaves the error state, not the closing one; a refused connection or an unknown
// host ends the connect at once with its own message, number and description, not the time-out's.
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "server/TramaPeticion.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"

#include <QTcpSocket>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kSinConexion =
    QStringLiteral("Wrong protocol or connection state for the requested transaction or request");
// The end marker between two zero characters, as the server side frames it.
const QString kMarcaFin = QChar(0) + trama::kMarcaFin + QChar(0);

// Winsock's numbers for the socket errors it reports.
int numeroWinsock(QAbstractSocket::SocketError e) {
    switch (e) {
    case QAbstractSocket::ConnectionRefusedError:
        return vb::err::WinsockConnectionRefused;
    case QAbstractSocket::SocketTimeoutError:
        return vb::err::WinsockTimedOut;
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::NetworkError:
        return vb::err::WinsockConnectionReset;
    case QAbstractSocket::HostNotFoundError:
        return vb::err::WinsockHostNotFound;
    case QAbstractSocket::SocketAccessError:
        return vb::err::WinsockAccessDenied;
    case QAbstractSocket::SocketResourceError:
        return vb::err::WinsockNoBufferSpace;
    case QAbstractSocket::AddressInUseError:
        return vb::err::WinsockAddressInUse;
    default:
        return vb::err::WinsockConnectionAborted;
    }
}

// True when `t`, from its first "{", holds a whole JSON object, by the JSON reader's own grammar
// (the one the request framing follows).
bool objetoJsonCompleto(QStringView t) {
    const qsizetype inicio = t.indexOf(u'{');
    return inicio >= 0 && clsJSON::finDeObjeto(t.mid(inicio)) > 0;
}

QString entero(qint64 n) {
    return QString::number(n);
}

} // namespace

class frmComSocket::Cliente final : public QObject {
public:
    Cliente() {
        socketCliente.setParent(this);
        connect(&socketCliente, &QTcpSocket::connected, this, &Cliente::socketCliente_Connect);
        connect(&socketCliente, &QTcpSocket::readyRead, this, &Cliente::socketCliente_DataArrival);
        connect(&socketCliente, &QTcpSocket::disconnected, this, &Cliente::socketCliente_Close);
        connect(&socketCliente, &QTcpSocket::errorOccurred, this, &Cliente::socketCliente_Error);
    }
    ~Cliente() override { sueltaCopia(); }
    Cliente(const Cliente&) = delete;
    Cliente& operator=(const Cliente&) = delete;

    int estado() const {
        if (cerradoPorPar)
            return sckClosing;
        if (conError)
            return sckError;
        switch (socketCliente.state()) {
        case QAbstractSocket::HostLookupState:
            return sckResolvingHost;
        case QAbstractSocket::ConnectingState:
            return sckConnecting;
        case QAbstractSocket::ConnectedState:
            return sckConnected;
        default:
            return sckClosed;
        }
    }
    bool conectando() const {
        const int e = estado();
        return e >= sckResolvingHost && e <= sckConnecting;
    }
    // Our own close: the control is closed (0) until the next connect.
    void cierra() {
        cerrando = true;
        socketCliente.abort();
        cerrando = false;
        cerradoPorPar = conError = false;
        sueltaCopia();
    }

    // Qt reads a reset as the peer's close and closes its descriptor at once. A second descriptor
    // of the connection keeps it, so the close can be told from a reset: after the peer's close the
    // connection waits for ours (CLOSE_WAIT); a reset has ended it (CLOSE).
    void guardaCopia() {
        sueltaCopia();
        if (const qintptr d = socketCliente.socketDescriptor(); d >= 0)
            copiaDescriptor = ::fcntl(int(d), F_DUPFD_CLOEXEC, 0);
    }
    void sueltaCopia() {
        if (copiaDescriptor >= 0)
            ::close(copiaDescriptor);
        copiaDescriptor = -1;
    }
    bool reiniciadaPorPar() const {
        tcp_info info{};
        socklen_t largo = sizeof info;
        return copiaDescriptor >= 0 && ::getsockopt(copiaDescriptor, IPPROTO_TCP, TCP_INFO, &info, &largo) == 0 &&
               info.tcpi_state == TCP_CLOSE;
    }
    bool respuestaCompleta() const { return blnConexionPersistente ? !blnEsperandoFinConexion : objetoRecibido; }

    void socketCliente_Connect() {
        guardaCopia();
        socketClienteConectado = true;
    }

    void socketCliente_DataArrival() {
        if (!socketCliente.isReadable())
            return;
        const QByteArray bytes = socketCliente.readAll();
        if (bytes.isEmpty())
            return;
        const QString datos = cp1252::decode(bytes);
        if (!socketClienteCmd) {
            GrabaLog(QStringLiteral("frmComSocket.socketCliente_DataArrival. Datos sin envío pendiente: ") +
                     datos.left(200));
            return;
        }
        vb::OnError(
            [&] {
                socketClienteCmd->Propiedad(QStringLiteral("respuesta_recibida"), QStringLiteral("S"));
                recibidoEnvio += datos;
                // Asked once per arrival that brings a "}", not on every pass of the wait.
                if (!objetoRecibido && datos.contains(u'}'))
                    objetoRecibido = objetoJsonCompleto(recibidoEnvio);
                const Variant anterior = socketClienteCmd->Valor(QStringLiteral("respuesta"));
                QString respuesta = vb::CStr(anterior);
                if (respuesta.compare(QLatin1String("#ERROR#"), Qt::CaseInsensitive) == 0)
                    respuesta = datos;
                else
                    respuesta += datos;
                if (blnConexionPersistente) {
                    const qsizetype i = respuesta.indexOf(kMarcaFin, 0, Qt::CaseInsensitive);
                    if (i >= 0) {
                        respuesta.remove(i, kMarcaFin.size());
                        blnEsperandoFinConexion = false;
                    }
                }
                socketClienteCmd->Propiedad(QStringLiteral("respuesta"), respuesta);
                blnRespuestaRecibida = true;
            },
            [&](const VBError& err) {
                const QString texto = QStringLiteral("frmComSocket.socket_DataArrival. ") + err.description();
                socketClienteCmd->Propiedad(QStringLiteral("error"), texto);
                socketClienteCmd->Propiedad(QStringLiteral("error_number"), err.number());
                socketClienteConectado = false;
                MensajeUsuario(texto);
            });
    }

    void socketCliente_Close() {
        if (cerrando)
            return;
        // What came with the close is still the reply's.
        socketCliente_DataArrival();
        if (!conError) // a reset stays an error
            cerradoPorPar = true;
        socketClienteConectado = false;
        sueltaCopia();
    }

    void socketCliente_Error(QAbstractSocket::SocketError e) {
        if (cerrando)
            return;
        qint16 numero = 0;
        QString descripcion;
        if (e == QAbstractSocket::RemoteHostClosedError) {
            if (!reiniciadaPorPar())
                return; // the close that follows is the peer's close
            numero = qint16(vb::err::WinsockConnectionReset);
            descripcion = QString::fromLocal8Bit(std::strerror(ECONNRESET));
        } else {
            numero = qint16(numeroWinsock(e));
            descripcion = socketCliente.errorString();
        }
        AtrapaErrores(QStringLiteral("frmComSocket.socket_Error"), [&] {
            socketCliente_DataArrival();
            conError = true;
            ultimoError = {numero, descripcion};
            if (socketClienteCmd) {
                socketClienteCmd->Propiedad(QStringLiteral("error"), descripcion);
                socketClienteCmd->Propiedad(QStringLiteral("socket_error_number"), numero);
                socketClienteCmd->Propiedad(QStringLiteral("socket_error_source"), QStringLiteral("Winsock"));
            }
        });
        socketClienteConectado = false;
    }

    QTcpSocket socketCliente;
    vb::EntidadPtr socketClienteCmd;
    QString recibidoEnvio;       // the reply text of the current send
    bool objetoRecibido = false; // it holds a whole JSON object
    bool socketClienteConectado = false;
    bool blnRespuestaRecibida = false;
    bool blnEsperandoFinConexion = false;
    bool blnConexionPersistente = false;
    bool cerradoPorPar = false; // the peer closed, and we have not closed since
    bool conError = false;      // the socket reported an error, and we have not closed since
    bool cerrando = false;      // our own close is under way
    int copiaDescriptor = -1;   // our own descriptor of the connection (see guardaCopia)
    struct {
        qint16 numero = 0;
        QString descripcion;
    } ultimoError; // of the last error event
};

frmComSocket::Cliente& frmComSocket::cliente() {
    if (!m_cliente)
        m_cliente = std::make_shared<Cliente>();
    return *m_cliente;
}

bool frmComSocket::socketClienteConectado() const {
    return m_cliente && m_cliente->socketClienteConectado;
}

vb::EntidadPtr frmComSocket::socketClienteCmd() const {
    return m_cliente ? m_cliente->socketClienteCmd : nullptr;
}

int frmComSocket::estadoSocketCliente() const {
    return m_cliente ? m_cliente->estado() : sckClosed;
}

bool frmComSocket::SocketClienteConectar(const QString& strIp, const QString& strPuerto, qint16 segundos_timeout,
                                         QString* strMensajeError) {
    Cliente& c = cliente();
    auto mensaje = [&](const QString& texto) {
        if (strMensajeError)
            *strMensajeError = texto;
    };
    AtrapaErrores(QStringLiteral("frmComSocket.SocketClienteConectar"), [&] {
        c.blnRespuestaRecibida = false;
        c.socketClienteConectado = c.estado() == sckConnected;
        if (c.socketClienteConectado)
            return;
        const int estado = c.estado();
        if (estado == sckError || estado == sckClosing) {
            GrabaLogBBDD(QStringLiteral("frmComSocket.SocketClienteConectar. Cerrar socket cliente (estado: ") +
                         entero(estado) + QStringLiteral(")"));
            mensaje(TraduceLiteral(
                        QStringLiteral("El socket de conexión está en estado Error o Peer is closing the connection")) +
                    QStringLiteral(" (") + entero(estado) + QStringLiteral(")"));
            c.cierra();
        }
        if (c.conectando()) {
            GrabaLogBBDD(QStringLiteral("frmComSocket.SocketClienteConectar. Socket cliente en estado conectando "
                                        "(estado: ") +
                         entero(c.estado()) + QStringLiteral(")"));
            program::waitWhile([&] { return c.conectando(); }, 1000);
            if (c.conectando()) {
                mensaje(TraduceLiteral(QStringLiteral("Timeout en la conexión con el socket del cliente (estado")) +
                        QStringLiteral(" ") + entero(c.estado()) + QStringLiteral(")"));
                c.cierra();
            } else if (c.estado() == sckConnected) {
                c.socketClienteConectado = true;
                return;
            }
        }
        const qint32 puerto = vb::CLng(Variant(strPuerto));
        if (puerto < 0 || puerto > 65535)
            vb::Raise(vb::err::Overflow);
        c.socketCliente.connectToHost(strIp, quint16(puerto));
        // A refused connection or an unknown host ends the wait at once, and says so.
        program::waitWhile([&] { return !c.socketClienteConectado && !c.conError && c.conectando(); },
                           qint64(segundos_timeout) * 1000);
        if (!c.socketClienteConectado && c.conError) {
            const QString error = entero(c.ultimoError.numero) + QStringLiteral(": ") + c.ultimoError.descripcion;
            GrabaLogBBDD(QStringLiteral("frmComSocket.SocketClienteConectar. Error de conexión (") + error +
                         QStringLiteral(")"));
            mensaje(TraduceLiteral(QStringLiteral("Error en la conexión")) + QStringLiteral(" (") + error +
                    QStringLiteral(")"));
        } else if (!c.socketClienteConectado) {
            GrabaLogBBDD(QStringLiteral("frmComSocket.SocketClienteConectar. Error de timeout (") +
                         entero(segundos_timeout) + QStringLiteral(")"));
            mensaje(TraduceLiteral(QStringLiteral("Timeout en la conexión ")) + QStringLiteral(" (") +
                    entero(segundos_timeout) + QStringLiteral("s)"));
        }
    });
    return c.socketClienteConectado;
}

bool frmComSocket::SocketClienteEnviarDatos(const QString& strData, vb::EntidadPtr& eResultado, qint16 segundos_timeout,
                                            bool blnUsarConexionPersistente) {
    Cliente& c = cliente();
    bool ok = false;
    AtrapaErrores(QStringLiteral("frmComSocket.SocketClienteEnviarDatos"), [&] {
        c.blnRespuestaRecibida = false;
        c.blnEsperandoFinConexion = true;
        c.recibidoEnvio.clear();
        c.objetoRecibido = false;
        if (!eResultado)
            eResultado = std::make_shared<vb::entidadGenerica>();
        c.socketClienteCmd = eResultado;
        eResultado->Propiedad(QStringLiteral("respuesta_recibida"), QStringLiteral("N"));
        eResultado->Propiedad(QStringLiteral("error"), QString());
        // A send on a connection that is not there fails as the send, not as a lost database link.
        if (c.estado() == sckConnected && c.socketCliente.write(cp1252::encode(strData)) >= 0)
            ok = SocketClienteEsperaRespuesta(segundos_timeout, blnUsarConexionPersistente);
        else
            eResultado->Propiedad(QStringLiteral("error"), kSinConexion);
        eResultado->Propiedad(QStringLiteral("ok"), ok);
        if (!ok && vb::CStr(eResultado->Valor(QStringLiteral("error"))).isEmpty())
            eResultado->Propiedad(QStringLiteral("error"), QStringLiteral("Error de timeout"));
    });
    return ok;
}

bool frmComSocket::SocketClienteEsperaRespuesta(qint16 segundos_timeout, bool blnUsarConexionPersistente) {
    Cliente& c = cliente();
    AtrapaErrores(QStringLiteral("frmComSocket.SocketClienteEsperaRespuesta"), [&] {
        c.blnConexionPersistente = blnUsarConexionPersistente;
        // Ends when the reply is whole, when the connection goes (the peer's close or an error), or at
        // the limit.
        program::waitWhile([&] { return c.socketClienteConectado && !c.respuestaCompleta(); },
                           qint64(segundos_timeout) * 1000);
    });
    return c.blnRespuestaRecibida;
}

void frmComSocket::SocketClienteCerrarConexion() {
    if (!m_cliente)
        return;
    m_cliente->socketClienteConectado = false;
    m_cliente->cierra();
}
