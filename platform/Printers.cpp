#include "Printers.h"
#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cups/cups.h>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <utility>

namespace printers {
namespace {

RawOutput* g_installed = nullptr;

// A CUPS server that hangs (stopped, swamped) must not hold the program: each wait for it is bounded.
// Once it has failed to answer in time, later calls (the other jobs of the same ticket, its error
// ticket) wait only briefly, until one of them is answered again: a server that is back answers in
// far less, one that still hangs costs little each time.
// Atomic: the background settling reads and writes them from its own thread.
std::atomic<double> g_esperaCompletaS = 3.0;
std::atomic<double> g_esperaSiNoRespondioS = 0.5;
std::atomic<bool> g_noRespondio = false;

const QString kSinRespuesta = QStringLiteral("sin respuesta de cupsd");

StageHook g_etapa;
SettledHandler g_asentado;

void etapa(Stage s) {
    if (g_etapa)
        g_etapa(s);
}

// One connection to the CUPS server for one call, with its waits bounded.
class ConexionCups final {
public:
    ConexionCups() {
        const double espera = g_noRespondio ? g_esperaSiNoRespondioS : g_esperaCompletaS;
        m_http =
            httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, int(espera * 1000), nullptr);
        if (m_http)
            httpSetTimeout(m_http, espera, &ConexionCups::agotado, this);
        else
            g_noRespondio = true;
    }
    ~ConexionCups() {
        if (m_http)
            httpClose(m_http);
        // The server answered everything asked on this connection: it is back to the full wait.
        if (m_http && !m_agotado && !m_sinRespuesta)
            g_noRespondio = false;
    }
    ConexionCups(const ConexionCups&) = delete;
    ConexionCups& operator=(const ConexionCups&) = delete;

    http_t* http() const { return m_http; }
    bool agotado() const { return m_agotado; }
    // A request on it got no answer (the wait ran out or the link broke).
    void sinRespuesta() {
        m_sinRespuesta = true;
        g_noRespondio = true;
    }

private:
    // Called by libcups when a wait runs out: give up the operation.
    static int agotado(http_t*, void* datos) {
        auto* c = static_cast<ConexionCups*>(datos);
        c->m_agotado = true;
        g_noRespondio = true;
        return 0;
    }
    http_t* m_http = nullptr;
    bool m_agotado = false;
    bool m_sinRespuesta = false;
};

// The IPP status libcups gives an HTTP status (as its own requests report them).
ipp_status_t estadoDeHttp(http_status_t s) {
    switch (s) {
    case HTTP_STATUS_NOT_FOUND:
        return IPP_STATUS_ERROR_NOT_FOUND;
    case HTTP_STATUS_UNAUTHORIZED:
        return IPP_STATUS_ERROR_NOT_AUTHENTICATED;
    case HTTP_STATUS_FORBIDDEN:
        return IPP_STATUS_ERROR_FORBIDDEN;
    case HTTP_STATUS_BAD_REQUEST:
        return IPP_STATUS_ERROR_BAD_REQUEST;
    case HTTP_STATUS_REQUEST_TOO_LARGE:
        return IPP_STATUS_ERROR_REQUEST_VALUE;
    case HTTP_STATUS_NOT_IMPLEMENTED:
        return IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED;
    case HTTP_STATUS_NOT_SUPPORTED:
        return IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED;
    case HTTP_STATUS_UPGRADE_REQUIRED:
        return IPP_STATUS_ERROR_CUPS_UPGRADE_REQUIRED;
    default:
        return IPP_STATUS_ERROR_INTERNAL;
    }
}

QString texto(const QString& mensaje, ipp_status_t estado) {
    const QString nombre = QString::fromUtf8(ippErrorString(estado));
    return mensaje.isEmpty() || mensaje == nombre ? nombre : QStringLiteral("%1 (%2)").arg(mensaje, nombre);
}

// cupsd's answer to one request, read from the answer itself: never libcups' last status, which a
// request that got no answer leaves as the earlier one was.
class Respuesta final {
public:
    Respuesta() = default;
    Respuesta(Respuesta&& o) noexcept
        : llego(o.llego), motivo(std::move(o.motivo)), ipp(std::exchange(o.ipp, nullptr)) {}
    Respuesta& operator=(Respuesta&&) = delete;
    Respuesta(const Respuesta&) = delete;
    ~Respuesta() { ippDelete(ipp); }

