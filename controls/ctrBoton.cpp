#include "controls/ctrBoton.h"

#include "controls/Caras.h"
#include "controls/Comun.h"
#include "controls/Twips.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Variant.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr qint64 kVentanaGuardaMs = 3000; // a press held longer is a long press; the drop window
constexpr int kDesplazamiento = 30;       // twips the caption moves while pressed

std::function<qint64()>& reloj() {
    static std::function<qint64()> f;
    return f;
}
qint64 ahoraMs() {
    return reloj() ? reloj()() : clock_seam::tickMs();
}

bool mismoNombre(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

// ---------------------------------------------------------------- PropertyBag

int PropertyBag::indexOf(const QString& name) const {
    for (int i = 0; i < m_values.size(); ++i)
        if (mismoNombre(m_values[i].first, name))
            return i;
    return -1;
}

QVariant PropertyBag::read(const QString& name, const QVariant& def) const {
    const int i = indexOf(name);
    return i < 0 ? def : m_values[i].second;
}

void PropertyBag::write(const QString& name, const QVariant& value, const QVariant& def) {
    if (value == def)
        return;
    set(name, value);
}

void PropertyBag::set(const QString& name, const QVariant& value) {
    const int i = indexOf(name);
    if (i < 0)
        m_values.append({name, value});
    else
        m_values[i].second = value;
}

bool PropertyBag::contains(const QString& name) const {
    return indexOf(name) >= 0;
}

QStringList PropertyBag::names() const {
    QStringList l;
    for (const auto& v : m_values)
        l << v.first;
    return l;
}

// ---------------------------------------------------------------- construction

QString ctrBoton::carpetaPorDefecto() {
    return ::CarpetaImagenes() + "/imgs_frm/botons/";
}

void ctrBoton::setRelojMs(std::function<qint64()> f) {
    reloj() = std::move(f);
}

ctrBoton::ctrBoton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_carpetaImagenes = carpetaPorDefecto();

    // the designed parts
    m_fuente = QFont(QStringLiteral("Arial"));
    m_fuente.setBold(true);
    m_fuente.setPointSizeF(9.75);
    m_capH = 495;
    const QColor gris(192, 192, 192), blanco(255, 255, 255);
    const QColor textoVentana = palette().color(QPalette::WindowText);
    for (Linea l : {LinArribaGris, LinIzquierdaGris, LinDerechaGris, LinAbajoGris})
        m_lin[l].color = gris;
    m_lin[LinDerecha].color = m_lin[LinAbajo].color = textoVentana;
    m_lin[LinIzquierda].color = m_lin[LinArriba].color = blanco;

    // a new button placed on a window
    m_tipoBoton = 4;
    setTipoBoton(4);
    m_caption = m_lblTexto;
    m_colorEspecial = m_stretch = m_blnPresionado = false;
    m_mouseDown = true;
    m_color.clear();
    m_colorFuente.clear();
    m_fontName = "Arial";
    m_fontSize = 10;
    m_colorEspecial = true;
    m_imagenPersonalizada.clear();
    m_mostrarDescripcion = true;
    m_fontBold = false;
}

// Face and layout failures are logged, not boxed: a modal box per button would stop an unattended till.
void ctrBoton::logError(const QString& procedimiento, const QString& texto) const {
    GrabaLog(QStringLiteral("ctrBoton.%1: %2").arg(procedimiento, texto));
}

bool ctrBoton::parseRgb(const QString& rgb, QColor& out) {
    const QStringList partes = rgb.split(',');
    if (partes.size() != 3)
        return false;
    int c[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double v = partes[i].trimmed().toDouble(&ok);
        if (!ok || v < -32768 || v > 32767)
            return false;
        c[i] = qBound(0, qRound(v), 255);
    }
    out = QColor(c[0], c[1], c[2]);
    return true;
}

QColor ctrBoton::colorContenedor() const {
    const QWidget* w = parentWidget() ? parentWidget() : this;
    return w->palette().color(w->backgroundRole());
}

// ---------------------------------------------------------------- properties

