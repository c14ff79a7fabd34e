// The two database connections: the driver choice, the connection string and its password, the
// connected flag, ComCentral.
#include "core/tests/ConnectedCore.h"

#include "platform/Prompts.h"

#include <unistd.h>

namespace {

QStringList pares(std::initializer_list<const char*> nombresYDatos) {
    QStringList r{QString()};
    for (const char* s : nombresYDatos)
        r << QString::fromUtf8(s);
    return r;
}

TEST(ConexionDriver, LastInstalledMySQLDriverWinsOverTheBareName) {
    EXPECT_EQ(EligeDriverODBCMySQL(pares({"MySQL ODBC 5.1 Driver", "Installed", "SQL Server", "Installed",
                                          "MySQL ODBC 8.0 Unicode Driver", "Installed"})),
              "MySQL ODBC 8.0 Unicode Driver");
    EXPECT_EQ(EligeDriverODBCMySQL(pares({"MySQL ODBC 8.0 Unicode Driver", "installed", "MySQL", "x"})),
              "MySQL ODBC 8.0 Unicode Driver");
    EXPECT_EQ(EligeDriverODBCMySQL(pares({"MySQL", "x", "MySQL ODBC 3.51 Driver", "Installed"})),
              "MySQL ODBC 3.51 Driver");
    // The bare name counts whatever its data; a driver that is not installed does not.
    EXPECT_EQ(EligeDriverODBCMySQL(pares({"MySQL ODBC 5.1 Driver", "Removed", "MySQL", "x"})), "MySQL");
    // "mysql" in lower case is not the MySQL driver.
    EXPECT_EQ(EligeDriverODBCMySQL(pares({"mysql odbc", "Installed", "MariaDB Unicode", "Installed"})), "");
    EXPECT_EQ(EligeDriverODBCMySQL(pares({})), "");
}

TEST(ConexionDriver, TheInstalledDriverListIsUnixODBCs) {
    prompts::ScriptedPrompts p;
    prompts::install(&p);
    const QString driver = getDriverODBCMySQL();
    prompts::install(nullptr);
    if (!testenv::odbcDriverName().contains("MySQL"))
        GTEST_SKIP() << "the test rig's driver name holds no MySQL";
    EXPECT_TRUE(p.calls.empty());
    EXPECT_EQ(driver, "{" + testenv::odbcDriverName() + "}");
}

TEST(ConexionPassword, ZeroOneOrTheTextAndBracesOnlyWhereNeeded) {
    const std::pair<const char*, const char*> casos[] = {
        {"0", ""},
        {"0.0", ""},
        {"", ""},
        {"1", "morvint58"},
        {"1.0", "morvint58"},
        {"2", "2"},
        {"01x", "01x"},
        {"pa ss=w'o\"rd", "pa ss=w'o\"rd"},
        {"a;b", "{a;b}"},
        {"a}b{c", "{a}}b{c}"},
        {"{abc", "{{abc}"},
        {"abc}", "{abc}}}"},
        // stored already in its braces: wrapping it again would make another password
        {"{a;b}", "{a;b}"},
        {"{p;w}}x{=1}", "{p;w}}x{=1}"},
        {"{plain}", "{plain}"},
    };
    for (const auto& [almacenada, esperada] : casos)
        EXPECT_EQ(PasswordConexion(QString::fromUtf8(almacenada)), QString::fromUtf8(esperada)) << almacenada;
}

class Conexion : public ::testing::Test {
protected:
    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        prompts::install(&m_prompts);
    }
    void TearDown() override { prompts::install(nullptr); }
    prompts::ScriptedPrompts m_prompts;
};

TEST_F(Conexion, ConnectsBothWithTheStringInItsOrderThroughAServerWithAPort) {
    coretest::ConnectedCore core;
    ASSERT_TRUE(core.ok()) << recordingMainWindow().grid.join("\n").toStdString();
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_EQ(ConexionServidor().State(), ado::adStateOpen);
    EXPECT_EQ(ConexionLocal().State(), ado::adStateOpen);
    const QString usuario = objParametros().getValor("UsuarioMysql");
    const QString password = PasswordConexion(objParametros().getValor("MysqlPassword"));
    EXPECT_EQ(gstrConexionString, QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;DATABASE=%3;USER=%4;"
                                                 "OPTION=16897;PASSWORD=%5")
                                      .arg(testenv::odbcDriverName())
                                      .arg(testenv::dbPort())
                                      .arg(core.db(), usuario, password));
    // The two are separate sessions of the same database.
    const Variant a = ConexionServidor().Execute("select connection_id()")->Fields(0).Value;
    const Variant b = ConexionLocal().Execute("select connection_id()")->Fields(0).Value;
    EXPECT_NE(vb::CStr(a), vb::CStr(b));
    EXPECT_EQ(vb::CStr(ConexionLocal().Execute("select database()")->Fields(0).Value), core.db());
}

