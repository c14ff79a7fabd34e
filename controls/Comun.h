#pragma once
// Small helpers shared by the keypads and the button: key codes as the windows know them, the
// short text of a number, the window's place on the screen.
#include <QString>
#include <Qt>

class QKeyEvent;
class QWidget;

namespace controls {

// The key code of a key event as the forms use it: ASCII for digits and letters (upper case),
// 8 Backspace, 9 Tab, 13 Enter, 27 Escape, 32 space; other keys give their Qt code when below
// 256, else 0.
int codigoTecla(const QKeyEvent* e);
// The character code of the key's text (8 for Backspace, 13 for Enter, 27 for Escape), 0 when
// the key types nothing.
int codigoCaracter(const QKeyEvent* e);
// Shift 1, Ctrl 2, Alt 4.
int mascaraMayusculas(Qt::KeyboardModifiers m);

// A number in its shortest text with the locale's decimal separator and no grouping, never in
// exponent form ("5", "1.05" or "1,05", "100000000"); -0 is written "0".
QString numeroCorto(double valor);

// Moves the window to the middle of its screen's available area.
void centraEnPantalla(QWidget* ventana);

} // namespace controls