void ctrBoton::setTipoBoton(qint32 tipo) {
    m_capLeft = 0;
    m_tipoBoton = tipo; // the resizes of the layout already see the new type
    layoutCaptionForType(tipo);
    if (m_stretch) {
        if (m_w - 2 * m_capLeft > 0)
            m_capW = m_w - 2 * m_capLeft;
        if (m_h - 2 * m_capTop > 0)
            m_capH = m_h - 2 * m_capTop;
    }
    // The new layout is the caption's rest position from now on; a button held down keeps its look.
    m_reposo.reset();
    if (m_blnPresionado || m_pulsado)
        DesplazaEtiqueta(false);
    emit PropertyChanged("TipoBoton");
    CargaImagen(tipo);
    update();
}

void ctrBoton::layoutCaptionForType(qint32 tipo) {
    const int largo = m_lblTexto.size();
    if (tipo != 20)
        m_lblVisible = true;
    switch (tipo) {
    case 0:
    case 10:
        m_capW = 2040;
        m_capTop = largo < 20 ? 120 : 20;
        break;
    case 1:
    case 11:
        m_capW = 1845;
        m_capTop = largo < 16 ? 120 : 20;
        break;
    case 2:
    case 12:
    case 19:
        m_capW = 1155;
        m_capTop = largo < 12 ? 120 : 20;
        m_capLeft = 120;
        break;
    case 3:
    case 13:
        m_capW = 780;
        m_capTop = 0;
        break;
    case 4:
    case 14:
        m_capW = 1230;
        m_capTop = 50;
        break;
    case 5:
    case 15:
        m_capW = 1050;
        m_capTop = m_fontSize != 0 ? 80 : (largo < 11 ? 180 : 80);
        if (!m_color.isEmpty())
            setTamanoTwips(1025, 575);
        break;
    case 6:
    case 16:
        m_capW = 1035;
        m_capTop = largo < 11 ? 140 : 40;
        break;
    case 20:
        m_lblVisible = false;
        setTamanoTwips(400, 400);
        break;
    default:
        break;
    }
}

void ctrBoton::setCaption(const QString& caption) {
    m_lblTexto = caption;
    m_caption = caption;
    emit PropertyChanged("Caption");
    setTipoBoton(m_tipoBoton);
}

void ctrBoton::setColor(const QString& rgb) {
    m_color = rgb;
    emit PropertyChanged("Color");
    // Setting or clearing the colour changes the face at once.
    if (m_colorEspecial)
        CargaImagen(m_tipoBoton);
    resizeLogic();
    update();
}

void ctrBoton::setColorFuente(const QString& rgb) {
    m_colorFuente = rgb;
    emit PropertyChanged("ColorFuente");
    CambiaColorFuente();
}

void ctrBoton::setFontName(const QString& name) {
    m_fontName = name;
    emit PropertyChanged("FontName");
    CambiaColorFuente();
}

void ctrBoton::setFontSize(qint16 size) {
    m_fontSize = size;
    emit PropertyChanged("FontSize");
    CambiaColorFuente();
}

QString ctrBoton::TamanoLetra() const {
    return controls::numeroCorto(m_fuente.pointSizeF());
}

void ctrBoton::setTamanoLetra(const QString& size) {
    const double pt = basFuncionesComunes::ValNumero(size);
    if (pt > 0)
        m_fuente.setPointSizeF(pt);
    else
        logError("TamañoLetra", QStringLiteral("tamaño de letra no válido: %1").arg(size));
    emit PropertyChanged(QStringLiteral("TamañoLetra"));
    resizeLogic();
    update();
}

void ctrBoton::setColorEspecial(bool v) {
    m_colorEspecial = v;
    CargaImagen(m_tipoBoton);
    resizeLogic();
}

