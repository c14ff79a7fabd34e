#pragma once
// Windows in process (state reset around each test, prompts scripted); the program as a subprocess.
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Registry.h"
#include "server/clsSocketFront.h"
#include "server/tests/ClienteTcp.h"
#include "testsupport/PuertoReservado.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"
#include "testsupport/Waits.h"
#include "ui/Main.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <csignal>

namespace uitest {

inline const QString kClave = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin");

// Scripted answers, and forms answered by code of the test (the keyboard, the dialog itself).
class Respuestas final : public prompts::ScriptedPrompts {
public:
    std::map<QString, std::function<int()>> formularios;
    int showForm(const QString& name) override {
        auto it = formularios.find(name);
        if (it == formularios.end())
            return ScriptedPrompts::showForm(name);
        calls.push_back({QStringLiteral("form"), name, QString(), 0});
        return it->second();
    }
    QStringList textos() const {
        QStringList r;
        for (const Call& c : calls)
            r << c.text;
        return r;
    }
};

// A control of a window by its object name (a failure when it is missing).
template <class T> T* hijo(const QObject& w, const char* nombre) {
    T* c = w.findChild<T*>(QLatin1String(nombre));
    EXPECT_TRUE(c) << nombre;
    return c;
}

// Registry values written as "Clave=valor|Clave=valor" (split at the first "="); a later one wins.
inline QMap<QString, QString> valores(const QString& texto) {
    QMap<QString, QString> r;
    for (const QString& par : texto.split(u'|', Qt::SkipEmptyParts))
        r[par.section(u'=', 0, 0)] = par.section(u'=', 1);
    return r;
}

inline void escribeRegistro(const QString& texto) {
    for (const auto& [nombre, valor] : valores(texto).asKeyValueRange())
        registry::RegistryStore::instance().setValue(registry::Root::CurrentUser, kClave,
                                                     registry::Value{nombre, registry::REG_SZ, valor});
}

inline std::optional<QString> leeRegistro(const QString& nombre) {
    const auto v = registry::RegistryStore::instance().value(registry::Root::CurrentUser, kClave, nombre);
    return v ? std::optional(v->data.toString()) : std::nullopt;
}

inline void reiniciaEstado() {
    testenv::reiniciaTodo();
    registry::RegistryStore::instance().deleteKey(registry::Root::CurrentUser, kClave);
    qunsetenv("TARVOLIN_PORT");
    qunsetenv("TARVOLIN_RETRY_MS");
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        reiniciaEstado();
        prompts::install(&respuestas);
    }
    void TearDown() override {
        prompts::install(nullptr);
        reiniciaEstado();
    }
    Respuestas respuestas;
};

// The registry values of a till that reaches the test server's database `db`.
inline QString registroBase(const QString& db) {
    return QStringLiteral("IpServidor=127.0.0.1;PORT=%1|NombreBBDDServidor=%2|Empresa=1|Restaurante=1|TPV=1|"
                          "UsuarioMysql=root|MysqlPassword=0|")
        .arg(testenv::dbPort())
        .arg(db);
}

// A scratch database with the schema and the demo data, dropped on destruction.
struct BaseDemo {
    explicit BaseDemo(const char* prefijo) : nombre(testenv::createDatabase(QLatin1String(prefijo))) {
        QString error;
        EXPECT_TRUE(testenv::runSqlFile(nombre, testenv::sourceDir() + "/db/demo.sql", &error)) << error.toStdString();
    }
    ~BaseDemo() { testenv::dropDatabase(nombre); }
    void sql(const QString& s) const { EXPECT_TRUE(testenv::runSql(nombre, s)) << s.toStdString(); }
    const QString nombre;
};

// A started program gets more than the usual few seconds: it connects to the database first.
inline constexpr int kArranqueMs = 15000;

inline ::testing::AssertionResult espera(const std::function<bool()>& cond, const QString& que, int ms = kArranqueMs) {
    return waits::until(cond, que, ms);
}

// One request on a fresh connection, read until closed or the deadline ("<no conecta>": nobody listens).
inline QByteArray pide(quint16 puerto, const QByteArray& peticion, int ms = waits::kDeadlineMs) {
    servertest::ClienteTcp c(puerto);
    if (!c.conectado())
        return "<no conecta>";
    c.envia(peticion);
    return c.lee(nullptr, ms);
}

