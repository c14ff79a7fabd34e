// The main window: its log grid, the tray icon, closing and exiting, the configuration road, the
// end road and its timers; then its start-up operations against the real MariaDB.
#include "ui/frmPrincipal.h"
#include "ui/ModeloLog.h"
#include "ui/TemporizadorVB.h"
#include "ui/tests/ProgramaEnPrueba.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "testsupport/RecordingMainWindow.h"

#include <QAction>
#include <QLabel>
#include <QTableView>

using uitest::UiTest;

namespace {

class frmPrincipalTest : public UiTest {};

QDateTime momento() {
    return QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9));
}

QTableView& rejilla(frmPrincipal& w) {
    return *uitest::hijo<QTableView>(w, "grdLog");
}

// The line of the grid's last row (what it holds, shown yet or not).
QString ultimaLinea(const frmPrincipal& w) {
    return w.modeloLog().texto(w.modeloLog().filas() - 1, 1);
}

} // namespace

TEST_F(frmPrincipalTest, LaRejillaGuardaCienLineasYLaSiguienteEmpiezaDeNuevo) {
    clock_seam::setNowSource(momento);
    frmPrincipal w(true);
    const QAbstractItemModel& g = *rejilla(w).model();
    EXPECT_EQ(g.headerData(0, Qt::Horizontal), QStringLiteral("Fecha/Hora"));
    EXPECT_EQ(g.headerData(1, Qt::Horizontal), QStringLiteral("Concepto"));
    const ModeloLog& m = w.modeloLog();
    for (int i = 1; i <= frmPrincipal::kFilasMaximas; ++i)
        w.AnadirLog(QStringLiteral("línea %1").arg(i));
    EXPECT_EQ(m.filas(), 100);
    EXPECT_EQ(m.texto(99, 1), QStringLiteral("línea 100"));
    EXPECT_EQ(m.texto(99, 0), QStringLiteral("05/03/2025 14:07:09"));
    EXPECT_EQ(g.rowCount(), 0); // out of sight: the view is not told

    w.AnadirLog(QStringLiteral("línea 101"));
    ASSERT_EQ(m.filas(), 1);
    EXPECT_EQ(m.texto(0, 1), QStringLiteral("línea 101"));
    w.show();
    ASSERT_EQ(g.rowCount(), 1);
    EXPECT_EQ(g.index(0, 1).data(), QStringLiteral("línea 101"));

    // A megabyte-long line reaches the grid cut.
    w.AnadirLog(QString(1 << 20, QLatin1Char('x')));
    EXPECT_EQ(m.texto(1, 1),
              QString(kLongitudMaximaLineaLog, QLatin1Char('x')) + QStringLiteral("... [1044480 caracteres más]"));
}

TEST_F(frmPrincipalTest, UnaLineaConLaVentanaOcultaNoMueveLaFilaActual) {
    frmPrincipal w(true);
    w.AnadirLog(QStringLiteral("uno"));
    w.AnadirLog(QStringLiteral("dos"));
    QTableView& g = rejilla(w);
    EXPECT_EQ(g.currentIndex().row(), -1);

    w.show();
    EXPECT_EQ(g.model()->rowCount(), 2);
    EXPECT_EQ(g.currentIndex().row(), -1);
    w.AnadirLog(QStringLiteral("tres"));
    EXPECT_EQ(g.currentIndex().row(), 2);
    EXPECT_TRUE(g.selectionModel()->isRowSelected(2, {}));

    // A burst is shown together once the pause is over, the last line selected.
    for (const char* l : {"cuatro", "cinco", "seis"})
        w.AnadirLog(QString::fromUtf8(l));
    program::waitWhile([&g] { return g.currentIndex().row() != 5; }, 10000);
    EXPECT_EQ(g.model()->rowCount(), 6);
    EXPECT_EQ(g.currentIndex().siblingAtColumn(1).data(), QStringLiteral("seis"));
    EXPECT_TRUE(g.selectionModel()->isRowSelected(5, {}));

    // Minimised: nothing moves until the window comes back.
    w.showMinimized();
    w.AnadirLog(QStringLiteral("siete"));
    EXPECT_EQ(g.model()->rowCount(), 6);
    w.showNormal();
    EXPECT_EQ(g.model()->rowCount(), 7);
}

