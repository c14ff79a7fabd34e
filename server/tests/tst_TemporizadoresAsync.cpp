// The timed callback contexts with an injected clock and driven sentinel ticks (first run, pause,
// midnight, a failing and a long callback), what a late-bound name can reach on the request front,
// and the informative window offscreen.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/VBError.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include "controls/ctrBoton.h"

using namespace servertest;

namespace {

// The callbacks' object: "Cuenta" counts, "Falla" raises, "Larga" drives a nested visit of its own
// context while it runs.
class Llamadas final : public vb::LateBound {
public:
    int cuenta = 0, larga = 0;
    std::function<void()> dentroDeLarga;
    vb::CallableMembers callableMembers() override {
        return {{"Cuenta", 0, 0, [this](const vb::Arguments&) { return Variant(++cuenta); }},
                {"Falla", 0, 0, [](const vb::Arguments&) -> Variant { vb::Raise(5); }},
                {"Larga", 0, 0, [this](const vb::Arguments&) {
                     ++larga;
                     dentroDeLarga();
                     return Variant();
                 }}};
    }
};

class Temporizadores : public ::testing::Test {
protected:
    frmComSocket ventana;
    Llamadas llamadas;
    QDateTime ahora{QDate(2026, 3, 14), QTime(10, 0, 0)};
    vb::EntidadPtr contexto = std::make_shared<vb::entidadGenerica>();

    void SetUp() override {
        resetBasGeneralForTests();
        gblnProgramaInicializado = true;
        clock_seam::setNowSource([this] { return ahora; });
        ventana.setObjetoCallbacks(&llamadas);
        ventana.subcriptoresTimerCentinela()->Add(contexto);
        contexto->Propiedad("segundos_intervalo", 10);
    }
    void TearDown() override {
        clock_seam::setNowSource(nullptr);
        resetBasGeneralForTests();
    }
    // One sentinel tick at `hora`, then its one-shots fire and are unloaded.
    void tick(QTime hora, int dias = 0) {
        ahora = QDateTime(QDate(2026, 3, 14).addDays(dias), hora);
        const int antes = ventana.timersAsyncCargados(); // a running callback keeps its own
        ventana.TimerComprobaciones_Timer();
        EXPECT_EQ(ventana.timersAsyncCargados(), antes + 1);
        program::waitWhile([&] { return ventana.timersAsyncCargados() > antes; }, kEsperaMaximaMs);
        EXPECT_EQ(ventana.timersAsyncCargados(), antes);
    }
    double lanzado() const { return vb::CDbl(contexto->Valor("evento_timer_lanzado")); }
};

TEST_F(Temporizadores, RunsWhenDueNeverOnTheFirstVisitOfADayNorWhilePaused) {
    EXPECT_FALSE(ventana.timerComprobacionesActivo());
    contexto->Propiedad("funcion_callback", "cuenta");
    struct Paso {
        QTime hora;
        int dias;
        bool pausa;
        int cuenta;
        double lanzado;
    };
    const Paso pasos[] = {
        {QTime(10, 0, 0), 0, false, 0, 36000}, // first visit: stamped only
        {QTime(10, 0, 9), 0, false, 0, 36000},  {QTime(10, 0, 10), 0, false, 1, 36010},
        {QTime(10, 0, 40), 0, true, 1, 36010},  // paused: nothing changes
        {QTime(10, 0, 40), 0, false, 2, 36040}, {QTime(0, 0, 5), 1, false, 2, 5}, // midnight: reset only
        {QTime(0, 0, 15), 1, false, 3, 15},
    };
    for (const Paso& p : pasos) {
        SCOPED_TRACE(p.hora.toString().toStdString());
        contexto->Propiedad("pausa", p.pausa);
        tick(p.hora, p.dias);
        EXPECT_EQ(llamadas.cuenta, p.cuenta);
        EXPECT_EQ(lanzado(), p.lanzado);
        EXPECT_EQ(vb::CDate(contexto->Valor("fecha")), QDateTime(QDate(2026, 3, 14).addDays(p.dias), QTime(0, 0)));
    }
    EXPECT_TRUE(contexto->Valor("ejecutar").toBool());
    EXPECT_FALSE(contexto->Valor("ejecutando").toBool());
}

TEST_F(Temporizadores, AFailedCallbackIsOverAndALongOneIsNotStartedAgain) {
    contexto->Propiedad("funcion_callback", "Falla");
    tick(QTime(10, 0, 0));
    tick(QTime(10, 0, 10));
    EXPECT_FALSE(contexto->Valor("ejecutando").toBool());
    EXPECT_EQ(contexto->Valor("ejecutar").toString(), "#ERROR#");
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains(
        "ERROR: frmComSocket.TimerAsync_Timer (Lanzar función de callback (Falla))"));

