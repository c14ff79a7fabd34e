#pragma once
// One key of a keypad: a drawn key face with a Tag that says what the key types or does. A press
// shows the sunken border, a release removes it; each press and release on the key is one Click.
#include "controls/Caras.h"

#include <QMap>
#include <QWidget>
#include <span>

class ImagenTecla final : public QWidget {
    Q_OBJECT
public:
    ImagenTecla(int index, const QString& tag, const QString& etiqueta, caras::EstiloTecla estilo, QWidget* parent);

    int index() const { return m_index; }
    QString tag() const { return m_tag; }
    void setEtiqueta(const QString& etiqueta);
    QString etiqueta() const { return m_etiqueta; }
    // The sunken border (the window sets it on press and clears it on release; lock keys keep it).
    void setHundida(bool hundida);
    bool hundida() const { return m_hundida; }

signals:
    void Click(int index);
    void MouseDown(int index);
    void MouseUp(int index);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    int m_index;
    QString m_tag, m_etiqueta;
    caras::EstiloTecla m_estilo;
    bool m_hundida = false, m_presionada = false;
    QPixmap m_cara;
};

// The frame that holds a keypad's keys, with the decorative picture behind its display.
class MarcoTeclas final : public QWidget {
    Q_OBJECT
public:
    explicit MarcoTeclas(QWidget* parent) : QWidget(parent) {}
    void setMarcoVisor(const QRect& r) {
        m_visor = r;
        update();
    } // pixels; empty: none

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QRect m_visor;
};

// A key of a keypad and its place inside the keypad's frame, in twips.
struct TeclaEnMarco {
    int index;
    const char* tag; // UTF-8
    int left, top, width, height;
};

// The keys of a numeric keypad, made in its frame: the digits, RET (a function key), AC (the clear
// key), ENTER (the Enter key) and DEC, whose face shows `separador`. Each key sinks while it is
// pressed; the window connects their Click. By index.
QMap<int, ImagenTecla*> tecladoNumerico(std::span<const TeclaEnMarco> teclas, const QString& separador,
                                        MarcoTeclas* marco);
// The first of the keys whose Tag is `tag` in any case; nullptr when there is none.
ImagenTecla* teclaPorTag(const QMap<int, ImagenTecla*>& teclas, const QString& tag);
