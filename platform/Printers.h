#pragma once
// Raw output to printers through libcups (one raw job per send), the printer list and the default.
// Every wait for the CUPS server is bounded (a few seconds; half a second while it has just failed to
// answer): a server that hangs makes the call give up, saying so, instead of holding the program.
// The output goes through a seam so tests can record the bytes instead of printing.
//
// A send has three outcomes. Printed: cupsd took the job (its answer said so, or the job's state
// does). Not printed: cupsd refused it, or said it cancelled or never made it. Unknown: a wait ran
// out or the link broke before cupsd's answer came, so nobody knows: never success, never failure.
// A job of unknown fate is settled by asking cupsd about it when it answers again (`settle`): its
// state decides, and a job cupsd still holds without its document is cancelled first. Jobs a send
// left unknown are also settled by the output itself, in the background, so none stays in cupsd.
// A send whose document cupsd answered with a refusal settles its job at once (cupsd is there).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace printers {

enum class Outcome { Printed, NotPrinted, Unknown };

// A job whose fate is not known yet: where it went and how cupsd knows it.
struct PendingJob {
    QString printer = {};  // the name the caller gave
    QByteArray queue = {}; // the queue the job was made on
    int id = 0;            // cupsd's job id; 0 when the Create-Job's answer was lost (found by its name)
    QByteArray name = {};  // the job's name, unique to the send
    bool isSet() const { return !name.isEmpty(); }
};

struct JobResult {
    Outcome outcome = Outcome::NotPrinted;
    QString error = {};      // "printer: reason" unless printed; the reason is cupsd's own answer or
                             // "sin respuesta de cupsd"
    PendingJob pending = {}; // what to ask cupsd about while the outcome is Unknown
    bool printed() const { return outcome == Outcome::Printed; }
    bool unknown() const { return outcome == Outcome::Unknown; }
};

class RawOutput {
public:
    virtual ~RawOutput() = default;
    // Sends the bytes as one raw job to the named queue. False with a reason unless it printed.
    virtual bool send(const QString& printer, const QByteArray& data, QString* error) = 0;
    // The same send with its three outcomes (an output that always knows answers from send).
    virtual JobResult sendJob(const QString& printer, const QByteArray& data) {
        JobResult r;
        r.outcome = send(printer, data, &r.error) ? Outcome::Printed : Outcome::NotPrinted;
        return r;
    }
    // Asks again about a job whose fate was not known; Unknown while the server still does not answer.
    virtual JobResult settle(const PendingJob& job) {
        return {.outcome = Outcome::Unknown, .error = job.printer + QStringLiteral(": sin respuesta"), .pending = job};
    }
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

// Where a job's road through cupsd has got to, for the tests that stop cupsd at a chosen moment.
enum class Stage {
    CreateJobSent, // the Create-Job is out, its answer not read
    DocumentSent,  // the document is out, cupsd's answer not read
    AnswerHeader,  // the HTTP header of cupsd's answer to the document is read, its body not
};
using StageHook = std::function<void(Stage)>;
void setStageHook(StageHook hook); // empty: none

// What became of a job the output settled in the background (for the log): the job, its outcome
// and the reason when it did not print.
using SettledHandler = std::function<void(const PendingJob&, const JobResult&)>;
void setSettledHandler(SettledHandler handler);

// The state at start: no job left to settle, none remembered, the full waits, no stage hook.
void resetForTests();

class CupsOutput final : public RawOutput {
public:
    bool send(const QString& printer, const QByteArray& data, QString* error) override;
    JobResult sendJob(const QString& printer, const QByteArray& data) override;
    JobResult settle(const PendingJob& job) override;
    QStringList list() override;
    bool tryList(QStringList& names, QString* error) override;
    QString defaultPrinter() override;

    // Jobs of unknown fate the output still has to settle in the background.
    static std::vector<PendingJob> unsettled();
    // Tries to settle them now; true when none is left.
    static bool settleUnsettled();
    // The waits, in seconds: the full one and the one after the server failed to answer (tests).
    static void setWaits(double full, double afterSilence);
};

} // namespace printers