    contexto->Propiedad("funcion_callback", "Larga");
    llamadas.dentroDeLarga = [&] { tick(QTime(10, 0, 40)); };
    tick(QTime(10, 0, 20));
    EXPECT_EQ(llamadas.larga, 1);
    EXPECT_TRUE(contexto->Valor("ejecutar").toBool());
    EXPECT_EQ(lanzado(), 36020);
}

TEST(SocketFrontPorNombre, OnlyTheListedMembersCanBeCalled) {
    clsSocketFront front;
    const struct {
        const char* miembro;
        vb::Arguments args;
        int error;
    } casos[] = {{"ejecutarrequestpendientescola", {}, 0},
                 {"EjecutarRequestPendientesCola", {"origen"}, 0},
                 {"EjecutarRequestPendientesCola", {"a", "b"}, 450},
                 {"getPuertoSocketComandero", {"abc"}, 13},
                 {"Inicia", {}, 438},
                 {"deleteLater", {}, 438},
                 {"EjecutaAccion", {}, 438}};
    for (const auto& c : casos) {
        int error = 0;
        try {
            vb::CallByName(front, c.miembro, c.args);
        } catch (const VBError& e) {
            error = e.number();
        }
        EXPECT_EQ(error, c.error) << c.miembro;
    }
    EXPECT_EQ(front.socket(), nullptr);
}

TEST(VentanaInformativa, OpensOnTopCancelsHidesAndCopiesTraceLines) {
    resetBasGeneralForTests();
    frmComSocket ventana;
    EXPECT_EQ(ventana.ventana(), nullptr);
    ventana.abrirFormularioInformativoUsuarioNoModalSiempreVisible();
    QWidget* w = ventana.ventana();
    ASSERT_NE(w, nullptr);
    auto* lista = w->findChild<QListWidget*>("List1");
    auto* texto = w->findChild<QPlainTextEdit*>("txtLabel");
    auto* etiqueta = w->findChild<QLabel*>("Label1");
    auto* boton = w->findChild<ctrBoton*>("btnSalir");
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->windowTitle(), "Socket");
    EXPECT_FALSE(lista->isVisible());
    EXPECT_TRUE(etiqueta->isVisible());
    EXPECT_EQ(texto->geometry().top(), 8);
    EXPECT_EQ(boton->Caption(), "Cancelar");
    ventana.mostrarTexto("Imprimiendo...");
    ventana.mostrarTextoLabel("1 de 3");
    EXPECT_EQ(texto->toPlainText(), "Imprimiendo...");
    EXPECT_EQ(etiqueta->text(), "1 de 3");
    EXPECT_FALSE(ventana.blnCanceladoPorUsuario());

    emit boton->Click();
    EXPECT_TRUE(ventana.blnCanceladoPorUsuario());
    EXPECT_FALSE(w->isVisible());
    // Hidden, it is the trace window again.
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(lista->isHidden());
    EXPECT_TRUE(etiqueta->isHidden());
    EXPECT_EQ(boton->Caption(), "Salir");
    lista->addItems({"uno", "dos"});
    emit lista->itemClicked(lista->item(1));
    EXPECT_EQ(texto->toPlainText(), "dos");

    ventana.abrirFormularioInformativoUsuarioNoModalSiempreVisible();
    EXPECT_FALSE(ventana.blnCanceladoPorUsuario());
    ventana.ocultarFormulario();
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(ventana.blnCanceladoPorUsuario());
}

} // namespace
