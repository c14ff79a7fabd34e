#include "platform/Printers.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/ServicioPrivado.h"
#include "testsupport/TestEnv.h"
#include "testsupport/Waits.h"
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <random>
#include <thread>

namespace {

using CupsdPropio = testenv::CupsdPrivado;

} // namespace

TEST(Printers, RawJobsCrossCupsUnchangedAndAnEmptyOneIsNoJob) {
    TARVOLIN_REQUIRE_CUPS();
    testenv::ColaCaptura cola(QStringLiteral("platform_test"));
    ASSERT_TRUE(cola.creada);
    printers::CupsOutput cups;
    QString error;
    // Nothing to print must not leave a held job behind in the queue.
    EXPECT_TRUE(cups.send(cola.nombre, QByteArray(), &error));
    QProcess lpstat;
    lpstat.start("lpstat", {"-o", cola.nombre});
    ASSERT_TRUE(lpstat.waitForFinished(waits::kDeadlineMs)) << "lpstat -o did not answer";
    EXPECT_EQ(lpstat.readAllStandardOutput().trimmed(), "");

    QByteArray payload("\x1b@ticket\x00\x80\xff\r\n", 13);
    for (int i = 0; i < 256; ++i)
        payload.append(char(i));
    ASSERT_TRUE(cups.send(cola.nombre, payload, &error)) << error.toStdString();
    ASSERT_TRUE(cups.send(cola.nombre, QByteArray("\x1dV\x00", 3), &error)) << error.toStdString();
    ASSERT_TRUE(cola.captura.espera(2));
    EXPECT_EQ(cola.captura.trabajos, std::vector<QByteArray>({payload, QByteArray("\x1dV\x00", 3)}));
    EXPECT_TRUE(cups.list().contains(cola.nombre));

    EXPECT_FALSE(cups.send("no_such_queue_here", "x", &error));
    EXPECT_TRUE(error.contains("no_such_queue_here")) << error.toStdString();
    EXPECT_GT(error.size(), QString("no_such_queue_here: ").size()); // the reason follows the name
    EXPECT_FALSE(cups.send("", "x", &error));
}

// A refusing queue: the reason is cupsd's answer to the Create-Job, not a later look-up's leftover.
TEST(Printers, ARefusedJobGivesCupsdsOwnAnswer) {
    TARVOLIN_REQUIRE_CUPS();
    testenv::ColaCaptura cola(QStringLiteral("platform_rechaza"));
    ASSERT_TRUE(cola.creada);
    ASSERT_EQ(QProcess::execute("cupsreject", {cola.nombre}), 0);
    printers::CupsOutput cups;
    QString error;
    EXPECT_FALSE(cups.send(cola.nombre, "x", &error));
    EXPECT_TRUE(error.startsWith(cola.nombre + ": ")) << error.toStdString();
    EXPECT_TRUE(error.contains("is not accepting jobs. (server-error-not-accepting-jobs)")) << error.toStdString();
    ASSERT_EQ(QProcess::execute("cupsaccept", {cola.nombre}), 0);
    EXPECT_TRUE(cups.send(cola.nombre, "x", &error)) << error.toStdString();
}

// A cupsd allowing one job and 1 KiB bodies refuses a job beyond either with its own answer.
TEST(Printers, ACupsdAtItsLimitsRefusesWithItsOwnAnswer) {
    TARVOLIN_REQUIRE_CUPS();
    qputenv("TARVOLIN_CUPSD_CONF_EXTRA", "MaxJobs 1\\nLimitRequestBody 1024");
    CupsdPropio propio;
    qunsetenv("TARVOLIN_CUPSD_CONF_EXTRA");
    ASSERT_TRUE(propio.arranca("limitada")) << propio.cupsd.error().toStdString();
    printers::CupsOutput cups;
    QString error;
    // A stopped queue keeps its job pending: the next Create-Job meets the job limit.
    ASSERT_TRUE(propio.orden("cupsdisable", {"limitada"}));
    ASSERT_TRUE(cups.send("limitada", "uno", &error)) << error.toStdString();
    EXPECT_FALSE(cups.send("limitada", "dos", &error));
    EXPECT_TRUE(error.contains("(client-error-not-possible)")) << error.toStdString();
    ASSERT_TRUE(propio.orden("cancel", {"-a", "limitada"}));
    ASSERT_TRUE(propio.orden("cupsenable", {"limitada"}));
    // Too large: refused as it closes, its created job cancelled, so the next fits the job limit.
    EXPECT_FALSE(cups.send("limitada", QByteArray(4096, 'x'), &error));
    EXPECT_TRUE(error.contains("Request Entity Too Large (client-error-request-value-too-long)"))
        << error.toStdString();
    EXPECT_TRUE(cups.send("limitada", "tres", &error)) << error.toStdString();
}

