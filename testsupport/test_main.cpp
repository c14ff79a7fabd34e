// Test entry point: a QApplication on the offscreen platform, the registry store and the program
// folder in a scratch directory, and program::End throwing program::Ended instead of leaving.
#include "platform/Program.h"
#include "platform/Registry.h"
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    registry::RegistryStore::instance().setDirectory(scratch.path() + "/registry");
    program::setApplicationDir(scratch.path() + "/app");
    program::setEndHandler([](int code) { throw program::Ended{code}; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