void ctrBoton::setStretch(bool v) {
    m_stretch = v;
    setSizePolicy(v ? QSizePolicy::Preferred : QSizePolicy::Fixed, v ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    CargaImagen(m_tipoBoton);
    resizeLogic();
}

void ctrBoton::setCarpetaImagenes(const QString& carpeta) {
    if (!carpeta.isEmpty()) {
        m_carpetaImagenes = carpeta.endsWith('/') ? carpeta : carpeta + '/';
        CargaImagen(m_tipoBoton);
    } else {
        m_carpetaImagenes = carpetaPorDefecto();
    }
    emit PropertyChanged("CarpetaImagenes");
}

void ctrBoton::setPulsado(bool v) {
    if (v) {
        m_imgHundida = true;
        DesplazaEtiqueta(false);
        m_blnPresionado = true;
    } else {
        m_imgHundida = false;
        DesplazaEtiqueta(true);
        m_blnPresionado = false;
    }
    m_pulsado = m_blnPresionado;
    update();
}

void ctrBoton::setEnabledProp(bool v) {
    setEnabled(v);
    emit PropertyChanged("Enabled");
    update();
}

void ctrBoton::setVisible(bool visible) {
    const bool cambia = visible == isHidden();
    QWidget::setVisible(visible);
    if (cambia)
        emit PropertyChanged("Visible");
}

void ctrBoton::Picture(const QString& strRutaArchivo) {
    if (QFileInfo::exists(strRutaArchivo))
        m_imagenPersonalizada = strRutaArchivo;
}

void ctrBoton::setMostrarDescripcion(bool v) {
    m_mostrarDescripcion = v;
    if (!v)
        m_lblTexto.clear();
    update();
}

// ---------------------------------------------------------------- faces

QString ctrBoton::getNombreImagenRegurso(qint32 tipo) {
    switch (tipo) {
    case 0:
        return "BOTON_GIGANTEN";
    case 1:
        return "BOTON_GRANDE_ARQUEARN";
    case 2:
        return "BOTON_MEDIANO_GRANDEN";
    case 3:
        return "BOTON_MODIFN";
    case 4:
    case 14:
        return "BOTON_PEQUENO_ALARGADO";
    case 5:
        return "BOTON_AZUL_CLARON";
    case 6:
        return "BOTON_PRINCIPAL_OTROSN";
    case 10:
        return "BOTON_GIGANTE";
    case 11:
        return "BOTON_GRANDE_ARQUEAR";
    case 12:
        return "BOTON_MEDIANO_GRANDE";
    case 13:
        return "BOTON_MODIF";
    case 15:
        return "BOTON_AZUL_CLARO";
    case 16:
        return "BOTON_PRINCIPAL_OTROS";
    case 17:
        return "BOTON_AZUL_CLARON_1024";
    case 18:
        return "BOTON_PRINCIPAL_OTROSN_1024";
    case 19:
        return "BOTON_MAPA_MESAS";
    case 20:
        return "SKIN2022_FONDO";
    default:
        return {};
    }
}

void ctrBoton::setImagen(const QPixmap& pm) {
    m_imgPix = pm;
    if (!m_stretch) {
        m_imgW = twips::desdePx(pm.width());
        m_imgH = twips::desdePx(pm.height());
    }
}

void ctrBoton::CargaImagen(qint32 intTipoBoton) {
    auto cargaRecurso = [&] {
        const QString nombre = getNombreImagenRegurso(intTipoBoton);
        const QPixmap pm = caras::bitmapRecurso(nombre);
        if (pm.isNull())
            logError("CargaImagen",
                     QStringLiteral("no hay imagen de botón para el tipo %1 (\"%2\")").arg(intTipoBoton).arg(nombre));
        else
            setImagen(pm);
    };

    // 1. a picture face to start from
    for (Trazo& t : m_lin)
        t.visible = false;
    m_fondoVisible = false;
    m_imgVisible = true;

    // 2. the custom picture
    if (!m_imagenPersonalizada.isEmpty()) {
        QPixmap pm;
        if (pm.load(m_imagenPersonalizada)) {
            setImagen(pm);
        } else {
            logError("CargaImagen", QStringLiteral("no se puede cargar la imagen %1").arg(m_imagenPersonalizada));
            m_imagenPersonalizada.clear();
            m_mostrarDescripcion = true;
            m_lblTexto = m_caption;
        }
    }

    // 3. the ordinary face
    if (m_imagenPersonalizada.isEmpty()) {
        m_mostrarDescripcion = true;
        m_lblTexto = m_caption;
        if (!m_colorEspecial) {
            cargaRecurso();
        } else if (!m_color.isEmpty()) {
            m_opaca = true;
            m_imgVisible = false;
            PintaBotonColor();
        } else {
            const QString base = m_carpetaImagenes + "img_" + QString::number(intTipoBoton);
            if (QFileInfo::exists(base + ".bmp")) {
                QPixmap pm;
                if (pm.load(base + ".bmp"))
                    setImagen(pm);
                else
                    logError("CargaImagen", QStringLiteral("no se puede cargar la imagen %1.bmp").arg(base));
                m_fondoVisible = false;
            } else if (QFileInfo::exists(base + ".gif")) {
                QPixmap pm;
                if (pm.load(base + ".gif"))
                    setImagen(pm);
                else
                    logError("CargaImagen", QStringLiteral("no se puede cargar la imagen %1.gif").arg(base));
                m_fondoW = m_w - 10;
                m_fondoH = m_h - 10;
                m_fondoColor = colorContenedor();
                m_fondoVisible = false;
            } else {
                cargaRecurso();
            }
            m_opaca = false;
            m_imgVisible = true;
        }
    }

    // 4. the caption
    m_lblTexto = m_mostrarDescripcion ? m_caption : QString();

    // 5. the size
    if (m_stretch) {
        m_imgStretch = true;
        m_imgW = m_w - 10;
        m_imgH = m_h - 10;
    } else {
        m_imgStretch = false;
        // a colour face keeps the size PintaBotonColor gave it, not that of the hidden picture
        if (m_imgVisible)
            setTamanoTwips(m_imgW + 10, m_imgH + 10);
    }
    update();
}

void ctrBoton::PintaBotonColor() {
    // 1. the size
    if (m_stretch) {
        m_imgH = m_h + 10;
        m_imgW = m_w + 10;
    } else if (m_tipoBoton != 5 && m_tipoBoton != 15) {
        setTamanoTwips(m_imgW - 10, m_imgH - 10);
    }
    // 2. the bevel
    const int w = m_w, h = m_h;
    m_lin[LinIzquierda] = {QLine(0, 0, 0, h), m_lin[LinIzquierda].color, true};
    m_lin[LinIzquierdaGris] = {QLine(10, 10, 10, h - 30), m_lin[LinIzquierdaGris].color, false};
    m_lin[LinArriba] = {QLine(0, 0, w, 0), m_lin[LinArriba].color, true};
    m_lin[LinArribaGris] = {QLine(10, 10, w - 30, 10), m_lin[LinArribaGris].color, false};
    m_lin[LinAbajo] = {QLine(0, h - 10, w, h - 10), m_lin[LinAbajo].color, true};
    m_lin[LinAbajoGris] = {QLine(10, h - 30, w - 20, h - 30), m_lin[LinAbajoGris].color, true};
    m_lin[LinDerecha] = {QLine(w - 10, 0, w - 10, h), m_lin[LinDerecha].color, true};
    m_lin[LinDerechaGris] = {QLine(w - 30, 10, w - 30, h - 30), m_lin[LinDerechaGris].color, true};
    // 3.-5. the surface and the colour panel
    m_fondoH = h - 10;
    m_fondoW = w - 10;
    m_fondoVisible = true;
    m_lblVisible = true;
    if (m_color.isEmpty())
        m_fondoColor = QColor(97, 134, 86);
    else
        parseRgb(m_color, m_fondoColor);
    // 6.
    CambiaColorFuente();
    update();
}

void ctrBoton::CambiaColorFuente() {
    if (m_colorFuente.isEmpty())
        m_fuenteColor = QColor(255, 255, 255);
    else if (!parseRgb(m_colorFuente, m_fuenteColor))
        logError("CambiaColorFuente", QStringLiteral("color de letra no válido: %1").arg(m_colorFuente));
    const QString familia =
        m_fontName.isEmpty() || !QFontDatabase::hasFamily(m_fontName) ? QStringLiteral("Arial") : m_fontName;
    m_fuente.setFamily(familia);
    m_fuente.setPointSizeF(m_fontSize == 0 ? 10 : m_fontSize);
    update();
}

void ctrBoton::resizeLogic() {
    if (++m_resizeDepth > 4) {
        --m_resizeDepth;
        return;
    }
    if (!m_colorEspecial)
        m_pulsadorDelante = true;
    else if (!m_color.isEmpty())
        PintaBotonColor();
    if (m_stretch) {
        m_imgH = m_h - 10;
        m_imgW = m_w - 10;
        if (m_w - 2 * m_capLeft >= 0)
            m_capW = m_w - 2 * m_capLeft;
        if (m_h - 2 * m_capTop >= 0)
            m_capH = m_h - 2 * m_capTop;
    }
    --m_resizeDepth;
    update();
}

void ctrBoton::setTamanoTwips(int ancho, int alto) {
    if (ancho == m_w && alto == m_h)
        return;
    m_w = qMax(0, ancho);
    m_h = qMax(0, alto);
    resize(twips::px(m_w), twips::px(m_h));
    resizeLogic();
}

void ctrBoton::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (size() == QSize(twips::px(m_w), twips::px(m_h)))
        return; // our own resize
    m_w = twips::desdePx(width());
    m_h = twips::desdePx(height());
    resizeLogic();
}