// A print server that hangs (SIGSTOP) holds a job no longer than the bounded waits: the job fails
// saying so, the jobs right behind it wait less, and once the server goes on the jobs go through.
TEST(Printers, AStoppedCupsdFailsTheJobWithinItsWaitAndJobsGoAgainAfter) {
    TARVOLIN_REQUIRE_CUPS();
    CupsdPropio propio;
    ASSERT_TRUE(propio.arranca("colgada")) << propio.cupsd.error().toStdString();
    testenv::ServicioPrivado& cupsd = propio.cupsd;

    printers::CupsOutput cups;
    QString error;
    ASSERT_TRUE(cups.send("colgada", "uno", &error)) << error.toStdString();
    cupsd.para();
    const std::tuple<const char*, qint64> pasos[] = {{"the first job", 3000}, {"the job behind it", 500}};
    for (const auto& [paso, espera] : pasos) {
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(cups.send("colgada", "dos", &error)) << paso;
        EXPECT_TRUE(error.contains("sin respuesta de cupsd")) << paso << ": " << error.toStdString();
        EXPECT_LT(t.elapsed(), espera + 1500) << paso;
    }
    cupsd.sigue();
    QElapsedTimer t;
    t.start();
    bool enviado = false;
    while (!enviado && t.elapsed() < 10000)
        enviado = cups.send("colgada", "tres", &error);
    EXPECT_TRUE(enviado) << "no job went through within 10 s of the server going on: " << error.toStdString();
}

// The names a till may hold for a printer: the queue's own name in any case, or the description
// the queue was given (printers are known by their friendly names) in any case. Each one's job
// reaches that queue; a name of no queue is refused with the name in its reason.
TEST(Printers, AQueueIsFoundByItsNameOrItsDescriptionInAnyCase) {
    TARVOLIN_REQUIRE_CUPS();
    testenv::ColaCaptura cola(QStringLiteral("platform_nombres"));
    ASSERT_TRUE(cola.creada);
    ASSERT_TRUE(testenv::lpadmin({"-p", cola.nombre, "-D", "Cocina Ñ 2"}));
    printers::CupsOutput cups;
    size_t trabajos = 0;
    for (const QString& nombre :
         {cola.nombre, cola.nombre.toUpper(), QStringLiteral("Cocina Ñ 2"), QStringLiteral("COCINA ñ 2")}) {
        QString error;
        ASSERT_TRUE(cups.send(nombre, nombre.toUtf8(), &error)) << nombre.toStdString() << ": " << error.toStdString();
        ASSERT_TRUE(cola.captura.espera(++trabajos)) << nombre.toStdString();
        EXPECT_EQ(cola.captura.trabajos.back(), nombre.toUtf8());
    }
    for (const QString& nombre : {QStringLiteral("Cocina Ñ"), cola.nombre + "_2"}) {
        QString error;
        EXPECT_FALSE(cups.send(nombre, "x", &error)) << nombre.toStdString();
        EXPECT_TRUE(error.startsWith(nombre + ": ")) << error.toStdString();
    }
}

namespace {

using printers::Outcome;
using printers::Stage;

// One job against a private cupsd that is stopped (SIGSTOP) at a chosen moment of the job and goes on
// (SIGCONT) once the send has given up: what the send said, what asking cupsd afterwards said, and
// what reached the printer.
struct Parada {
    CupsdPropio propio;
    testenv::CapturaTcp captura;
    printers::CupsOutput cups;
    int marcas = 0;

    bool arranca() {
        // Short waits: a stopped cupsd costs the test little.
        printers::CupsOutput::setWaits(0.4, 0.2);
        return propio.colaCaptura(QStringLiteral("parada"), captura);
    }
    ~Parada() {
        propio.cupsd.sigue();
        printers::resetForTests();
    }

    struct Ensayo {
        Outcome enviado = Outcome::Unknown;  // what the send said
        Outcome asentado = Outcome::Unknown; // what asking cupsd settled (the send's own outcome when it knew)
        QString error;
        qsizetype copias = 0; // copies of the job at the printer
        QStringList quedan;   // jobs cupsd has not finished once all is settled
    };

