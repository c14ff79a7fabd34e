#include "controls/Caras.h"

#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

static void iniciaRecursos() {
    Q_INIT_RESOURCE(controls);
}

namespace caras {
namespace {

enum class Forma { Rectangulo, Redondo };

struct CaraBoton {
    const char* nombre;
    int ancho, alto; // pixels
    QRgb arriba, abajo;
    Forma forma;
    bool hundida; // the "down" variants of the round faces
    int simbolo;  // 0 none, 1 tick, 2 cross
};

// Sizes follow the caption boxes that ctrBoton lays out for each type, so that a caption of one
// line sits in the middle of its face.
const CaraBoton kCaras[] = {
    {"BOTON_GIGANTEN", 136, 34, 0xff34495e, 0xff1c2833, Forma::Rectangulo, false, 0},
    {"BOTON_GIGANTE", 136, 34, 0xff3d7cc9, 0xff1f4f8f, Forma::Rectangulo, false, 0},
    {"BOTON_GRANDE_ARQUEARN", 123, 34, 0xff8e6a2e, 0xff5a3f14, Forma::Rectangulo, false, 0},
    {"BOTON_GRANDE_ARQUEAR", 123, 34, 0xffe0a030, 0xffa8700f, Forma::Rectangulo, false, 0},
    {"BOTON_MEDIANO_GRANDEN", 93, 34, 0xff3b4f63, 0xff1f2c39, Forma::Rectangulo, false, 0},
    {"BOTON_MEDIANO_GRANDE", 93, 34, 0xff4c8fd6, 0xff265f9e, Forma::Rectangulo, false, 0},
    {"BOTON_MODIFN", 52, 20, 0xff5c6670, 0xff353c43, Forma::Rectangulo, false, 0},
    {"BOTON_MODIF", 52, 20, 0xff8a949e, 0xff5a636c, Forma::Rectangulo, false, 0},
    {"BOTON_PEQUENO_ALARGADO", 82, 26, 0xff4a7fb5, 0xff2a527c, Forma::Rectangulo, false, 0},
    {"BOTON_AZUL_CLARON", 70, 40, 0xff4d8fc4, 0xff24608f, Forma::Rectangulo, false, 0},
    {"BOTON_AZUL_CLARO", 70, 40, 0xff62aee8, 0xff2f7dbd, Forma::Rectangulo, false, 0},
    {"BOTON_PRINCIPAL_OTROSN", 69, 36, 0xff2e6f68, 0xff17403b, Forma::Rectangulo, false, 0},
    {"BOTON_PRINCIPAL_OTROS", 69, 36, 0xff35a090, 0xff1d6b60, Forma::Rectangulo, false, 0},
    {"BOTON_AZUL_CLARON_1024", 60, 34, 0xff4d8fc4, 0xff24608f, Forma::Rectangulo, false, 0},
    {"BOTON_PRINCIPAL_OTROSN_1024", 60, 30, 0xff2e6f68, 0xff17403b, Forma::Rectangulo, false, 0},
    {"BOTON_AC", 48, 48, 0xff3fbf5f, 0xff1f8a3a, Forma::Redondo, false, 1},
    {"BOTON_ACDW", 48, 48, 0xff2a9a48, 0xff176b2c, Forma::Redondo, true, 1},
    {"BOTON_AO", 48, 48, 0xffe05a4a, 0xffa52a1e, Forma::Redondo, false, 2},
    {"BOTON_AODW", 48, 48, 0xffb8463a, 0xff7f2017, Forma::Redondo, true, 2},
};

QPixmap dibujaCara(const CaraBoton& c) {
    QPixmap pm(c.ancho, c.alto);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, c.ancho - 1.0, c.alto - 1.0);
    QLinearGradient fondo(0, 0, 0, c.alto);
    fondo.setColorAt(0, c.hundida ? QColor(c.abajo) : QColor(c.arriba));
    fondo.setColorAt(1, c.hundida ? QColor(c.arriba) : QColor(c.abajo));
    QPainterPath contorno;
    if (c.forma == Forma::Redondo)
        contorno.addEllipse(r);
    else
        contorno.addRoundedRect(r, qMin(6.0, c.alto / 4.0), qMin(6.0, c.alto / 4.0));
    p.fillPath(contorno, fondo);
    // a soft shine on the upper half (lower half when pressed)
    QLinearGradient brillo(0, 0, 0, c.alto);
    brillo.setColorAt(c.hundida ? 1.0 : 0.0, QColor(255, 255, 255, 90));
    brillo.setColorAt(0.5, QColor(255, 255, 255, 0));
    p.fillPath(contorno, brillo);
    p.setPen(QPen(QColor(c.abajo).darker(140), 1));
    p.drawPath(contorno);
    if (c.simbolo != 0) {
        QPen trazo(Qt::white, c.alto / 9.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(trazo);
        const qreal w = c.ancho, h = c.alto;
        if (c.simbolo == 1) {
            QPainterPath v;
            v.moveTo(w * 0.28, h * 0.52);
            v.lineTo(w * 0.44, h * 0.68);
            v.lineTo(w * 0.73, h * 0.36);
            p.drawPath(v);
        } else {
            p.drawLine(QPointF(w * 0.32, h * 0.32), QPointF(w * 0.68, h * 0.68));
            p.drawLine(QPointF(w * 0.68, h * 0.32), QPointF(w * 0.32, h * 0.68));
        }
    }
    return pm;
}

const CaraBoton* buscaCara(const QString& nombre) {
    for (const CaraBoton& c : kCaras)
        if (nombre.compare(QLatin1String(c.nombre), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

// Symbols are drawn in a unit box and scaled to the key.
void simbolo(QPainter& p, const QString& etiqueta, const QRectF& caja, const QColor& color) {
    const qreal s = qMin(caja.width(), caja.height());
    const QPointF c = caja.center();
    QPen trazo(color, qMax(1.5, s / 11.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(trazo);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    if (etiqueta == "RET") { // a delete key: an arrow-shaped tag with a cross
        const qreal w = s * 0.62, h = s * 0.38;
        const QPointF o(c.x() - w / 2, c.y() - h / 2);
        path.moveTo(o + QPointF(0, h / 2));
        path.lineTo(o + QPointF(w * 0.3, 0));
        path.lineTo(o + QPointF(w, 0));
        path.lineTo(o + QPointF(w, h));
        path.lineTo(o + QPointF(w * 0.3, h));
        path.closeSubpath();
        p.drawPath(path);
        const QPointF x = o + QPointF(w * 0.64, h / 2);
        const qreal d = h * 0.22;
        p.drawLine(x + QPointF(-d, -d), x + QPointF(d, d));
        p.drawLine(x + QPointF(d, -d), x + QPointF(-d, d));
    } else if (etiqueta == "ENTER") { // a return arrow
        const qreal w = s * 0.5;
        path.moveTo(c + QPointF(w / 2, -w / 2));
        path.lineTo(c + QPointF(w / 2, w / 6));
        path.lineTo(c + QPointF(-w / 2, w / 6));
        p.drawPath(path);
        QPainterPath punta;
        punta.moveTo(c + QPointF(-w / 2 + w / 4, w / 6 - w / 4));
        punta.lineTo(c + QPointF(-w / 2, w / 6));
        punta.lineTo(c + QPointF(-w / 2 + w / 4, w / 6 + w / 4));
        p.drawPath(punta);
    } else if (etiqueta == "SHIFT") { // an outlined arrow pointing up
        const qreal w = s * 0.5, h = s * 0.5;
        const QPointF o(c.x() - w / 2, c.y() - h / 2);
        path.moveTo(o + QPointF(w / 2, 0));
        path.lineTo(o + QPointF(w, h * 0.5));
        path.lineTo(o + QPointF(w * 0.72, h * 0.5));
        path.lineTo(o + QPointF(w * 0.72, h));
        path.lineTo(o + QPointF(w * 0.28, h));
        path.lineTo(o + QPointF(w * 0.28, h * 0.5));
        path.lineTo(o + QPointF(0, h * 0.5));
        path.closeSubpath();
        p.drawPath(path);
    } else if (etiqueta == "TAB") { // an arrow to a bar
        const qreal w = s * 0.56;
        p.drawLine(c + QPointF(-w / 2, 0), c + QPointF(w / 2 - 2, 0));
        p.drawLine(c + QPointF(w / 2 - w / 4, -w / 4), c + QPointF(w / 2 - 2, 0));
        p.drawLine(c + QPointF(w / 2 - w / 4, w / 4), c + QPointF(w / 2 - 2, 0));
        p.drawLine(c + QPointF(w / 2 + 1, -w / 3), c + QPointF(w / 2 + 1, w / 3));
    }
}

QColor colorTecla(EstiloTecla e, bool arriba) {
    switch (e) {
    case EstiloTecla::Funcion:
        return arriba ? QColor(0x5d, 0x6d, 0x7e) : QColor(0x39, 0x44, 0x50);
    case EstiloTecla::Borrar:
        return arriba ? QColor(0xd9, 0x6b, 0x3a) : QColor(0x9c, 0x41, 0x1c);
    case EstiloTecla::Intro:
        return arriba ? QColor(0x3f, 0xa8, 0x5a) : QColor(0x21, 0x6f, 0x35);
    case EstiloTecla::Normal:
        break;
    }
    return arriba ? QColor(0x4a, 0x50, 0x58) : QColor(0x25, 0x29, 0x2e);
}

} // namespace

QPixmap bitmapRecurso(const QString& nombre) {
    static QHash<QString, QPixmap> cache;
    const CaraBoton* c = buscaCara(nombre);
    if (!c)
        return {};
    const QString clave = QString::fromLatin1(c->nombre);
    auto it = cache.find(clave);
    if (it == cache.end())
        it = cache.insert(clave, dibujaCara(*c));
    return *it;
}

QStringList nombresBitmaps() {
    QStringList l;
    for (const CaraBoton& c : kCaras)
        l << QString::fromLatin1(c.nombre);
    return l;
}

QIcon icono(const QString& nombre) {
    if (nombre != "CONECTADO" && nombre != "SIN_CONEXION")
        return {};
    iniciaRecursos();
    QSvgRenderer svg(QStringLiteral(":/tarvolin/%1.svg").arg(nombre));
    if (!svg.isValid())
        return {};
    QIcon ic;
    for (int lado : {16, 22, 24, 32, 48, 64}) {
        QPixmap pm(lado, lado);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        svg.render(&p);
        p.end();
        ic.addPixmap(pm);
    }
    return ic;
}

QPixmap tecla(const QString& etiqueta, const QSize& tamano, EstiloTecla estilo, qreal escalaTexto) {
    QPixmap pm(tamano);
    pm.fill(Qt::transparent);
    if (tamano.isEmpty())
        return pm;
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF r = QRectF(pm.rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient fondo(0, 0, 0, tamano.height());
    fondo.setColorAt(0, colorTecla(estilo, true));
    fondo.setColorAt(1, colorTecla(estilo, false));
    QPainterPath contorno;
    contorno.addRoundedRect(r, 5, 5);
    p.fillPath(contorno, fondo);
    QLinearGradient brillo(0, 0, 0, tamano.height());
    brillo.setColorAt(0, QColor(255, 255, 255, 70));
    brillo.setColorAt(0.45, QColor(255, 255, 255, 0));
    p.fillPath(contorno, brillo);
    p.setPen(QPen(QColor(0x10, 0x12, 0x14), 1));
    p.drawPath(contorno);

    const QColor tinta(0xf2, 0xf4, 0xf6);
    if (etiqueta == "RET" || etiqueta == "ENTER" || etiqueta == "SHIFT" || etiqueta == "TAB") {
        simbolo(p, etiqueta, r.adjusted(3, 3, -3, -3), tinta);
    } else if (!etiqueta.trimmed().isEmpty()) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        const qreal base = qMin(tamano.height(), 48) * (etiqueta.size() > 2 ? 0.30 : 0.44) * escalaTexto;
        f.setPixelSize(qMax(8, qRound(base)));
        QFontMetricsF fm(f);
        while (f.pixelSize() > 8 && fm.horizontalAdvance(etiqueta) > r.width() - 6) {
            f.setPixelSize(f.pixelSize() - 1);
            fm = QFontMetricsF(f);
        }
        p.setFont(f);
        p.setPen(tinta);
        p.drawText(r, Qt::AlignCenter, etiqueta);
    }
    return pm;
}

void bordeHundido(QPainter& p, const QRect& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, QColor(0, 0, 0, 60));
    const QColor oscuro(0x20, 0x20, 0x20), medio(0x80, 0x80, 0x80), claro(0xff, 0xff, 0xff);
    p.setPen(medio);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(oscuro);
    p.drawLine(r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1));
    p.drawLine(r.topLeft() + QPoint(1, 1), r.bottomLeft() + QPoint(1, -1));
    p.setPen(claro);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.restore();
}

void marcoVisor(QPainter& p, const QRect& r) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, QColor(0x6a, 0x71, 0x7a));
    g.setColorAt(1, QColor(0x2b, 0x30, 0x36));
    QPainterPath marco;
    marco.addRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    p.fillPath(marco, g);
    p.setPen(QPen(QColor(0x15, 0x17, 0x1a), 1));
    p.drawPath(marco);
    p.restore();
}

} // namespace caras
