// The main window: log grid, tray icon, closing, configuration, the end road and timers, start-up.
#include "ui/frmPrincipal.h"
#include "ui/ModeloLog.h"
#include "ui/TemporizadorVB.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/Waits.h"

#include <QAction>
#include <QSystemTrayIcon>
#include <QTableView>

using uitest::hijo;
using uitest::UiTest;

namespace {

using frmPrincipalTest = UiTest;
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

} // namespace

// 100 lines, then the grid starts anew. Lines logged out of sight reach the view when the window shows
// (current row unmoved); a burst shows after the pause, last line selected; minimised, nothing moves.
TEST_F(frmPrincipalTest, LaRejillaGuardaCienLineasYSoloSigueLasNuevasALaVista) {
    clock_seam::setNowSource([] { return QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)); });
    frmPrincipal w(true);
    QTableView& g = rejilla(w);
    const ModeloLog& m = modelo(w);
    for (int i = 1; i <= frmPrincipal::kFilasMaximas; ++i)
        w.AnadirLog(QStringLiteral("línea %1").arg(i));
    EXPECT_EQ(m.filas(), 100);
    EXPECT_EQ(m.texto(99, 1), "línea 100");
    EXPECT_EQ(m.texto(99, 0), "05/03/2025 14:07:09");
    w.AnadirLog("línea 101");
    // A megabyte-long line reaches the grid cut.
    w.AnadirLog(QString(1 << 20, u'x'));
    EXPECT_EQ(m.texto(1, 1), QString(kLongitudMaximaLineaLog, u'x') + "... [1044480 caracteres más]");
    EXPECT_EQ(g.model()->rowCount(), 0); // out of sight: the view is not told

    w.show();
    ASSERT_TRUE(waits::until([&g] { return g.model()->rowCount() == 2; },
                             "the two rows to reach the view once the window is exposed"));
    EXPECT_EQ(g.model()->index(0, 1).data(), "línea 101");
    EXPECT_EQ(g.currentIndex().row(), -1);
    w.AnadirLog("tres"); // shown from the event loop, never inside the logging call
    EXPECT_EQ(g.currentIndex().row(), -1);
    EXPECT_TRUE(waits::until([&g] { return g.currentIndex().row() == 2; }, "the grid to select the new row"));
    for (const char* l : {"cuatro", "cinco", "seis"})
        w.AnadirLog(QString::fromUtf8(l));
    EXPECT_TRUE(waits::until([&g] { return g.currentIndex().row() == 5; }, "the grid to select its last row"));
    EXPECT_EQ(g.model()->rowCount(), 6);
    EXPECT_EQ(g.currentIndex().siblingAtColumn(1).data(), "seis");
    EXPECT_TRUE(g.selectionModel()->isRowSelected(5, {}));

    w.showMinimized();
    w.AnadirLog("siete");
    EXPECT_EQ(g.model()->rowCount(), 6);
    w.showNormal();
    EXPECT_EQ(g.model()->rowCount(), 7);
}