// ---------------------------------------------------------------- pressed look

void ctrBoton::DesplazaEtiqueta(bool restaurar) {
    if (esCaraColor()) {
        const QColor blanco(255, 255, 255), negro(0, 0, 0);
        m_lin[LinArribaGris].visible = m_lin[LinIzquierdaGris].visible = !restaurar;
        m_lin[LinDerechaGris].visible = m_lin[LinAbajoGris].visible = restaurar;
        m_lin[LinArriba].color = m_lin[LinIzquierda].color = restaurar ? blanco : negro;
        m_lin[LinDerecha].color = m_lin[LinAbajo].color = restaurar ? negro : blanco;
    }
    if (restaurar) {
        if (m_reposo) {
            m_capLeft = m_reposo->x();
            m_capTop = m_reposo->y();
        }
    } else {
        if (!m_reposo)
            m_reposo = QPoint(m_capLeft, m_capTop);
        m_capLeft = m_reposo->x() + kDesplazamiento;
        m_capTop = m_reposo->y() + kDesplazamiento;
    }
    update();
}

void ctrBoton::cambiaPresion(const QMouseEvent* e, bool abajo) {
    if (!m_mouseDown)
        return;
    const QPointF p = e->position() * twips::kPorPixel;
    const int mayusculas = controls::mascaraMayusculas(e->modifiers());
    if (abajo)
        emit MouseDown(1, mayusculas, p.x(), p.y());
    else
        emit MouseUp(1, mayusculas, p.x(), p.y());
    if (!objParametros().isSkin2022()) {
        m_imgHundida = abajo;
        DesplazaEtiqueta(!abajo);
    }
    m_blnPresionado = abajo;
}

