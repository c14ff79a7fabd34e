#pragma once
// The real program as a subprocess, in a folder of its own: a copy of the executable (so log.txt
// and a restart land there), its registry store, its runtime folder (the instance lock) and a free
// port of its own. Requests go over real TCP. Everything it started is stopped when it goes.
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "testsupport/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

namespace uitest {

inline quint16 puertoLibre() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// The registry values of a till that reaches the test server's database `db`.
inline QList<QPair<QString, QString>> registroBase(const QString& db) {
    return {{QStringLiteral("IpServidor"), QStringLiteral("127.0.0.1;PORT=%1").arg(testenv::dbPort())},
            {QStringLiteral("NombreBBDDServidor"), db},
            {QStringLiteral("Empresa"), QStringLiteral("1")},
            {QStringLiteral("Restaurante"), QStringLiteral("1")},
            {QStringLiteral("TPV"), QStringLiteral("1")},
            {QStringLiteral("UsuarioMysql"), QStringLiteral("root")},
            {QStringLiteral("MysqlPassword"), QStringLiteral("0")}};
}

// A scratch database with the schema and the demo data (made now, or later with crea()); dropped
// on destruction.
class BaseDemo {
public:
    explicit BaseDemo(const QString& prefijo, bool crear = true)
        : m_nombre(QStringLiteral("%1_%2").arg(prefijo).arg(QCoreApplication::applicationPid())) {
        if (crear)
            crea();
    }
    ~BaseDemo() { testenv::dropDatabase(m_nombre); }
    void crea() {
        QString error;
        EXPECT_TRUE(testenv::runSql({}, QStringLiteral("create database `%1` character set utf8mb4;").arg(m_nombre)));
        for (const char* f : {"/db/schema.sql", "/db/demo.sql"})
            EXPECT_TRUE(testenv::runSqlFile(m_nombre, testenv::sourceDir() + f, &error)) << error.toStdString();
    }
    void sql(const QString& s) const { EXPECT_TRUE(testenv::runSql(m_nombre, s)) << s.toStdString(); }
    const QString& nombre() const { return m_nombre; }

private:
    QString m_nombre;
};

class ProgramaEnPrueba {
public:
    ProgramaEnPrueba() : m_puerto(puertoLibre()) {
        QDir d(m_dir.path());
        d.mkpath(QStringLiteral("app"));
        d.mkpath(QStringLiteral("cfg/Vesk/registry"));
        d.mkpath(QStringLiteral("run"));
        QFile::setPermissions(carpeta("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_TRUE(QFile::copy(QStringLiteral(TARVOLIN_EXE), ejecutable()));
    }
    // A second program sharing this one's runtime folder (and so its instance lock) and port.
    ProgramaEnPrueba(const ProgramaEnPrueba& vecino, bool mismaCarpetaEjecucion) : ProgramaEnPrueba() {
        if (mismaCarpetaEjecucion)
            m_carpetaEjecucion = vecino.carpeta("run");
        m_puerto = vecino.m_puerto;
    }
    ~ProgramaEnPrueba() { paraTodo(); }

    QString carpeta(const char* sub) const { return m_dir.path() + QLatin1Char('/') + QLatin1String(sub); }
    QString ejecutable() const { return carpeta("app") + QStringLiteral("/tarvolin"); }
    quint16 puerto() const { return m_puerto; }

    // ---- Registry store ----
    void escribeRegistro(const QList<QPair<QString, QString>>& valores) {
        QFile f(carpeta("cfg") + QStringLiteral("/Vesk/registry/HKEY_CURRENT_USER.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray texto = "[HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin]\n";
        for (const auto& [nombre, valor] : valores)
            texto += nombre.toUtf8() + "=sz:" + valor.toUtf8() + "\n";
        f.write(texto);
    }
    // A text value of the application key as the store holds it; empty when absent.
    std::optional<QString> leeRegistro(const QString& nombre) const {
        QFile f(carpeta("cfg") + QStringLiteral("/Vesk/registry/HKEY_CURRENT_USER.ini"));
        if (!f.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QString prefijo = nombre + QStringLiteral("=sz:");
        for (const QString& linea : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            if (linea.startsWith(prefijo, Qt::CaseInsensitive))
                return linea.mid(prefijo.size());
        }
        return std::nullopt;
    }

    // ---- Running ----
    void arranca(const QStringList& argumentos = {}) { arrancaEn(m_proceso, argumentos); }
    // Another copy of the same executable in the same folder and environment (so the same log.txt
    // and instance lock), in a process the caller holds.
    void arrancaOtraCopia(QProcess& proceso, const QStringList& argumentos = {}) { arrancaEn(proceso, argumentos); }
    void arrancaEn(QProcess& proceso, const QStringList& argumentos) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), carpeta("cfg"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), carpeta("cfg"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                   m_carpetaEjecucion.isEmpty() ? carpeta("run") : m_carpetaEjecucion);
        env.insert(QStringLiteral("TARVOLIN_PORT"), QString::number(m_puerto));
        env.insert(QStringLiteral("TARVOLIN_SIN_DIALOGOS"), QStringLiteral("1"));
        env.insert(QStringLiteral("TARVOLIN_RETRY_MS"), QStringLiteral("200"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        proceso.setProcessEnvironment(env);
        proceso.setWorkingDirectory(carpeta("app"));
        proceso.start(ejecutable(), argumentos);
        ASSERT_TRUE(proceso.waitForStarted(10000));
    }
    QProcess& proceso() { return m_proceso; }
    bool vivo() const { return m_proceso.state() != QProcess::NotRunning; }
    bool esperaFin(int ms = 20000) { return !vivo() || m_proceso.waitForFinished(ms); }
    QString errores() {
        m_stderr += QString::fromUtf8(m_proceso.readAllStandardError());
        return m_stderr;
    }

    // One request over a new connection; the reply text ("" when none came).
    QString peticion(const QByteArray& json, int ms = 10000) const {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, m_puerto);
        if (!s.waitForConnected(ms))
            return {};
        s.write(json);
        s.flush();
        QByteArray r;
        const qint64 limite = QDateTime::currentMSecsSinceEpoch() + ms;
        while (s.state() == QAbstractSocket::ConnectedState && QDateTime::currentMSecsSinceEpoch() < limite) {
            s.waitForReadyRead(200);
            r += s.readAll();
        }
        r += s.readAll();
        return cp1252::decode(r);
    }
    bool respondePing() const {
        return peticion(R"({"accion":"Ping"})", 3000).contains(QLatin1String(R"("respuesta":"S")"));
    }
    // Waits (events running) until the program answers a ping, or log.txt holds `texto`.
    bool esperaEscucha(int ms = 30000) const {
        return espera([this] { return respondePing(); }, ms);
    }
    bool esperaLog(const QString& texto, int ms = 30000) const {
        return espera([this, texto] { return log().contains(texto); }, ms);
    }
    QString log() const {
        QFile f(carpeta("app") + QStringLiteral("/log.txt"));
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }
    static bool espera(const std::function<bool()>& cond, int ms) {
        const qint64 limite = QDateTime::currentMSecsSinceEpoch() + ms;
        while (!cond()) {
            if (QDateTime::currentMSecsSinceEpoch() > limite)
                return false;
            program::waitMs(100);
        }
        return true;
    }

    // Every running copy of this folder's executable (the program restarted itself detached).
    QList<pid_t> procesosDeLaCarpeta() const {
        QList<pid_t> r;
        const QString exe = QFileInfo(ejecutable()).canonicalFilePath();
        for (const QString& e : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool ok = false;
            const pid_t pid = e.toInt(&ok);
            if (ok && QFileInfo(QStringLiteral("/proc/%1/exe").arg(e)).canonicalFilePath() == exe)
                r << pid;
        }
        return r;
    }

    void paraTodo() {
        if (vivo()) {
            m_proceso.kill();
            m_proceso.waitForFinished(5000);
        }
        for (pid_t pid : procesosDeLaCarpeta())
            ::kill(pid, SIGKILL);
    }

private:
    QTemporaryDir m_dir;
    quint16 m_puerto = 0;
    QString m_carpetaEjecucion;
    QProcess m_proceso;
    QString m_stderr;
};

} // namespace uitest
