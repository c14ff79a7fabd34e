// The transport: send, progress texts, watchdog, cancel and retry, and the hand-over of the reply.
#include "backoffice/frmComInternet.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTimer>
#include <cmath>
#include <optional>

namespace {

// The encoding named by a leading byte-order mark.
std::optional<QStringConverter::Encoding> codificacionBom(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringConverter::Utf8;
    if (bytes.startsWith(QByteArray("\xFF\xFE\0\0", 4)))
        return QStringConverter::Utf32LE;
    if (bytes.startsWith(QByteArray("\0\0\xFE\xFF", 4)))
        return QStringConverter::Utf32BE;
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

// The text by a named charset; Windows-1252 for no name, that name, or one the platform does not know.
QString decodificaCon(const QByteArray& bytes, const QString& nombre) {
    const QString charset = nombre.toLower();
    if (charset.isEmpty() || charset == QLatin1String("windows-1252") || charset == QLatin1String("cp1252"))
        return cp1252::decode(bytes);
    // Unmarked UTF-16 and UTF-32 are big-endian (a mark would have been read before a name).
    if (charset == QLatin1String("utf-16") || charset == QLatin1String("utf16"))
        return QStringDecoder(QStringConverter::Utf16BE).decode(bytes);
    if (charset == QLatin1String("utf-32") || charset == QLatin1String("utf32"))
        return QStringDecoder(QStringConverter::Utf32BE).decode(bytes);
    QStringDecoder dec(charset.toLatin1().constData());
    return dec.isValid() ? QString(dec.decode(bytes)) : cp1252::decode(bytes);
}

qint32 redondea(double v) {
    return qint32(std::nearbyint(v)); // half to even, as the default rounding mode does
}

// The time limit a request takes from SegundosTimeOut: 0 means 20.
double segundosTimeOut(double pedidos) {
    if (pedidos == 0)
        return 20;
    // A negative limit used to remove the watchdog and the modal wait's bound, and one past the
    // timer's range to disable it: both ends are bounded.
    if (std::isnan(pedidos) || pedidos < 0)
        return 20;
    return std::min(pedidos, frmComInternet::kSegundosTimeOutMax);
}

} // namespace

QString frmComInternet::TextoRespuesta(const QByteArray& bytes, const QString& contentType) {
    if (const auto bom = codificacionBom(bytes)) {
        QStringDecoder dec(*bom); // the mark itself is dropped
        return dec.decode(bytes);
    }
    static const QRegularExpression cabecera(QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    QString charset = cabecera.match(contentType).captured(1);
    if (charset.isEmpty()) {
        // An XML document may name its own encoding in its declaration.
        static const QRegularExpression declaracion(
            QStringLiteral("^\\s*<\\?xml\\s[^>]*?encoding\\s*=\\s*[\"']([A-Za-z0-9._:-]+)[\"']"));
        charset = declaracion.match(QString::fromLatin1(bytes.left(200))).captured(1);
    }
    return decodificaCon(bytes, charset);
}

void frmComInternet::avisaSinCp1252(const QString& texto, const QString& campo) {
    for (const QChar c : texto) {
        if (cp1252::byteFor(c) < 0) {
            GrabaLog(QStringLiteral("frmComInternet: el campo %1 lleva caracteres que Windows-1252 no tiene; se "
                                    "envían como \"?\"")
                         .arg(campo));
            return;
        }
    }
}

frmComInternet::frmComInternet(QObject* parent) : QObject(parent) {
    m_inet = new QNetworkAccessManager(this);
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(10000);
    connect(Timer1, &QTimer::timeout, this, &frmComInternet::Timer1_Timer);
    m_ventana = makeComInternetWindow(*this);
    Datos = std::make_shared<vb::coleccionGenerica>();
    Columnas = std::make_shared<coleccionColumnas>();
}

frmComInternet::~frmComInternet() {
    Timer1->stop();
    abandonaTransferencia();
    if (m_da)
        m_da->Cerrar();
}

coleccionTextos& frmComInternet::Variables() {
    if (!m_variables)
        m_variables = std::make_unique<coleccionTextos>();
    return *m_variables;
}

vb::Collection& frmComInternet::colComandosSQL_AntesImportar() {
    if (!m_comandosAntes)
        m_comandosAntes = std::make_shared<vb::Collection>();
    return *m_comandosAntes;
}

accesoDatos& frmComInternet::da() {
    if (!m_da) {
        m_da = std::make_unique<accesoDatos>();
        m_da->setConexion(&ConexionServidor());
    }
    return *m_da;
}

void frmComInternet::estado(const QString& texto) {
    if (m_ventana)
        m_ventana->setStatusText(texto);
}

void frmComInternet::oculta() {
    if (m_ventana)
        m_ventana->hideWindow();
}

void frmComInternet::AbreURL(const QString& URL, const QString& strDatosEnviar, qint32 tipo, const QString& strHeader,
                             const QString& TipoOperacion) {
    if (gblnGrabarLogDetallado)
        GrabaLogBBDD(QStringLiteral("frmComInternet.AbreURL URL: ") + URL + QStringLiteral(", strDatosEnviar: ") +
                     strDatosEnviar);
    esperaTransferenciaEnCurso(); // the earlier reply is read in the mode its own caller asked for
    TipoResultado = tipo;
    m_peticion = {URL, strDatosEnviar, strHeader, TipoOperacion.isEmpty() ? QStringLiteral("POST") : TipoOperacion};
    Resultado.clear();
    estado(QStringLiteral("Accediendo a Internet"));
    if (m_ventana)
        m_ventana->setCaption(QStringLiteral("Accediendo a Internet"));
    GrabaLog(QStringLiteral("AbreURL: ") + URL);
    EjecutaPeticion();
}

void frmComInternet::esperaTransferenciaEnCurso() {
    // A transfer still under way gets until its watchdog; after that it is dropped.
    if (m_reply) {
        program::waitWhile([this] { return !m_reply.isNull(); }, limiteEsperaMs());
        abandonaTransferencia();
    }
}

qint64 frmComInternet::limiteEsperaMs() const {
    return qint64((segundosTimeOut(SegundosTimeOut) + 2) * 1000);
}

void frmComInternet::EjecutaPeticion() {
    esperaTransferenciaEnCurso();
    Ocupado = true;
    Resultado.clear();
    blnOk = false;
    blnError = false;
    Datos = std::make_shared<vb::coleccionGenerica>(); // a failed request must not be judged on older data
    m_bytes.clear();

    QNetworkRequest req{QUrl(m_peticion.url)};
    bool conTipo = false;
    for (const QString& linea :
         m_peticion.cabecera.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)) {
        const qsizetype dp = linea.indexOf(QLatin1Char(':'));
        const QString nombre = linea.left(dp).trimmed();
        if (dp <= 0 || nombre.compare(QLatin1String("Content-Length"), Qt::CaseInsensitive) == 0)
            continue; // the length is the body's own
        conTipo = conTipo || nombre.compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0;
        req.setRawHeader(nombre.toLatin1(), linea.mid(dp + 1).trimmed().toLatin1());
    }
    if (!conTipo)
        req.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded; charset=windows-1252"));
    for (const QString& item : m_peticion.cuerpo.split(QLatin1Char('&')))
        avisaSinCp1252(item, item.section(QLatin1Char('='), 0, 0).left(40));
    m_reply = m_inet->sendCustomRequest(req, m_peticion.metodo.toLatin1(), cp1252::encode(m_peticion.cuerpo));
    QNetworkReply* r = m_reply;
    // What Qt tells of the transfer, as the transfer control's states: the host lookup starts with the
    // request, the lookup has ended when the socket starts connecting, and it has connected once
    // the request goes out (or, over TLS, once encrypted). A redirect starts again with its own lookup.
    m_estadoMostrado = icNone;
    connect(r, &QNetworkReply::socketStartedConnecting, this, [this] { avanza(icConnecting); });
#if QT_CONFIG(ssl)
    connect(r, &QNetworkReply::encrypted, this, [this] { avanza(icConnected); });
#endif
    connect(r, &QNetworkReply::uploadProgress, this, [this](qint64 enviados, qint64) {
        if (enviados > 0)
            avanza(icRequesting);
    });
    connect(r, &QNetworkReply::requestSent, this, [this] { avanza(icRequestSent); });
    connect(r, &QNetworkReply::metaDataChanged, this, [this] { avanza(icReceivingResponse); });
    connect(r, &QNetworkReply::readyRead, this, [this] { avanza(icReceivingResponse); });
    connect(r, &QNetworkReply::redirected, this, [this] {
        m_estadoMostrado = icNone;
        avanza(icResolvingHost);
    });
    connect(r, &QNetworkReply::finished, this, &frmComInternet::onReplyFinished);
    avanza(icResolvingHost);

    Timer1->stop();
    if (const double limite = segundosTimeOut(SegundosTimeOut); limite != SegundosTimeOut) {
        if (SegundosTimeOut != 0)
            GrabaLog(QStringLiteral("frmComInternet: SegundosTimeOut %1 fuera de límites; se toma %2")
                         .arg(SegundosTimeOut)
                         .arg(limite));
        SegundosTimeOut = limite;
    }
    Timer1->setInterval(redondea((SegundosTimeOut + 1) * 1000));
    Timer1->start();
}

void frmComInternet::abandonaTransferencia() {
    if (QNetworkReply* r = m_reply) {
        m_reply = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
}

void frmComInternet::onReplyFinished() {
    QNetworkReply* r = m_reply;
    if (!r)
        return;
    m_bytes += r->readAll();
    const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString texto = TextoRespuesta(m_bytes, r->header(QNetworkRequest::ContentTypeHeader).toString());
    Resultado = texto;
    if (r->error() != QNetworkReply::NoError || status >= 400) {
        if (status >= 400)
            Resultado = QStringLiteral("Error de conexión (HTTP %1 %2)")
                            .arg(status)
                            .arg(r->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()) +
                        (texto.isEmpty() ? QString() : QStringLiteral("\r\n") + texto);
        else if (Resultado.isEmpty())
            Resultado = QStringLiteral("Error de conexión");
        GrabaLog(QStringLiteral("frmComInternet: ") + m_peticion.url + QStringLiteral(": ") + r->errorString() +
                 QStringLiteral(": ") + Resultado);
        r->disconnect(this);
        r->deleteLater();
        m_reply = nullptr;
        Inet1_StateChanged(icError);
        return;
    }
    r->disconnect(this);
    m_reply = nullptr;
    avanza(icResponseReceived);
    // Closing the reply lets its connection go: disconnecting, disconnected, then the end.
    avanza(icDisconnecting);
    r->close();
    r->deleteLater();
    avanza(icDisconnected);
    Inet1_StateChanged(icResponseCompleted);
}

void frmComInternet::avanza(int hasta) {
    while (m_estadoMostrado < hasta)
        Inet1_StateChanged(++m_estadoMostrado);
}

void frmComInternet::Inet1_StateChanged(int State) {
    blnError = false;
    blnOk = false;
    static const char* const textos[icResponseCompleted + 1] = {"",
                                                                "Buscando servidor",
                                                                "Servidor encontrado",
                                                                "Conectando",
                                                                "Conectado",
                                                                "Enviando datos",
                                                                "Datos enviados",
                                                                "Recibiendo respuesta",
                                                                "Respuesta recibida",
                                                                "Desconectando",
                                                                "Desconectado",
                                                                "Error conexión",
                                                                "Respuesta recibida"};
    estado(State >= icNone && State <= icResponseCompleted ? QString::fromUtf8(textos[State]) : QString());
    if (State == icError) {
        blnError = true;
        Timer1->stop();
        oculta();
        Ocupado = false;
        emit ProcesoTerminado();
    } else if (State == icResponseCompleted) {
        if (m_ventana)
            m_ventana->setReplyText(Resultado);
        blnOk = true;
        Timer1->stop();
        procesaRespuesta();
    }
}

void frmComInternet::procesaRespuesta() {
    if (TipoResultado < LecturaDelimitada || TipoResultado > LecturaXML) {
        // Raw text (or a mode without a reader): the reply stays in Resultado, the window as it is.
        blnOk = true;
        Ocupado = false;
        emit ProcesoTerminado();
        return;
    }
    QString archivo;
    if (TipoResultado != LecturaXML && !AtrapaErrores(QStringLiteral("frmComInternet.Inet1_StateChanged"), [&] {
            if (m_ventana)
                m_ventana->setRetryEnabled(false);
            estado(QStringLiteral("Guardando datos recibidos"));
            archivo = guardaRespuesta();
            if (SeparadorColumnas.isEmpty())
                SeparadorColumnas = QStringLiteral("|");
        })) {
        terminaFallida();
        return;
    }
    estado(QStringLiteral("Procesando datos recibidos"));
    if (TipoResultado == LecturaDelimitada)
        ProcesaTexto_to_coleccionGenerica(archivo);
    else if (TipoResultado == LecturaSincronizacion)
        ProcesaTextoRecibido(archivo);
    else
        ProcesaXML(Resultado);
}

QString frmComInternet::guardaRespuesta() {
    const QString carpeta = RutaAplicacion() + QStringLiteral("/tmp");
    if (!QDir().mkpath(carpeta))
        vb::Raise(vb::err::PathNotFound, QStringLiteral("Path not found: ") + carpeta);
    QStringEncoder enc(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const QByteArray bytes = enc.encode(Resultado);
    const QString base =
        carpeta + QStringLiteral("/com_") + clock_seam::now().toString(QStringLiteral("yyyyMMddHHmmss"));
    // Two replies within one second must not share a file.
    for (int n = 0;; ++n) {
        const QString nombre = base + (n == 0 ? QString() : QStringLiteral("_%1").arg(n)) + QStringLiteral(".txt");
        QFile f(nombre);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (f.write(bytes) != bytes.size() || !f.flush())
                vb::Raise(vb::err::PathFileAccess, f.errorString() + QStringLiteral(": ") + nombre);
            return nombre;
        }
        if (!f.exists() || n > 10000)
            vb::Raise(vb::err::PathFileAccess, f.errorString() + QStringLiteral(": ") + nombre);
    }
}

void frmComInternet::Timer1_Timer() {
    Timer1->stop();
    if (Ocupado) {
        abandonaTransferencia(); // a late reply can no longer end the request a second time
        Resultado = QStringLiteral("Error de tiempo de espera");
        blnOk = false;
        Ocupado = false;
        oculta();
        emit ProcesoTerminado();
    }
    oculta();
}

void frmComInternet::btnCancelar_Click() {
    Timer1->stop();
    abandonaTransferencia();
    Resultado.clear();
    blnOk = false;
    blnError = false;
    Ocupado = false;
    oculta();
}

void frmComInternet::btnReintentar_Click() {
    EjecutaPeticion();
}

void frmComInternet::terminaLectura(const QString& textoEstado) {
    estado(textoEstado);
    program::doEvents();
    blnOk = true;
    Ocupado = false;
    oculta();
    emit ProcesoTerminado();
}

void frmComInternet::terminaFallida() {
    blnOk = false;
    blnError = true;
    Ocupado = false;
    oculta();
    emit ProcesoTerminado();
}

void frmComInternet::esperaModal() {
    if (Ocupado) {
        if (m_ventana)
            m_ventana->showModal();
        // The watchdog ends the request; should it not, the wait does, at the watchdog's time and a
        // second more, as timed out: a modal service never waits for ever.
        if (program::waitWhile([this] { return Ocupado; }, limiteEsperaMs()) && Ocupado)
            Timer1_Timer();
    }
    oculta();
}
