// The main window: its log grid, the tray icon, closing and exiting, the configuration road, the
// end road and its timers; then its start-up operations against the real MariaDB.
#include "ui/frmPrincipal.h"
#include "ui/ModeloLog.h"
#include "ui/TemporizadorVB.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "testsupport/RecordingMainWindow.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QTableView>

using uitest::hijo;
using uitest::UiTest;

namespace {

class frmPrincipalTest : public UiTest {};

QDateTime momento() {
    return QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9));
}

QTableView& rejilla(const frmPrincipal& w) {
    return *hijo<QTableView>(w, "grdLog");
}

// What the grid holds, shown yet or not.
const ModeloLog& modelo(const frmPrincipal& w) {
    return *qobject_cast<const ModeloLog*>(rejilla(w).model());
}

QSystemTrayIcon& bandeja(const frmPrincipal& w) {
    return *hijo<QSystemTrayIcon>(w, "barEstado");
}

bool conectado(const frmPrincipal& w) {
    return bandeja(w).toolTip() == "Tarvolin";
}

} // namespace

TEST_F(frmPrincipalTest, LaRejillaGuardaCienLineasYLaSiguienteEmpiezaDeNuevo) {
    clock_seam::setNowSource(momento);
    frmPrincipal w(true);
    const QAbstractItemModel& g = *rejilla(w).model();
    EXPECT_EQ(g.headerData(0, Qt::Horizontal), "Fecha/Hora");
    EXPECT_EQ(g.headerData(1, Qt::Horizontal), "Concepto");
    const ModeloLog& m = modelo(w);
    for (int i = 1; i <= frmPrincipal::kFilasMaximas; ++i)
        w.AnadirLog(QStringLiteral("línea %1").arg(i));
    EXPECT_EQ(m.filas(), 100);
    EXPECT_EQ(m.texto(99, 1), "línea 100");
    EXPECT_EQ(m.texto(99, 0), "05/03/2025 14:07:09");
    EXPECT_EQ(g.rowCount(), 0); // out of sight: the view is not told

    w.AnadirLog("línea 101");
    ASSERT_EQ(m.filas(), 1);
    w.show();
    ASSERT_EQ(g.rowCount(), 1);
    EXPECT_EQ(g.index(0, 1).data(), "línea 101");

    // A megabyte-long line reaches the grid cut.
    w.AnadirLog(QString(1 << 20, u'x'));
    EXPECT_EQ(m.texto(1, 1), QString(kLongitudMaximaLineaLog, u'x') + "... [1044480 caracteres más]");
}

TEST_F(frmPrincipalTest, UnaLineaConLaVentanaOcultaNoMueveLaFilaActual) {
    frmPrincipal w(true);
    w.AnadirLog("uno");
    w.AnadirLog("dos");
    QTableView& g = rejilla(w);
    w.show();
    EXPECT_EQ(g.model()->rowCount(), 2);
    EXPECT_EQ(g.currentIndex().row(), -1);
    w.AnadirLog("tres");
    EXPECT_EQ(g.currentIndex().row(), 2);
    EXPECT_TRUE(g.selectionModel()->isRowSelected(2, {}));

    // A burst is shown together once the pause is over, the last line selected.
    for (const char* l : {"cuatro", "cinco", "seis"})
        w.AnadirLog(QString::fromUtf8(l));
    program::waitWhile([&g] { return g.currentIndex().row() != 5; }, 10000);
    EXPECT_EQ(g.model()->rowCount(), 6);
    EXPECT_EQ(g.currentIndex().siblingAtColumn(1).data(), "seis");
    EXPECT_TRUE(g.selectionModel()->isRowSelected(5, {}));

    // Minimised: nothing moves until the window comes back.
    w.showMinimized();
    w.AnadirLog("siete");
    EXPECT_EQ(g.model()->rowCount(), 6);
    w.showNormal();
    EXPECT_EQ(g.model()->rowCount(), 7);
}

TEST_F(frmPrincipalTest, AlRegistrarseRecogeLasLineasAnterioresYElDialogoDeConfiguracion) {
    GrabaLog("antes de la ventana");
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    GrabaLog("con la ventana");
    ASSERT_EQ(modelo(w).filas(), 2);
    EXPECT_EQ(modelo(w).texto(0, 1), "antes de la ventana");
    EXPECT_EQ(modelo(w).texto(1, 1), "con la ventana");
    EXPECT_TRUE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(prompts::formFactory("frmConfig"));
}

