#pragma once
// The process of a fuzz target: the registry store in a scratch folder, no log file, the program's
// end as an exception, and the target's main window, prompts and printer output installed.
#include "core/basGeneral.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/RecordingOutput.h"

#include <QString>
#include <QTemporaryDir>

// The main window as a fuzz target needs it: no rows kept, and a reconnection that succeeds at
// once, so the error handler never waits for a database that is not there.
class VentanaFuzz final : public RecordingMainWindow {
public:
    void AnadirLog(const QString&) override {}
    void setReconnectTimerEnabled(bool enabled) override {
        if (enabled)
            frmPrincipalVars().blnConexionOk = true;
    }
    void FinalizarProgramaYDescargarFormularios(bool) override {}
};

// Every message answered with its default, every input box with `entrada`, nothing recorded.
class AvisosFuzz final : public prompts::UserPrompts {
public:
    QString entrada;
    int messageBox(const QString&, int, const QString&) override { return prompts::vbOK; }
    bool inputBox(const QString&, const QString&, QString& valor) override {
        valor = entrada;
        return !entrada.isEmpty();
    }
    int showForm(const QString&) override { return 0; }
};

inline void preparaProcesoFuzz(const QString& registro, MainWindowPort* ventana, prompts::UserPrompts* avisos,
                               printers::RawOutput* salida) {
    registry::RegistryStore::instance().setDirectory(registro);
    // log.txt cannot be created below a file: forced log lines fail quietly instead of filling a disk.
    program::setApplicationDir(QStringLiteral("/dev/null/tarvolin"));
    program::setEndHandler([](int code) { throw program::Ended{code}; });
    setMainWindow(ventana);
    prompts::install(avisos);
    printers::install(salida);
}

// What a fuzz target's process holds: its Qt application (App), the scratch registry, the main
// window, the prompts and the printer output (Salida), installed as above. A target's own
// environment derives from it and adds what it needs.
template <class App, class Salida = printers::RecordingOutput> struct ProcesoFuzz {
    App app;
    QTemporaryDir registro;
    VentanaFuzz ventana;
    AvisosFuzz avisos;
    Salida salida;
    ProcesoFuzz(int* argc, char*** argv) : app(*argc, *argv) {
        preparaProcesoFuzz(registro.path(), &ventana, &avisos, &salida);
    }
};
