#pragma once
// The test-only service (tarvolin_servidor_pruebas) in a process of its own, for the load
// benchmark: a scratch database with the rows of a small restaurant, the till's parameters in the
// service's own registry files, and a port chosen here.
#include "server/tests/ClienteTcp.h"

#include "core/tests/ConnectedCore.h"
#include "printing/tests/PrinterFixture.h"
#include "testsupport/Simulador.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

namespace servertest {

class ServicioExterno final {
public:
    // Registry values over the till's base ones, the kitchen printing ones and the scale ones.
    explicit ServicioExterno(const QString& prefijoBD, const QList<QPair<QString, QString>>& parametros = {}) {
        m_db = testenv::createDatabase(prefijoBD);
        testenv::runSql(m_db, QString::fromUtf8(tickettest::kFilasRestaurante));
        QMap<QString, QString> valores;
        for (const auto& [k, v] : coretest::parametrosBase(m_db) + tickettest::parametrosTicket() +
                                      parametrosBalanza() + QList<QPair<QString, QString>>{{"UsarBalanza", "0"}} +
                                      parametros)
            valores[k] = v;
        QDir().mkpath(m_dir.path() + "/Vesk/registry");
        QFile f(m_dir.path() + "/Vesk/registry/HKEY_CURRENT_USER.ini");
        if (f.open(QIODevice::WriteOnly)) {
            QString ini = "[HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin]\n";
            for (auto it = valores.cbegin(); it != valores.cend(); ++it)
                ini += it.key() + "=sz:" + it.value() + "\n";
            f.write(ini.toUtf8());
        }

        QTcpServer libre;
        if (libre.listen(QHostAddress::Any, 0))
            m_puerto = libre.serverPort();
        libre.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_dir.path());
        env.insert("TARVOLIN_PORT", QString::number(m_puerto));
        env.insert("TARVOLIN_APP_DIR", m_dir.path() + "/app");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QDir().mkpath(m_dir.path() + "/run");
        QFile(m_dir.path() + "/run").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_RUNTIME_DIR", m_dir.path() + "/run");
        m_proceso.setProcessEnvironment(env);
        m_proceso.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~ServicioExterno() {
        if (m_proceso.state() != QProcess::NotRunning) {
            m_proceso.kill();
            m_proceso.waitForFinished(10000);
        }
        testenv::dropDatabase(m_db);
    }
    ServicioExterno(const ServicioExterno&) = delete;
    ServicioExterno& operator=(const ServicioExterno&) = delete;

    // Starts the service and waits until it says it listens on the chosen port.
    bool arranca(const QStringList& args) {
        m_proceso.start(QStringLiteral(TARVOLIN_SERVIDOR_PRUEBAS), args);
        QByteArray salida;
        for (auto t = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEsperaMaximaMs);
             !salida.contains("ESCUCHANDO") && std::chrono::steady_clock::now() < t;)
            if (m_proceso.waitForReadyRead(200))
                salida += m_proceso.readAllStandardOutput();
            else if (m_proceso.state() == QProcess::NotRunning)
                break;
        return salida.contains("ESCUCHANDO " + QByteArray::number(m_puerto));
    }

    QByteArray pide(const QByteArray& peticion) const { return servertest::pide(m_puerto, peticion); }
    // Resident memory of the running service, in KiB (0 when it cannot be read).
    qint64 memoriaResidenteKb() const {
        QFile f(QStringLiteral("/proc/%1/status").arg(m_proceso.processId()));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& linea : f.readAll().split('\n'))
            if (linea.startsWith("VmRSS:"))
                return linea.mid(6).trimmed().split(' ').first().toLongLong();
        return 0;
    }
    quint16 puerto() const { return m_puerto; }

private:
    QTemporaryDir m_dir;
    QString m_db;
    quint16 m_puerto = 0;
    QProcess m_proceso;
};

} // namespace servertest
