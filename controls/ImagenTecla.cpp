#include "controls/ImagenTecla.h"

#include "controls/Twips.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>

ImagenTecla::ImagenTecla(int index, const QString& tag, const QString& etiqueta, caras::EstiloTecla estilo,
                         QWidget* parent)
    : QWidget(parent), m_index(index), m_tag(tag), m_etiqueta(etiqueta), m_estilo(estilo) {
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("imgTecla%1").arg(index));
}

void ImagenTecla::setEtiqueta(const QString& etiqueta) {
    if (etiqueta == m_etiqueta)
        return;
    m_etiqueta = etiqueta;
    m_cara = QPixmap();
    update();
}

void ImagenTecla::setHundida(bool hundida) {
    if (hundida == m_hundida)
        return;
    m_hundida = hundida;
    update();
}

void ImagenTecla::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_cara = QPixmap();
}

void ImagenTecla::paintEvent(QPaintEvent*) {
    if (m_cara.size() != size())
        m_cara = caras::tecla(m_etiqueta, size(), m_estilo);
    QPainter p(this);
    if (m_hundida) {
        p.drawPixmap(1, 1, m_cara);
        caras::bordeHundido(p, rect().adjusted(0, 0, -1, -1));
    } else {
        p.drawPixmap(0, 0, m_cara);
    }
}

void ImagenTecla::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    m_presionada = true;
    emit MouseDown(m_index);
}

// A quick second tap arrives as a double click: it is a press like any other.
void ImagenTecla::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e);
}

void ImagenTecla::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    const bool click = m_presionada && rect().contains(e->position().toPoint());
    m_presionada = false;
    emit MouseUp(m_index);
    if (click)
        emit Click(m_index);
}

void MarcoTeclas::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(0x3a, 0x3f, 0x46));
    g.setColorAt(1, QColor(0x1e, 0x21, 0x25));
    p.setPen(QPen(QColor(0x12, 0x14, 0x16), 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    if (!m_visor.isEmpty())
        caras::marcoVisor(p, m_visor);
}

QMap<int, ImagenTecla*> tecladoNumerico(std::span<const TeclaEnMarco> teclas, const QString& separador,
                                        MarcoTeclas* marco) {
    QMap<int, ImagenTecla*> r;
    for (const TeclaEnMarco& t : teclas) {
        const QString tag = QString::fromUtf8(t.tag);
        caras::EstiloTecla estilo = caras::EstiloTecla::Normal;
        QString etiqueta = tag;
        if (tag == "RET")
            estilo = caras::EstiloTecla::Funcion;
        else if (tag == "AC")
            estilo = caras::EstiloTecla::Borrar;
        else if (tag == "ENTER")
            estilo = caras::EstiloTecla::Intro;
        else if (tag == "DEC")
            etiqueta = separador;
        auto* k = new ImagenTecla(t.index, tag, etiqueta, estilo, marco);
        k->setGeometry(twips::rect(t.left, t.top, t.width, t.height));
        QObject::connect(k, &ImagenTecla::MouseDown, k, [k] { k->setHundida(true); });
        QObject::connect(k, &ImagenTecla::MouseUp, k, [k] { k->setHundida(false); });
        r.insert(t.index, k);
    }
    return r;
}

ImagenTecla* teclaPorTag(const QMap<int, ImagenTecla*>& teclas, const QString& tag) {
    for (ImagenTecla* k : teclas)
        if (k->tag().compare(tag, Qt::CaseInsensitive) == 0)
            return k;
    return nullptr;
}
