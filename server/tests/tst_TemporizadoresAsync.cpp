// The timed callback contexts with an injected clock and driven sentinel ticks, and what a
// late-bound name reaches on the request front.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/VBError.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"

#include <gtest/gtest.h>

using namespace servertest;

namespace {

// The callbacks' object: "Cuenta" counts (and runs `dentro` meanwhile), "Falla" raises.
struct Llamadas : vb::LateBound {
    int cuenta = 0;
    std::function<void()> dentro = [] {};
    vb::CallableMembers callableMembers() override {
        return {{"Cuenta", 0, 0, [this](const vb::Arguments&) { return dentro(), Variant(++cuenta); }},
                {"Falla", 0, 0, [](const vb::Arguments&) -> Variant { vb::Raise(5); }}};
    }
};

TEST(TimerAsync, RunsWhenDueNotOnADaysFirstVisitNorPausedNorTwiceAtOnceNorStuckAfterAFailure) {
    resetBasGeneralForTests();
    gblnProgramaInicializado = true;
    frmComSocket ventana;
    EXPECT_FALSE(ventana.timerComprobacionesActivo());
    Llamadas llamadas;
    ventana.setObjetoCallbacks(&llamadas);
    const auto ctx = std::make_shared<vb::entidadGenerica>();
    ctx->Propiedad("segundos_intervalo", 10);
    ventana.subcriptoresTimerCentinela()->Add(ctx);
    QDateTime ahora;
    clock_seam::setNowSource([&] { return ahora; });
    // One sentinel tick at that time; its one-shot fires and is unloaded.
    const auto tick = [&](QTime hora, int dia) {
        ahora = QDateTime(QDate(2026, 3, 14 + dia), hora);
        const int antes = ventana.timersAsyncCargados(); // a running callback keeps its own
        ventana.TimerComprobaciones_Timer();
        EXPECT_EQ(ventana.timersAsyncCargados(), antes + 1);
        program::waitWhile([&] { return ventana.timersAsyncCargados() > antes; }, kEsperaMaximaMs);
    };
    const struct {
        QTime hora;
        int dia;
        const char* funcion;
        bool pausa;
        int cuenta;
        double lanzado;
    } pasos[] = {
        {QTime(10, 0, 0), 0, "cuenta", false, 0, 36000}, // first visit: stamped only
        {QTime(10, 0, 9), 0, "cuenta", false, 0, 36000},  {QTime(10, 0, 10), 0, "cuenta", false, 1, 36010},
        {QTime(10, 0, 40), 0, "cuenta", true, 1, 36010},  {QTime(10, 0, 40), 0, "Falla", false, 1, 36040},
        {QTime(10, 0, 50), 0, "cuenta", false, 2, 36050}, {QTime(0, 0, 5), 1, "cuenta", false, 2, 5}, // midnight
        {QTime(0, 0, 15), 1, "cuenta", false, 3, 15},
    };
    for (const auto& p : pasos) {
        SCOPED_TRACE(p.hora.toString().toStdString());
        ctx->Propiedad("pausa", p.pausa);
        ctx->Propiedad("funcion_callback", p.funcion);
        tick(p.hora, p.dia);
        EXPECT_EQ(llamadas.cuenta, p.cuenta);
        EXPECT_EQ(vb::CDbl(ctx->Valor("evento_timer_lanzado")), p.lanzado);
        EXPECT_EQ(vb::CDate(ctx->Valor("fecha")).date(), QDate(2026, 3, 14 + p.dia));
        EXPECT_NE(ctx->Valor("ejecutando"), Variant(true)); // also after the failure
    }
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains(
        "ERROR: frmComSocket.TimerAsync_Timer (Lanzar función de callback (Falla))"));
    // A callback that runs events meanwhile is not started again by the ticks inside it.
    bool anidar = true;
    llamadas.dentro = [&] {
        if (std::exchange(anidar, false))
            tick(QTime(0, 1, 0), 1);
    };
    tick(QTime(0, 0, 30), 1);
    EXPECT_EQ(llamadas.cuenta, 4);
    EXPECT_EQ(vb::CDbl(ctx->Valor("evento_timer_lanzado")), 30);
    EXPECT_EQ(ventana.timersAsyncCargados(), 0);
    clock_seam::setNowSource(nullptr);
}

TEST(SocketFrontPorNombre, OnlyTheListedMembersCanBeCalled) {
    clsSocketFront front;
    const std::pair<const char*, vb::Arguments> casos[] = {{"ejecutarrequestpendientescola", {}},
                                                           {"EjecutarRequestPendientesCola", {"a", "b"}},
                                                           {"getPuertoSocketComandero", {"abc"}},
                                                           {"Inicia", {}},
                                                           {"deleteLater", {}},
                                                           {"EjecutaAccion", {}}};
    QList<int> errores;
    for (const auto& [miembro, args] : casos) {
        try {
            errores << vb::CallByName(front, miembro, args).toInt();
        } catch (const VBError& e) {
            errores << e.number();
        }
    }
    EXPECT_EQ(errores, (QList<int>{0, 450, 13, 438, 438, 438}));
    EXPECT_EQ(front.socket(), nullptr);
}

} // namespace
