#pragma once
// The process of a fuzz target: the registry store in a scratch folder, no log file, the program's
// end as an exception, and the target's main window, prompts and printer output installed.
#include "core/basGeneral.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"

#include <QString>

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
