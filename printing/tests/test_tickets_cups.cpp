// A whole kitchen ticket through the private cupsd: a raw queue pointed at a TCP capture in this
// process receives exactly the bytes the recording output sees for the same ticket.
#include "test_tickets_support.h"

#include "testsupport/CupsCapture.h"

using namespace tickettest;

namespace {

using KitchenTicketCups = TicketTest;

TEST_F(KitchenTicketCups, WholeTicketReachesTheRawQueueUnchanged) {
    TARVOLIN_REQUIRE_CUPS();
    // One job per ticket: no separate line-spacing job.
    par("EspacioEntreLineasCocina", "64");
    clsImprimirTicket grabado;
    ASSERT_TRUE(grabado.ImprimirTicketCocinaEspecial(3, 1234, kTextoCocina));
    ASSERT_EQ(salida.jobs.size(), 1u);
    const QByteArray esperado = salida.jobs[0].data;
    core->sql("delete from qm_imppantalla");

    testenv::ColaCaptura cola(QStringLiteral("tarvolin_tickets"));
    ASSERT_TRUE(cola.creada);
    printers::install(nullptr); // the real libcups output
    clsImprimirTicket t;
    EXPECT_TRUE(t.ImprimirTicketCocinaEspecial(3, 1234, kTextoCocina, {.strImpresora = cola.nombre}));
    ASSERT_TRUE(cola.captura.espera(1));
    EXPECT_EQ(cola.captura.trabajos[0], esperado);
}

} // namespace
