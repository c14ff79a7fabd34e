#include "controls/Comun.h"

#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QWidget>

namespace controls {

namespace {
// Backspace, Enter and Escape as their character codes; 0 for any other key.
int codigoControl(int key) {
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    default:
        return 0;
    }
}
} // namespace

int codigoTecla(const QKeyEvent* e) {
    const int k = e->key();
    if (k == Qt::Key_Tab)
        return 9;
    if (const int c = codigoControl(k))
        return c;
    return k >= 0 && k < 256 ? k : 0;
}

int codigoCaracter(const QKeyEvent* e) {
    if (const int c = codigoControl(e->key()))
        return c;
    const QString t = e->text();
    return t.isEmpty() ? 0 : t.at(0).unicode();
}

int mascaraMayusculas(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

QString numeroCorto(double valor) {
    if (valor == 0)
        valor = 0; // no "-0"
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    return loc.toString(valor, 'f', QLocale::FloatingPointShortest);
}

void centraEnPantalla(QWidget* ventana) {
    if (const QScreen* s = ventana->screen())
        ventana->move(s->availableGeometry().center() - ventana->rect().center());
}

} // namespace controls
