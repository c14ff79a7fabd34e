#include "clsJsonScript.h"

#include "core/basGeneral.h"
#include "platform/VBError.h"

#include <exception>

bool clsJsonScript::ctrlErrorScript(const QString& strProceso, const QString& strError, bool blnMostrarMensajeEnIDE) {
    Q_UNUSED(blnMostrarMensajeEnIDE);
    // Outside a catch block there is no pending error: VB's Err would read 0 with no description.
    const VBError err = std::current_exception() ? vb::CurrentError() : VBError(0, QString());
    ControlErrores(strProceso + QStringLiteral(" - ") + strError, true, err);
    return false;
}
