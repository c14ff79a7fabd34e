#include "ui/frmPrincipal.h"

#include "controls/Caras.h"
#include "controls/Twips.h"
#include "controls/ctrBoton.h"
#include "controls/frmPassword.h"
#include "core/Arranque.h"
#include "core/VentanasCargadas.h"
#include "core/basLegacyFunctions.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "rules/clsBotones.h"
#include "scale/clsComm.h"
#include "server/clsSocketFront.h"
#include "ui/Main.h"
#include "ui/ModeloLog.h"
#include "ui/TemporizadorVB.h"
#include "ui/frmConfig.h"

#include <QAbstractNativeEventFilter>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <functional>
#if QT_CONFIG(xcb)
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#endif

namespace {

constexpr int kEstiloPregunta = prompts::vbYesNo | prompts::vbQuestion; // 36

const QString kProcConexiones = QStringLiteral("frmPrincipal.InicializaConexiones");

#if QT_CONFIG(xcb)
xcb_connection_t* conexionX11() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atomoWmState(xcb_connection_t* c) {
    static xcb_connection_t* de = nullptr;
    static xcb_atom_t atomo = XCB_ATOM_NONE;
    if (de != c) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 8, "WM_STATE"), nullptr);
        atomo = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        de = c;
    }
    return atomo;
}

// A window manager writes WM_STATE on the windows it manages: 3 while it keeps one iconified. Where
// there is no window manager nobody writes it, and a mapped window is on the screen.
bool iconicaSegunGestor(xcb_connection_t* c, xcb_window_t ventana) {
    const xcb_atom_t wmState = atomoWmState(c);
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, ventana, wmState, wmState, 0, 2), nullptr);
    bool iconica = false;
    if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
        iconica = *static_cast<const quint32*>(xcb_get_property_value(r)) == 3;
    free(r);
    return iconica;
}

// Hears the window manager change WM_STATE on one window.
class VigiaWmState final : public QAbstractNativeEventFilter {
public:
    VigiaWmState(xcb_connection_t* c, xcb_window_t ventana, std::function<void(bool)> aviso)
        : m_c(c), m_ventana(ventana), m_wmState(atomoWmState(c)), m_aviso(std::move(aviso)) {}
    bool nativeEventFilter(const QByteArray& tipo, void* mensaje, qintptr*) override {
        if (tipo != "xcb_generic_event_t")
            return false;
        const auto* ev = static_cast<const xcb_generic_event_t*>(mensaje);
        if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(ev);
        if (p->window == m_ventana && p->atom == m_wmState)
            m_aviso(p->state == XCB_PROPERTY_NEW_VALUE && iconicaSegunGestor(m_c, m_ventana));
        return false;
    }

private:
    xcb_connection_t* m_c;
    xcb_window_t m_ventana;
    xcb_atom_t m_wmState;
    std::function<void(bool)> m_aviso;
};
#endif

} // namespace

frmPrincipal::frmPrincipal(QWidget* parent) : frmPrincipal(QSystemTrayIcon::isSystemTrayAvailable(), parent) {}

frmPrincipal::frmPrincipal(bool hayBandeja, QWidget* parent) : QWidget(parent), m_hayBandeja(hayBandeja) {
    ventanas::cargada(this, QStringLiteral("frmPrincipal"));
    construye();
}

frmPrincipal::~frmPrincipal() {
    if (m_registrada) {
        if (&mainWindow() == this)
            setMainWindow(nullptr);
        setPasoPostConexion(nullptr);
    }
}

