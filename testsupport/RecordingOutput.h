#pragma once
// A printer output that records every job, for tests and benchmarks.
#include "platform/Printers.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace printers {

class RecordingOutput : public RawOutput {
public:
    struct Job {
        QString printer;
        QByteArray data;
    };
    std::vector<Job> jobs;
    QStringList printers{QStringLiteral("TICKETS")};
    QString defaultName{QStringLiteral("TICKETS")};
    bool fail = false;
    bool send(const QString& printer, const QByteArray& data, QString* error) override {
        if (fail) {
            if (error)
                *error = QStringLiteral("%1: the printer refused the job").arg(printer);
            return false;
        }
        jobs.push_back(Job{printer, data});
        return true;
    }
    QStringList list() override { return printers; }
    QString defaultPrinter() override { return defaultName; }
};

} // namespace printers