// A copy of the executable (log.txt and a restart beside it), its registry store and runtime folder
// (the instance lock; another copy's when given). All it started is stopped when it goes.
class ProgramaEnPrueba {
public:
    explicit ProgramaEnPrueba(const QString& carpetaEjecucion = {}) {
        m_puerto = m_reserva.puerto();
        for (const char* sub : {"app", "cfg/Vesk/registry", "run"})
            QDir(m_dir.path()).mkpath(QLatin1String(sub));
        QFile::setPermissions(carpeta("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_TRUE(QFile::copy(QStringLiteral(TARVOLIN_EXE), ejecutable()));
        m_ejecucion = carpetaEjecucion.isEmpty() ? carpeta("run") : carpetaEjecucion;
    }
    ~ProgramaEnPrueba() {
        for (pid_t pid : procesosDeLaCarpeta())
            ::kill(pid, SIGKILL);
        m_proceso.waitForFinished(5000);
    }

    QString carpeta(const char* sub) const { return m_dir.path() + QLatin1Char('/') + QLatin1String(sub); }
    QString ejecutable() const { return carpeta("app") + QStringLiteral("/tarvolin"); }
    static QString fichero(const QString& ruta) {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? cp1252::decode(f.readAll()) : QString();
    }

    void escribeRegistro(const QString& texto, const QString& clave = "HKEY_CURRENT_USER\\" + kClave) {
        QFile f(carpeta("cfg") + "/Vesk/registry/" + clave.section(u'\\', 0, 0) + ".ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[" + clave.toUtf8() + "]\n");
        for (const auto& [nombre, valor] : valores(texto).asKeyValueRange())
            f.write(nombre.toUtf8() + "=sz:" + valor.toUtf8() + "\n");
    }
    // The application key as the store holds it: "Clave=sz:valor" lines.
    QString registro() const { return fichero(carpeta("cfg") + "/Vesk/registry/HKEY_CURRENT_USER.ini"); }

    // Starts the program; into `otra`, another copy in the same folder (same log.txt and lock).
    void arranca(const QStringList& argumentos = {}, QProcess* otra = nullptr) {
        QProcess& proceso = otra ? *otra : m_proceso;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString entorno =
            QStringLiteral("XDG_CONFIG_HOME=%1|XDG_DATA_HOME=%1|XDG_RUNTIME_DIR=%2|TARVOLIN_PORT=%3|"
                           "TARVOLIN_SIN_DIALOGOS=1|TARVOLIN_RETRY_MS=200|QT_QPA_PLATFORM=offscreen");
        for (const auto& [nombre, valor] :
             valores(entorno.arg(carpeta("cfg"), m_ejecucion).arg(m_puerto)).asKeyValueRange())
            env.insert(nombre, valor);
        proceso.setProcessEnvironment(env);
        proceso.setWorkingDirectory(carpeta("app"));
        proceso.start(ejecutable(), argumentos);
        ASSERT_TRUE(proceso.waitForStarted(10000)) << "the program did not start";
    }
    QProcess& proceso() { return m_proceso; }
    ::testing::AssertionResult esperaFin() {
        if (m_proceso.waitForFinished(kArranqueMs) || m_proceso.state() == QProcess::NotRunning)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "waited " << kArranqueMs << " ms for the program to end";
    }
    QString errores() { return m_stderr += QString::fromUtf8(m_proceso.readAllStandardError()); }

    QByteArray peticion(const QByteArray& json) const { return pide(m_puerto, json); }
    bool ok(const QByteArray& json) const { return peticion(json).contains(R"("ok":true)"); }
    bool respondePing() const { return peticion(R"({"accion":"Ping"})").contains(R"("respuesta":"S")"); }
    ::testing::AssertionResult esperaEscucha(int ms = kArranqueMs) const {
        return espera([this] { return respondePing(); }, QStringLiteral("a Ping answered on port %1").arg(m_puerto),
                      ms);
    }
    ::testing::AssertionResult esperaLog(const QString& texto) const {
        return espera([this, texto] { return log().contains(texto); }, "log.txt to hold \"" + texto + "\"");
    }
    QString log() const { return fichero(carpeta("app") + QStringLiteral("/log.txt")); }

    // Every running copy of this folder's executable (the program restarts itself detached).
    QList<pid_t> procesosDeLaCarpeta() const {
        QList<pid_t> r;
        const QString exe = QFileInfo(ejecutable()).canonicalFilePath();
        for (const QString& e : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
            if (e.toInt() > 0 && QFileInfo(QStringLiteral("/proc/%1/exe").arg(e)).canonicalFilePath() == exe)
                r << e.toInt();
        return r;
    }

private:
    QTemporaryDir m_dir;
    testenv::PuertoReservado m_reserva; // the program's port, kept from other tests while it runs
    quint16 m_puerto = 0;
    QString m_ejecucion;
    QProcess m_proceso;
    QString m_stderr;
};

} // namespace uitest