// ---------------------------------------------------------------- mouse and keys

void ctrBoton::onPress(const QMouseEvent* e) {
    const bool guarda = m_controlarMouseDownPending && m_pulsadorDelante;
    m_pressSeen = true;
    m_pressDropped = false;
    if (guarda) {
        m_tPress = ahoraMs();
        // A press that follows a Click raised by the guard within its window is the touch screen's
        // echo of that tap: no MouseDown and no look.
        if (m_blnClickHecho && m_tPress - m_tClickSuelta <= kVentanaGuardaMs) {
            m_blnClickHecho = false;
            m_blnMouseDownPendiente = false;
            m_pressDropped = true;
            return;
        }
        m_blnClickHecho = false;
        press(e);
        m_blnMouseDownPendiente = true;
        return;
    }
    press(e);
}

void ctrBoton::onRelease(const QMouseEvent* e) {
    const bool guarda = m_controlarMouseDownPending && m_pulsadorDelante;
    const bool dentro = rect().contains(e->position().toPoint());
    release(e);
    bool click = m_pressSeen && dentro;
    if (guarda) {
        const qint64 t = ahoraMs();
        const bool porGuarda = !m_pressDropped && (!m_blnMouseDownPendiente || t - m_tPress > kVentanaGuardaMs);
        click = dentro; // also a release whose press was never seen
        m_blnMouseDownPendiente = false;
        m_blnClickHecho = click && porGuarda;
        if (m_blnClickHecho)
            m_tClickSuelta = t;
    }
    m_pressSeen = false;
    m_pressDropped = false;
    if (click)
        emit Click();
}

void ctrBoton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    onPress(e);
}

void ctrBoton::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    // the second tap of a double tap is a press of its own, with its own Click on release
    onPress(e);
    emit DblClick();
}

void ctrBoton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    onRelease(e);
}

void ctrBoton::mouseMoveEvent(QMouseEvent* e) {
    const QPointF p = e->position() * twips::kPorPixel;
    emit MouseMove(e->buttons() & Qt::LeftButton ? 1 : 0, controls::mascaraMayusculas(e->modifiers()), p.x(), p.y());
}

void ctrBoton::keyPressEvent(QKeyEvent* e) {
    emit KeyDown(controls::codigoTecla(e), controls::mascaraMayusculas(e->modifiers()));
    if (const int c = controls::codigoCaracter(e))
        emit KeyPress(c);
}

void ctrBoton::keyReleaseEvent(QKeyEvent* e) {
    emit KeyUp(controls::codigoTecla(e), controls::mascaraMayusculas(e->modifiers()));
}

// ---------------------------------------------------------------- painting

