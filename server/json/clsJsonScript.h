#pragma once
// The error callback that a script host hands to the request dispatcher (EjecutaAccion's `js`):
// with it, the dispatcher reports a failed action here instead of writing error fields into the
// reply. The script language itself lives in clsJSON; this class holds no state, and hosts may
// derive from it to add their own handling.
#include <QString>

class clsJsonScript {
public:
    virtual ~clsJsonScript() = default;

    // Reports the pending error (the exception being handled, when called from a catch block) to
    // the central error handler under strProceso & " - " & strError, asking it to reconnect when the
    // error calls for it. Always false: the caller never retries on its answer.
    virtual bool ctrlErrorScript(const QString& strProceso, const QString& strError = {},
                                 bool blnMostrarMensajeEnIDE = true);
};