// Closing the window, the exit button and the tray's exit ask first and end only on Yes; otherwise
// the window hides behind its icon, or without a tray stays minimised.
TEST_F(frmPrincipalTest, CerrarYSalirPreguntanYSoloTerminanConSi) {
    const char* kSalir = "¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina";
    const struct {
        bool hayBandeja;
        const char* accion;
        int respuesta;
        bool termina, visible;
        const char* pregunta;
    } casos[] = {
        {true, "close", prompts::vbNo, false, false, "Pulsa 'No' para dejar el programa minimizado."},
        {true, "close", prompts::vbCancel, false, false, "Pulsa 'No'"},
        {true, "close", prompts::vbYes, true, false, "Pulsa 'No'"},
        {false, "close", prompts::vbNo, false, true, "Pulsa 'No'"},
        {false, "ctrMinimizar", 0, false, true, nullptr},
        {true, "mnuSalir", prompts::vbNo, false, true, kSalir},
        {true, "ctrSalir", prompts::vbYes, true, false, kSalir},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(std::string(c.accion) + " " + std::to_string(c.respuesta));
        program::resetForTests();
        respuestas.calls.clear();
        frmPrincipal w(c.hayBandeja);
        w.MuestraIconoTareas(true);
        w.muestraSinBandeja(); // without a tray: shown minimised
        EXPECT_EQ(w.isMinimized(), !c.hayBandeja);
        w.showNormal();
        respuestas.answers = {c.respuesta};
        const QString accion = QString::fromUtf8(c.accion);
        const auto actua = [&] {
            if (accion == "close")
                w.close();
            else if (accion.startsWith("mnu"))
                hijo<QAction>(w, c.accion)->trigger();
            else
                emit hijo<ctrBoton>(w, c.accion)->Click();
        };
        if (c.termina) {
            EXPECT_THROW(actua(), program::Ended);
        } else {
            actua();
            EXPECT_FALSE(program::ending());
            EXPECT_EQ(w.isVisible(), c.visible);
            EXPECT_EQ(w.isMinimized(), c.visible && !c.hayBandeja);
        }
        EXPECT_EQ(bandeja(w).isVisible(), !c.termina);
        ASSERT_EQ(respuestas.calls.size(), c.pregunta ? 1u : 0u);
        if (c.pregunta) {
            EXPECT_EQ(respuestas.calls[0].style, 36);
            EXPECT_TRUE(respuestas.calls[0].text.contains(QString::fromUtf8(c.pregunta)));
        }
    }
}

TEST_F(frmPrincipalTest, LaConfiguracionSoloSeAbreConElCodigoDeAcceso) {
    frmPrincipal w(true);
    respuestas.formAnswers["frmPassword"] = {0};
    hijo<QAction>(w, "mnuConfiguracion")->trigger();
    EXPECT_EQ(respuestas.textos(), QStringList{"frmPassword"});

    respuestas.calls.clear();
    respuestas.formAnswers["frmPassword"] = {1};
    respuestas.formAnswers["frmConfig"] = {1};
    emit hijo<ctrBoton>(w, "ctrConfigurar")->Click();
    EXPECT_EQ(respuestas.textos(), (QStringList{"frmPassword", "frmConfig"}));
}

TEST_F(frmPrincipalTest, FinalizarQuitaElIconoYTerminaMedioSegundoDespues) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(false);
    EXPECT_FALSE(conectado(w));
    w.MuestraIconoTareas(); // without an argument: ready
    EXPECT_TRUE(conectado(w));
    EXPECT_TRUE(bandeja(w).isVisible());
    TemporizadorVB* fin = hijo<TemporizadorVB>(w, "tmrFinalizarPrograma");
    EXPECT_FALSE(fin->Enabled());

    w.FinalizarProgramaYDescargarFormularios(false);
    EXPECT_FALSE(bandeja(w).isVisible());
    EXPECT_EQ(modelo(w).texto(modelo(w).filas() - 1, 1), "Fin Tarvolin");
    EXPECT_TRUE(fin->Enabled());
    EXPECT_EQ(fin->Interval(), 500);
    EXPECT_FALSE(program::ending()); // the caller still sends its reply

    // The scale's timer without an interval is enabled but does not beat.
    w.setScaleTimer(true, 0);
    EXPECT_TRUE(w.scaleTimerEnabled());
    EXPECT_FALSE(hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
    w.setScaleTimer(true, 250);
    EXPECT_TRUE(hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
}

// ---- The start-up operations against the real database ----
namespace {

class frmPrincipalArranqueTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        qputenv("TARVOLIN_RETRY_MS", "100");
    }
    void TearDown() override {
        qunsetenv("TARVOLIN_RETRY_MS");
        qunsetenv("TARVOLIN_PORT");
        UiTest::TearDown();
    }
};

} // namespace

TEST_F(frmPrincipalArranqueTest, ConElPuertoOcupadoSeReintentaYElIconoPasaAListoCuandoEscucha) {
    TARVOLIN_REQUIRE_DATABASE();
    uitest::BaseDemo db(("uipuerto"));
    uitest::escribeRegistro(uitest::registroBase(db.nombre));
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
    auto ocupante = std::make_unique<QTcpServer>();
    ASSERT_TRUE(ocupante->listen(QHostAddress::Any, 0));
    qputenv("TARVOLIN_PORT", QByteArray::number(ocupante->serverPort()));
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    w.MuestraIconoTareas(false);

    w.InicializaConexiones();
    ASSERT_TRUE(SocketFront);
    EXPECT_FALSE(SocketFront->SocketIniciado);
    EXPECT_FALSE(conectado(w));
    TemporizadorVB* reintento = hijo<TemporizadorVB>(w, "tmrIntentoAperturaSocket");
    EXPECT_TRUE(reintento->Enabled());

    ocupante.reset();
    program::waitWhile([&w] { return !conectado(w); }, 20000);
    EXPECT_TRUE(conectado(w));
    EXPECT_TRUE(bandeja(w).isVisible());
    EXPECT_TRUE(SocketFront->SocketIniciado);
    EXPECT_FALSE(reintento->Enabled());
    EXPECT_FALSE(hijo<TemporizadorVB>(w, "tmrIntentoConexion")->Enabled());
    EXPECT_TRUE(DR && objBotones);
    EXPECT_TRUE(gblnConexionesInicializadas && gblnProgramaInicializado);
    EXPECT_EQ(gintTPV, 1);
    EXPECT_EQ(uitest::leeRegistro("PermitirVariosTPVSSimultaneamente"), "0");
    bool idioma = false;
    for (int i = 0; i < modelo(w).filas(); ++i)
        idioma |= modelo(w).texto(i, 1) == "Idioma: 1";
    EXPECT_TRUE(idioma);
}
