#include "platform/Printers.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/ServicioPrivado.h"
#include "testsupport/TestEnv.h"
#include "testsupport/Waits.h"
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <cups/cups.h>
#include <gtest/gtest.h>

namespace {

// A private cupsd with one raw queue, this process's CUPS server while it lives.
struct CupsdPropio {
    testenv::ServicioPrivado cupsd{testenv::ServicioPrivado::Tipo::Cupsd};
    QByteArray anterior = cupsServer();

    // An lp command (lpadmin, cupsdisable, cancel ...) run against this cupsd.
    bool orden(const char* programa, const QStringList& args) const {
        QProcess p;
        p.start(programa, QStringList{"-h", cupsd.socket()} + args);
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }
    bool arranca(const QString& cola) {
        if (!cupsd.ok() ||
            !orden("lpadmin", {"-p", cola, "-E", "-v", "file://" + cupsd.carpeta() + "/salida", "-m", "raw"}))
            return false;
        cupsSetServer(QFile::encodeName(cupsd.socket()).constData());
        return true;
    }
    ~CupsdPropio() { cupsSetServer(anterior.isEmpty() ? nullptr : anterior.constData()); }
};

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