void frmPrincipal::construye() {
    setWindowTitle(QStringLiteral("Tarvolin"));
    setWindowIcon(caras::iconoBandeja(false));
    resize(800, 560);
    setMinimumSize(640, 400);

    Label1 = new QLabel(QStringLiteral("Tarvolin. Interface de impresión con Vesk Hobrenta"), this);
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPointSize(11);
    verdana.setBold(true);
    Label1->setFont(verdana);

    m_modeloLog =
        new ModeloLog(kFilasMaximas,
                      {TraduceLiteral(QStringLiteral("Fecha/Hora")), TraduceLiteral(QStringLiteral("Concepto"))}, this);
    grdLog = new QTableView(this);
    grdLog->setObjectName(QStringLiteral("grdLog"));
    grdLog->setModel(m_modeloLog);
    grdLog->verticalHeader()->setVisible(false);
    grdLog->verticalHeader()->setDefaultSectionSize(20);
    grdLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdLog->setSelectionMode(QAbstractItemView::SingleSelection);
    grdLog->setWordWrap(false);
    grdLog->horizontalHeader()->setStretchLastSection(false);
    grdLog->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_refrescoRejilla = new QTimer(this);
    m_refrescoRejilla->setSingleShot(true);
    connect(m_refrescoRejilla, &QTimer::timeout, this, &frmPrincipal::refrescaRejilla);

    for (QLabel** l : {&lblVisorCantidad, &lblVisorDescripcion, &lblVisorPrecio, &lblVisorCambio}) {
        *l = new QLabel(this);
        (*l)->setAlignment(Qt::AlignCenter);
        (*l)->setFrameShape(QFrame::StyledPanel);
        (*l)->setIndent(0);
        (*l)->setContentsMargins(kMargenVisor, 0, kMargenVisor, 0);
        QFont f = (*l)->font();
        f.setPointSize(kPuntosVisor);
        f.setBold(true);
        (*l)->setFont(f);
        (*l)->hide();
    }

    ctrConfigurar = new ctrBoton(this);
    ctrConfigurar->setTipoBoton(10);
    ctrConfigurar->setCaption(QStringLiteral("Configurar"));
    ctrMinimizar = new ctrBoton(this);
    ctrMinimizar->setTipoBoton(0);
    ctrMinimizar->setCaption(QStringLiteral("Minimizar"));
    ctrSalir = new ctrBoton(this);
    ctrSalir->setTipoBoton(1);
    ctrSalir->setCaption(QStringLiteral("Salir"));
    connect(ctrConfigurar, &ctrBoton::Click, this, &frmPrincipal::onConfigurar);
    connect(ctrMinimizar, &ctrBoton::Click, this, &frmPrincipal::onMinimizar);
    connect(ctrSalir, &ctrBoton::Click, this, &frmPrincipal::onSalir);

    MNU_BARRA = new QMenu(this);
    mnuConfiguracion = MNU_BARRA->addAction(QStringLiteral("Configuración"));
    mnuMostrar = MNU_BARRA->addAction(QStringLiteral("Mostrar"));
    mnuSalir = MNU_BARRA->addAction(QStringLiteral("Salir"));
    connect(mnuConfiguracion, &QAction::triggered, this, &frmPrincipal::onConfigurar);
    connect(mnuMostrar, &QAction::triggered, this, &frmPrincipal::onMostrar);
    connect(mnuSalir, &QAction::triggered, this, &frmPrincipal::onSalir);

    barEstado = new QSystemTrayIcon(this);
    barEstado->setToolTip(QStringLiteral("Tarvolin"));
    barEstado->setContextMenu(MNU_BARRA);
    connect(barEstado, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) { onBarEstadoActivated(int(r)); });

    const int reintento = IntervaloReintentoMs();
    tmrIntentoConexion = new TemporizadorVB(reintento, this);
    tmrIntentoAperturaSocket = new TemporizadorVB(reintento, this);
    tmrFinalizarPrograma = new TemporizadorVB(500, this);
    tmrBalanzaContinuo = new TemporizadorVB(0, this);
    connect(tmrIntentoConexion, &TemporizadorVB::Timer, this, &frmPrincipal::onTmrIntentoConexion);
    connect(tmrIntentoAperturaSocket, &TemporizadorVB::Timer, this, &frmPrincipal::onTmrIntentoAperturaSocket);
    connect(tmrFinalizarPrograma, &TemporizadorVB::Timer, this, &frmPrincipal::onTmrFinalizarPrograma);
    connect(tmrBalanzaContinuo, &TemporizadorVB::Timer, this, &frmPrincipal::onTmrBalanzaContinuo);

    // Every control answers to its own name (findChild), as the form's controls did.
    const std::pair<QObject*, const char*> nombres[] = {
        {Label1, "Label1"},
        {lblVisorCantidad, "lblVisorCantidad"},
        {lblVisorDescripcion, "lblVisorDescripcion"},
        {lblVisorPrecio, "lblVisorPrecio"},
        {lblVisorCambio, "lblVisorCambio"},
        {ctrConfigurar, "ctrConfigurar"},
        {ctrMinimizar, "ctrMinimizar"},
        {ctrSalir, "ctrSalir"},
        {MNU_BARRA, "MNU_BARRA"},
        {mnuConfiguracion, "mnuConfiguracion"},
        {mnuMostrar, "mnuMostrar"},
        {mnuSalir, "mnuSalir"},
        {barEstado, "barEstado"},
        {tmrIntentoConexion, "tmrIntentoConexion"},
        {tmrIntentoAperturaSocket, "tmrIntentoAperturaSocket"},
        {tmrFinalizarPrograma, "tmrFinalizarPrograma"},
        {tmrBalanzaContinuo, "tmrBalanzaContinuo"},
    };
    for (const auto& [objeto, nombre] : nombres)
        objeto->setObjectName(QLatin1String(nombre));

    frmPrincipalVars().blnConexionOk = false;
    coloca();
    vigilaVentana();
}

