#pragma once
// Raw output to printers through libcups (one raw job per send), the printer list and the default.
// Every wait for the CUPS server is bounded (a few seconds; half a second while it has just failed to
// answer): a server that hangs makes the call fail, saying so, instead of holding the program.
// The output goes through a seam so tests can record the bytes instead of printing.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace printers {

class RawOutput {
public:
    virtual ~RawOutput() = default;
    // Sends the bytes as one raw job to the named queue. False with a reason on failure.
    virtual bool send(const QString& printer, const QByteArray& data, QString* error) = 0;
    virtual QStringList list() = 0;
    // The list, or false with the reason when the print server could not be asked (an empty list
    // is no printers, not a server that did not answer).
    virtual bool tryList(QStringList& names, QString* error) {
        (void)error;
        names = list();
        return true;
    }
    virtual QString defaultPrinter() = 0; // empty when none
};

RawOutput& output();
void install(RawOutput* out); // nullptr restores CUPS

class CupsOutput final : public RawOutput {
public:
    bool send(const QString& printer, const QByteArray& data, QString* error) override;
    QStringList list() override;
    bool tryList(QStringList& names, QString* error) override;
    QString defaultPrinter() override;
};

} // namespace printers
