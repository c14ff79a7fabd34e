#include "ProcesoPrueba.h"

#include "platform/Program.h"
#include "platform/Registry.h"
#include "testsupport/RecordingMainWindow.h"

#include <QApplication>

namespace testenv {

ProcesoPrueba::ProcesoPrueba(int& argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    m_app = std::make_unique<QApplication>(argc, argv);
    m_scratch = std::make_unique<QTemporaryDir>();
    registry::RegistryStore::instance().setDirectory(m_scratch->path() + "/registry");
    program::setApplicationDir(m_scratch->path() + "/app");
    setDefaultMainWindow(&recordingMainWindow());
}

ProcesoPrueba::~ProcesoPrueba() {
    m_scratch.reset(); // before the application, as a local of main would go
}

} // namespace testenv
