#include "server/json/clsJsonScript.h"

#include "core/basGeneral.h"
#include "platform/VBError.h"
#include "testsupport/RecordingMainWindow.h"

#include <gtest/gtest.h>

namespace {

TEST(clsJsonScript, ReportsUnderBothNamesAndNeverAsksForARetry) {
    clsJsonScript js;
    recordingMainWindow().grid.clear();
    bool resultado = true;
    try {
        vb::Raise(13);
    } catch (...) {
        resultado =
            js.ctrlErrorScript(QStringLiteral("clsSocketFront.EjecutaAccion. "), QStringLiteral("Type mismatch"));
    }
    EXPECT_FALSE(resultado);
    ASSERT_FALSE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.first().startsWith(
        QStringLiteral("ERROR: clsSocketFront.EjecutaAccion.  - Type mismatch: Type mismatch\r\n(13 - ")));

    recordingMainWindow().grid.clear();
    EXPECT_FALSE(js.ctrlErrorScript(QStringLiteral("proc"))); // no pending error, no description
    ASSERT_FALSE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.first().startsWith(QStringLiteral("ERROR: proc - : \r\n(0 - ")));
}

} // namespace
