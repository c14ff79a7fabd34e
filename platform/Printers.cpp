#include "Printers.h"
#include <cups/cups.h>
#include <sys/socket.h>

namespace printers {
namespace {

RawOutput* g_installed = nullptr;

// A CUPS server that hangs (stopped, swamped) must not hold the program: each wait for it is bounded.
// Once it has failed to answer in time, later calls (the other jobs of the same ticket, its error
// ticket) wait only briefly, until one of them is answered again: a server that is back answers in
// far less, one that still hangs costs little each time.
constexpr int kEsperaConexionMs = 3000;
constexpr double kEsperaRespuestaS = 3.0;
constexpr double kEsperaSiNoRespondioS = 0.5;
bool g_noRespondio = false;

void anotaSinRespuesta() {
    g_noRespondio = true;
}

// One connection to the CUPS server for one call, with its waits bounded.
class ConexionCups final {
public:
    ConexionCups() {
        const double espera = g_noRespondio ? kEsperaSiNoRespondioS : kEsperaRespuestaS;
        const int esperaConexion = g_noRespondio ? int(kEsperaSiNoRespondioS * 1000) : kEsperaConexionMs;
        m_http =
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, esperaConexion, nullptr);
        if (m_http)
            httpSetTimeout(m_http, espera, &ConexionCups::agotado, this);
        else
            anotaSinRespuesta();
    }
    ~ConexionCups() {
        if (m_http)
            httpClose(m_http);
        // The server answered everything asked on this connection: it is back to the full wait.
        if (m_http && !m_agotado)
            g_noRespondio = false;
    }
    ConexionCups(const ConexionCups&) = delete;
    ConexionCups& operator=(const ConexionCups&) = delete;

    http_t* http() const { return m_http; }
    bool agotado() const { return m_agotado; }

private:
    // Called by libcups when a wait runs out: give up the operation.
    static int agotado(http_t*, void* datos) {
        auto* c = static_cast<ConexionCups*>(datos);
        c->m_agotado = true;
        anotaSinRespuesta();
        return 0;
    }
    http_t* m_http = nullptr;
    bool m_agotado = false;
};

// cupsd's own answer to a request: its status name and message (what cupsLastErrorString holds right
// after the request; read at once, since a later call, even a failed local look-up, replaces it).
QString respuestaCups() {
    const ipp_status_t estado = cupsLastError();
    const QString mensaje = QString::fromUtf8(cupsLastErrorString());
    const QString nombre = QString::fromUtf8(ippErrorString(estado));
    return mensaje.isEmpty() || mensaje == nombre ? nombre : QStringLiteral("%1 (%2)").arg(mensaje, nombre);
}

// Create-Job on the queue, over the given connection (cupsCreateJob would look the queue up over a
// connection of its own, whose waits are not ours). The job's id, or 0 with cupsd's answer in motivo.
int creaTrabajo(http_t* http, const QByteArray& queue, QString& motivo) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.constData());
    ipp_t* peticion = ippNewRequest(IPP_OP_CREATE_JOB);
    ippAddString(peticion, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(peticion, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(peticion, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, "Tarvolin");
    const QByteArray recurso = "/printers/" + queue;
    ipp_t* respuesta = cupsDoRequest(http, peticion, recurso.constData());
    int job = 0;
    if (respuesta && ippGetStatusCode(respuesta) <= IPP_STATUS_OK_CONFLICTING) {
        if (ipp_attribute_t* a = ippFindAttribute(respuesta, "job-id", IPP_TAG_INTEGER))
            job = ippGetInteger(a, 0);
    }
    if (job == 0)
        motivo = respuestaCups();
    ippDelete(respuesta);
    return job;
}

QString motivoSinRespuesta() {
    return QStringLiteral("el servidor de impresión (CUPS) no responde");
}

void setError(QString* error, const QString& printer, const QString& reason) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(printer, reason);
}

