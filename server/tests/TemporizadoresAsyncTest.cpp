// TemporizadoresAsync. A due context calls its callback on the real request front by name: what
// the front lists runs and marks the context "ejecutar"; any other member is refused and reported.
#include "ClienteTcp.h"

#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/Waits.h"

#include <gtest/gtest.h>

using namespace servertest;

namespace {

TEST(TemporizadoresAsync, ADueContextCallsWhatTheFrontListsAndNothingElse) {
    testenv::reiniciaTodo();
    gblnProgramaInicializado = true;
    const QDateTime ahora(QDate(2026, 3, 14), QTime(10, 0, 0));
    clock_seam::setNowSource([&] { return ahora; });
    const struct {
        const char* funcion;
        bool drena;      // the callback ran: the queued request went
        Variant marcado; // "ejecutar" after the visit
    } casos[] = {
        {"EjecutarRequestPendientesCola", true, true},
        {"ejecutarrequestpendientescola", true, true}, // names as VB matches them
        {"", false, true},
        {"Inicia", false, "#ERROR#"}, // public, but no callback
        {"socket_Request", false, "#ERROR#"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.funcion);
        recordingMainWindow().grid.clear();
        clsSocketFront front;
        front.peticiones_aincronas()->Add(clsJSON().parseIEntidad(R"({"accion":"Ping"})"));
        frmComSocket ventana;
        ventana.setObjetoCallbacks(&front);
        const auto ctx = std::make_shared<vb::entidadGenerica>();
        ctx->Propiedad("segundos_intervalo", 1);
        ctx->Propiedad("fecha", QDateTime(ahora.date(), QTime(0, 0)));
        ctx->Propiedad("evento_timer_lanzado", 0);
        ctx->Propiedad("funcion_callback", c.funcion);
        ventana.subcriptoresTimerCentinela()->Add(ctx);
        ventana.TimerComprobaciones_Timer();
        ASSERT_TRUE(waits::until([&] { return ventana.timersAsyncCargados() == 0; },
                                 "the one-shot of the visit to tick", kEsperaMaximaMs));
        EXPECT_EQ(front.peticiones_aincronas()->Count(), c.drena ? 0 : 1);
        EXPECT_EQ(ctx->Valor("ejecutar"), c.marcado);
        EXPECT_EQ(ctx->Valor("ejecutando"), Variant(false));
        EXPECT_FALSE(front.SocketIniciado);
        const bool rechazo = recordingMainWindow().grid.join('\n').contains(
            QStringLiteral("ERROR: frmComSocket.TimerAsync_Timer (Lanzar función de callback (%1))").arg(c.funcion));
        EXPECT_EQ(rechazo, c.marcado != Variant(true));
    }
    clock_seam::setNowSource(nullptr);
}

} // namespace
