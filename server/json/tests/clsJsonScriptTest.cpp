#include "server/json/clsJsonScript.h"

#include "platform/VBError.h"
#include "testsupport/RecordingMainWindow.h"

#include <gtest/gtest.h>

namespace {

using namespace Qt::Literals::StringLiterals;

TEST(clsJsonScript, ReportsUnderBothNamesAndNeverAsksForARetry) {
    clsJsonScript js;
    recordingMainWindow().grid.clear();
    try {
        vb::Raise(vb::err::TypeMismatch);
    } catch (...) {
        EXPECT_FALSE(js.ctrlErrorScript(u"clsSocketFront.EjecutaAccion. "_s, u"Type mismatch"_s));
    }
    EXPECT_TRUE(recordingMainWindow().grid.value(0).startsWith(
        u"ERROR: clsSocketFront.EjecutaAccion.  - Type mismatch: Type mismatch\r\n(13 - "_s));

    recordingMainWindow().grid.clear();
    EXPECT_FALSE(js.ctrlErrorScript(u"proc"_s)); // no pending error, no description
    EXPECT_TRUE(recordingMainWindow().grid.value(0).startsWith(u"ERROR: proc - : \r\n(0 - "_s));
}

} // namespace