    // esperaUs: how long after reaching the moment cupsd is stopped.
    Ensayo prueba(Stage momento, int esperaUs = 0) {
        const QByteArray datos = "PLATO " + QByteArray::number(++marcas) + "\r\n";
        bool parado = false;
        printers::setStageHook([&](Stage s) {
            if (s != momento || parado)
                return;
            if (esperaUs > 0)
                std::this_thread::sleep_for(std::chrono::microseconds(esperaUs));
            propio.cupsd.para();
            parado = true;
        });
        Ensayo e;
        const printers::JobResult r = cups.sendJob(QStringLiteral("parada"), datos);
        printers::setStageHook({});
        propio.cupsd.sigue();
        e.enviado = e.asentado = r.outcome;
        e.error = r.error;
        if (r.unknown()) {
            // The holder of the job asks cupsd until it answers (the request queue's next turn).
            waits::until(
                [&] {
                    e.asentado = cups.settle(r.pending).outcome;
                    return e.asentado != Outcome::Unknown;
                },
                "cupsd to settle the job");
        }
        // A marker behind it: once it is at the printer, everything before it is too.
        const QByteArray marca = "MARCA " + QByteArray::number(marcas) + "\r\n";
        QString error;
        waits::until([&] { return cups.send(QStringLiteral("parada"), marca, &error); }, "the marker sent");
        waits::until([&] { return !captura.trabajos.empty() && captura.trabajos.back() == marca; },
                     "the marker at the printer");
        e.copias = std::ranges::count(captura.trabajos, datos);
        // Jobs the send left behind are settled by the output itself (a late Create-Job included).
        waits::until(
            [&] {
                e.quedan = propio.sinTerminar(QStringLiteral("parada"));
                return e.quedan.isEmpty() && printers::CupsOutput::unsettled().empty();
            },
            "no job left in cupsd", 4 * waits::kDeadlineMs);
        return e;
    }
};

const char* nombre(Outcome o) {
    return o == Outcome::Printed ? "printed" : o == Outcome::NotPrinted ? "not printed" : "unknown";
}

} // namespace

// cupsd stopped before the Create-Job's answer, after the document went, after its answer's header:
// the send says printed only when the job is on paper, not printed only when it is not, and
// otherwise that it does not know; asking cupsd once it answers settles the job as the paper has
// it; no job stays in cupsd (one made without its document is cancelled).
TEST(Printers, AJobStoppedAtAnyMomentIsSettledAsThePaperHasIt) {
    TARVOLIN_REQUIRE_CUPS();
    Parada p;
    ASSERT_TRUE(p.arranca()) << p.propio.cupsd.error().toStdString();
    for (const Stage momento : {Stage::CreateJobSent, Stage::DocumentSent, Stage::AnswerHeader}) {
        SCOPED_TRACE(testing::Message() << "stopped at moment " << int(momento));
        const Parada::Ensayo e = p.prueba(momento);
        if (momento != Stage::AnswerHeader) { // cupsd stopped before it answered: the send cannot know
            EXPECT_EQ(e.enviado, Outcome::Unknown) << nombre(e.enviado);
            EXPECT_TRUE(e.error.endsWith(": sin respuesta de cupsd")) << e.error.toStdString();
        }
        ASSERT_NE(e.asentado, Outcome::Unknown);
        EXPECT_EQ(e.copias, e.asentado == Outcome::Printed ? 1 : 0) << nombre(e.enviado) << ", " << nombre(e.asentado);
        EXPECT_EQ(e.quedan, QStringList());
    }
}

// Stops at random moments (a random point, a random few milliseconds after it): a job said printed
// that is not on paper, one said not printed that is, one printed twice, a job left in cupsd: each
// must never happen. TARVOLIN_PARADAS sets the number of trials (12 by default).
TEST(Printers, RandomStopsNeverGiveAWrongAnswerNorLeaveAJob) {
    TARVOLIN_REQUIRE_CUPS();
    Parada p;
    ASSERT_TRUE(p.arranca()) << p.propio.cupsd.error().toStdString();
    const int ensayos =
        qEnvironmentVariableIntValue("TARVOLIN_PARADAS") > 0 ? qEnvironmentVariableIntValue("TARVOLIN_PARADAS") : 12;
    std::mt19937 azar(std::random_device{}());
    int okNoImpreso = 0, errorImpreso = 0, dobles = 0, quedan = 0, inciertos = 0, impresos = 0;
    for (int i = 0; i < ensayos; ++i) {
        const auto momento = Stage(std::uniform_int_distribution<int>(0, 2)(azar));
        const int esperaUs = std::uniform_int_distribution<int>(0, 12000)(azar);
        const Parada::Ensayo e = p.prueba(momento, esperaUs);
        okNoImpreso += e.asentado == Outcome::Printed && e.copias == 0;
        errorImpreso += e.asentado == Outcome::NotPrinted && e.copias > 0;
        dobles += e.copias > 1;
        quedan += !e.quedan.isEmpty();
        inciertos += e.enviado == Outcome::Unknown;
        impresos += e.copias == 1;
    }
    std::printf("[ paradas ] %d trials: %d unknown at first, %d printed; ok not printed %d, error printed %d, "
                "printed twice %d, jobs left %d\n",
                ensayos, inciertos, impresos, okNoImpreso, errorImpreso, dobles, quedan);
    EXPECT_EQ(okNoImpreso, 0);
    EXPECT_EQ(errorImpreso, 0);
    EXPECT_EQ(dobles, 0);
    EXPECT_EQ(quedan, 0);
}
