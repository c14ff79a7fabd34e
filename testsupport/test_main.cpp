// Test entry point: the test process (a QApplication on the offscreen platform, the registry store
// and the program folder in a scratch directory), program::End throwing program::Ended instead of
// leaving, the watch that fails a test whose modal window nobody closes, and the prompts seam failing
// the test when a box is asked for on a road that shows none (a print).
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "testsupport/ProcesoPrueba.h"
#include "testsupport/Waits.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testenv::ProcesoPrueba proceso(argc, argv);
    program::setEndHandler([](int code) { throw program::Ended{code}; });
    prompts::setForbiddenBoxHandler([](const QString& kind, const QString& text) {
        ADD_FAILURE() << "a " << kind.toStdString() << " was opened inside a print: " << text.toStdString();
    });
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new waits::ModalWatch);
    return RUN_ALL_TESTS();
}
