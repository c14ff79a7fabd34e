// The main window: its log grid, the tray icon, closing and exiting, the configuration road, the
// end road and its timers; then its start-up operations against the real MariaDB.
#include "ui/TemporizadorVB.h"
#include "ui/frmPrincipal.h"
#include "ui/tests/ProgramaEnPrueba.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"

#include <QAction>
#include <QLabel>
#include <QTableWidget>

using uitest::UiTest;

namespace {

class VentanaPrincipal : public UiTest {};

QDateTime momento() {
    return QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9));
}

} // namespace

TEST_F(VentanaPrincipal, LaRejillaGuardaCienLineasYLaSiguienteEmpiezaDeNuevo) {
    clock_seam::setNowSource(momento);
    frmPrincipal w(true);
    QTableWidget& g = *w.grdLog;
    EXPECT_EQ(g.horizontalHeaderItem(0)->text(), QStringLiteral("Fecha/Hora"));
    EXPECT_EQ(g.horizontalHeaderItem(1)->text(), QStringLiteral("Concepto"));
    for (int i = 1; i <= frmPrincipal::kFilasMaximas; ++i)
        w.AnadirLog(QStringLiteral("línea %1").arg(i));
    EXPECT_EQ(g.rowCount(), 100);
    EXPECT_EQ(g.item(99, 1)->text(), QStringLiteral("línea 100"));
    EXPECT_EQ(g.item(99, 0)->text(), QStringLiteral("05/03/2025 14:07:09"));

    w.AnadirLog(QStringLiteral("línea 101"));
    ASSERT_EQ(g.rowCount(), 1);
    EXPECT_EQ(g.item(0, 1)->text(), QStringLiteral("línea 101"));
}

TEST_F(VentanaPrincipal, UnaLineaConLaVentanaOcultaNoMueveLaFilaActual) {
    frmPrincipal w(true);
    w.AnadirLog(QStringLiteral("uno"));
    w.AnadirLog(QStringLiteral("dos"));
    EXPECT_EQ(w.grdLog->currentRow(), -1);

    w.show();
    w.AnadirLog(QStringLiteral("tres"));
    EXPECT_EQ(w.grdLog->currentRow(), 2);
    EXPECT_TRUE(w.grdLog->item(2, 0)->isSelected());
    EXPECT_TRUE(w.grdLog->item(2, 1)->isSelected());
}

TEST_F(VentanaPrincipal, AlRegistrarseRecogeLasLineasAnterioresYElDialogoDeConfiguracion) {
    GrabaLog(QStringLiteral("antes de la ventana"));
    frmPrincipal w(true);
    w.registraComoVentanaPrincipal();
    GrabaLog(QStringLiteral("con la ventana"));
    ASSERT_EQ(w.grdLog->rowCount(), 2);
    EXPECT_EQ(w.grdLog->item(0, 1)->text(), QStringLiteral("antes de la ventana"));
    EXPECT_EQ(w.grdLog->item(1, 1)->text(), QStringLiteral("con la ventana"));
    EXPECT_TRUE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(prompts::formFactory(QStringLiteral("frmConfig")));
}

