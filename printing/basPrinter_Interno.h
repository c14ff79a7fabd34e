#pragma once
// What the parts of basPrinter share and no other module uses.
#include "core/basGeneral.h"
#include "platform/VBError.h"
#include "printing/basPrinter.h"
#include <QString>
#include <optional>

namespace basPrinter::interno {

inline const QString CRLF = QStringLiteral("\r\n");

// The printer routines tell the user an error's description and go on.
inline auto aviso(int estilo) {
    return [estilo](const VBError& e) { MensajeUsuario(e.description(), estilo); };
}

// A value used as a command byte must fit in one byte. Outside 0..255 the command is skipped and the
// value reported; the caller never sends the command without its parameter.
std::optional<int> byteDeParametro(double valor, const QString& que, int estilo);

// Whether the print target takes the text instead of the printer (shown on screen or handed back).
bool capturando();

// Sends what the job holds, adding nothing.
ResultadoEnvio enviaBuffer(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                           bool Traducir = true);

} // namespace basPrinter::interno
