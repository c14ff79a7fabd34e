#pragma once
// A connected core for tests of any folder: a scratch database with the schema, this till's
// parameters in the (scratch) registry, both connections open through the real ODBC driver, the
// globals of the post-connection step set and DR created. Destroying it closes the connections,
// drops the database and puts the core's state back.
#include "core/Arranque.h"
#include "core/Reg_class.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ReiniciaTodo.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"

#include <QPair>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace coretest {

inline const QString kClaveTarvolin = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"); // under HKEY_CURRENT_USER

// Puts one text value into the application's registry key (as the configuration dialog does).
inline void escribeRegistro(const QString& nombre, const QString& valor) {
    registry::RegistryStore::instance().setValue(registry::Root::CurrentUser, kClaveTarvolin,
                                                 registry::Value{nombre, registry::REG_SZ, valor});
}

inline void borraRegistro() {
    registry::RegistryStore::instance().deleteKey(registry::Root::CurrentUser, kClaveTarvolin);
}

// The registry values of a till that reaches the test server's database `db`.
inline QList<QPair<QString, QString>> parametrosBase(const QString& db) {
    const QString password = qEnvironmentVariable("TARVOLIN_DB_PASSWORD");
    const QString usuario = qEnvironmentVariable("TARVOLIN_DB_USER");
    QList<QPair<QString, QString>> r = {{"IpServidor", QStringLiteral("127.0.0.1;PORT=%1").arg(testenv::dbPort())},
                                        {"NombreBBDDServidor", db},
                                        {"UsuarioMysql", usuario.isEmpty() ? QStringLiteral("root") : usuario},
                                        {"MysqlPassword", password.isEmpty() ? QStringLiteral("0") : password},
                                        {"IdiomaSecundario", "0"},
                                        {"GrabarLogDetallado", "0"}};
    for (const char* uno : {"Empresa", "Restaurante", "TPV", "Idioma"})
        r.append({QString(uno), "1"});
    for (const char* texto :
         {"TextoTicket", "TextoSala", "TextoIVA", "TextoCamarero", "TextoMesa", "TextoVendedor", "TextoDrovanto"})
        r.append({QString(texto), {}});
    return r;
}

// Puts the run state back as at start (testenv::reiniciaTodo).
inline void resetCore() {
    testenv::reiniciaTodo();
}

struct ConnectedCoreOptions {
    QString prefijo = QStringLiteral("core");  // names the scratch database
    QList<QPair<QString, QString>> parametros; // added to (or replacing) the base registry values
    QString sqlInicial;                        // run on the database before the parameters load
    bool cargarConfigTPV = true;               // run CargaParametrosDesdeServidor
};

class ConnectedCore final {
public:
    explicit ConnectedCore(const ConnectedCoreOptions& o) {
        resetCore();
        m_db = testenv::createDatabase(o.prefijo);
        if (!o.sqlInicial.isEmpty())
            sql(o.sqlInicial);
        borraRegistro();
        for (const auto& p : parametrosBase(m_db) + o.parametros)
            escribeRegistro(p.first, p.second);
        // The start-up's road: registry load, connection, then the post-connection step.
        CargaParametrosRegistro();
        m_ok = ConectaBBDD();
        if (m_ok)
            InicializaSesion(QStringLiteral("ConnectedCore"), o.cargarConfigTPV);
    }
    ~ConnectedCore() {
        resetCore();
        if (!m_db.isEmpty())
            testenv::dropDatabase(m_db);
    }

    ConnectedCore(const ConnectedCore&) = delete;
    ConnectedCore& operator=(const ConnectedCore&) = delete;

    bool ok() const { return m_ok; }
    const QString& db() const { return m_db; }

    // SQL through the admin client on the test database (not through the program's connections).
    bool sql(const QString& s, QString* salida = nullptr) const {
        QString error;
        const bool r = testenv::runSql(m_db, s, salida, &error);
        if (!r)
            ADD_FAILURE() << "SQL failed: " << s.toStdString() << "\n" << error.toStdString();
        return r;
    }
    QString valor(const QString& s) const {
        QString salida;
        return sql(s, &salida) ? salida.trimmed() : QString();
    }

private:
    QString m_db;
    bool m_ok = false;
};

// A fixture on a clean core with scripted prompts and no application key in the registry.
class RegistroTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetCore();
        borraRegistro();
        prompts::install(&m_prompts);
    }
    void TearDown() override {
        prompts::install(nullptr);
        resetCore();
        borraRegistro();
    }
    // The texts of the message boxes shown so far.
    QStringList cajas() const {
        QStringList r;
        for (const auto& c : m_prompts.calls)
            if (c.kind == "messageBox")
                r << c.text;
        return r;
    }
    prompts::ScriptedPrompts m_prompts;
};

// A fixture on a connected core of its own: scripted prompts, and m_core on a scratch database
// named after `prefijo` with `sqlInicial` run on it. Tests skip without MariaDB.
class ConnectedCoreTest : public ::testing::Test {
protected:
    ConnectedCoreTest(const QString& prefijo, const QString& sqlInicial)
        : m_opciones{.prefijo = prefijo, .parametros = {}, .sqlInicial = sqlInicial} {}

    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        prompts::install(&m_prompts);
        m_core = std::make_unique<ConnectedCore>(m_opciones);
        ASSERT_TRUE(m_core->ok());
    }
    void TearDown() override {
        m_core.reset();
        prompts::install(nullptr);
    }
    // True once SetUp has connected (for fixtures that add their own steps after it).
    bool conectado() const { return m_core && m_core->ok(); }

    prompts::ScriptedPrompts m_prompts;
    std::unique_ptr<ConnectedCore> m_core;

private:
    ConnectedCoreOptions m_opciones;
};

// The main window's reconnect timer, for tests that lose the link: a real QTimer, switched through
// MainWindowPort, whose tick runs IntentoConexionTick; everything else recorded as by the default window.
class ReconnectingMainWindow final : public RecordingMainWindow {
public:
    explicit ReconnectingMainWindow(int intervaloMs = 100) {
        m_timer.setInterval(intervaloMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            ++ticks;
            if (IntentoConexionTick())
                ++reconexiones;
        });
        setMainWindow(this);
    }
    ~ReconnectingMainWindow() override { setMainWindow(nullptr); }
    void setReconnectTimerEnabled(bool e) override {
        RecordingMainWindow::setReconnectTimerEnabled(e);
        sigue();
    }
    // While disarmed, enabling only records the state; arming starts the timer if it is enabled.
    void setArmado(bool a) {
        m_armado = a;
        sigue();
    }
    int ticks = 0;        // reconnect timer ticks
    int reconexiones = 0; // ticks that connected

private:
    void sigue() {
        if (m_armado && reconnectTimer)
            m_timer.start();
        else
            m_timer.stop();
    }
    QTimer m_timer;
    bool m_armado = true;
};

} // namespace coretest