// The grid's "shown" is what the window system says of the window, so the window is created now
// and its exposure, state and (on X11) window-manager state are heard from the start.
void frmPrincipal::vigilaVentana() {
    winId();
    windowHandle()->installEventFilter(this);
#if QT_CONFIG(xcb)
    if (xcb_connection_t* c = conexionX11()) {
        m_vigiaX11 = std::make_unique<VigiaWmState>(c, xcb_window_t(winId()), [this](bool iconica) {
            m_iconicaX11 = iconica;
            vistaCambiada();
        });
        QCoreApplication::instance()->installNativeEventFilter(m_vigiaX11.get());
    }
#endif
}

void frmPrincipal::registraComoVentanaPrincipal() {
    // Lines logged before the window existed were kept by the default window: they come first.
    const QStringList previas = mainWindow().takeLogLines();
    setMainWindow(this);
    for (const QString& linea : previas)
        AnadirLog(linea);
    setPasoPostConexion([this] { InicializaConexionesAfter(); });
    // The configuration dialog, for the configuration button and for the parameter store when
    // the base settings are missing.
    frmConfig::registrarFrmConfig();
    m_registrada = true;
}

// ---- Layout (the window's lengths are kept in twips) ----
void frmPrincipal::coloca() {
    // A layout that cannot be done leaves the controls where they are.
    vb::ResumeNext([&] {
        const int w = width();
        const int h = height();
        Label1->setGeometry(twips::px(120), twips::px(90), w - twips::px(500), twips::px(330));
        const int arriba = twips::px(500);
        grdLog->setGeometry(twips::px(30), arriba, w - twips::px(500), h - twips::px(2000));
        // 2000 twips, or what the date and time need in the screen's font.
        const int col0 =
            qMax(twips::px(2000), grdLog->fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000 00:00:00")) + 12);
        grdLog->setColumnWidth(0, col0);
        grdLog->setColumnWidth(1, qMax(0, grdLog->width() - col0 - twips::px(50)));

        const int botones = h - twips::px(1200);
        ctrConfigurar->move(twips::px(120), botones);
        ctrMinimizar->move(twips::px(120) + ctrConfigurar->width() + twips::px(200), botones);
        ctrSalir->move(w - twips::px(2500), botones);

        colocaVisor();
    });
}

// The scale's display: one row on the buttons' line, between "Minimizar" and "Salir". Each label is
// as wide as its caption needs and the rest of the row is shared out. When the row cannot hold every
// caption at the display's size, the other labels' font goes down first, then the weight's, until they
// fit. A caption that does not fit even then (no scale sends such a weight) keeps its start: what is
// cut is never its leading figures.
void frmPrincipal::colocaVisor() {
    QLabel* const visor[] = {lblVisorCantidad, lblVisorDescripcion, lblVisorPrecio, lblVisorCambio};
    constexpr int n = int(std::size(visor));
    const int separacion = twips::px(60);
    const int x0 = ctrMinimizar->x() + ctrMinimizar->width() + twips::px(120);
    int visibles = 0;
    for (const QLabel* l : visor)
        visibles += !l->isHidden();
    const int fila = qMax(0, ctrSalir->x() - twips::px(120) - x0 - qMax(0, visibles - 1) * separacion);
    int puntos[n] = {};
    std::fill(std::begin(puntos), std::end(puntos), kPuntosVisor);
    int necesita[n] = {};
    const auto mide = [&] {
        int total = 0;
        for (int i = 0; i < n; ++i) {
            QFont f = visor[i]->font();
            f.setPointSize(puntos[i]);
            const QString& texto = visor[i]->text();
            // What the label keeps round its text: the frame on both sides and the margins.
            const int borde = 2 * visor[i]->frameWidth() + 2 * kMargenVisor;
            necesita[i] = visor[i]->isHidden() || texto.isEmpty()
                              ? 0
                              : QFontMetrics(f).horizontalAdvance(texto) + borde + kHolguraVisor;
            total += necesita[i];
        }
        return total;
    };
    // The weight (label 0) keeps its size longest.
    for (int primera : {1, 0}) {
        while (mide() > fila && puntos[primera] > kPuntosMinimosVisor) {
            const int menos = puntos[primera] - 1;
            for (int i = primera; i < n; ++i)
                puntos[i] = qMin(puntos[i], menos);
        }
    }
    const int sobra = qMax(0, fila - mide()) / qMax(1, visibles);
    int libre = fila;
    int x = x0;
    for (int i = 0; i < n; ++i) {
        QLabel* l = visor[i];
        QFont f = l->font();
        f.setPointSize(puntos[i]);
        l->setFont(f);
        if (l->isHidden())
            continue;
        const int ancho = qMin(necesita[i], libre) + sobra;
        libre -= qMin(necesita[i], libre);
        l->setGeometry(x, ctrSalir->y(), ancho, ctrSalir->height());
        const bool cabe = ancho >= necesita[i];
        l->setAlignment(cabe ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        l->setToolTip(cabe ? QString() : l->text());
        x += ancho + separacion;
    }
}

void frmPrincipal::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    coloca();
}

// ---- Log grid ----
// Each line is kept in the grid's rows at once; what the screen shows follows at a human pace.
void frmPrincipal::AnadirLog(const QString& strConcepto) {
    const auto anade = [&] {
        m_modeloLog->anade(FechaHoraLog(), RecortaLineaLog(strConcepto));
        if (!rejillaALaVista() || m_refrescoRejilla->isActive())
            return;
        // Never from here: a line is logged on the request road, which must not wait on the display.
        const qint64 desde = m_ultimoRefresco.isValid() ? m_ultimoRefresco.elapsed() : kRefrescoRejillaMs;
        m_refrescoRejilla->start(int(std::max<qint64>(0, kRefrescoRejillaMs - desde)));
    };
    vb::OnError(anade, [](const VBError& err) {
        prompts::current().messageBox(QStringLiteral("frmPrincipal.AnadirLog Error:") + err.description(),
                                      prompts::vbOKOnly, QString());
    });
}

bool frmPrincipal::rejillaALaVista() const {
    const QWindow* ventana = windowHandle();
    if (!isVisible() || !ventana || !ventana->isExposed())
        return false;
    // On X11 the window manager says whether it iconified the window; elsewhere the platform keeps
    // the state the program asks for.
    return m_vigiaX11 ? !m_iconicaX11 : !isMinimized();
}

// Shows the rows logged since the last time, selects the last one and scrolls it to the top.
void frmPrincipal::refrescaRejilla() {
    if (!rejillaALaVista())
        return;
    if (!pantallaResponde()) {
        // A display that does not answer (an X server stopped) would hold the program in the paint:
        // the rows wait, asked again a little later.
        m_refrescoRejilla->start(kEsperaPantallaMs);
        return;
    }
    m_modeloLog->publica();
    m_ultimoRefresco.start();
    const int fila = m_modeloLog->rowCount() - 1;
    if (fila < 0)
        return;
    const QModelIndex celda = m_modeloLog->index(fila, 0);
    grdLog->setCurrentIndex(celda);
    grdLog->selectRow(fila);
    grdLog->scrollTo(celda, QAbstractItemView::PositionAtTop);
}

// True once the display has answered the question put to it for this refresh; the first call puts
// it and says false (the caller asks again shortly). Nothing here waits for the display, so with an
// X server stopped the grid is not painted (a paint waits for the server) until it answers again.
bool frmPrincipal::pantallaResponde() {
#if QT_CONFIG(xcb)
    xcb_connection_t* c = conexionX11();
    if (!c)
        return true;
    if (!m_sondaPendiente) {
        m_sonda = xcb_get_input_focus(c).sequence;
        xcb_flush(c);
        m_sondaPendiente = true;
        return false;
    }
    void* respuesta = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (!xcb_poll_for_reply(c, m_sonda, &respuesta, &error))
        return false;
    free(respuesta);
    free(error);
    m_sondaPendiente = false;
    return true;
#else
    return true;
#endif
}

// Rows logged while the window was out of sight appear when it comes back; the selection stays.
void frmPrincipal::vistaCambiada() {
    if (rejillaALaVista())
        m_modeloLog->publica();
}

bool frmPrincipal::eventFilter(QObject* objeto, QEvent* e) {
    if (objeto == windowHandle() && (e->type() == QEvent::Expose || e->type() == QEvent::WindowStateChange))
        vistaCambiada();
    return QWidget::eventFilter(objeto, e);
}

void frmPrincipal::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange)
        vistaCambiada();
}