TEST_F(frmPrincipalTest, AlRegistrarseRecogeLasLineasAnterioresYElDialogoDeConfiguracion) {
    GrabaLog(QStringLiteral("antes de la ventana"));
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    GrabaLog(QStringLiteral("con la ventana"));
    ASSERT_EQ(w.modeloLog().filas(), 2);
    EXPECT_EQ(w.modeloLog().texto(0, 1), QStringLiteral("antes de la ventana"));
    EXPECT_EQ(w.modeloLog().texto(1, 1), QStringLiteral("con la ventana"));
    EXPECT_TRUE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(prompts::formFactory(QStringLiteral("frmConfig")));
}

TEST_F(frmPrincipalTest, CerrarYContestarNoSoloLaOculta) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(false);
    w.show();
    respuestas.answers = {prompts::vbNo};
    EXPECT_FALSE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.iconoBandejaVisible());
    EXPECT_FALSE(program::ending());
    ASSERT_EQ(respuestas.calls.size(), 1u);
    EXPECT_EQ(respuestas.calls[0].style, 36);
    EXPECT_TRUE(respuestas.calls[0].text.contains(QStringLiteral("Pulsa 'No' para dejar el programa minimizado.")));

    // Any answer but Yes keeps the program.
    w.show();
    respuestas.answers = {prompts::vbCancel};
    EXPECT_FALSE(w.close());
    EXPECT_FALSE(w.isVisible());
}

TEST_F(frmPrincipalTest, SinBandejaLaVentanaQuedaMinimizadaEnLugarDeOculta) {
    frmPrincipal w(false);
    w.muestraSinBandeja();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());

    w.showNormal();
    respuestas.answers = {prompts::vbNo};
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());

    w.showNormal();
    emit uitest::hijo<ctrBoton>(w, "ctrMinimizar")->Click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(frmPrincipalTest, SalirPreguntaYSoloTerminaConSi) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(true);
    respuestas.answers = {prompts::vbNo};
    uitest::hijo<QAction>(w, "mnuSalir")->trigger();
    EXPECT_FALSE(program::ending());
    ASSERT_EQ(respuestas.calls.size(), 1u);
    EXPECT_EQ(respuestas.calls[0].text,
              QStringLiteral("¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina"));
    EXPECT_EQ(respuestas.calls[0].style, 36);

    respuestas.answers = {prompts::vbYes};
    EXPECT_THROW(emit uitest::hijo<ctrBoton>(w, "ctrSalir")->Click(), program::Ended);
    EXPECT_FALSE(w.iconoBandejaVisible());

    // Closing the window and answering Yes ends it too.
    program::resetForTests();
    w.MuestraIconoTareas(true);
    w.show();
    respuestas.answers = {prompts::vbYes};
    EXPECT_THROW(w.close(), program::Ended);
    EXPECT_FALSE(w.iconoBandejaVisible());
}

TEST_F(frmPrincipalTest, LaConfiguracionSoloSeAbreConElCodigoDeAcceso) {
    frmPrincipal w(true);
    respuestas.formAnswers[QStringLiteral("frmPassword")] = {0};
    uitest::hijo<QAction>(w, "mnuConfiguracion")->trigger();
    EXPECT_EQ(respuestas.textos(), QStringList{QStringLiteral("frmPassword")});

    respuestas.calls.clear();
    respuestas.formAnswers[QStringLiteral("frmPassword")] = {1};
    respuestas.formAnswers[QStringLiteral("frmConfig")] = {1};
    emit uitest::hijo<ctrBoton>(w, "ctrConfigurar")->Click();
    EXPECT_EQ(respuestas.textos(), (QStringList{QStringLiteral("frmPassword"), QStringLiteral("frmConfig")}));
}