void ctrBoton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (m_opaca)
        p.fillRect(rect(), colorContenedor());
    if (m_fondoVisible)
        p.fillRect(QRect(0, 0, twips::px(m_fondoW), twips::px(m_fondoH)), m_fondoColor);
    if (m_imgVisible && !m_imgPix.isNull()) {
        const QRect r =
            m_imgStretch ? QRect(0, 0, twips::px(m_imgW), twips::px(m_imgH)) : QRect(QPoint(0, 0), m_imgPix.size());
        if (m_imgHundida) {
            p.drawPixmap(r.translated(1, 1), m_imgPix);
            caras::bordeHundido(p, r);
        } else {
            p.drawPixmap(r, m_imgPix);
        }
    }
    for (const Trazo& t : m_lin) {
        if (!t.visible)
            continue;
        p.setPen(QPen(t.color, 1));
        const QLine l = t.twips;
        p.drawLine(twips::px(l.x1()), twips::px(l.y1()), twips::px(l.x2()), twips::px(l.y2()));
    }
    if (m_lblVisible && !m_lblTexto.isEmpty()) {
        p.setFont(m_fuente);
        p.setPen(isEnabled() ? m_fuenteColor : QColor(160, 160, 160));
        p.drawText(twips::rect(m_capLeft, m_capTop, m_capW, m_capH),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextDontClip, m_lblTexto);
    }
}

// ---------------------------------------------------------------- saved settings

void ctrBoton::ReadProperties(const PropertyBag& bag) {
    auto entero = [](const QVariant& v, qint32 def) {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return ok ? qint32(vb::RoundHalfEven(d)) : def;
    };
    m_tipoBoton = entero(bag.read("TipoBoton", 4), m_tipoBoton);
    setEnabled(bag.read("Enabled", true).toBool());
    setVisible(bag.read("Visible", true).toBool());
    m_lblTexto = bag.read("Caption", QString()).toString();
    m_caption = bag.read("Caption", QString()).toString();
    {
        bool ok = false;
        const double pt = bag.read(QStringLiteral("TamañoLetra"), 10).toDouble(&ok);
        if (ok && pt > 0)
            m_fuente.setPointSizeF(pt);
    }
    m_color = bag.read("Color", QString()).toString();
    m_colorFuente = bag.read("ColorFuente", QString()).toString();
    m_fontName = bag.read("FontName", QString()).toString();
    if (bag.contains("FontSize")) {
        const QString t = bag.read("FontSize", QString()).toString();
        bool ok = false;
        const double d = t.trimmed().toDouble(&ok);
        if (ok && d >= -32768 && d <= 32767)
            m_fontSize = qint16(vb::RoundHalfEven(d));
    }
    m_blnPresionado = bag.read("Pulsado", false).toBool();
    m_mouseDown = bag.read("MouseDown", true).toBool();
    m_colorEspecial = bag.read("ColorEspecial", false).toBool();
    m_stretch = bag.read("Stretch", false).toBool();
    setSizePolicy(m_stretch ? QSizePolicy::Preferred : QSizePolicy::Fixed,
                  m_stretch ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    m_imagenPersonalizada = bag.read("ImagenPersonalizada", QString()).toString();
    m_fontBold = bag.read("fontBold", false).toBool();
    m_controlarMouseDownPending = bag.read("ControlarMouseDownPending", false).toBool();
    setTipoBoton(m_tipoBoton);
}

void ctrBoton::WriteProperties(PropertyBag& bag) const {
    bag.write("TipoBoton", m_tipoBoton, 4);
    bag.write("Enabled", isEnabled(), true);
    bag.write("Visible", Visible(), true);
    bag.write("Caption", m_caption, QString());
    bag.write(QStringLiteral("TamañoLetra"), qRound(m_fuente.pointSizeF() * 10000) / 10000.0, 10.0);
    bag.write("Color", m_color, QString());
    bag.write("ColorFuente", m_colorFuente, QString());
    bag.write("FontName", m_fontName, QString());
    bag.write("FontSize", int(m_fontSize), QString());
    bag.write("Pulsado", m_blnPresionado, false);
    bag.write("MouseDown", m_mouseDown, true);
    bag.write("ColorEspecial", m_colorEspecial, false);
    bag.write("Stretch", m_stretch, false);
    bag.write("ControlarMouseDownPending", m_controlarMouseDownPending, false);
}
