#pragma once
// frmPrincipal: the program's only long-lived window. It lives hidden behind its tray icon, shows
// every log line in its grid, holds the three big buttons and the scale's display labels, and runs
// the four timers of the start-up: database reconnect, socket retry, delayed end, continuous scale.
// The services reach it through MainWindowPort once registraComoVentanaPrincipal() has run; its
// public variables live in frmPrincipalVars() (core).
#include "core/basGeneral.h"
#include "platform/LateBound.h"

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

class ModeloLog;
class QAbstractNativeEventFilter;
class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTableView;
class QTimer;
class TemporizadorVB;
class ctrBoton;

class frmPrincipal final : public QWidget, public MainWindowPort, public vb::LateBound {
    Q_OBJECT
public:
    // hayBandeja: whether the desktop has a notification area (by default asked to the desktop).
    // Without one the window cannot hide behind its icon: it stays on the task bar, minimised.
    explicit frmPrincipal(QWidget* parent = nullptr);
    frmPrincipal(bool hayBandeja, QWidget* parent = nullptr);
    ~frmPrincipal() override;

    // Becomes the services' main window: log lines, tray state, timers and labels come here, and the
    // reconnect timer runs InicializaConexionesAfter after its first success, and the form
    // "frmConfig" can be shown. Rows logged before the window existed are copied into the grid.
    void registraComoVentanaPrincipal();

    // ---- MainWindowPort ----
    void AnadirLog(const QString& strConcepto) override;
    void MuestraIconoTareas(bool blnConexionOk = true) override;
    void setReconnectTimerEnabled(bool enabled) override;
    void setScaleTimer(bool enabled, int intervalMs) override;
    bool scaleTimerEnabled() const override;
    int scaleTimerInterval() const override;
    void setWeightLabel(WeightLabel which, const QString& caption, bool visible) override;
    void FinalizarProgramaYDescargarFormularios(bool blnRestart = false) override;

    // Reachable by name (the trigger rules' ejecutaFuncion): AnadirLog and MuestraIconoTareas.
    vb::CallableMembers callableMembers() override;

    // ---- Start-up ----
    void InicializaConexiones();
    void InicializaConexionesAfter();

    void MuestraConfiguracion();
    void QuitaIconoBandeja();
    bool hayBandeja() const { return m_hayBandeja; }
    // Without a notification area the window is shown minimised instead of hidden.
    void muestraSinBandeja();
    // Hides the window behind its tray icon, or minimises it when there is no tray.
    void ocultar();

    static constexpr int kFilasMaximas = 100; // data rows of the log grid
    // The grid follows its rows at most this often: the new rows shown, the last one selected and
    // scrolled to the top. Nothing while the window is out of sight (rejillaALaVista).
    static constexpr int kRefrescoRejillaMs = 150;

    // Whether the window is on the screen as the window system tells it: shown, exposed, and not
    // iconified. A minimise the program asks for counts once it is done: on a display without a
    // window manager nobody does it and the window stays on the screen with its rows.
    bool rejillaALaVista() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* objeto, QEvent* e) override;

private:
    // ---- Controls (each under its own object name) ----
    QTableView* grdLog = nullptr; // over m_modeloLog
    QSystemTrayIcon* barEstado = nullptr;
    QMenu* MNU_BARRA = nullptr;
    QAction* mnuConfiguracion = nullptr;
    QAction* mnuMostrar = nullptr;
    QAction* mnuSalir = nullptr;
    ctrBoton* ctrConfigurar = nullptr;
    ctrBoton* ctrMinimizar = nullptr;
    ctrBoton* ctrSalir = nullptr;
    QLabel* lblVisorPrecio = nullptr;
    QLabel* lblVisorCambio = nullptr;
    QLabel* lblVisorDescripcion = nullptr;
    QLabel* lblVisorCantidad = nullptr;
    QLabel* Label1 = nullptr;
    TemporizadorVB* tmrIntentoConexion = nullptr;
    TemporizadorVB* tmrIntentoAperturaSocket = nullptr;
    TemporizadorVB* tmrFinalizarPrograma = nullptr;
    TemporizadorVB* tmrBalanzaContinuo = nullptr;

    void construye();
    void coloca();
    void colocaVisor();
    void vigilaVentana();
    void vistaCambiada();
    void refrescaRejilla();
    // Whether the display answers (always, off X11); see frmPrincipal.cpp.
    bool pantallaResponde();
    void preguntaSalir();
    void terminaYa();

    void onBarEstadoActivated(int reason);
    void onConfigurar();
    void onMostrar();
    void onMinimizar();
    void onSalir();
    void onTmrIntentoConexion();
    void onTmrIntentoAperturaSocket();
    void AbreSocket(const QString& procedimiento, bool frenteNuevo);
    void onTmrFinalizarPrograma();
    void onTmrBalanzaContinuo();

    bool m_hayBandeja = false;
    bool m_registrada = false;
    ModeloLog* m_modeloLog = nullptr;
    QTimer* m_refrescoRejilla = nullptr;
    QElapsedTimer m_ultimoRefresco; // the last time the grid selected a new row
    unsigned int m_sonda = 0;       // the sequence of the question put to the display
    bool m_sondaPendiente = false;  // not answered yet
    static constexpr int kEsperaPantallaMs = 5;
    // The scale display's text: 12 points bold, down to 7 when the row is narrow; its margins in px.
    static constexpr int kPuntosVisor = 12;
    static constexpr int kPuntosMinimosVisor = 7;
    static constexpr int kMargenVisor = 3;
    static constexpr int kHolguraVisor = 2; // the glyphs' ink may reach a pixel past their advance
    // On X11: the window manager's WM_STATE of the window says iconic (kept up to date from its
    // property changes), and the filter that hears them.
    bool m_iconicaX11 = false;
    std::unique_ptr<QAbstractNativeEventFilter> m_vigiaX11;
};