TEST_F(frmPrincipalTest, FinalizarQuitaElIconoYTerminaMedioSegundoDespues) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(false);
    EXPECT_FALSE(w.iconoConectado());
    w.MuestraIconoTareas(); // without an argument: ready
    EXPECT_TRUE(w.iconoConectado());
    EXPECT_TRUE(w.iconoBandejaVisible());
    EXPECT_FALSE(uitest::hijo<TemporizadorVB>(w, "tmrFinalizarPrograma")->Enabled());

    w.FinalizarProgramaYDescargarFormularios(false);
    EXPECT_FALSE(w.iconoBandejaVisible());
    EXPECT_EQ(ultimaLinea(w), QStringLiteral("Fin Tarvolin"));
    EXPECT_TRUE(uitest::hijo<TemporizadorVB>(w, "tmrFinalizarPrograma")->Enabled());
    EXPECT_EQ(uitest::hijo<TemporizadorVB>(w, "tmrFinalizarPrograma")->Interval(), 500);
    EXPECT_FALSE(program::ending()); // the caller still sends its reply
}

TEST_F(frmPrincipalTest, ElTemporizadorDeLaBalanzaSinIntervaloEstaActivadoPeroNoLate) {
    frmPrincipal w(true);
    w.setScaleTimer(true, 0);
    EXPECT_TRUE(w.scaleTimerEnabled());
    EXPECT_FALSE(uitest::hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
    w.setScaleTimer(true, 250);
    EXPECT_TRUE(uitest::hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
}

// ---- The start-up operations against the real database ----
namespace {

class frmPrincipalArranqueTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        qputenv("TARVOLIN_RETRY_MS", "100");
        qputenv("TARVOLIN_PORT", "0");
    }
    void TearDown() override {
        qunsetenv("TARVOLIN_RETRY_MS");
        qunsetenv("TARVOLIN_PORT");
        UiTest::TearDown();
    }
    void carga(const QString& db) {
        uitest::escribeRegistro(uitest::registroBase(db));
        objParametros().GetParamReg();
        gblnParametrosCargados = true;
    }
};

} // namespace

TEST_F(frmPrincipalArranqueTest, ElIconoPasaAListoCuandoElServicioEscucha) {
    TARVOLIN_REQUIRE_DATABASE();
    uitest::BaseDemo db(QStringLiteral("uiicono"));
    carga(db.nombre());
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    w.MuestraIconoTareas(false);

    w.InicializaConexiones();
    ASSERT_TRUE(SocketFront);
    EXPECT_TRUE(SocketFront->SocketIniciado);
    EXPECT_TRUE(w.iconoConectado());
    EXPECT_TRUE(w.iconoBandejaVisible());
    EXPECT_TRUE(DR && objBotones);
    EXPECT_TRUE(gblnConexionesInicializadas && gblnProgramaInicializado);
    EXPECT_EQ(gintTPV, 1);
    EXPECT_FALSE(uitest::hijo<TemporizadorVB>(w, "tmrIntentoConexion")->Enabled());
    EXPECT_FALSE(uitest::hijo<TemporizadorVB>(w, "tmrIntentoAperturaSocket")->Enabled());
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("PermitirVariosTPVSSimultaneamente")), QStringLiteral("0"));
    bool idioma = false;
    for (int i = 0; i < w.modeloLog().filas(); ++i)
        idioma |= w.modeloLog().texto(i, 1) == QStringLiteral("Idioma: 1");
    EXPECT_TRUE(idioma);
}

TEST_F(frmPrincipalArranqueTest, ConElPuertoOcupadoSeReintentaHastaQueQuedaLibre) {
    TARVOLIN_REQUIRE_DATABASE();
    uitest::BaseDemo db(QStringLiteral("uipuerto"));
    carga(db.nombre());
    auto ocupante = std::make_unique<QTcpServer>();
    ASSERT_TRUE(ocupante->listen(QHostAddress::Any, 0));
    qputenv("TARVOLIN_PORT", QByteArray::number(ocupante->serverPort()));
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    w.MuestraIconoTareas(false);

    w.InicializaConexiones();
    ASSERT_TRUE(SocketFront);
    EXPECT_FALSE(SocketFront->SocketIniciado);
    EXPECT_FALSE(w.iconoConectado());
    EXPECT_TRUE(uitest::hijo<TemporizadorVB>(w, "tmrIntentoAperturaSocket")->Enabled());

    ocupante.reset();
    program::waitWhile([&w] { return !w.iconoConectado(); }, 20000);
    EXPECT_TRUE(w.iconoConectado());
    EXPECT_TRUE(SocketFront->SocketIniciado);
    EXPECT_FALSE(uitest::hijo<TemporizadorVB>(w, "tmrIntentoAperturaSocket")->Enabled());
}
