// The main window on its own Xvfb (xcb platform): without a window manager, and under IceWM.
#include "controls/ctrBoton.h"
#include "platform/Program.h"
#include "scale/clsComm.h"
#include "testsupport/ProcesoPrueba.h"
#include "testsupport/Simulador.h"
#include "ui/frmPrincipal.h"
#include "ui/tests/UiTest.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTableView>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using uitest::hijo;

// A program the test needs is missing: a skip, unless scripts/test asks for every service.
#define REQUIERE_PROGRAMA(programa)                                                                                    \
    do {                                                                                                               \
        if (QStandardPaths::findExecutable(QStringLiteral(programa)).isEmpty()) {                                      \
            if (testenv::servicesRequired())                                                                           \
                FAIL() << programa " is not installed (scripts/install-deps)";                                         \
            GTEST_SKIP() << programa " is not installed";                                                              \
        }                                                                                                              \
    } while (0)

// A child that dies with this process; its output goes nowhere, `fdHijo` becomes its fd 3.
pid_t lanza(const std::vector<const char*>& argumentos, int fdHijo = -1, const char* home = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int nulo = open("/dev/null", O_RDWR);
        dup2(nulo, 0), dup2(nulo, 1), dup2(nulo, 2);
        if (fdHijo >= 0)
            dup2(fdHijo, 3);
        if (home)
            setenv("HOME", home, 1);
        std::vector<const char*> argv = argumentos;
        argv.push_back(nullptr);
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    return pid;
}

void termina(pid_t pid) {
    if (pid > 0 && kill(pid, SIGTERM) == 0)
        waitpid(pid, nullptr, 0);
}

// Xvfb picks a free display itself and writes its number on fd 3 once it takes connections.
pid_t arrancaXvfb() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        return -1;
    int tubo[2];
    if (pipe2(tubo, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = lanza({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, tubo[1]);
    close(tubo[1]);
    QByteArray numero;
    pollfd p{tubo[0], POLLIN, 0};
    char c = 0;
    while (poll(&p, 1, 10000) == 1 && read(tubo[0], &c, 1) == 1 && c != '\n')
        numero += c;
    close(tubo[0]);
    if (numero.isEmpty()) {
        termina(pid);
        return -1;
    }
    qputenv("DISPLAY", ":" + numero);
    return pid;
}

xcb_connection_t* x11() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_atom_t atomo(const char* nombre) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(x11(), xcb_intern_atom(x11(), 0, strlen(nombre), nombre), 0);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

// WM_STATE as a window manager writes it: 1 normal, 3 iconic, 0 none.
quint32 estadoWm(QWidget& w) {
    const xcb_atom_t wmState = atomo("WM_STATE");
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        x11(), xcb_get_property(x11(), 0, xcb_window_t(w.winId()), wmState, wmState, 0, 2), nullptr);
    const quint32 e =
        r && xcb_get_property_value_length(r) >= 4 ? *static_cast<quint32*>(xcb_get_property_value(r)) : 0;
    free(r);
    return e;
}

// Written as by a window manager that iconifies by hiding only its own frame.
void ponEstadoWm(QWidget& w, quint32 estado) {
    const xcb_atom_t wmState = atomo("WM_STATE");
    const quint32 valor[2] = {estado, XCB_WINDOW_NONE};
    xcb_change_property(x11(), XCB_PROP_MODE_REPLACE, xcb_window_t(w.winId()), wmState, wmState, 32, 2, valor);
    xcb_flush(x11());
}

// A task bar bringing a window back: asks the window manager to activate it.
void activaComoLaBarraDeTareas(QWidget& w) {
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = xcb_window_t(w.winId());
    ev.type = atomo("_NET_ACTIVE_WINDOW");
    ev.data.data32[0] = 2; // from a pager or task bar
    const xcb_window_t raiz = xcb_setup_roots_iterator(xcb_get_setup(x11())).data->root;
    xcb_send_event(x11(), 0, raiz, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
    xcb_flush(x11());
}

class frmPrincipalX11Test : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        REQUIERE_PROGRAMA("Xvfb");
        if (QGuiApplication::platformName() != "xcb")
            FAIL() << "no X server: Xvfb gave no display number within 10 s";
    }
    static QTableView& rejilla(const frmPrincipal& w) { return *hijo<QTableView>(w, "grdLog"); }
};