TEST_F(Conexion, APasswordWithSeparatorsConnects) {
    coretest::ConnectedCore core;
    ASSERT_TRUE(core.ok());
    const QString usuario = QStringLiteral("tv_pw_%1").arg(::getpid());
    const QString password = QStringLiteral("p;w}x{=1");
    QString sql;
    for (const char* host : {"localhost", "127.0.0.1"})
        sql += QStringLiteral("create or replace user '%1'@'%2' identified by '%3'; grant all on `%4`.* to '%1'@'%2';")
                   .arg(usuario, QLatin1String(host), password, core.db());
    ASSERT_TRUE(testenv::runSql({}, sql));
    // Stored bare, or already in its braces as a connection string wants it.
    for (const QString& almacenada : {password, QStringLiteral("{p;w}}x{=1}")}) {
        coretest::escribeRegistro("UsuarioMysql", usuario);
        coretest::escribeRegistro("MysqlPassword", almacenada);
        objParametros().GetParamReg();
        const bool ok = ConectaBBDD();
        QString quien;
        if (ok)
            quien = vb::CStr(ConexionServidor().Execute("select current_user()")->Fields(0).Value);
        EXPECT_TRUE(ok) << almacenada.toStdString() << recordingMainWindow().grid.join("\n").toStdString();
        EXPECT_TRUE(quien.startsWith(usuario + "@")) << quien.toStdString();
        EXPECT_TRUE(gstrConexionString.endsWith(";PASSWORD={p;w}}x{=1}"));
    }
    testenv::runSql({}, QStringLiteral("drop user if exists '%1'@'localhost', '%1'@'127.0.0.1';").arg(usuario));
}

TEST_F(Conexion, AFailedConnectionLeavesTheFlagAsItWasAndLogs) {
    coretest::ConnectedCore core;
    ASSERT_TRUE(core.ok());
    recordingMainWindow().grid.clear();

    gstrNombreBD = QStringLiteral("no_existe_%1").arg(::getpid());
    EXPECT_FALSE(ConectaBBDD());
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    ASSERT_FALSE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.last().startsWith("Error al conectar con MySQL: "));

    frmPrincipalVars().blnConexionOk = false;
    EXPECT_FALSE(ConectaBBDD());
    EXPECT_FALSE(frmPrincipalVars().blnConexionOk);

    gstrNombreBD = core.db();
    EXPECT_TRUE(ConectaBBDD());
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
}

TEST_F(Conexion, DatabaseNameFromTheSwitchThenTheRegistryThenDrovanto) {
    coretest::ConnectedCore core;
    ASSERT_TRUE(core.ok());
    // Fixed at the first connection of the run: a later registry value does not move it.
    EXPECT_EQ(gstrNombreBD, core.db());

    gstrNombreBD.clear();
    gstrNombreBDSwitch = core.db();
    garrValoresRegistro = {QString(), QStringLiteral("NombreBBDDServidor"), QStringLiteral("otra"),
                           QStringLiteral("IpServidor"), QStringLiteral("127.0.0.1;PORT=%1").arg(testenv::dbPort())};
    EXPECT_TRUE(ConectaBBDD());
    EXPECT_EQ(gstrNombreBD, core.db());

    gstrNombreBD.clear();
    gstrNombreBDSwitch.clear();
    garrValoresRegistro = {QString(), QStringLiteral("IpServidor"),
                           QStringLiteral("127.0.0.1;PORT=%1").arg(testenv::dbPort())};
    ConectaBBDD();
    EXPECT_EQ(gstrNombreBD, "Drovanto");
    EXPECT_TRUE(gstrConexionString.contains(";DATABASE=Drovanto;"));
}

TEST_F(Conexion, ComCentralReopensOnlyAClosedMainConnection) {
    coretest::ConnectedCore core;
    ASSERT_TRUE(core.ok());
    const QString antes = vb::CStr(ConexionServidor().Execute("select connection_id()")->Fields(0).Value);
    EXPECT_TRUE(ComCentral());
    EXPECT_EQ(vb::CStr(ConexionServidor().Execute("select connection_id()")->Fields(0).Value), antes);

    ConexionServidor().Close();
    EXPECT_TRUE(ComCentral(true, true));
    EXPECT_EQ(ConexionServidor().State(), ado::adStateOpen);
    EXPECT_NE(vb::CStr(ConexionServidor().Execute("select connection_id()")->Fields(0).Value), antes);
    EXPECT_EQ(vb::CStr(ConexionServidor().Execute("select database()")->Fields(0).Value), core.db());
}

} // namespace
