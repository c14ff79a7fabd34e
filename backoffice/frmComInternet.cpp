// The transport: send, progress texts, watchdog, cancel and retry, and the hand-over of the reply.
#include "backoffice/frmComInternet.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTimer>
#include <QVBoxLayout>
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
    QStringDecoder dec(charset.toLatin1().constData());
    return dec.isValid() ? QString(dec.decode(bytes)) : cp1252::decode(bytes);
}

constexpr qsizetype kMuestraMaxima = 64 * 1024; // characters of the reply shown in Text1

qint32 redondea(double v) {
    return qint32(std::nearbyint(v)); // half to even, as the default rounding mode does
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

frmComInternet::frmComInternet(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Accediendo a Internet"));
    lblEstado = new QLabel(this);
    lblEstado->setObjectName(QStringLiteral("lblEstado"));
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    btnReintentar = new QPushButton(QStringLiteral("Reintentar"), this);
    btnReintentar->setObjectName(QStringLiteral("btnReintentar"));
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(btnReintentar);
    botones->addWidget(btnCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(lblEstado);
    capa->addWidget(Text1);
    capa->addLayout(botones);
    resize(480, 260);

    m_inet = new QNetworkAccessManager(this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(10000);
    connect(Timer1, &QTimer::timeout, this, &frmComInternet::Timer1_Timer);
    connect(btnCancelar, &QPushButton::clicked, this, &frmComInternet::btnCancelar_Click);
    connect(btnReintentar, &QPushButton::clicked, this, &frmComInternet::btnReintentar_Click);
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
    lblEstado->setText(texto);
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
    setWindowTitle(QStringLiteral("Accediendo a Internet"));
    GrabaLog(QStringLiteral("AbreURL: ") + URL);
    EjecutaPeticion();
}

void frmComInternet::esperaTransferenciaEnCurso() {
    // A transfer still under way gets until its watchdog; after that it is dropped.
    if (m_reply) {
        const double limite = (SegundosTimeOut == 0 ? 20 : SegundosTimeOut) + 2;
        program::waitWhile([this] { return !m_reply.isNull(); }, qint64(limite * 1000));
        abandonaTransferencia();
    }
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
    connect(r, &QNetworkReply::socketStartedConnecting, this, [this] { Inet1_StateChanged(3); });
    connect(r, &QNetworkReply::uploadProgress, this, [this](qint64 enviados, qint64) {
        if (enviados > 0)
            Inet1_StateChanged(5);
    });
    connect(r, &QNetworkReply::requestSent, this, [this] { Inet1_StateChanged(6); });
    connect(r, &QNetworkReply::readyRead, this, [this] { Inet1_StateChanged(7); });
    connect(r, &QNetworkReply::finished, this, &frmComInternet::onReplyFinished);

    Timer1->stop();
    if (SegundosTimeOut == 0)
        SegundosTimeOut = 20;
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
        Inet1_StateChanged(11);
        return;
    }
    r->disconnect(this);
    r->deleteLater();
    m_reply = nullptr;
    Inet1_StateChanged(8);
    Inet1_StateChanged(12);
}

void frmComInternet::Inet1_StateChanged(int State) {
    blnError = false;
    blnOk = false;
    static const char* const textos[] = {"",
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
    estado(State >= 0 && State <= 12 ? QString::fromUtf8(textos[State]) : QString());
    if (State == 11) {
        blnError = true;
        Timer1->stop();
        hide();
        Ocupado = false;
        emit ProcesoTerminado();
    } else if (State == 12) {
        // The box shows the reply's start: laying out megabytes in one line would hold the thread for minutes.
        Text1->setPlainText(Resultado.size() > kMuestraMaxima ? Resultado.left(kMuestraMaxima) + QChar(0x2026)
                                                              : Resultado);
        blnOk = true;
        Timer1->stop();
        procesaRespuesta();
    }
}

void frmComInternet::procesaRespuesta() {
    if (TipoResultado < 0 || TipoResultado > 2) {
        // Raw text (or a mode without a reader): the reply stays in Resultado, the window as it is.
        blnOk = true;
        Ocupado = false;
        emit ProcesoTerminado();
        return;
    }
    QString archivo;
    if (TipoResultado != 2 && !atrapaLectura(QStringLiteral("frmComInternet.Inet1_StateChanged"), {}, [&] {
            btnReintentar->setEnabled(false);
            estado(QStringLiteral("Guardando datos recibidos"));
            archivo = guardaRespuesta();
            if (SeparadorColumnas.isEmpty())
                SeparadorColumnas = QStringLiteral("|");
        }))
        return;
    estado(QStringLiteral("Procesando datos recibidos"));
    if (TipoResultado == 0)
        ProcesaTexto_to_coleccionGenerica(archivo);
    else if (TipoResultado == 1)
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
        hide();
        emit ProcesoTerminado();
    }
    hide();
}

void frmComInternet::btnCancelar_Click() {
    Timer1->stop();
    abandonaTransferencia();
    Resultado.clear();
    blnOk = false;
    blnError = false;
    Ocupado = false;
    hide();
}

void frmComInternet::btnReintentar_Click() {
    EjecutaPeticion();
}

void frmComInternet::terminaLectura(const QString& textoEstado) {
    estado(textoEstado);
    program::doEvents();
    blnOk = true;
    Ocupado = false;
    hide();
    emit ProcesoTerminado();
}

void frmComInternet::terminaFallida() {
    blnOk = false;
    blnError = true;
    Ocupado = false;
    hide();
    emit ProcesoTerminado();
}

void frmComInternet::esperaModal() {
    if (Ocupado) {
        setModal(true);
        show();
        program::waitWhile([this] { return Ocupado; });
    }
    hide();
}
