#include "platform/Printers.h"
#include "platform/Program.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/TestEnv.h"
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// A raw printer: a TCP port that keeps what each job sends.
struct Capture {
    QTcpServer server;
    QByteArray data;
    int finished = 0;
    Capture() {
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, [this, s] { data += s->readAll(); });
                QObject::connect(s, &QTcpSocket::disconnected, [this, s] {
                    data += s->readAll();
                    ++finished;
                    s->deleteLater();
                });
            }
        });
        server.listen(QHostAddress::LocalHost, 0);
    }
};

bool lpadmin(const QStringList& args) {
    QProcess p;
    p.start("lpadmin", args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString lpstatJobs(const QString& queue) {
    QProcess p;
    p.start("lpstat", {"-o", queue});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct PrintersTest : ::testing::Test {
    Capture capture;
    QString queue = QString("platform_test_%1").arg(::getpid());
    bool made = false;
    void SetUp() override {
        TARVOLIN_REQUIRE_CUPS();
        ASSERT_TRUE(capture.server.isListening());
        made = lpadmin({"-p", queue, "-E", "-v",
                        QString("socket://127.0.0.1:%1/?waiteof=false").arg(capture.server.serverPort()), "-m", "raw"});
        ASSERT_TRUE(made);
    }
    void TearDown() override {
        if (made)
            lpadmin({"-x", queue});
    }
};

} // namespace

TEST_F(PrintersTest, RawJobBytesArriveUnchanged) {
    QByteArray payload("\x1b@ticket\x00\x80\xff\r\n", 13);
    for (int i = 0; i < 256; ++i)
        payload.append(char(i));
    printers::CupsOutput cups;
    QString error;
    ASSERT_TRUE(cups.send(queue, payload, &error)) << error.toStdString();
    program::waitWhile([&] { return capture.finished < 1; }, 60000);
    EXPECT_EQ(capture.data, payload);

    // The next job is a job of its own, bytes in order.
    ASSERT_TRUE(cups.send(queue, QByteArray("\x1dV\x00", 3), &error)) << error.toStdString();
    program::waitWhile([&] { return capture.finished < 2; }, 60000);
    EXPECT_EQ(capture.data, payload + QByteArray("\x1dV\x00", 3));

    EXPECT_TRUE(cups.list().contains(queue));
}

TEST_F(PrintersTest, NothingToPrintLeavesNoHeldJob) {
    printers::CupsOutput cups;
    QString error;
    EXPECT_TRUE(cups.send(queue, QByteArray(), &error));
    EXPECT_EQ(lpstatJobs(queue), "");
}

TEST(Printers, AMissingQueueFailsWithTheReason) {
    TARVOLIN_REQUIRE_CUPS();
    printers::CupsOutput cups;
    QString error;
    EXPECT_FALSE(cups.send("no_such_queue_here", "x", &error));
    EXPECT_TRUE(error.contains("no_such_queue_here")) << error.toStdString();
    EXPECT_GT(error.size(), QString("no_such_queue_here: ").size());
    EXPECT_FALSE(cups.send("", "x", &error));
}

TEST(Printers, RecordsOrFailsAndIsInstalledAsTheOutput) {
    printers::RecordingOutput rec;
    printers::install(&rec);
    QString error;
    EXPECT_TRUE(printers::output().send("TICKETS", "abc", &error));
    ASSERT_EQ(rec.jobs.size(), 1u);
    EXPECT_EQ(rec.jobs[0].data, "abc");
    rec.fail = true;
    EXPECT_FALSE(printers::output().send("TICKETS", "x", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(rec.jobs.size(), 1u);
    EXPECT_EQ(printers::output().defaultPrinter(), "TICKETS");
    printers::install(nullptr);
    EXPECT_EQ(dynamic_cast<printers::CupsOutput*>(&printers::output()) != nullptr, true);
}