// ---- Tray ----
void frmPrincipal::MuestraIconoTareas(bool blnConexionOk) {
    AtrapaErrores(QStringLiteral("frmPrincipal.MuestraIconoTareas"), [&] {
        const QIcon icono = caras::iconoBandeja(blnConexionOk);
        setWindowIcon(icono);
        // Taken away and put back, so the tray shows the new picture.
        barEstado->hide();
        barEstado->setIcon(icono);
        barEstado->setToolTip(blnConexionOk ? QStringLiteral("Tarvolin") : QStringLiteral("Tarvolin - SIN CONEXIÓN"));
        barEstado->show();
    });
}

void frmPrincipal::QuitaIconoBandeja() {
    barEstado->hide();
}

void frmPrincipal::muestraSinBandeja() {
    if (!m_hayBandeja && !isVisible())
        showMinimized();
}

void frmPrincipal::ocultar() {
    if (m_hayBandeja)
        hide();
    else
        showMinimized();
}

void frmPrincipal::onBarEstadoActivated(int reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        MNU_BARRA->popup(QCursor::pos());
}

// ---- Buttons and menu ----
void frmPrincipal::onConfigurar() {
    MuestraConfiguracion();
}

void frmPrincipal::MuestraConfiguracion() {
    // The configuration road ignores its errors.
    vb::ResumeNext([] {
        if (frmPassword::Pedir())
            prompts::current().showForm(QStringLiteral("frmConfig"));
    });
}

