// One whole kitchen ticket: header, large command number, seller, table, identification block,
// four article lines, observations and foot text, read from a real MariaDB on loopback through the
// ODBC driver and sent to the recording output instead of CUPS. Reports the time per ticket and the
// SQL statements per ticket, counted by the composer and, as a cross-check, by the server (the
// Questions status of the two connections' sessions).
#include "core/basGeneral.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Ado.h"
#include "platform/Printers.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/basPrinter.h"
#include "printing/clsImprimirTicket.h"
#include "printing/tests/PrinterFixture.h"
#include "testsupport/ProcesoPrueba.h"
#include "testsupport/RecordingOutput.h"

#include <benchmark/benchmark.h>

namespace {

// Statements the server has seen on one session so far (the status query itself included).
qint64 preguntas(ado::Connection& cn) {
    ado::RecordsetPtr rs = cn.OpenRecordset(QStringLiteral("show session status like 'Questions'"));
    const qint64 n = vb::CStr(rs->Fields(QStringLiteral("Value")).Value).toLongLong();
    rs->Close();
    return n;
}
qint64 preguntasServidor() {
    return preguntas(ConexionServidor()) + preguntas(ConexionLocal());
}

std::unique_ptr<coretest::ConnectedCore> conecta(benchmark::State& state) {
    if (!testenv::haveDatabase()) {
        state.SkipWithError("no MariaDB (source /tmp/devrun/env.sh or run through scripts/test)");
        return nullptr;
    }
    coretest::ConnectedCoreOptions o;
    o.prefijo = QStringLiteral("bench_ticket");
    o.parametros = tickettest::parametrosTicket();
    o.parametros.append({QStringLiteral("ImpDosCarTickGrandes"), QStringLiteral("2")});
    o.cargarConfigTPV = false;
    auto core = std::make_unique<coretest::ConnectedCore>(o);
    if (!core->ok() || !core->sql(QString::fromUtf8(tickettest::kFilasRestaurante))) {
        state.SkipWithError("database set-up failed");
        return nullptr;
    }
    basPrinter::resetForTests();
    setErrorPrinter(&ErrorTicketPrinter::instance());
    return core;
}

void imprime(benchmark::State& state) {
    clsImprimirTicket t;
    if (!t.ImprimirTicketCocinaEspecial(3, 1234, tickettest::kTextoCocina,
                                        {.strTextoPie = QStringLiteral("Mesa con ni\u00f1os: traer dos tronas")})
             .blnEnviado)
        state.SkipWithError("the ticket did not go out");
}

void informa(benchmark::State& state, qint64 sentencias, qint64 preguntas, qint64 bytes, qint64 medidas) {
    const double n = double(state.iterations());
    state.counters["sql_per_ticket"] = double(sentencias) / n;
    state.counters["server_questions_per_ticket"] = double(preguntas - medidas) / n;
    state.SetBytesProcessed(bytes);
}

// The ticket's command number is already recorded: it is listed, not allocated.
void BM_KitchenTicket(benchmark::State& state) {
    auto core = conecta(state);
    if (!core)
        return;
    printers::RecordingOutput salida;
    printers::install(&salida);
    imprime(state); // records the command number
    salida.jobs.clear();
    const qint64 s0 = clsImprimirTicket::sentenciasEjecutadas();
    const qint64 q0 = preguntasServidor();
    qint64 bytes = 0;
    for (auto _ : state) {
        imprime(state);
        for (const auto& j : salida.jobs)
            bytes += j.data.size();
        salida.jobs.clear();
    }
    // Two status queries (one per session) are counted by the second reading.
    informa(state, clsImprimirTicket::sentenciasEjecutadas() - s0, preguntasServidor(), bytes, q0 + 2);
    printers::install(nullptr);
}
BENCHMARK(BM_KitchenTicket)->Unit(benchmark::kMillisecond);

// Every ticket allocates a new command number (the previous one is removed between tickets, untimed).
void BM_KitchenTicketAllocating(benchmark::State& state) {
    auto core = conecta(state);
    if (!core)
        return;
    printers::RecordingOutput salida;
    printers::install(&salida);
    qint64 sentencias = 0, preguntasTicket = 0, bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ConexionLocal().Execute(QStringLiteral("delete from qm_imppantalla"));
        const qint64 s0 = clsImprimirTicket::sentenciasEjecutadas();
        const qint64 q0 = preguntasServidor();
        state.ResumeTiming();
        imprime(state);
        state.PauseTiming();
        sentencias += clsImprimirTicket::sentenciasEjecutadas() - s0;
        preguntasTicket += preguntasServidor() - q0 - 2;
        for (const auto& j : salida.jobs)
            bytes += j.data.size();
        salida.jobs.clear();
        state.ResumeTiming();
    }
    informa(state, sentencias, preguntasTicket, bytes, 0);
    printers::install(nullptr);
}
BENCHMARK(BM_KitchenTicketAllocating)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    testenv::ProcesoPrueba proceso(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