    bool llego = false; // cupsd answered (an IPP answer or an HTTP error)
    QString motivo;     // not a success: cupsd's answer as text, or kSinRespuesta
    ipp_t* ipp = nullptr;

    bool exito() const { return ipp && ippGetStatusCode(ipp) <= IPP_STATUS_OK_CONFLICTING; }
    ipp_status_t estado() const { return ipp ? ippGetStatusCode(ipp) : IPP_STATUS_ERROR_INTERNAL; }
    int entero(const char* nombre) const {
        ipp_attribute_t* a = ipp ? ippFindAttribute(ipp, nombre, IPP_TAG_ZERO) : nullptr;
        return a ? ippGetInteger(a, 0) : -1;
    }

    static Respuesta sinRespuesta(ConexionCups& c) {
        c.sinRespuesta();
        Respuesta r;
        r.motivo = kSinRespuesta;
        return r;
    }
    static Respuesta deHttp(http_status_t s) {
        Respuesta r;
        r.llego = true;
        r.motivo = texto(QString::fromUtf8(httpStatus(s)), estadoDeHttp(s));
        return r;
    }
};

// Reads cupsd's answer to the request just sent on the connection.
Respuesta leeRespuesta(ConexionCups& c, bool avisaCabecera = false) {
    http_t* http = c.http();
    http_status_t s;
    do
        s = httpUpdate(http);
    while (s == HTTP_STATUS_CONTINUE);
    if (s == HTTP_STATUS_ERROR || c.agotado())
        return Respuesta::sinRespuesta(c);
    if (s != HTTP_STATUS_OK) {
        httpFlush(http);
        return Respuesta::deHttp(s);
    }
    if (avisaCabecera)
        etapa(Stage::AnswerHeader);
    Respuesta r;
    r.ipp = ippNew();
    for (ipp_state_t e = ippRead(http, r.ipp); e != IPP_STATE_DATA; e = ippRead(http, r.ipp))
        if (e == IPP_STATE_ERROR || c.agotado())
            return Respuesta::sinRespuesta(c);
    r.llego = true;
    if (!r.exito()) {
        ipp_attribute_t* m = ippFindAttribute(r.ipp, "status-message", IPP_TAG_TEXT);
        r.motivo = texto(m ? QString::fromUtf8(ippGetString(m, 0, nullptr)) : QString(), r.estado());
    }
    return r;
}

// Sends one IPP request (taking it) and reads cupsd's answer; `enviada` is told once it is out.
Respuesta pide(ConexionCups& c, ipp_t* peticion, const QByteArray& recurso, std::optional<Stage> enviada = {}) {
    const http_status_t s = cupsSendRequest(c.http(), peticion, recurso.constData(), ippLength(peticion));
    ippDelete(peticion);
    if (s == HTTP_STATUS_ERROR || c.agotado())
        return Respuesta::sinRespuesta(c);
    if (s != HTTP_STATUS_CONTINUE && s != HTTP_STATUS_OK) {
        httpFlush(c.http());
        return Respuesta::deHttp(s);
    }
    if (enviada)
        etapa(*enviada);
    return leeRespuesta(c);
}

QByteArray uriCola(const QByteArray& queue) {
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.constData());
    return uri;
}

ipp_t* peticionCola(ipp_op_t op, const QByteArray& queue) {
    ipp_t* p = ippNewRequest(op);
    ippAddString(p, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uriCola(queue).constData());
    ippAddString(p, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return p;
}

QByteArray recursoCola(const QByteArray& queue) {
    return "/printers/" + queue;
}

// A name unique to each send, by which a job whose Create-Job answer was lost is found again.
QByteArray nombreTrabajoNuevo() {
    static const QByteArray prefijo = "Tarvolin " + QByteArray::number(QCoreApplication::applicationPid()) + "-" +
                                      QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 36) + "-";
    static quint64 siguiente = 0;
    return prefijo + QByteArray::number(++siguiente);
}

