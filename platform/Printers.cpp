#include "Printers.h"
#include <cups/cups.h>

namespace printers {
namespace {

RawOutput* g_installed = nullptr;

QString lastCupsError() {
    return QString::fromUtf8(cupsLastErrorString());
}

void setError(QString* error, const QString& printer, const QString& reason) {
    if (error)
        *error = QStringLiteral("%1: %2").arg(printer, reason);
}

struct Dests {
    cups_dest_t* dests = nullptr;
    int count = 0;
    Dests() { count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests); }
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
    int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), "Tarvolin", 0, nullptr);
    if (job == 0) {
        const QString reason = lastCupsError();
        const QString other = queueFor(printer);
        if (!other.isEmpty() && other != printer) {
            queue = other.toUtf8();
            job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), "Tarvolin", 0, nullptr);
        }
        if (job == 0) {
            setError(error, printer, other.isEmpty() ? reason : lastCupsError());
            return false;
        }
    }
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, "ticket", CUPS_FORMAT_RAW, 1) !=
        HTTP_STATUS_CONTINUE) {
        setError(error, printer, lastCupsError());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        return false;
    }
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.constData(), size_t(data.size())) != HTTP_STATUS_CONTINUE) {
        setError(error, printer, lastCupsError());
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        return false;
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) != IPP_STATUS_OK) {
        setError(error, printer, lastCupsError());
        return false;
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

QString CupsOutput::defaultPrinter() {
    Dests d;
    for (int i = 0; i < d.count; ++i) {
        if (d.dests[i].is_default)
            return QString::fromUtf8(d.dests[i].name);
    }
    return QString();
}

} // namespace printers
