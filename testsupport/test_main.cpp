// Test entry point: the test process (a QApplication on the offscreen platform, the registry store
// and the program folder in a scratch directory), and program::End throwing program::Ended instead
// of leaving.
#include "platform/Program.h"
#include "testsupport/ProcesoPrueba.h"
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testenv::ProcesoPrueba proceso(argc, argv);
    program::setEndHandler([](int code) { throw program::Ended{code}; });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