TEST_F(frmPrincipalX11Test, SinGestorDeVentanasLaVentanaQueSeVeSigueSusFilas) {
    frmPrincipal w(false);
    QTableView& g = rejilla(w);
    w.AnadirLog("antes de mostrarse");
    w.muestraSinBandeja(); // the start-up without a tray asks for it minimised; nobody does it
    ASSERT_TRUE(waits::until([&w] { return w.windowHandle()->isExposed(); }, "the X server to map the window"));
    ASSERT_TRUE(waits::until([&g] { return g.model()->rowCount() == 1; }, "the row logged before to show"));
    w.AnadirLog("uno");
    EXPECT_TRUE(waits::until([&g] { return g.currentIndex().siblingAtColumn(1).data() == "uno"; },
                             "the row logged to be selected"));

    w.showNormal();
    emit hijo<ctrBoton>(w, "ctrMinimizar")->Click();
    w.AnadirLog("dos");
    EXPECT_TRUE(
        waits::until([&g] { return g.currentIndex().siblingAtColumn(1).data() == "dos"; },
                     "the row logged after Minimizar to be selected in the window that is still on the screen"));

    // Iconified by a window manager that leaves the window itself mapped: its WM_STATE says so.
    ponEstadoWm(w, 3);
    ASSERT_TRUE(waits::until([&w] { return !w.rejillaALaVista(); }, "the window to hear WM_STATE iconic"));
    w.AnadirLog("tres");
    EXPECT_EQ(g.model()->rowCount(), 3);
    ponEstadoWm(w, 1);
    EXPECT_TRUE(waits::until([&g] { return g.model()->rowCount() == 4; },
                             "the row logged while iconified to show when WM_STATE turns normal"));

    w.hide();
    ASSERT_TRUE(waits::until([&w] { return !w.windowHandle()->isExposed(); }, "the X server to unmap the window"));
    w.AnadirLog("cuatro");
    EXPECT_EQ(g.model()->rowCount(), 4);
}

// The ink of a label's caption in a screenshot of the window, as columns of its contents rectangle:
// [first, last], or {-1, -1} when nothing is drawn.
std::pair<int, int> tinta(QWidget& ventana, QLabel& l) {
    const QRect dentro = l.contentsRect();
    const QImage foto = ventana.grab(QRect(l.mapTo(&ventana, dentro.topLeft()), dentro.size())).toImage();
    const QRgb fondo = foto.pixel(0, 0);
    int primera = -1, ultima = -1;
    for (int x = 0; x < foto.width(); ++x)
        for (int y = 0; y < foto.height(); ++y)
            if (foto.pixel(x, y) != fondo) {
                primera = primera < 0 ? x : primera;
                ultima = x;
                break;
            }
    return {primera, ultima};
}

// Weights from a scale on a pty, shown at the window's smallest size: every caption of the display
// is whole in its label (its text's width within the contents rectangle, and in the screenshot a
// blank column on each side of the ink), from 1 kg to the most a CR frame can carry.
TEST_F(frmPrincipalX11Test, ElVisorMuestraCadaPesoEnteroConLaVentanaMasPequena) {
    REQUIERE_PROGRAMA("socat");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const auto locale = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    Simulador sim;
    ASSERT_TRUE(sim.arrancado());
    apuntaCom(2, sim.puerto());
    uitest::escribeRegistro("IpServidor=127.0.0.1|Empresa=1|Restaurante=1|TPV=1|ModeloBalanza=7|BalanzaModoContinuo=1|"
                            "TiempoBalanzaModoContinuo=100000|PosicionImporteDisplay=0");
    objParametros().GetParamReg();
    frmPrincipal w(false);
    w.registraComoVentanaPrincipal();
    w.resize(w.minimumSize());
    w.showNormal();
    ASSERT_TRUE(waits::until([&w] { return w.windowHandle()->isExposed(); }, "the X server to map the window"));
    ASSERT_EQ(w.size(), w.minimumSize());
    ASSERT_TRUE(objComm().InitPuerto(2, "9600,n,8,1", 1));
    // A CR frame is seven characters: from 1.25 kg to its largest weight.
    const std::pair<const char*, const char*> casos[] = {
        {"0001.25", "1,250KG"},    {"0012.50", "12,500KG"},      {"0123.45", "123,450KG"},
        {"9999.99", "9999,990KG"}, {"9999999", "9999999,000KG"},
    };
    for (const auto& [trama, rotulo] : casos) {
        SCOPED_TRACE(rotulo);
        sim.responde(QByteArray(trama) + '\r');
        ASSERT_TRUE(objComm().commBalanzaContinuoOnComm(true));
        QLabel& cantidad = *hijo<QLabel>(w, "lblVisorCantidad");
        ASSERT_EQ(cantidad.text(), rotulo);
        ASSERT_EQ(hijo<QLabel>(w, "lblVisorPrecio")->text(), "0,00");
        QCoreApplication::sendPostedEvents();
        for (const char* nombre : {"lblVisorCantidad", "lblVisorDescripcion", "lblVisorPrecio", "lblVisorCambio"}) {
            SCOPED_TRACE(nombre);
            QLabel& l = *hijo<QLabel>(w, nombre);
            if (l.isHidden() || l.text().isEmpty())
                continue;
            const QRect dentro = l.contentsRect();
            EXPECT_LE(l.fontMetrics().horizontalAdvance(l.text()), dentro.width());
            EXPECT_GE(l.font().pointSize(), 7) << "a caption too small to read";
            EXPECT_LE(l.x() + l.width(), hijo<ctrBoton>(w, "ctrSalir")->x()); // beside "Salir", never under it
            const auto [primera, ultima] = tinta(w, l);
            EXPECT_GT(primera, 0) << "the caption's first figure is cut at the left edge";
            EXPECT_LT(ultima, dentro.width() - 1) << "the caption is cut at the right edge";
        }
        EXPECT_GE(cantidad.font().pointSize(), std::string_view(rotulo).size() <= 10 ? 12 : 9); // the weight first
    }
}

