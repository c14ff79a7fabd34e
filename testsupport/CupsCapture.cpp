#include "CupsCapture.h"

#include "platform/Program.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <atomic>
#include <cups/cups.h>
#include <memory>

namespace testenv {

CapturaTcp::CapturaTcp() {
    m_servidor.listen(QHostAddress::LocalHost, 0);
    connect(&m_servidor, &QTcpServer::newConnection, this, &CapturaTcp::onNuevaConexion);
}

::testing::AssertionResult CapturaTcp::espera(size_t n, int maxMs) {
    program::waitWhile([&] { return trabajos.size() < n; }, maxMs);
    if (trabajos.size() >= n)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "waited " << maxMs << " ms for " << n
                                         << " print job(s) at the CUPS capture on port " << puerto() << " ("
                                         << trabajos.size() << " came)";
}

void CapturaTcp::onNuevaConexion() {
    while (QTcpSocket* s = m_servidor.nextPendingConnection()) {
        auto datos = std::make_shared<QByteArray>();
        auto lee = [this, s, datos] {
            const QByteArray trozo = s->readAll();
            recibidos += trozo.size();
            *datos += trozo;
        };
        connect(s, &QTcpSocket::readyRead, this, lee);
        connect(s, &QTcpSocket::disconnected, this, [this, s, datos, lee] {
            if (s->isOpen())
                lee();
            trabajos.push_back(*datos);
            s->deleteLater();
        });
    }
}

bool lpadmin(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("lpadmin"), args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

ColaCaptura::ColaCaptura(const QString& prefijo) {
    static std::atomic<int> contador{0};
    nombre = QStringLiteral("%1_%2_%3").arg(prefijo).arg(QCoreApplication::applicationPid()).arg(++contador);
    creada = captura.puerto() != 0 &&
             lpadmin({"-p", nombre, "-E", "-v",
                      QStringLiteral("socket://127.0.0.1:%1/?waiteof=false").arg(captura.puerto()), "-m", "raw"});
}

ColaCaptura::~ColaCaptura() {
    if (creada)
        lpadmin({"-x", nombre});
}

CupsdPrivado::CupsdPrivado() : m_anterior(cupsServer()) {}

CupsdPrivado::~CupsdPrivado() {
    cupsSetServer(m_anterior.isEmpty() ? nullptr : m_anterior.constData());
}

bool CupsdPrivado::orden(const char* programa, const QStringList& args) const {
    QProcess p;
    p.start(QString::fromLatin1(programa), QStringList{QStringLiteral("-h"), cupsd.socket()} + args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool CupsdPrivado::arranca(const QString& cola) {
    if (!cupsd.ok() ||
        !orden("lpadmin", {"-p", cola, "-E", "-v", "file://" + cupsd.carpeta() + "/salida", "-m", "raw"}))
        return false;
    cupsSetServer(QFile::encodeName(cupsd.socket()).constData());
    return true;
}

bool CupsdPrivado::colaCaptura(const QString& cola, const CapturaTcp& captura) {
    if (!cupsd.ok() || captura.puerto() == 0 ||
        !orden("lpadmin", {"-p", cola, "-E", "-v",
                           QStringLiteral("socket://127.0.0.1:%1/?waiteof=false").arg(captura.puerto()), "-m", "raw"}))
        return false;
    cupsSetServer(QFile::encodeName(cupsd.socket()).constData());
    return true;
}

QStringList CupsdPrivado::sinTerminar(const QString& cola) const {
    QProcess p;
    p.start(QStringLiteral("lpstat"), {QStringLiteral("-h"), cupsd.socket(), QStringLiteral("-o"), cola});
    if (!p.waitForFinished(30000))
        return {QStringLiteral("lpstat did not answer")};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace testenv