struct Dests {
    cups_dest_t* dests = nullptr;
    int count = 0;
    QString error; // why the server could not be asked; empty when it answered
    Dests() {
        const ConexionCups c;
        if (c.http())
            count = cupsGetDests2(c.http(), &dests);
        if (!c.http() || c.agotado())
            error = motivoSinRespuesta();
        else if (count == 0 && cupsLastError() > IPP_STATUS_OK_CONFLICTING &&
                 cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
            error = respuestaCups();
    }
    ~Dests() { cupsFreeDests(count, dests); }
    Dests(const Dests&) = delete;
    Dests& operator=(const Dests&) = delete;
};

// A name the queues do not know may still be a queue's description (its "printer-info"),
// as Windows shows printers by their friendly names.
QString queueFor(const QString& printer) {
    Dests d;
    for (int i = 0; i < d.count; ++i) {
        const QString name = QString::fromUtf8(d.dests[i].name);
        if (name.compare(printer, Qt::CaseInsensitive) == 0)
            return name;
    }
    for (int i = 0; i < d.count; ++i) {
        const char* info = cupsGetOption("printer-info", d.dests[i].num_options, d.dests[i].options);
        if (info && QString::fromUtf8(info).compare(printer, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(d.dests[i].name);
    }
    return QString();
}

} // namespace

RawOutput& output() {
    static CupsOutput cups;
    return g_installed ? *g_installed : cups;
}

void install(RawOutput* out) {
    g_installed = out;
}

bool CupsOutput::send(const QString& printer, const QByteArray& data, QString* error) {
    if (printer.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("no printer named");
        return false;
    }
    // Nothing to print is no job: an empty document would stay held in the queue.
    if (data.isEmpty())
        return true;

    QByteArray queue = printer.toUtf8();
    const ConexionCups c;
    http_t* http = c.http();
    if (!http) {
        setError(error, printer, motivoSinRespuesta());
        return false;
    }
    const auto fallo = [&](const QString& motivo) {
        setError(error, printer, c.agotado() ? motivoSinRespuesta() : motivo);
        return false;
    };
    QString motivo;
    int job = creaTrabajo(http, queue, motivo);
    if (job == 0) {
        if (c.agotado())
            return fallo(motivo);
        // Only a name that is another queue's description is tried again; the reason stays the
        // answer cupsd gave to the Create-Job that was made last.
        const QString other = queueFor(printer);
        if (!other.isEmpty() && other != printer) {
            queue = other.toUtf8();
            job = creaTrabajo(http, queue, motivo);
        }
        if (job == 0)
            return fallo(motivo);
    }
    if (cupsStartDocument(http, queue.constData(), job, "ticket", CUPS_FORMAT_RAW, 1) != HTTP_STATUS_CONTINUE) {
        const QString reason = respuestaCups();
        if (!c.agotado())
            cupsCancelJob2(http, queue.constData(), job, 0);
        return fallo(reason);
    }
    if (cupsWriteRequestData(http, data.constData(), size_t(data.size())) != HTTP_STATUS_CONTINUE) {
        const QString reason = respuestaCups();
        if (!c.agotado()) {
            cupsFinishDocument(http, queue.constData());
            cupsCancelJob2(http, queue.constData(), job, 0);
        }
        return fallo(reason);
    }
    // Any successful-ok status is a job taken. A refused document (too large, say) leaves its job
    // created and waiting for one: it is cancelled, or it would hold a place of the job limit.
    if (cupsFinishDocument(http, queue.constData()) > IPP_STATUS_OK_CONFLICTING) {
        const QString reason = respuestaCups();
        if (!c.agotado())
            cupsCancelJob2(http, queue.constData(), job, 0);
        return fallo(reason);
    }
    return true;
}

QStringList CupsOutput::list() {
    QStringList out;
    Dests d;
    for (int i = 0; i < d.count; ++i) {
        if (d.dests[i].instance)
            continue; // instances are the same queue with other options
        out << QString::fromUtf8(d.dests[i].name);
    }
    return out;
}

bool CupsOutput::tryList(QStringList& names, QString* error) {
    names.clear();
    Dests d;
    if (!d.error.isEmpty()) {
        if (error)
            *error = d.error;
        return false;
    }
    for (int i = 0; i < d.count; ++i)
        if (!d.dests[i].instance)
            names << QString::fromUtf8(d.dests[i].name);
    return true;
}

QString CupsOutput::defaultPrinter() {
    Dests d;
    for (int i = 0; i < d.count; ++i) {
        if (d.dests[i].is_default)
            return QString::fromUtf8(d.dests[i].name);
    }
    return QString();
}

} // namespace printers
