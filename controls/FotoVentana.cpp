#include "controls/FotoVentana.h"

#include <QIcon>
#include <QPainter>
#include <QTextStream>
#include <QWidget>

namespace fotos {

QImage conTitulo(QWidget& w, int alto, int letra) {
    const QPixmap cuerpo = w.grab();
    QImage img(cuerpo.width() + 2, cuerpo.height() + alto + 1, QImage::Format_ARGB32);
    img.fill(QColor(0x30, 0x34, 0x3a));
    QPainter p(&img);
    const QIcon icono = w.windowIcon();
    // The caption's room: beside the icon when there is one, else from the bar's left edge.
    const QRect texto = icono.isNull() ? QRect(8, 0, img.width() - 16, alto) : QRect(30, 0, img.width() - 36, alto);
    if (!icono.isNull())
        p.drawPixmap(6, 4, icono.pixmap(18, 18));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(letra);
    p.setFont(f);
    p.drawText(texto, Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
    p.drawPixmap(1, alto, cuerpo);
    return img;
}

bool guarda(const QImage& img, const QString& ruta) {
    const bool ok = img.save(ruta);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << ruta << Qt::endl;
    return ok;
}

} // namespace fotos