void frmPrincipal::onMostrar() {
    showNormal();
    raise();
    activateWindow();
}

void frmPrincipal::onMinimizar() {
    ocultar();
}

void frmPrincipal::onSalir() {
    preguntaSalir();
}

void frmPrincipal::preguntaSalir() {
    const int r = prompts::current().messageBox(
        TraduceLiteral(
            QStringLiteral("¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina")),
        kEstiloPregunta, QString());
    if (r == prompts::vbYes)
        terminaYa();
}

void frmPrincipal::terminaYa() {
    QuitaIconoBandeja();
    program::End(0);
}

void frmPrincipal::closeEvent(QCloseEvent* e) {
    if (program::ending()) {
        e->accept();
        return;
    }
    // Closing the window only hides it unless the user really wants the program to end.
    e->ignore();
    const int r = prompts::current().messageBox(
        TraduceLiteral(QStringLiteral("¿Deseas cerrar el programa? Si lo cierras no se imprimirá ningún ticket de la "
                                      "pantalla de cocina. Pulsa 'No' para dejar el programa minimizado.")),
        kEstiloPregunta, QString());
    if (r == prompts::vbYes) {
        terminaYa();
        return;
    }
    ocultar();
}

// ---- Timers and the services' window operations ----
void frmPrincipal::setReconnectTimerEnabled(bool enabled) {
    tmrIntentoConexion->setEnabled(enabled);
}

void frmPrincipal::setScaleTimer(bool enabled, int intervalMs) {
    tmrBalanzaContinuo->setInterval(intervalMs);
    tmrBalanzaContinuo->setEnabled(enabled);
}

