#include "ReiniciaTodo.h"

#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Printers.h"
#include "platform/Program.h"

// The folders above the core keep state too, but a test binary holds only the folders it tests:
// their resets are weak references, null in a binary that does not hold the folder (and then has
// none of its state either). The declarations are those of ui/Main.h, rules/ObjetosGlobales.h,
// scale/clsComm.h and printing/basPrinter.h.
[[gnu::weak]] void resetMainForTests();
[[gnu::weak]] void resetObjCommForTests();
namespace reglas {
[[gnu::weak]] void resetRegistroForTests();
}
namespace basPrinter {
[[gnu::weak]] void resetForTests();
}

namespace testenv {

void reiniciaTodo() {
    // From the top down: what is above may still hold what is below.
    if (resetMainForTests)
        resetMainForTests();
    if (reglas::resetRegistroForTests)
        reglas::resetRegistroForTests();
    if (resetObjCommForTests)
        resetObjCommForTests();
    if (basPrinter::resetForTests)
        basPrinter::resetForTests();
    resetBasGeneralForTests();
    objParametros().resetForTests();
    resetTraduccionForTests();
    program::resetForTests();
    printers::resetForTests();
    clock_seam::setNowSource(nullptr);
}

} // namespace testenv
