// The printer layer against the private cupsd: raw queues that point at a TCP capture in this process.
#include "PrinterFixture.h"
#include "platform/Program.h"
#include "testsupport/TestEnv.h"
#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <cups/cups.h>
#include <memory>

using namespace printertest;
using namespace basPrinter;

namespace {

// Listens on a free local port; each connection is one job, complete when the printer side closes.
class CapturaTcp final : public QObject {
public:
    std::vector<QByteArray> trabajos;

    CapturaTcp() {
        m_servidor.listen(QHostAddress::LocalHost, 0);
        connect(&m_servidor, &QTcpServer::newConnection, this, &CapturaTcp::onNuevaConexion);
    }
    quint16 puerto() const { return m_servidor.serverPort(); }
    bool esperaTrabajos(size_t n) {
        program::waitWhile([&] { return trabajos.size() < n; }, 60000);
        return trabajos.size() >= n;
    }

private:
    void onNuevaConexion() {
        while (QTcpSocket* s = m_servidor.nextPendingConnection()) {
            auto datos = std::make_shared<QByteArray>();
            connect(s, &QTcpSocket::readyRead, this, [s, datos] { *datos += s->readAll(); });
            connect(s, &QTcpSocket::disconnected, this, [this, s, datos] {
                *datos += s->readAll();
                trabajos.push_back(*datos);
                s->deleteLater();
            });
        }
    }
    QTcpServer m_servidor;
};

QString nombreUnico() {
    static int contador = 0;
    return QStringLiteral("tarvolin_prn_%1_%2").arg(QCoreApplication::applicationPid()).arg(++contador);
}

bool lpadmin(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("lpadmin"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

class Cups : public PrinterTest {
protected:
    CapturaTcp captura;
    QString cola;

    void SetUp() override {
        PrinterTest::SetUp();
        printers::install(nullptr); // the real libcups output
        if (!testenv::haveCups())
            return;
        cola = nombreUnico();
        ASSERT_TRUE(captura.puerto() != 0);
        ASSERT_TRUE(
            lpadmin({"-p", cola, "-E", "-v",
                     QStringLiteral("socket://127.0.0.1:%1/?waiteof=false").arg(captura.puerto()), "-m", "raw"}));
        par("ImpTicket", cola);
    }
    void TearDown() override {
        if (!cola.isEmpty())
            lpadmin({"-x", cola});
        PrinterTest::TearDown();
    }
};

TEST_F(Cups, EveryByteArrivesUnchanged) {
    TARVOLIN_REQUIRE_CUPS();
    QString todos;
    QByteArray esperado;
    for (int b = 0; b < 256; ++b) {
        todos += vb::Chr(b);
        esperado.append(char(b));
    }
    EXPECT_TRUE(Imprimir(todos, false, true, 0, QString(), true, false));
    ASSERT_TRUE(captura.esperaTrabajos(1));
    EXPECT_EQ(captura.trabajos[0], esperado);
}

TEST_F(Cups, EachTicketIsOneJob) {
    TARVOLIN_REQUIRE_CUPS();
    Imprimir(PRN_ININEG + QStringLiteral("Mesa 4") + PRN_FINNEG);
    Imprimir(QStringLiteral("2 Caña"));
    CortarPapel(false, 0, true, QString());
    Imprimir(QStringLiteral("1 Café"));
    CortarPapel(false, 0, true, QString());
    ASSERT_TRUE(captura.esperaTrabajos(2));
    const QByteArray pie = QByteArray("\r\n").repeated(5) + bytes({29, 'V', 0});
    // Jobs may reach the capture in either order.
    std::vector<QByteArray> esperados = {bytes({27, 'E', 1}) + "Mesa 4"_b + bytes({27, 'E', 0}) + "\r\n2 Ca"_b +
                                             bytes({164}) + "a\r\n"_b + pie,
                                         "1 Caf"_b + bytes({130}) + "\r\n"_b + pie};
    auto recibidos = captura.trabajos;
    std::sort(recibidos.begin(), recibidos.end());
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(recibidos, esperados);
}

TEST_F(Cups, NoNameAtAllGoesToTheDefaultPrinter) {
    TARVOLIN_REQUIRE_CUPS();
    // This process's own default (LPDEST), so the shared server's default stays as it is.
    const QByteArray antes = qgetenv("LPDEST");
    qputenv("LPDEST", cola.toUtf8());
    cups_dest_t* destinos = nullptr;
    const int n = cupsGetDests2(CUPS_HTTP_DEFAULT, &destinos);
    cups_dest_t* porDefecto = cupsGetDest(nullptr, nullptr, n, destinos);
    const QString nombreDefecto = porDefecto ? QString::fromUtf8(porDefecto->name) : QString();
    cupsFreeDests(n, destinos);
    par("ImpTicket", "");
    const bool ok = Imprimir(QStringLiteral("sin nombre"), true, true);
    if (antes.isNull())
        qunsetenv("LPDEST");
    else
        qputenv("LPDEST", antes);
    EXPECT_EQ(nombreDefecto, cola);
    EXPECT_TRUE(ok);
    ASSERT_TRUE(captura.esperaTrabajos(1));
    EXPECT_EQ(captura.trabajos[0], "sin nombre\r\n"_b);
}

TEST_F(Cups, MissingQueueIsReportedOnce) {
    TARVOLIN_REQUIRE_CUPS();
    EXPECT_FALSE(Imprimir(QStringLiteral("x"), true, true, 0, cola + QStringLiteral("_no_existe")));
    EXPECT_EQ(mensajes(), 1);
    // The next ticket to a good queue is unaffected.
    EXPECT_TRUE(Imprimir(QStringLiteral("y"), true, true));
    ASSERT_TRUE(captura.esperaTrabajos(1));
    EXPECT_EQ(captura.trabajos[0], "y\r\n"_b);
}

} // namespace
