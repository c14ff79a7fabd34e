#pragma once
// ctrBoton: the touch-screen button of every window. Its face is a built-in bitmap, a picture file
// of the images folder, a custom picture, or a colour panel with a bevel; the caption sits where
// the button type puts it and moves 30 twips right and down while the button is held.
//
// Use: create it on a window, set TipoBoton / Caption (and colour or font settings when wanted),
// place it with move() and connect to Click. With Stretch off the button takes the size of its
// face; with Stretch on the host sizes it and the face and caption follow.
//
// Click comes exactly once for each press and release that lands on the button. The optional
// click guard (ControlarMouseDownPending) is for touch screens that lose presses or turn a long
// hold into something else: a release then raises Click also when its press was never seen or was
// held more than 3 s, and a press that comes within those 3 s after such a release gives no
// MouseDown and no pressed look (its release still gives its one Click).
#include <QColor>
#include <QList>
#include <QPair>
#include <QPixmap>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <optional>

// The settings a window keeps for its buttons: named values, names matched ignoring case,
// a value equal to its default is not written.
class PropertyBag final {
public:
    QVariant read(const QString& name, const QVariant& def) const;
    void write(const QString& name, const QVariant& value, const QVariant& def);
    bool contains(const QString& name) const;
    void set(const QString& name, const QVariant& value); // store unconditionally
    QStringList names() const;

private:
    int indexOf(const QString& name) const;
    QList<QPair<QString, QVariant>> m_values;
};

class ctrBoton final : public QWidget {
    Q_OBJECT
public:
    explicit ctrBoton(QWidget* parent = nullptr);

    // ---- properties ----
    qint32 TipoBoton() const { return m_tipoBoton; }
    void setTipoBoton(qint32 tipo);
    QString Caption() const { return m_caption; }
    void setCaption(const QString& caption);
    QString color() const { return m_color; }
    void setColor(const QString& rgb); // "r,g,b" or empty
    QString ColorFuente() const { return m_colorFuente; }
    void setColorFuente(const QString& rgb);
    QString FontName() const { return m_fontName; }
    void setFontName(const QString& name);
    qint16 FontSize() const { return m_fontSize; }
    void setFontSize(qint16 size);
    QString TamanoLetra() const; // the caption font's current size, as text
    void setTamanoLetra(const QString& size);
    bool ColorEspecial() const { return m_colorEspecial; }
    void setColorEspecial(bool v);
    bool Stretch() const { return m_stretch; }
    void setStretch(bool v);
    QString CarpetaImagenes() const { return m_carpetaImagenes; }
    void setCarpetaImagenes(const QString& carpeta); // empty: back to the default folder
    bool Pulsado() const { return m_pulsado; }
    void setPulsado(bool v);
    bool getMouseDown() const { return m_mouseDown; } // presses raise MouseDown/MouseUp and show the look
    void setMouseDown(bool v) { m_mouseDown = v; }
    bool ControlarMouseDownPending() const { return m_controlarMouseDownPending; }
    void setControlarMouseDownPending(bool v) { m_controlarMouseDownPending = v; }
    bool Enabled() const { return isEnabled(); }
    void setEnabledProp(bool v);
    // The whole button's, not its picture's: a colour face hides its picture and still shows.
    bool Visible() const { return !isHidden(); }
    void setVisible(bool visible) override;
    void Picture(const QString& strRutaArchivo); // custom face, used from the next CargaImagen
    QString ImagenPersonalizada() const { return m_imagenPersonalizada; }
    void setFontBold(bool v) { m_fontBold = v; }
    bool FontBold() const { return m_fontBold; }
    bool MostrarDescripcion() const { return m_mostrarDescripcion; }
    void setMostrarDescripcion(bool v);

    // ---- faces ----
    void CargaImagen(qint32 intTipoBoton);
    static QString getNombreImagenRegurso(qint32 intTipoBoton);
    void PintaBotonColor();
    void CambiaColorFuente();

