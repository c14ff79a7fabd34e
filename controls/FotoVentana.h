#pragma once
// Pictures of windows for the documentation.
#include <QImage>
#include <QString>

class QWidget;

namespace fotos {

// The window's picture under a title bar of our own (its icon, when it has one, and its caption),
// as a desktop would frame it; `alto` is the bar's height and `letra` the caption's size in pixels.
QImage conTitulo(QWidget& w, int alto, int letra);

// Writes the picture to the file and says so on standard output ("wrote <file>" or "FAILED <file>").
bool guarda(const QImage& img, const QString& ruta);

} // namespace fotos
