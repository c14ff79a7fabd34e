#pragma once
// Recognises ESC/POS commands inside print text (one character per byte, Windows-1252), so that the
// character translation leaves their bytes alone.
#include <QString>

namespace escpos {
// Number of characters of the command that starts at `pos` (its introducer, code and parameters,
// bounded by the end of the text: at least 1 and never past the end), or 0 when no command starts
// there or `pos` lies outside the text.
qsizetype longitudComando(const QString& texto, qsizetype pos);
} // namespace escpos