QString motivoSinRespuesta() {
    return QStringLiteral("el servidor de impresión (CUPS) no responde");
}

QString conImpresora(const QString& printer, const QString& reason) {
    return QStringLiteral("%1: %2").arg(printer, reason);
}

// Create-Job on the queue, named as the job is, over the given connection (cupsCreateJob would
// look the queue up over a connection of its own, whose waits are not ours).
Respuesta creaTrabajo(ConexionCups& c, const PendingJob& job) {
    ipp_t* p = peticionCola(IPP_OP_CREATE_JOB, job.queue);
    ippAddString(p, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.name.constData());
    return pide(c, p, recursoCola(job.queue), Stage::CreateJobSent);
}

// Walks the answer's groups of one kind (printers, jobs): each attribute of a group goes to `campo`
// with its name, and `cierra` is called at the end of each group.
void recorreGrupos(ipp_t* ipp, ipp_tag_t grupo, const std::function<void()>& cierra,
                   const std::function<void(const char*, ipp_attribute_t*)>& campo) {
    for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
        const char* n = ippGetName(a);
        if (n && ippGetGroupTag(a) == grupo)
            campo(n, a);
        else
            cierra();
    }
    cierra();
}

// The queues and their descriptions, from cupsd's own answer (CUPS-Get-Printers): error says why
// the server could not be asked. cupsd answering that it has none is no queue, not a failure.
struct Colas {
    QStringList nombres;
    QStringList descripciones; // "printer-info", beside each name
    QString error;
    Colas() {
        ConexionCups c;
        if (!c.http()) {
            error = motivoSinRespuesta();
            return;
        }
        ipp_t* p = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
        ippAddString(p, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        static const char* const atributos[] = {"printer-name", "printer-info"};
        ippAddStrings(p, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, atributos);
        const Respuesta r = pide(c, p, "/");
        if (!r.llego) {
            error = motivoSinRespuesta();
            return;
        }
        if (!r.exito()) {
            if (r.estado() != IPP_STATUS_ERROR_NOT_FOUND)
                error = r.motivo;
            return;
        }
        QString nombre, info;
        const auto cierra = [&] {
            if (!nombre.isEmpty()) {
                nombres << nombre;
                descripciones << info;
            }
            nombre.clear();
            info.clear();
        };
        recorreGrupos(r.ipp, IPP_TAG_PRINTER, cierra, [&](const char* n, ipp_attribute_t* a) {
            if (qstrcmp(n, "printer-name") == 0)
                nombre = QString::fromUtf8(ippGetString(a, 0, nullptr));
            else if (qstrcmp(n, "printer-info") == 0)
                info = QString::fromUtf8(ippGetString(a, 0, nullptr));
        });
    }
};

// A name the queues do not know may still be a queue's description (its "printer-info"),
// as Windows shows printers by their friendly names.
QString queueFor(const QString& printer) {
    const Colas colas;
    for (const QString& name : colas.nombres)
        if (name.compare(printer, Qt::CaseInsensitive) == 0)
            return name;
    for (qsizetype i = 0; i < colas.nombres.size(); ++i)
        if (colas.descripciones.at(i).compare(printer, Qt::CaseInsensitive) == 0)
            return colas.nombres.at(i);
    return QString();
}

// The send itself. Printed; NotPrinted when cupsd refused the Create-Job (no job was made); else
// Unknown with the job to ask about, and in motivo cupsd's answer or kSinRespuesta.
JobResult envia(const QString& printer, const QByteArray& data, QString& motivo) {
    PendingJob job{.printer = printer, .queue = printer.toUtf8(), .name = nombreTrabajoNuevo()};
    ConexionCups c;
    if (!c.http())
        return {.error = conImpresora(printer, motivoSinRespuesta())};
    const auto incierto = [&](const QString& porQue) {
        motivo = porQue;
        return JobResult{.outcome = Outcome::Unknown, .error = conImpresora(printer, porQue), .pending = job};
    };
    std::optional<Respuesta> creado(creaTrabajo(c, job));
    if (!creado->llego)
        return incierto(kSinRespuesta);
    if (!creado->exito()) {
        // Only a name that is another queue's description is tried again; the reason stays the
        // answer cupsd gave to the Create-Job that was made last.
        const QString other = queueFor(printer);
        if (other.isEmpty() || other == printer)
            return {.error = conImpresora(printer, creado->motivo)};
        job.queue = other.toUtf8();
        creado.emplace(creaTrabajo(c, job));
        if (!creado->llego)
            return incierto(kSinRespuesta);
        if (!creado->exito())
            return {.error = conImpresora(printer, creado->motivo)};
    }
    job.id = creado->entero("job-id");
    if (job.id <= 0)
        return {.error = conImpresora(printer, QStringLiteral("cupsd no dio el número del trabajo"))};

    http_t* http = c.http();
    http_status_t s = cupsStartDocument(http, job.queue.constData(), job.id, "ticket", CUPS_FORMAT_RAW, 1);
    if (s == HTTP_STATUS_CONTINUE)
        s = cupsWriteRequestData(http, data.constData(), size_t(data.size()));
    // The end of the chunked document (cupsFinishDocument would also read the answer its own way).
    if (s == HTTP_STATUS_CONTINUE && httpWrite2(http, "", 0) < 0)
        s = HTTP_STATUS_ERROR;
    if (s != HTTP_STATUS_CONTINUE) {
        if (s == HTTP_STATUS_ERROR || c.agotado())
            return incierto(Respuesta::sinRespuesta(c).motivo);
        return incierto(Respuesta::deHttp(s).motivo);
    }
    etapa(Stage::DocumentSent);
    const Respuesta r = leeRespuesta(c, true);
    if (r.exito())
        return {.outcome = Outcome::Printed};
    // Refused or unanswered, the job may still be in cupsd: its state decides.
    return incierto(r.motivo);
}

// ---- Settling the jobs whose fate a send did not learn ----

QHash<QByteArray, JobResult> g_asentados; // settled jobs by name: asked again, the same answer
std::vector<PendingJob> g_sinAsentar;     // left unknown by a send: settled in the background
// Jobs whose Create-Job cupsd had not made when asked: it may still make it from a request it has
// not read yet, so they are looked for once more a while later (and cancelled when found).
struct Vigilado {
    PendingJob job;
    qint64 desde = 0;
};
std::vector<Vigilado> g_vigilados;
constexpr qint64 kVigilanciaMs = 2000;
bool g_temporizador = false;
int g_intervaloMs = 1000;

void recuerda(const PendingJob& job, const JobResult& r) {
    if (g_asentados.size() > 4096)
        g_asentados.clear();
    g_asentados.insert(job.name, r);
    std::erase_if(g_sinAsentar, [&](const PendingJob& p) { return p.name == job.name; });
}

// The id of the job of that name on its queue; 0 when cupsd has none; none without an answer.
std::optional<int> buscaPorNombre(ConexionCups& c, const PendingJob& job) {
    ipp_t* p = peticionCola(IPP_OP_GET_JOBS, job.queue);
    ippAddString(p, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    ippAddBoolean(p, IPP_TAG_OPERATION, "my-jobs", 1);
    static const char* const atributos[] = {"job-id", "job-name"};
    ippAddStrings(p, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, atributos);
    const Respuesta r = pide(c, p, recursoCola(job.queue));
    if (!r.llego)
        return std::nullopt;
    if (!r.exito())
        return 0; // the queue is gone, and its jobs with it
    int id = 0, actual = 0;
    QByteArray nombre;
    const auto cierra = [&] {
        if (actual > 0 && nombre == job.name)
            id = actual;
        actual = 0;
        nombre.clear();
    };
    recorreGrupos(r.ipp, IPP_TAG_JOB, cierra, [&](const char* n, ipp_attribute_t* a) {
        if (qstrcmp(n, "job-id") == 0)
            actual = ippGetInteger(a, 0);
        else if (qstrcmp(n, "job-name") == 0)
            nombre = ippGetString(a, 0, nullptr);
    });
    return id;
}

ipp_t* peticionTrabajo(ipp_op_t op, const PendingJob& job, int id) {
    ipp_t* p = peticionCola(op, job.queue);
    ippAddInteger(p, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
    return p;
}

// Asks cupsd what became of the job: printing or printed, or holding its document to print it, is
// printed; cancelled, aborted, gone or never made is not; held without its document (it would
// wait for it until cupsd's own time-out, holding a place) it is cancelled, and is not printed once
// cupsd has said the cancel was done. Unknown while cupsd does not answer. `motivo` is why the send
// did not know (cupsd's answer or kSinRespuesta): the reason a job that did not print gives.
JobResult asienta(const PendingJob& job, const QString& motivo, bool* noCreado = nullptr) {
    JobResult desconocido{.outcome = Outcome::Unknown, .error = conImpresora(job.printer, motivo), .pending = job};
    const auto noImpreso = [&](const QString& porQue) {
        return JobResult{.error = conImpresora(job.printer, QStringLiteral("%1 (%2)").arg(motivo, porQue))};
    };
    ConexionCups c;
    if (!c.http())
        return desconocido;
    int id = job.id;
    if (id <= 0) {
        const std::optional<int> encontrado = buscaPorNombre(c, job);
        if (!encontrado)
            return desconocido;
        if (*encontrado == 0) {
            if (noCreado)
                *noCreado = true;
            return noImpreso(QStringLiteral("cupsd no creó el trabajo"));
        }
        id = *encontrado;
        desconocido.pending.id = id;
    }
    // A cancel refused because the job moved on meanwhile (its document came, it ended) looks again.
    for (int vuelta = 0; vuelta < 3; ++vuelta) {
        ipp_t* p = peticionTrabajo(IPP_OP_GET_JOB_ATTRIBUTES, job, id);
        static const char* const atributos[] = {"job-state", "job-state-reasons", "number-of-documents"};
        ippAddStrings(p, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, atributos);
        const Respuesta r = pide(c, p, "/jobs/");
        if (!r.llego)
            return desconocido;
        if (r.estado() == IPP_STATUS_ERROR_NOT_FOUND)
            return noImpreso(QStringLiteral("cupsd no tiene el trabajo %1").arg(id));
        if (!r.exito()) {
            desconocido.error = conImpresora(job.printer, r.motivo);
            return desconocido;
        }
        QStringList razones;
        if (ipp_attribute_t* a = ippFindAttribute(r.ipp, "job-state-reasons", IPP_TAG_KEYWORD))
            for (int i = 0; i < ippGetCount(a); ++i)
                razones << QString::fromUtf8(ippGetString(a, i, nullptr));
        const int estado = r.entero("job-state");
        if (estado == IPP_JSTATE_PROCESSING || estado == IPP_JSTATE_COMPLETED)
            return {.outcome = Outcome::Printed};
        if (estado == IPP_JSTATE_CANCELED || estado == IPP_JSTATE_ABORTED)
            return noImpreso(
                QStringLiteral("trabajo %1 %2 en cupsd: %3")
                    .arg(id)
                    .arg(estado == IPP_JSTATE_CANCELED ? QStringLiteral("cancelado") : QStringLiteral("abortado"),
                         razones.join(QLatin1Char(','))));
        if (!razones.contains(QLatin1String("job-incoming")) && r.entero("number-of-documents") != 0)
            return {.outcome = Outcome::Printed}; // cupsd has its document and prints it
        const Respuesta cancelado = pide(c, peticionTrabajo(IPP_OP_CANCEL_JOB, job, id), "/jobs/");
        if (!cancelado.llego)
            return desconocido;
        if (cancelado.exito())
            return noImpreso(QStringLiteral("trabajo %1 sin documento, cancelado").arg(id));
    }
    return desconocido;
}

void programa(bool esperarMas = false);

// Asks on this thread: a job cupsd had not made when asked is watched for a late Create-Job.
JobResult asientaAqui(const PendingJob& job, const QString& motivo) {
    bool noCreado = false;
    const JobResult r = asienta(job, motivo, &noCreado);
    if (noCreado)
        g_vigilados.push_back({job, QDateTime::currentMSecsSinceEpoch()});
    return r;
}

// One pass of the background settling: the jobs left unknown, in order, until cupsd does not
// answer; then the watched jobs. It only talks to cupsd (it may run on a thread of its own); what it
// learnt is applied on the program's thread.
struct Pasada {
    std::vector<std::pair<PendingJob, JobResult>> asentados;
    std::vector<PendingJob> noCreados; // to be watched
    std::vector<Vigilado> siguen;      // watched jobs still to look for
    bool silencio = false;             // cupsd did not answer
};
Pasada ejecutaPasada(const std::vector<PendingJob>& trabajos, const std::vector<Vigilado>& vigilados) {
    Pasada p;
    for (const PendingJob& job : trabajos) {
        bool noCreado = false;
        const JobResult r = asienta(job, kSinRespuesta, &noCreado);
        if (r.unknown()) {
            p.silencio = true;
            break;
        }
        p.asentados.emplace_back(job, r);
        if (noCreado)
            p.noCreados.push_back(job);
    }
    for (const Vigilado& v : vigilados) {
        if (p.silencio) {
            p.siguen.push_back(v);
            continue;
        }
        ConexionCups c;
        const std::optional<int> id = c.http() ? buscaPorNombre(c, v.job) : std::nullopt;
        if (!id) {
            p.silencio = true;
            p.siguen.push_back(v);
        } else if (*id > 0) {
            // Made late, with no document: it is cancelled (its fate was settled as not printed).
            PendingJob job = v.job;
            job.id = *id;
            asienta(job, kSinRespuesta);
        }
    }
    return p;
}

void aplica(const Pasada& p) {
    for (const auto& [job, r] : p.asentados) {
        const bool nuevo = !g_asentados.contains(job.name);
        recuerda(job, r);
        if (nuevo && g_asentado)
            g_asentado(job, r);
    }
    const qint64 ahora = QDateTime::currentMSecsSinceEpoch();
    for (const PendingJob& job : p.noCreados)
        g_vigilados.push_back({job, ahora});
    g_vigilados.insert(g_vigilados.end(), p.siguen.begin(), p.siguen.end());
}

// The background settling runs on a thread of its own: a cupsd that still hangs would otherwise hold
// the program (every request, every Ping) for as long as each question waits.
QThreadPool& hilo() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}
bool g_enCurso = false; // a pass is running on the thread
int g_generacion = 0;   // a reset makes a pass still running answer for nothing

// The watched jobs whose time has come (all of them with `todos`), taken out of the list.
std::vector<Vigilado> vigiladosVencidos(bool todos) {
    const qint64 ahora = QDateTime::currentMSecsSinceEpoch();
    std::vector<Vigilado> vencidos, siguen;
    for (const Vigilado& v : g_vigilados)
        (todos || ahora - v.desde >= kVigilanciaMs ? vencidos : siguen).push_back(v);
    g_vigilados = std::move(siguen);
    return vencidos;
}

void tic() {
    g_temporizador = false;
    if (g_enCurso)
        return;
    std::vector<Vigilado> vencidos = vigiladosVencidos(false);
    if (g_sinAsentar.empty() && vencidos.empty()) {
        programa();
        return;
    }
    g_enCurso = true;
    // libcups keeps the server and the user per thread: the thread asks the one this thread uses.
    const QByteArray servidor = cupsServer(), usuario = cupsUser();
    const int generacion = g_generacion;
    hilo().start([trabajos = g_sinAsentar, vencidos, servidor, usuario, generacion] {
        cupsSetServer(servidor.constData());
        cupsSetUser(usuario.constData());
        const Pasada p = ejecutaPasada(trabajos, vencidos);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [p, generacion] {
                if (generacion != g_generacion)
                    return;
                g_enCurso = false;
                aplica(p);
                programa(p.silencio);
            },
            Qt::QueuedConnection);
    });
}

void programa(bool esperarMas) {
    if (g_sinAsentar.empty() && g_vigilados.empty()) {
        g_intervaloMs = 1000;
        return;
    }
    if (g_temporizador || g_enCurso || !QCoreApplication::instance())
        return;
    g_intervaloMs = esperarMas ? std::min(g_intervaloMs * 2, 16000) : 1000;
    g_temporizador = true;
    QTimer::singleShot(g_intervaloMs, QCoreApplication::instance(), [] { tic(); });
}

} // namespace