TEST_F(VentanaPrincipal, CerrarYContestarNoSoloLaOculta) {
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

TEST_F(VentanaPrincipal, SinBandejaLaVentanaQuedaMinimizadaEnLugarDeOculta) {
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
    emit w.ctrMinimizar->Click();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(VentanaPrincipal, SalirPreguntaYSoloTerminaConSi) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(true);
    respuestas.answers = {prompts::vbNo};
    w.mnuSalir->trigger();
    EXPECT_FALSE(program::ending());
    ASSERT_EQ(respuestas.calls.size(), 1u);
    EXPECT_EQ(respuestas.calls[0].text,
              QStringLiteral("¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina"));
    EXPECT_EQ(respuestas.calls[0].style, 36);

    respuestas.answers = {prompts::vbYes};
    EXPECT_THROW(emit w.ctrSalir->Click(), program::Ended);
    EXPECT_FALSE(w.iconoBandejaVisible());

    // Closing the window and answering Yes ends it too.
    program::resetForTests();
    w.MuestraIconoTareas(true);
    w.show();
    respuestas.answers = {prompts::vbYes};
    EXPECT_THROW(w.close(), program::Ended);
    EXPECT_FALSE(w.iconoBandejaVisible());
}

TEST_F(VentanaPrincipal, LaConfiguracionSoloSeAbreConElCodigoDeAcceso) {
    frmPrincipal w(true);
    respuestas.formAnswers[QStringLiteral("frmPassword")] = {0};
    w.mnuConfiguracion->trigger();
    EXPECT_EQ(respuestas.textos(), QStringList{QStringLiteral("frmPassword")});

    respuestas.calls.clear();
    respuestas.formAnswers[QStringLiteral("frmPassword")] = {1};
    respuestas.formAnswers[QStringLiteral("frmConfig")] = {1};
    emit w.ctrConfigurar->Click();
    EXPECT_EQ(respuestas.textos(), (QStringList{QStringLiteral("frmPassword"), QStringLiteral("frmConfig")}));
}

TEST_F(VentanaPrincipal, FinalizarQuitaElIconoYTerminaMedioSegundoDespues) {
    frmPrincipal w(true);
    w.MuestraIconoTareas(false);
    EXPECT_FALSE(w.iconoConectado());
    w.MuestraIconoTareas(); // without an argument: ready
    EXPECT_TRUE(w.iconoConectado());
    EXPECT_TRUE(w.iconoBandejaVisible());
    EXPECT_FALSE(w.tmrFinalizarPrograma->Enabled());

    w.FinalizarProgramaYDescargarFormularios(false);
    EXPECT_FALSE(w.iconoBandejaVisible());
    EXPECT_EQ(w.grdLog->item(w.grdLog->rowCount() - 1, 1)->text(), QStringLiteral("Fin Tarvolin"));
    EXPECT_TRUE(w.tmrFinalizarPrograma->Enabled());
    EXPECT_EQ(w.tmrFinalizarPrograma->Interval(), 500);
    EXPECT_FALSE(program::ending()); // the caller still sends its reply
}

TEST_F(VentanaPrincipal, ElTemporizadorDeLaBalanzaSinIntervaloEstaActivadoPeroNoLate) {
    frmPrincipal w(true);
    w.setScaleTimer(true, 0);
    EXPECT_TRUE(w.scaleTimerEnabled());
    EXPECT_FALSE(w.tmrBalanzaContinuo->activo());
    w.setScaleTimer(true, 250);
    EXPECT_TRUE(w.tmrBalanzaContinuo->activo());
}

// ---- The start-up operations against the real database ----
namespace {

class ArranqueVentana : public UiTest {
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

TEST_F(ArranqueVentana, ElIconoPasaAListoCuandoElServicioEscucha) {
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
    EXPECT_FALSE(w.tmrIntentoConexion->Enabled());
    EXPECT_FALSE(w.tmrIntentoAperturaSocket->Enabled());
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("PermitirVariosTPVSSimultaneamente")), QStringLiteral("0"));
    EXPECT_FALSE(w.grdLog->findItems(QStringLiteral("Idioma: 1"), Qt::MatchExactly).isEmpty());
}

TEST_F(ArranqueVentana, ConElPuertoOcupadoSeReintentaHastaQueQuedaLibre) {
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
    EXPECT_TRUE(w.tmrIntentoAperturaSocket->Enabled());

    ocupante.reset();
    program::waitWhile([&w] { return !w.iconoConectado(); }, 20000);
    EXPECT_TRUE(w.iconoConectado());
    EXPECT_TRUE(SocketFront->SocketIniciado);
    EXPECT_FALSE(w.tmrIntentoAperturaSocket->Enabled());
}
