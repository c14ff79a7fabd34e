// Composing and sending a kitchen-sized ticket (about 2 KB): through the recording seam (composition,
// translation and encoding only) and through the private cupsd to a TCP capture, timed from the first
// Imprimir to the last byte at the capture. The word wrap of a long text. The cost of settling a job
// whose fate a send did not learn, beside the floor of a plain send.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Registry.h"
#include "printing/basPrinter.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/ProcesoPrueba.h"
#include "testsupport/RecordingOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <cups/cups.h>
#include <memory>

using namespace basPrinter;

namespace {

void parametros(const QString& impresora) {
    auto& reg = registry::RegistryStore::instance();
    const QString clave = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin");
    auto pon = [&](const char* k, const QString& v) {
        reg.setValue(registry::Root::CurrentUser, clave, registry::Value{QString::fromLatin1(k), registry::REG_SZ, v});
    };
    for (const char* k : {"IpServidor", "Empresa", "Restaurante", "TPV", "Cortar"})
        pon(k, QStringLiteral("1"));
    for (const char* k :
         {"LongMaxTexto", "FuncionamientoItos", "FuncFacturadora", "ImprImpSecundaria", "UsarDriverOPOS",
          "DelayFacturadora", "DelayImpresion", "CodigosEscTicketNormal", "CodigosEscTicketCocina",
          "NumLineasAntesCortar", "ImpLogoAntes", "LogoEnImpresora", "NoImprimirLogo"})
        pon(k, QStringLiteral("0"));
    for (const char* k : {"ImpresoraSecundaria", "ImpCintaControl", "ImpresoraOPOS"})
        pon(k, QString());
    pon("ImpTicket", impresora);
    objParametros().resetForTests();
    objParametros().GetParamReg();
    InicializaCodigosPRN();
}

// About 2 KB of kitchen ticket: header in double size, forty article lines with accents, the cut.
void componeTicket() {
    BufferImpresion trabajo;
    Imprimir(trabajo, gCodigosPRN.PRN_INIDBLALT + QStringLiteral("MESA 12   SALA TERRAZA") + gCodigosPRN.PRN_FINDBLALT);
    Imprimir(trabajo, QStringLiteral("Camarero: José María      TPV 1   Ticket 4711"));
    for (int i = 0; i < 40; ++i)
        Imprimir(trabajo,
                 sustituyeTagsHTML(QStringLiteral("<b>%1</b> x Caña de cerveza con limón, sin hielo").arg(i % 9 + 1)));
    CortarPapel(trabajo, {.ImprimirLogoDespues = false});
}

void BM_TicketRecording(benchmark::State& state) {
    parametros(QStringLiteral("TICKETS"));
    printers::RecordingOutput salida;
    printers::install(&salida);
    qint64 bytes = 0;
    for (auto _ : state) {
        componeTicket();
        bytes += salida.jobs.back().data.size();
        salida.jobs.clear();
    }
    printers::install(nullptr);
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_TicketRecording);

// A raw queue of the dev environment's cupsd printing into a capture; none (the benchmark skipped,
// saying why) without one.
std::unique_ptr<testenv::ColaCaptura> colaCaptura(benchmark::State& state, const QString& prefijo) {
    if (qEnvironmentVariableIsEmpty("CUPS_SERVER")) {
        state.SkipWithError("CUPS_SERVER not set (source the dev environment)");
        return nullptr;
    }
    auto cola = std::make_unique<testenv::ColaCaptura>(prefijo);
    if (!cola->creada) {
        state.SkipWithError("lpadmin failed");
        return nullptr;
    }
    return cola;
}

void BM_TicketThroughCups(benchmark::State& state) {
    const std::unique_ptr<testenv::ColaCaptura> colaBanco = colaCaptura(state, QStringLiteral("tarvolin_bench"));
    if (!colaBanco)
        return;
    const testenv::ColaCaptura& cola = *colaBanco;
    const testenv::CapturaTcp& captura = cola.captura;
    parametros(cola.nombre);
    printers::install(nullptr);
    // Size of one ticket, from the recording seam.
    qint64 largo = 0;
    {
        printers::RecordingOutput r;
        printers::install(&r);
        componeTicket();
        largo = r.jobs.back().data.size();
        printers::install(nullptr);
    }
    for (auto _ : state) {
        const qint64 objetivo = captura.recibidos + largo;
        QElapsedTimer reloj;
        reloj.start();
        componeTicket();
        if (!program::waitWhile([&] { return captura.recibidos < objetivo; }, 60000)) {
            state.SkipWithError("program ending");
            break;
        }
        if (captura.recibidos < objetivo) {
            state.SkipWithError("the ticket did not arrive");
            break;
        }
        state.SetIterationTime(double(reloj.nsecsElapsed()) / 1e9);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * largo);
}
BENCHMARK(BM_TicketThroughCups)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

// A plain send of a small job (Create-Job and Send-Document), the floor the settling is measured
// against; then the settling of a job of unknown fate, asked of cupsd as it answers again:
//   0 its number known (the document's answer was lost): Get-Job-Attributes;
//   1 the Create-Job's answer lost and no job made: Get-Jobs by its name;
//   2 the Create-Job's answer lost, the job made and waiting for its document: Get-Jobs by its name,
//     Get-Job-Attributes, Cancel-Job;
//   3 the floor: a plain send.
void BM_SettleJob(benchmark::State& state) {
    const std::unique_ptr<testenv::ColaCaptura> colaBanco = colaCaptura(state, QStringLiteral("tarvolin_asiento"));
    if (!colaBanco)
        return;
    const testenv::ColaCaptura& cola = *colaBanco;
    printers::CupsOutput cups;
    const QByteArray queue = cola.nombre.toUtf8();
    int n = 0;
    for (auto _ : state) {
        const QByteArray nombre = "Tarvolin bench " + QByteArray::number(QCoreApplication::applicationPid()) + "-" +
                                  QByteArray::number(state.range(0)) + "-" + QByteArray::number(++n);
        printers::PendingJob job{.printer = cola.nombre, .queue = queue, .name = nombre};
        state.PauseTiming();
        if (state.range(0) == 0 || state.range(0) == 2)
            job.id = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), nombre.constData(), 0, nullptr);
        if (state.range(0) == 0)
            cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job.id, 0);
        if (state.range(0) == 2)
            job.id = 0; // found by its name
        state.ResumeTiming();
        if (state.range(0) == 3) {
            if (!cups.sendJob(cola.nombre, "x\r\n").printed())
                state.SkipWithError("the send failed");
        } else if (cups.settle(job).outcome != printers::Outcome::NotPrinted) {
            state.SkipWithError("the job was not settled as not printed");
        }
    }
}
BENCHMARK(BM_SettleJob)->DenseRange(0, 3)->ArgName("caso")->Unit(benchmark::kMillisecond)->Iterations(100);

// The word wrap of one long line of a special ticket, at 42 columns: words of varied length, or one
// blank and then a single word (the window widens up to the end).
QString textoLargo(qsizetype caracteres, bool palabras) {
    if (!palabras)
        return QStringLiteral("x ") + QString(caracteres - 2, QLatin1Char('x'));
    const QString frase = QStringLiteral("Caña de cerveza con limón, sin hielo y bien fría. Mesa doce ");
    QString t = frase.repeated(caracteres / frase.size() + 1);
    t.truncate(caracteres);
    return t;
}

void BM_AjustaTexto(benchmark::State& state) {
    InstalaServiciosImpresion(); // the markup goes first, as in a ticket
    const QString texto = textoLargo(state.range(0), state.range(1) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(basFuncionesComunes::AjustaTexto(42, texto, 0));
    state.SetItemsProcessed(int64_t(state.iterations()) * texto.size());
}
BENCHMARK(BM_AjustaTexto)
    ->ArgsProduct({{100000, 1 << 20}, {1, 0}})
    ->ArgNames({"caracteres", "palabras"})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    testenv::ProcesoPrueba proceso(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
