#pragma once
// The program's built-in pictures: the BOTON_* button faces and the keypad keys, drawn here, and
// the two tray icons, SVG pictures of our own compiled into the program.
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

class QPainter;

namespace caras {

// The face bitmap of the program's resources with that name ("BOTON_GIGANTEN", ...); a null pixmap
// when the program holds no bitmap of that name (also for "BOTON_MAPA_MESAS" and "SKIN2022_FONDO").
QPixmap bitmapRecurso(const QString& nombre);
QStringList nombresBitmaps();

// The resource icons "CONECTADO" and "SIN_CONEXION"; a null icon for any other name.
QIcon icono(const QString& nombre);
inline QIcon iconoBandeja(bool conectado) {
    return icono(conectado ? "CONECTADO" : "SIN_CONEXION");
}

// Keypad keys. The label is the text shown, or one of the drawn symbols: "RET" (delete), "ENTER",
// "SHIFT", "TAB" (the five-space key) and " " (the space bar, left blank).
enum class EstiloTecla { Normal, Funcion, Borrar, Intro };
QPixmap tecla(const QString& etiqueta, const QSize& tamano, EstiloTecla estilo, qreal escalaTexto = 1.0);

// The sunken border that a pressed key or face shows (the raised look is the face itself).
void bordeHundido(QPainter& p, const QRect& r);
// The frame behind a keypad display.
void marcoVisor(QPainter& p, const QRect& r);

} // namespace caras