// The configuration needs the access code. Closing and exiting ask first and end only on Yes; else
// the window hides behind its icon (minimised without a tray). The end comes half a second later.
// A scale timer without interval is enabled but does not tick.
TEST_F(frmPrincipalTest, LosMandosPreguntanAntesYElFinalTerminaMedioSegundoDespues) {
    frmPrincipal w(true), sinBandeja(false);
    respuestas.formAnswers["frmPassword"] = {0, 1};
    respuestas.formAnswers["frmConfig"] = {1};
    hijo<QAction>(w, "mnuConfiguracion")->trigger(); // a wrong code: no dialog
    emit hijo<ctrBoton>(w, "ctrConfigurar")->Click();
    EXPECT_EQ(respuestas.textos(), (QStringList{"frmPassword", "frmPassword", "frmConfig"}));
    respuestas.calls.clear();

    sinBandeja.muestraSinBandeja();
    EXPECT_TRUE(sinBandeja.isVisible() && sinBandeja.isMinimized());
    respuestas.answers = {prompts::vbNo, prompts::vbCancel, prompts::vbNo, prompts::vbNo};
    for (frmPrincipal* v : {&w, &w, &sinBandeja}) {
        v->MuestraIconoTareas(true);
        v->showNormal();
        EXPECT_FALSE(v->close());
        EXPECT_EQ(v->isVisible(), v == &sinBandeja);
        EXPECT_EQ(v->isMinimized(), v == &sinBandeja);
    }
    sinBandeja.showNormal();
    emit hijo<ctrBoton>(sinBandeja, "ctrMinimizar")->Click();
    EXPECT_TRUE(sinBandeja.isVisible() && sinBandeja.isMinimized());
    hijo<QAction>(w, "mnuSalir")->trigger();
    EXPECT_FALSE(program::ending());
    EXPECT_TRUE(bandeja(w).isVisible());
    ASSERT_EQ(respuestas.calls.size(), 4u);
    for (const auto& c : respuestas.calls)
        EXPECT_EQ(c.style, prompts::vbYesNo + prompts::vbQuestion);
    EXPECT_TRUE(respuestas.calls[2].text.endsWith("Pulsa 'No' para dejar el programa minimizado."));
    EXPECT_EQ(respuestas.calls[3].text,
              "¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina");

    w.FinalizarProgramaYDescargarFormularios(false);
    EXPECT_FALSE(bandeja(w).isVisible());
    EXPECT_EQ(modelo(w).texto(modelo(w).filas() - 1, 1), "Fin Tarvolin");
    EXPECT_TRUE(hijo<TemporizadorVB>(w, "tmrFinalizarPrograma")->Enabled());
    EXPECT_EQ(hijo<TemporizadorVB>(w, "tmrFinalizarPrograma")->Interval(), 500);
    EXPECT_FALSE(program::ending()); // the caller still sends its reply

    w.MuestraIconoTareas(true);
    respuestas.answers = {prompts::vbYes};
    EXPECT_THROW(emit hijo<ctrBoton>(w, "ctrSalir")->Click(), program::Ended);
    EXPECT_FALSE(bandeja(w).isVisible());
    w.setScaleTimer(true, 0);
    EXPECT_TRUE(w.scaleTimerEnabled());
    EXPECT_FALSE(hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
    w.setScaleTimer(true, 250);
    EXPECT_TRUE(hijo<TemporizadorVB>(w, "tmrBalanzaContinuo")->activo());
}

// The start-up operations against the real database, with the listening port taken at first.
TEST_F(frmPrincipalTest, ConElPuertoOcupadoSeReintentaYElIconoPasaAListoCuandoEscucha) {
    TARVOLIN_REQUIRE_DATABASE();
    uitest::BaseDemo db("uipuerto");
    uitest::escribeRegistro(uitest::registroBase(db.nombre));
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
    auto ocupante = std::make_unique<QTcpServer>();
    ASSERT_TRUE(ocupante->listen(QHostAddress::Any, 0));
    qputenv("TARVOLIN_PORT", QByteArray::number(ocupante->serverPort()));
    qputenv("TARVOLIN_RETRY_MS", "100");
    GrabaLog("antes de la ventana");
    frmPrincipal w(true);
    const auto conectado = [&w] { return bandeja(w).toolTip() == "Tarvolin"; };
    w.registraComoVentanaPrincipal();
    w.MuestraIconoTareas(false);

    w.InicializaConexiones();
    ASSERT_TRUE(SocketFront);
    EXPECT_FALSE(SocketFront->SocketIniciado);
    EXPECT_FALSE(conectado());
    TemporizadorVB* reintento = hijo<TemporizadorVB>(w, "tmrIntentoAperturaSocket");
    EXPECT_TRUE(reintento->Enabled());

    ocupante.reset();
    ASSERT_TRUE(waits::until(conectado, "the tray icon \"Tarvolin\" once the port is free"));
    EXPECT_TRUE(bandeja(w).isVisible());
    EXPECT_FALSE(reintento->Enabled());
    EXPECT_TRUE(gblnConexionesInicializadas && gblnProgramaInicializado);
    // The lines logged before the window are in its grid, and the configuration dialog can be shown.
    QStringList lineas;
    for (int i = 0; i < modelo(w).filas(); ++i)
        lineas << modelo(w).texto(i, 1);
    EXPECT_TRUE(lineas.contains("antes de la ventana") && lineas.contains("Idioma: 1"))
        << lineas.join('\n').toStdString();
    EXPECT_TRUE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(prompts::formFactory("frmConfig"));
}
