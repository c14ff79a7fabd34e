// Tarvolin: the kitchen-ticket print service of the till. Starts the program and runs its event loop.
#include "ui/Main.h"
#include "controls/QtPrompts.h"
#include "core/basGeneral.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "ui/Capturas.h"
#include "ui/PromptsDesatendidos.h"

#include <QApplication>
#include <cstdio>
#include <unistd.h>

namespace {

// No exception may leave an event handler: one that gets this far is logged and the loop goes on.
class AplicacionTarvolin final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receptor, QEvent* evento) override {
        try {
            return QApplication::notify(receptor, evento);
        } catch (...) {
            try {
                const VBError err = vb::CurrentError();
                GrabaLog(QStringLiteral("Error no controlado: ") + err.description() + QStringLiteral(" (") +
                             QString::number(err.number()) + QStringLiteral(")"),
                         true);
            } catch (...) {
            }
            return false;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    AplicacionTarvolin app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvolin"));
    // The window hides behind its tray icon; closing a dialog must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // Ending the program runs its clean-ups (tray icon, registry store, connections) and leaves at
    // once, also from inside a nested wait.
    program::setEndHandler([](int code) {
        std::fflush(nullptr);
        ::_exit(code);
    });

    static QtPrompts dialogos;
    static PromptsDesatendidos sinDialogos;
    if (qEnvironmentVariableIntValue("TARVOLIN_SIN_DIALOGOS") == 1)
        prompts::install(&sinDialogos);
    else
        prompts::install(&dialogos);

    Main(QApplication::arguments().mid(1));

    const QString capturas = qEnvironmentVariable("TARVOLIN_CAPTURAS");
    if (!capturas.isEmpty())
        ProgramaCapturas(capturas);
    return QApplication::exec();
}