    // ---- the window's saved settings ----
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // ---- what the control shows, in twips (for the host's layout and for checks) ----
    int anchoTwips() const { return m_w; }
    int altoTwips() const { return m_h; }
    void setTamanoTwips(int ancho, int alto);
    QRect rectCaptionTwips() const { return QRect(m_capLeft, m_capTop, m_capW, m_capH); }
    QString textoCaption() const { return m_lblTexto; }
    bool captionVisible() const { return m_lblVisible; }
    bool imagenVisible() const { return m_imgVisible; }
    bool imagenHundida() const { return m_imgHundida; }
    QPixmap imagen() const { return m_imgPix; }
    bool panelColorVisible() const { return m_fondoVisible; }
    QColor colorPanel() const { return m_fondoColor; }
    QColor colorTexto() const { return m_fuenteColor; }
    QFont fuenteCaption() const { return m_fuente; }
    bool superficieOpaca() const { return m_opaca; }
    bool presionado() const { return m_blnPresionado; }

    // The click guard's clock (milliseconds, monotonic); tests replace it, nullptr restores it.
    static void setRelojMs(std::function<qint64()> reloj);

    QSize sizeHint() const override { return size(); }

signals:
    void Click();
    void DblClick();
    void KeyDown(int keyCode, int shift);
    void KeyPress(int keyAscii);
    void KeyUp(int keyCode, int shift);
    void MouseDown(int button, int shift, double x, double y);
    void MouseMove(int button, int shift, double x, double y);
    void MouseUp(int button, int shift, double x, double y);
    void PropertyChanged(const QString& name); // the window's saved settings are out of date

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;

private:
    enum Linea {
        LinArribaGris,
        LinIzquierdaGris,
        LinDerechaGris,
        LinAbajoGris,
        LinDerecha,
        LinAbajo,
        LinIzquierda,
        LinArriba,
        NumLineas
    };
    struct Trazo {
        QLine twips;
        QColor color;
        bool visible = false;
    };

    void onPress(const QMouseEvent* e);
    void onRelease(const QMouseEvent* e);
    void press(const QMouseEvent* e) { cambiaPresion(e, true); }
    void release(const QMouseEvent* e) { cambiaPresion(e, false); }
    void cambiaPresion(const QMouseEvent* e, bool abajo); // MouseDown or MouseUp and the sunken image
    void DesplazaEtiqueta(bool restaurar);
    void resizeLogic();
    void layoutCaptionForType(qint32 tipo);
    void setImagen(const QPixmap& pm);
    void logError(const QString& procedimiento, const QString& texto) const;
    static bool parseRgb(const QString& rgb, QColor& out);
    QColor colorContenedor() const;
    bool esCaraColor() const { return !m_color.isEmpty() && m_colorEspecial; }
    static QString carpetaPorDefecto();

    // settings
    qint32 m_tipoBoton = 4;
    QString m_color, m_carpetaImagenes, m_colorFuente, m_fontName = "Arial";
    qint16 m_fontSize = 10;
    bool m_blnPresionado = false, m_pulsado = false, m_mouseDown = true, m_colorEspecial = false, m_stretch = false;
    QString m_imagenPersonalizada;
    bool m_fontBold = false, m_mostrarDescripcion = true;
    QString m_caption;
    bool m_controlarMouseDownPending = false;

    // click guard
    bool m_blnMouseDownPendiente = false, m_blnClickHecho = false;
    qint64 m_tPress = 0, m_tClickSuelta = 0;
    bool m_pressSeen = false, m_pressDropped = false;

    // the parts
    int m_w = 0, m_h = 0; // control, twips
    int m_capLeft = 0, m_capTop = 0, m_capW = 0, m_capH = 0;
    std::optional<QPoint> m_reposo; // the caption's rest position (left, top), saved at the first press
    QString m_lblTexto;
    bool m_lblVisible = true;
    QFont m_fuente;
    QColor m_fuenteColor = Qt::white;
    QPixmap m_imgPix;
    bool m_imgVisible = true, m_imgStretch = false, m_imgHundida = false;
    int m_imgW = 0, m_imgH = 0; // twips, when stretched
    bool m_fondoVisible = false;
    QColor m_fondoColor;
    int m_fondoW = 0, m_fondoH = 0;
    Trazo m_lin[NumLineas];
    bool m_pulsadorDelante = false;
    bool m_opaca = false;
    int m_resizeDepth = 0;
};
