#pragma once
// Every message box, question, input box and modal form goes through this one seam.
// Production installs an implementation with Qt dialogs (ui/); tests install ScriptedPrompts
// (testsupport/) with answers queued in advance. Without any installed implementation every box
// answers its default (OK = 1, or 0 for questions), input boxes are cancelled and forms are shown
// through their registered factory.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace prompts {

// Windows message-box style bits and answer codes.
enum Style {
    vbOKOnly = 0,
    vbOKCancel = 1,
    vbAbortRetryIgnore = 2,
    vbYesNoCancel = 3,
    vbYesNo = 4,
    vbRetryCancel = 5,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64
};
enum Answer { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    virtual int messageBox(const QString& text, int style, const QString& title) = 0;
    // Text input; returns false when cancelled.
    virtual bool inputBox(const QString& prompt, const QString& title, QString& value) = 0;
    // A modal form by its name ("frmConfig", "frmPassword", "frmCalc", ...): forms register a factory
    // with registerForm; the result is the form's own answer (for keypads, 1 when blnOk).
    virtual int showForm(const QString& name) = 0;
};

// The installed implementation, or the default; where no box may open (noBoxesHere) a stand-in that
// opens nothing: it hands the box to the handler below and answers as nobody answered (0, an input
// box cancelled, a form not shown).
UserPrompts& current();
void install(UserPrompts* p); // nullptr restores the default

// ---- No box on the print road ----
// While a NoBoxes lives, the code of the road that made it opens no box, input box or form: nobody
// may be at the screen, and a box would hold the reply and every print behind it. The code that
// runs as another event inside that road's waits (an operator's dialog, say) is not that road and
// opens its boxes as usual. They nest.
class NoBoxes final {
public:
    NoBoxes();
    ~NoBoxes();
    NoBoxes(const NoBoxes&) = delete;
    NoBoxes& operator=(const NoBoxes&) = delete;
};
// True when the innermost NoBoxes alive belongs to the code running now (same wait level).
bool noBoxesHere();
// What becomes of a box asked for where none may open: the core writes it to the log; the tests
// fail the running test. kind is "messageBox", "inputBox" or "form".
using ForbiddenBoxHandler = std::function<void(const QString& kind, const QString& text)>;
void setForbiddenBoxHandler(ForbiddenBoxHandler h); // empty: nothing is done with it
ForbiddenBoxHandler forbiddenBoxHandler();

// Forms register how they are shown; showForm of a production implementation calls these.
void registerForm(const QString& name, std::function<int()> show);
std::function<int()> formFactory(const QString& name);

} // namespace prompts
