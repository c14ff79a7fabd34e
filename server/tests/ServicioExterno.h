#pragma once
// The test-only service (tarvolin_servidor_pruebas) in a process of its own: a scratch database
// with the rows of a small restaurant, the till's parameters in the service's own registry files,
// and a port chosen here. Used by the stop and restart tests and by the load benchmark.
#include "ClienteTcp.h"

#include "core/tests/ConnectedCore.h"
#include "platform/Cp1252.h"
#include "printing/tests/PrinterFixture.h"
#include "testsupport/Simulador.h"
#include "testsupport/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <csignal>
#include <sys/types.h>

namespace servertest {

// The scale's settings, not in use.
inline QList<QPair<QString, QString>> parametrosBalanzaServidor() {
    return QList<QPair<QString, QString>>{{"UsarBalanza", "0"}} + parametrosBalanza();
}

inline bool procesoVivo(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

class ServicioExterno final {
public:
    // Registry values over the till's base ones, the kitchen printing ones and the scale ones.
    explicit ServicioExterno(const QString& prefijoBD, const QList<QPair<QString, QString>>& parametros = {}) {
        m_db = testenv::createDatabase(prefijoBD);
        testenv::runSql(m_db, QString::fromUtf8(tickettest::kFilasRestaurante));
        QList<QPair<QString, QString>> valores =
            coretest::parametrosBase(m_db) + tickettest::parametrosTicket() + parametrosBalanzaServidor();
        for (const auto& p : parametros) {
            bool cambiado = false;
            for (auto& v : valores)
                if (v.first == p.first)
                    v.second = p.second, cambiado = true;
            if (!cambiado)
                valores << p;
        }
        QDir().mkpath(m_dir.path() + "/Vesk/registry");
        QFile f(m_dir.path() + "/Vesk/registry/HKEY_CURRENT_USER.ini");
        if (f.open(QIODevice::WriteOnly)) {
            QString ini = "[HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin]\n";
            for (const auto& v : valores)
                ini += v.first + "=sz:" + v.second + "\n";
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
        for (qint64 pid : m_pids)
            if (procesoVivo(pid))
                ::kill(pid_t(pid), SIGKILL);
        if (!m_db.isEmpty())
            testenv::dropDatabase(m_db);
    }
    ServicioExterno(const ServicioExterno&) = delete;
    ServicioExterno& operator=(const ServicioExterno&) = delete;

    // Starts the service and waits until it says it listens on the chosen port.
    bool arranca(const QStringList& args) {
        m_proceso.start(QStringLiteral(TARVOLIN_SERVIDOR_PRUEBAS), args);
        if (!m_proceso.waitForStarted(30000))
            return false;
        m_pids << m_proceso.processId();
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
    // A file of the service's folder.
    QString fichero(const QString& nombre) const {
        QFile f(m_dir.path() + "/app/" + nombre);
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }
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
    // Processes started elsewhere (a restarted copy) that must not outlive the test.
    void vigila(qint64 pid) {
        if (!m_pids.contains(pid))
            m_pids << pid;
    }

    QProcess& proceso() { return m_proceso; }
    quint16 puerto() const { return m_puerto; }
    const QString& db() const { return m_db; }

private:
    QTemporaryDir m_dir;
    QString m_db;
    quint16 m_puerto = 0;
    QProcess m_proceso;
    QList<qint64> m_pids;
};

} // namespace servertest