bool frmPrincipal::scaleTimerEnabled() const {
    return tmrBalanzaContinuo->Enabled();
}

int frmPrincipal::scaleTimerInterval() const {
    return tmrBalanzaContinuo->Interval();
}

void frmPrincipal::setWeightLabel(WeightLabel which, const QString& caption, bool visible) {
    QLabel* l = nullptr;
    switch (which) {
    case WeightLabel::Cantidad:
        l = lblVisorCantidad;
        break;
    case WeightLabel::Descripcion:
        l = lblVisorDescripcion;
        break;
    case WeightLabel::Cambio:
        l = lblVisorCambio;
        break;
    case WeightLabel::Precio:
        l = lblVisorPrecio;
        break;
    }
    if (!l)
        return;
    l->setText(caption);
    l->setVisible(visible);
    // A caption of another width (a weight with one more figure) takes the room it needs.
    vb::ResumeNext([&] { colocaVisor(); });
}

void frmPrincipal::FinalizarProgramaYDescargarFormularios(bool blnRestart) {
    AtrapaErrores(QStringLiteral("frmPrincipal.FinalizarProgramaYDescargarFormularios"), [&] {
        AnadirLog(QStringLiteral("Fin Tarvolin"));
        QuitaIconoBandeja();
        if (blnRestart) {
            // The new instance gets the switches this one was given and waits 5 s, without the
            // instance test, while this one ends.
            EjecutaPrograma(QCoreApplication::applicationFilePath(), 3, ArgumentosReinicio(gstrArgumentosOriginales));
        }
        tmrFinalizarPrograma->setInterval(500);
        tmrFinalizarPrograma->setEnabled(true);
    });
}

void frmPrincipal::onTmrFinalizarPrograma() {
    tmrFinalizarPrograma->setEnabled(false);
    program::End(0);
}

void frmPrincipal::onTmrBalanzaContinuo() {
    AtrapaErrores(QStringLiteral("frmPrincipal.tmrBalanzaContinuo_Timer"),
                  [] { objComm().commBalanzaContinuoOnComm(true); });
}

void frmPrincipal::onTmrIntentoConexion() {
    tmrIntentoConexion->setEnabled(false);
    // Reconnects; on the first success of the run the post-connection step follows.
    IntentoConexionTick();
}

void frmPrincipal::onTmrIntentoAperturaSocket() {
    tmrIntentoAperturaSocket->setEnabled(false);
    AbreSocket(QStringLiteral("frmPrincipal.tmrIntentoAperturaSocket_Timer"), false);
}

// Opens the listening socket (on a new request front when asked, or when there is none yet); the
// connected icon shows once it listens, otherwise the retry timer tries again.
void frmPrincipal::AbreSocket(const QString& procedimiento, bool frenteNuevo) {
    AtrapaErrores(procedimiento, [this, frenteNuevo] {
        if (frenteNuevo || !SocketFront)
            SocketFront = std::make_unique<clsSocketFront>();
        SocketFront->Inicia();
        if (SocketFront->SocketIniciado)
            MuestraIconoTareas(true);
    });
    if (!SocketFront || !SocketFront->SocketIniciado)
        tmrIntentoAperturaSocket->setEnabled(true);
}

void frmPrincipal::InicializaConexiones() {
    AtrapaErrores(kProcConexiones, [this] {
        if (ConectaBBDD())
            InicializaConexionesAfter();
        else
            tmrIntentoConexion->setEnabled(true);
    });
}

void frmPrincipal::InicializaConexionesAfter() {
    InicializaSesion(kProcConexiones);
    AtrapaErrores(kProcConexiones, [] { objBotones = std::make_unique<clsBotones>(); });
    AbreSocket(kProcConexiones, true);
    CargaLiteralesPendientes();
}

vb::CallableMembers frmPrincipal::callableMembers() {
    return {
        {QStringLiteral("AnadirLog"), 1, 1,
         [this](const vb::Arguments& a) {
             AnadirLog(vb::CStr(a[0]));
             return Variant();
         }},
        {QStringLiteral("MuestraIconoTareas"), 0, 1,
         [this](const vb::Arguments& a) {
             MuestraIconoTareas(a.isEmpty() || vb::CBool(a[0]));
             return Variant();
         }},
    };
}
