// A whole kitchen ticket through the private cupsd: a raw queue pointed at a TCP capture in this
// process receives exactly the bytes the recording output sees for the same ticket.
#include "test_tickets_support.h"

#include "platform/Program.h"
#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

using namespace tickettest;

namespace {

// Each connection is one job, complete when the printer side closes it.
class Captura final : public QObject {
public:
    std::vector<QByteArray> trabajos;

    Captura() {
        m_servidor.listen(QHostAddress::LocalHost, 0);
        connect(&m_servidor, &QTcpServer::newConnection, this, &Captura::onNuevaConexion);
    }
    quint16 puerto() const { return m_servidor.serverPort(); }
    bool espera(size_t n) {
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

bool lpadmin(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("lpadmin"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

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

    Captura captura;
    ASSERT_NE(captura.puerto(), 0);
    const QString cola = QStringLiteral("tarvolin_tickets_%1").arg(QCoreApplication::applicationPid());
    ASSERT_TRUE(lpadmin({"-p", cola, "-E", "-v",
                         QStringLiteral("socket://127.0.0.1:%1/?waiteof=false").arg(captura.puerto()), "-m", "raw"}));
    printers::install(nullptr); // the real libcups output
    clsImprimirTicket t;
    const bool enviado = t.ImprimirTicketCocinaEspecial(3, 1234, kTextoCocina, cola);
    const bool recibido = captura.espera(1);
    lpadmin({"-x", cola});
    EXPECT_TRUE(enviado);
    ASSERT_TRUE(recibido);
    EXPECT_EQ(captura.trabajos[0], esperado);
}

} // namespace