RawOutput& output() {
    static CupsOutput cups;
    return g_installed ? *g_installed : cups;
}

void install(RawOutput* out) {
    g_installed = out;
}

void setStageHook(StageHook hook) {
    g_etapa = std::move(hook);
}

void resetForTests() {
    hilo().waitForDone();
    ++g_generacion;
    g_enCurso = false;
    g_sinAsentar.clear();
    g_vigilados.clear();
    g_asentados.clear();
    g_noRespondio = false;
    g_etapa = {};
    g_esperaCompletaS = 3.0;
    g_esperaSiNoRespondioS = 0.5;
}

void setSettledHandler(SettledHandler handler) {
    g_asentado = std::move(handler);
}

bool CupsOutput::send(const QString& printer, const QByteArray& data, QString* error) {
    const JobResult r = sendJob(printer, data);
    if (!r.printed() && error)
        *error = r.error;
    return r.printed();
}

JobResult CupsOutput::sendJob(const QString& printer, const QByteArray& data) {
    if (printer.trimmed().isEmpty())
        return {.error = QStringLiteral("no printer named")};
    // Nothing to print is no job: an empty document would stay held in the queue.
    if (data.isEmpty())
        return {.outcome = Outcome::Printed};
    QString motivo;
    const JobResult r = envia(printer, data, motivo);
    if (!r.unknown())
        return r;
    // A server that answered (refusing the document, say) is asked at once, so the job it holds
    // without its document is cancelled now. One that did not answer would not answer now either:
    // it is asked later, by whoever holds the job and in the background.
    if (motivo == kSinRespuesta) {
        g_sinAsentar.push_back(r.pending);
        programa();
        return r;
    }
    const JobResult s = asientaAqui(r.pending, motivo);
    if (s.unknown()) {
        g_sinAsentar.push_back(s.pending);
        programa();
    } else {
        recuerda(s.pending, s);
    }
    return s;
}