pid_t g_xvfb = -1;

// With the X server stopped, logging (on the request road) and the loop never wait on the display:
// the loop turns all along; the rows show once the server goes on.
TEST_F(frmPrincipalX11Test, ConElServidorXParadoElBucleNoEsperaALaPantalla) {
    ASSERT_GT(g_xvfb, 0);
    frmPrincipal w(false);
    QTableView& g = rejilla(w);
    w.muestraSinBandeja();
    ASSERT_TRUE(waits::until([&w] { return w.windowHandle()->isExposed(); }, "the X server to map the window"));
    w.AnadirLog("antes");
    ASSERT_TRUE(waits::until([&g] { return g.model()->rowCount() == 1; }, "the first row to show"));
    // What is to be painted is painted while the server answers.
    QCoreApplication::sendPostedEvents();
    w.repaint();
    ::kill(g_xvfb, SIGSTOP);
    const auto sigue = qScopeGuard([] { ::kill(g_xvfb, SIGCONT); });
    QElapsedTimer reloj, paso;
    reloj.start();
    paso.start();
    qint64 mayorPaso = 0;
    for (int i = 0; reloj.elapsed() < 2000; ++i) {
        w.AnadirLog(QStringLiteral("parado %1").arg(i));
        program::waitMs(10);
        mayorPaso = std::max(mayorPaso, paso.restart());
    }
    ::kill(g_xvfb, SIGCONT);
    EXPECT_LT(mayorPaso, 1000) << "ms that one pass of the loop waited with the X server stopped";
    EXPECT_TRUE(waits::until([&g] { return g.model()->rowCount() > 1; }, "the rows logged meanwhile to show"));
}

TEST_F(frmPrincipalX11Test, ConIceWMMinimizarYRestaurarSiguenValiendo) {
    REQUIERE_PROGRAMA("icewm");
    QTemporaryDir home;
    const pid_t icewm = lanza({"icewm"}, -1, qPrintable(home.path()));
    const auto cleanup = qScopeGuard([icewm] { termina(icewm); });
    const xcb_atom_t wmS0 = atomo("WM_S0");
    ASSERT_TRUE(waits::until(
        [wmS0] {
            xcb_get_selection_owner_reply_t* r =
                xcb_get_selection_owner_reply(x11(), xcb_get_selection_owner(x11(), wmS0), nullptr);
            const bool hay = r && r->owner != XCB_WINDOW_NONE;
            free(r);
            return hay;
        },
        "IceWM to take the screen (the WM_S0 selection)", 10000));

    frmPrincipal w(false);
    QTableView& g = rejilla(w);
    w.muestraSinBandeja();
    ASSERT_TRUE(waits::until([&w] { return estadoWm(w) == 3; }, "IceWM to keep the new window iconified"));
    w.AnadirLog("mientras está minimizada");
    EXPECT_EQ(g.model()->rowCount(), 0);

    activaComoLaBarraDeTareas(w);
    ASSERT_TRUE(waits::until([&g] { return g.model()->rowCount() == 1; },
                             "the window restored from the task bar to show the row logged while minimised"));
    w.AnadirLog("a la vista");
    EXPECT_TRUE(waits::until([&g] { return g.currentIndex().siblingAtColumn(1).data() == "a la vista"; },
                             "the row logged to be selected"));

    emit hijo<ctrBoton>(w, "ctrMinimizar")->Click();
    ASSERT_TRUE(waits::until([&w] { return estadoWm(w) == 3 && !w.windowHandle()->isExposed(); },
                             "IceWM to iconify the window"));
    w.AnadirLog("otra vez minimizada");
    EXPECT_EQ(g.model()->rowCount(), 2);
    w.showNormal(); // the tray menu's Mostrar
    EXPECT_TRUE(waits::until([&g] { return g.model()->rowCount() == 3; },
                             "the window shown again to show the row logged while minimised"));
}

} // namespace

// The X server comes before the QApplication (none to list the tests).
int main(int argc, char** argv) {
    bool lista = false;
    for (int i = 1; i < argc; ++i)
        lista = lista || std::string_view(argv[i]).starts_with("--gtest_list_tests");
    pid_t xvfb = -1;
    if (!lista)
        xvfb = arrancaXvfb();
    g_xvfb = xvfb;
    qputenv("QT_QPA_PLATFORM", xvfb > 0 ? "xcb" : "offscreen");
    int status = 0;
    {
        testenv::ProcesoPrueba proceso(argc, argv);
        program::setEndHandler([](int code) { throw program::Ended{code}; });
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    termina(xvfb);
    return status;
}