JobResult CupsOutput::settle(const PendingJob& job) {
    if (const auto it = g_asentados.constFind(job.name); it != g_asentados.cend())
        return *it;
    const JobResult r = asientaAqui(job, kSinRespuesta);
    if (!r.unknown())
        recuerda(job, r);
    return r;
}

std::vector<PendingJob> CupsOutput::unsettled() {
    return g_sinAsentar;
}

bool CupsOutput::settleUnsettled() {
    hilo().waitForDone();
    const Pasada p = ejecutaPasada(g_sinAsentar, vigiladosVencidos(true));
    aplica(p);
    return g_sinAsentar.empty() && g_vigilados.empty();
}

void CupsOutput::setWaits(double full, double afterSilence) {
    g_esperaCompletaS = full;
    g_esperaSiNoRespondioS = afterSilence;
}

QStringList CupsOutput::list() {
    return Colas().nombres;
}

bool CupsOutput::tryList(QStringList& names, QString* error) {
    Colas colas;
    names = colas.nombres;
    if (!colas.error.isEmpty() && error)
        *error = colas.error;
    return colas.error.isEmpty();
}

// The default as libcups chooses it (the user's own lpoptions default first, then cupsd's).
QString CupsOutput::defaultPrinter() {
    const ConexionCups c;
    if (!c.http())
        return QString();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(c.http(), &dests);
    QString nombre;
    for (int i = 0; i < count && nombre.isEmpty(); ++i)
        if (dests[i].is_default)
            nombre = QString::fromUtf8(dests[i].name);
    cupsFreeDests(count, dests);
    return nombre;
}

} // namespace printers
