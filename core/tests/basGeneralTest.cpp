// basGeneral: the two database connections, logging and the central error handler.
#include "core/tests/ConnectedCore.h"
#include "platform/Cp1252.h"
#include "testsupport/ServicioPrivado.h"
#include "testsupport/Waits.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

// The bare name counts whatever its data; a driver not installed does not; "mysql" in lower case is not it;
// the MariaDB connector is one, in any case; a Unicode driver goes before one that says nothing, and that
// before an ANSI one.
TEST(basGeneral, LastInstalledMySQLDriverWinsOverTheBareName) {
    const std::pair<const char*, const char*> casos[] = {
        {"MySQL ODBC 5.1 Driver|Installed|SQL Server|Installed|MySQL ODBC 8.0 Unicode Driver|Installed",
         "MySQL ODBC 8.0 Unicode Driver"},
        {"MySQL ODBC 8.0 Unicode Driver|installed|MySQL|x", "MySQL ODBC 8.0 Unicode Driver"},
        {"MySQL|x|MySQL ODBC 3.51 Driver|Installed", "MySQL ODBC 3.51 Driver"},
        {"MySQL ODBC 5.1 Driver|Removed|MySQL|x", "MySQL"},
        {"mysql odbc|Installed|MariaDB Unicode|Installed", "MariaDB Unicode"},
        {"mysql odbc|Installed|mariadb|Installed", "mariadb"},
        {"mysql odbc|Installed|MySQL|x", "MySQL"},
        {"MARIADB ODBC 3.1 ANSI|Installed|mariadb unicode|Installed|Mariadb|Installed", "mariadb unicode"},
        {"MySQL ODBC 8.0 Unicode Driver|Installed|MySQL ODBC 8.0 ANSI Driver|Installed",
         "MySQL ODBC 8.0 Unicode Driver"},
        {"MySQL ODBC 8.0 ANSI Driver|Installed|MariaDB ODBC 3.1 Driver|Installed|MySQL|x", "MariaDB ODBC 3.1 Driver"},
        {"MariaDB|Installed|MySQL ODBC 5.1 Driver|Installed", "MySQL ODBC 5.1 Driver"},
        {"", ""},
    };
    for (const auto& [pares, esperado] : casos)
        EXPECT_EQ(
            EligeDriverODBCMySQL(QStringList{QString()} + QString::fromUtf8(pares).split('|', Qt::SkipEmptyParts)),
            esperado)
            << pares;
}

// A password stored already in its braces is used as it is: wrapping it again would make another one.
TEST(basGeneral, ZeroOneOrTheTextAndBracesOnlyWhereNeeded) {
    const std::pair<const char*, const char*> casos[] = {
        {"0", ""},          {"0.0", ""},         {"", ""},           {"1", "morvint58"},     {"1.0", "morvint58"},
        {"2", "2"},         {"01x", "01x"},      {"a =w'", "a =w'"}, {"a;b", "{a;b}"},       {"a}b{c", "{a}}b{c}"},
        {"{abc", "{{abc}"}, {"abc}", "{abc}}}"}, {"{a;b}", "{a;b}"}, {"{a}}b;}", "{a}}b;}"}, {"{plain}", "{plain}"},
    };
    for (const auto& [almacenada, esperada] : casos)
        EXPECT_EQ(PasswordConexion(QString::fromUtf8(almacenada)), QString::fromUtf8(esperada)) << almacenada;
}

QString sesion(ado::Connection& c) {
    return vb::CStr(c.Execute("select connection_id()")->Fields(0).Value);
}

const QDateTime kAhora(QDate(2024, 1, 31), QTime(23, 59, 58));

class RecordingPrinter final : public ErrorPrinter {
public:
    QStringList lineas, tickets;
    bool parametros = true; // what conoceSusParametros answers
    bool conoceSusParametros() const override { return parametros; }
    std::function<void()> alImprimir = [] {};
    void printErrorLine(const QString& t) override { anota(lineas, t); }
    void printErrorTicket(const QString& m) override { anota(tickets, m); }
    void anota(QStringList& lista, const QString& t) {
        lista << t;
        alImprimir();
    }
};

// A main window whose grid cannot take rows.
class BrokenGridWindow final : public RecordingMainWindow {
public:
    int intentos = 0;
    void AnadirLog(const QString&) override {
        ++intentos;
        vb::Raise(vb::err::InvalidCall, "grid roto");
    }
};

// Log folder, error printer and clock of the test; with m_conBBDD, a connected core with a table u of one row.
class basGeneralTest : public coretest::RegistroTest {
protected:
    void SetUp() override {
        RegistroTest::SetUp();
        if (m_conBBDD) {
            TARVOLIN_REQUIRE_DATABASE();
            m_core = std::make_unique<coretest::ConnectedCore>(coretest::ConnectedCoreOptions{
                .prefijo = "core_err",
                .parametros = {},
                .sqlInicial = "create table u (id int primary key); insert into u values (1);"});
            ASSERT_TRUE(m_core->ok());
            glngEmpresa = 4;
            glngRestaurante = 5;
            recordingMainWindow().grid.clear();
        }
        prompts::install(&m_prompts);
        setErrorPrinter(&m_printer);
        clock_seam::setNowSource([] { return kAhora; });
        m_dirAnterior = program::applicationDir();
        program::setApplicationDir(m_app.path());
    }
    void TearDown() override {
        m_core.reset();
        program::setApplicationDir(m_dirAnterior);
        RegistroTest::TearDown();
    }
    QByteArray logTxt() const {
        QFile f(m_app.path() + "/log.txt");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
    bool m_conBBDD = false;
    std::unique_ptr<coretest::ConnectedCore> m_core;
    RecordingPrinter m_printer;
    QTemporaryDir m_app;
    QString m_dirAnterior;
};

class basGeneralBBDDTest : public basGeneralTest {
protected:
    basGeneralBBDDTest() { m_conBBDD = true; }
};

// Only an error that says the link is gone reconnects; a value that does not convert never does.
TEST_F(basGeneralTest, TheReconnectDecision) {
    const std::tuple<qint32, const char*, int, bool> casos[] = {
        {-2147467259, "08S01", 2013, true},  // lost during the query
        {-2147467259, "HY000", 2006, true},  // server has gone away
        {-2147467259, "08S01", 0, true},     // the driver says the connection is dead
        {-2147467259, "HY000", 2003, true},  // cannot connect
        {-2147467259, "70100", 1927, true},  // connection killed
        {3709, "", 0, true},                 // a statement on a closed connection
        {-2147217913, "22007", 1292, false}, // invalid date
        {-2147217913, "HY000", 1366, false}, // the text NULL, or an empty key, in a number column
        {-2147217873, "23000", 1062, false}, // duplicate key
        {-2147467259, "HY000", 1205, false}, // lock wait time-out
        {-2147467259, "", 0, false},         // the provider failure alone says nothing of the link
        {13, "", 0, false},
        {3704, "", 0, false},
    };
    for (const auto& [n, estado, nativo, reconecta] : casos)
        EXPECT_EQ(ErrorProvocaReconexion(VBError(n, "x", "y").setProviderError(estado, nativo)), reconecta)
            << n << " " << estado << "/" << nativo;
}

// Only the grid unless under /log or forced; a box under /mensaje.
TEST_F(basGeneralTest, LogLinesReachTheFileUnderLogOrWhenForcedAsQuotedCp1252Lines) {
    GrabaLog("solo la rejilla");
    EXPECT_EQ(logTxt(), "<none>");
    EXPECT_EQ(recordingMainWindow().grid, QStringList({"solo la rejilla"}));
    GrabaLog(QStringLiteral("dós \"dos\"\r\nsigue"), true);
    EXPECT_EQ(logTxt(), QByteArray("\"31/01/2024 23:59:58 -> d\xf3s \"dos\"\r\nsigue\"\r\n"));
    clock_seam::setNowSource([] { return kAhora.addSecs(2); }); // each line with its own time
    GrabaLog("otra", true);
    EXPECT_TRUE(logTxt().endsWith("\"01/02/2024 00:00:00 -> otra\"\r\n")) << logTxt().toStdString();
    EXPECT_TRUE(cajas().isEmpty());
    gblnMensaje = true;
    GrabaLog("con caja");
    EXPECT_EQ(cajas(), QStringList({"con caja"}));
}

// Told in the grid (and on standard error), never in a box that would hold the request in flight.
TEST_F(basGeneralTest, AFailedLogWriteIsToldOncePerRunAndTheFileRecoversWhenWritesSucceedAgain) {
    ASSERT_TRUE(QDir().mkpath(m_app.path() + "/log.txt")); // a folder where the file should be
    gblnLog = true;
    GrabaLog("a");
    GrabaLog("b", true);
    GrabaLog("c", true);
    EXPECT_TRUE(gblnLogFicheroDesactivado);
    EXPECT_TRUE(cajas().isEmpty());
    ASSERT_EQ(recordingMainWindow().grid.size(), 4);
    EXPECT_TRUE(recordingMainWindow().grid[1].startsWith("No se puede escribir log.txt: "));
    recordingMainWindow().grid.removeAt(1);
    EXPECT_EQ(recordingMainWindow().grid, QStringList({"a", "b", "c"}));

    ASSERT_TRUE(QDir().rmdir(m_app.path() + "/log.txt"));
    GrabaLog("d");
    EXPECT_FALSE(gblnLogFicheroDesactivado);
    GrabaLog("e");
    EXPECT_EQ(logTxt(), QByteArray("\"31/01/2024 23:59:58 -> d\"\r\n\"31/01/2024 23:59:58 -> e\"\r\n"));
    EXPECT_TRUE(cajas().isEmpty());

    // The file is kept open between lines: one removed while the program runs comes back.
    ASSERT_TRUE(QFile::remove(m_app.path() + "/log.txt"));
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(m_app.path() + "/log.txt") && t.elapsed() < waits::kDeadlineMs)
        GrabaLog("f");
    ASSERT_TRUE(QFile::exists(m_app.path() + "/log.txt")) << "log.txt did not come back within the deadline";
    EXPECT_EQ(logTxt(), QByteArray("\"31/01/2024 23:59:58 -> f\"\r\n"));
}

// Past the limit log.txt becomes log.txt.1 (one earlier file kept) and a new one starts.
TEST_F(basGeneralTest, ALogPastItsLimitIsRenamedAndANewOneStarts) {
    const QByteArray linea = "\"31/01/2024 23:59:58 -> 0123456789\"\r\n"; // 37 bytes
    setTamanoMaximoLog(3 * linea.size());
    gblnLog = true;
    for (int i = 0; i < 7; ++i)
        GrabaLog("0123456789");
    QFile anterior(m_app.path() + "/log.txt.1");
    ASSERT_TRUE(anterior.open(QIODevice::ReadOnly));
    EXPECT_EQ(anterior.readAll(), linea.repeated(3));
    EXPECT_EQ(logTxt(), linea);
    EXPECT_FALSE(QFile::exists(m_app.path() + "/log.txt.2"));
}

// A character outside the basic plane is never split in two.
TEST_F(basGeneralTest, LongLogLinesAreCutWithAMarkerInTheFile) {
    const QString largo(kLongitudMaximaLineaLog, QLatin1Char('x')), mas2 = QStringLiteral("... [2 caracteres más]");
    const std::pair<QString, QString> casos[] = {
        {largo, largo},
        {largo + "yz", largo + mas2},
        {QString(1 << 20, 'x'), largo + QStringLiteral("... [1044480 caracteres más]")},
        {largo.left(kLongitudMaximaLineaLog - 1) + QString::fromUcs4(U"\U0001F600"), largo.chopped(1) + mas2},
    };
    gblnLog = true;
    for (const auto& [linea, esperada] : casos) {
        gintFicheroLog = 0;
        GrabaLog(linea);
        EXPECT_EQ(RecortaLineaLog(linea), esperada);
        EXPECT_EQ(logTxt(), cp1252::encode("\"31/01/2024 23:59:58 -> " + esperada + "\"\r\n")) << linea.size();
    }
}

TEST_F(basGeneralTest, AFailingPrintOrGridCannotLoopBackIntoItsReport) {
    gblnParametrosCargados = true;
    // The printer reports its own failure through MensajeUsuario and ControlErrores.
    m_printer.alImprimir = [] {
        MensajeUsuario("sin papel", prompts::vbExclamation);
        ControlErrores("basPrinter.Imprimir", true, VBError(vb::err::PrinterError, "Error de impresora", "CUPS"));
    };
    MensajeUsuario("primero");
    EXPECT_EQ(m_printer.tickets, QStringList({"primero"}));
    EXPECT_EQ(m_printer.lineas.size(), 1); // the printer's own error report, once
    EXPECT_TRUE(recordingMainWindow().grid.contains("sin papel"));

    // While an error is reported, the printer's complaints go to the grid and the file only.
    m_printer.tickets.clear();
    m_printer.lineas.clear();
    recordingMainWindow().grid.clear();
    ControlErrores("clsX.y", false, VBError(vb::err::TypeMismatch, "Type mismatch", "Tarvolin"));
    EXPECT_EQ(m_printer.lineas, QStringList({"ERROR: clsX.y: Type mismatch\r\n(13 - Tarvolin)"}));
    EXPECT_TRUE(m_printer.tickets.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.contains("sin papel"));
    EXPECT_TRUE(recordingMainWindow().grid.contains("ERROR: basPrinter.Imprimir: Error de impresora\r\n(482 - CUPS)"));
    EXPECT_TRUE(cajas().isEmpty());
    EXPECT_FALSE(recordingMainWindow().reconnectTimer);

    // A grid that always fails: the database log's report of it comes to an end.
    m_printer.alImprimir = [] {};
    m_printer.lineas.clear();
    BrokenGridWindow roto;
    setMainWindow(&roto);
    GrabaLogBBDD("x");
    setMainWindow(nullptr);
    EXPECT_LE(roto.intentos, 5);
    EXPECT_EQ(m_printer.lineas.size(), 1);
}

// A password with separators connects, stored bare or already in its braces.
TEST_F(basGeneralBBDDTest, ConnectsBothWithTheStringInItsOrderAndAPasswordWithSeparators) {
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_EQ(gstrCadenaConexion, QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;DATABASE=%3;USER=%4;"
                                                 "OPTION=16897;PASSWORD=%5")
                                      .arg(testenv::odbcDriverName())
                                      .arg(testenv::dbPort())
                                      .arg(m_core->db(), objParametros().getValor("UsuarioMysql"),
                                           PasswordConexion(objParametros().getValor("MysqlPassword"))));
    EXPECT_NE(sesion(ConexionLocal()), sesion(ConexionServidor()));
    EXPECT_EQ(vb::CStr(ConexionLocal().Execute("select database()")->Fields(0).Value), m_core->db());

    const QString usuario = QStringLiteral("tv_pw_%1").arg(::getpid());
    const QString password = QStringLiteral("p;w}x{=1");
    QString sql;
    for (const char* host : {"localhost", "127.0.0.1"})
        sql += QStringLiteral("create or replace user '%1'@'%2' identified by '%3'; grant all on `%4`.* to '%1'@'%2';")
                   .arg(usuario, QLatin1String(host), password, m_core->db());
    ASSERT_TRUE(testenv::runSql({}, sql));
    for (const QString& almacenada : {password, QStringLiteral("{p;w}}x{=1}")}) {
        coretest::escribeRegistro("UsuarioMysql", usuario);
        coretest::escribeRegistro("MysqlPassword", almacenada);
        objParametros().GetParamReg();
        ASSERT_TRUE(ConectaBBDD()) << almacenada.toStdString() << recordingMainWindow().grid.join("\n").toStdString();
        EXPECT_TRUE(
            vb::CStr(ConexionServidor().Execute("select current_user()")->Fields(0).Value).startsWith(usuario + "@"));
        EXPECT_TRUE(gstrCadenaConexion.endsWith(";PASSWORD={p;w}}x{=1}"));
    }
    testenv::runSql({}, QStringLiteral("drop user if exists '%1'@'localhost', '%1'@'127.0.0.1';").arg(usuario));
}

// A CHARSET an installer pasted into IpServidor is not used: both sessions read and write utf8mb4, and
// the log says so (in log.txt too) once for each value met.
TEST_F(basGeneralBBDDTest, ACharsetInIpServidorGivesWayToUtf8mb4AndIsLoggedOnce) {
    const QString ip = QStringLiteral("127.0.0.1;PORT=%1").arg(testenv::dbPort());
    for (const char* charset : {"sjis", "sjis", "latin1", "utf8mb4"}) {
        coretest::escribeRegistro("IpServidor", ip + ";CHARSET=" + charset);
        CargaParametrosRegistro();
        ASSERT_TRUE(ConectaBBDD()) << recordingMainWindow().grid.join("\n").toStdString();
        EXPECT_TRUE(gstrCadenaConexion.contains(QString(";CHARSET=") + charset + ";DATABASE="));
        for (ado::Connection* cn : {&ConexionServidor(), &ConexionLocal()}) {
            ado::RecordsetPtr rs =
                cn->Execute("select @@character_set_client, @@character_set_connection, @@character_set_results");
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(vb::CStr(rs->Fields(i).Value), "utf8mb4") << charset << i;
        }
    }
    const QStringList& grid = recordingMainWindow().grid;
    for (const char* charset : {"sjis", "latin1"}) {
        const QString linea =
            QString("CHARSET=%1 de la cadena de conexión (IpServidor) no se usa: la conexión con MySQL "
                    "lee y escribe utf8mb4")
                .arg(charset);
        EXPECT_EQ(grid.filter(linea).size(), 1) << grid.join("\n").toStdString();
        EXPECT_TRUE(logTxt().contains(cp1252::encode(linea)));
    }
    EXPECT_TRUE(grid.filter("CHARSET=utf8mb4").isEmpty());
}

TEST_F(basGeneralBBDDTest, TheDatabaseLogBindsItsText) {
    const QString texto = QStringLiteral("O'Brien pidió 100% _ \"€\" \\n y acaba en \\");
    GrabaLogBBDD(texto);
    EXPECT_EQ(recordingMainWindow().grid, QStringList({texto}));
    QString esperado = QStringLiteral("Tarvolin. ") + texto;
    esperado.replace('\'', QChar(0xB4));
    EXPECT_EQ(m_core->valor("select idEmpresa, idRestaurante, idTPV, Fecha, FechaSesion, idSesion, Camarero, "
                            "hex(Concepto) from qm_log"),
              QStringLiteral("4\t5\t0\t2024-01-31 23:59:58\t20240131\t1\t0\t") +
                  QString::fromLatin1(esperado.toUtf8().toHex().toUpper()));
}

// A duplicate key and values that do not convert (DR asks ControlErrores to reconnect) are reported and
// fail the statement; both connections stay the same sessions.
TEST_F(basGeneralBBDDTest, AKeyOrValueErrorIsReportedAndLeavesTheConnectionsAlone) {
    ASSERT_TRUE(m_core->sql("create table f (id int primary key, d datetime, n int)"));
    const QString servidor = sesion(ConexionServidor()), local = sesion(ConexionLocal());
    const std::pair<const char*, const char*> casos[] = {{"insert into u values (1)", "-2147217873"},
                                                         {"insert into f values (1, '2024-02-30', 0)", "-2147217913"},
                                                         {"insert into f values (2, null, 'NULL')", "-2147217913"},
                                                         {"insert into f values ('', null, 0)", "-2147217913"}};
    for (const auto& [sql, numero] : casos) {
        m_printer.lineas.clear();
        recordingMainWindow().grid.clear();
        EXPECT_FALSE(DR->QueryExecute(sql)) << sql;
        ASSERT_EQ(m_printer.lineas.size(), 1) << sql;
        const QString error = m_printer.lineas.first();
        EXPECT_TRUE(error.startsWith("ERROR: clsDR.QueryExecute: ") &&
                    error.endsWith(QStringLiteral("\r\n(%1 - Microsoft OLE DB Provider for ODBC Drivers)").arg(numero)))
            << error.toStdString();
        EXPECT_EQ(recordingMainWindow().grid, QStringList({error, error}));
    }
    EXPECT_EQ(m_core->valor("select count(*) from qm_log where Concepto like 'Tarvolin. ERROR: clsDR.QueryExecute%'"),
              "4");
    EXPECT_EQ(sesion(ConexionServidor()), servidor);
    EXPECT_EQ(sesion(ConexionLocal()), local);
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_FALSE(recordingMainWindow().reconnectTimer);
}

// A killed link is reported and reopened at once; when it cannot be, the caller goes on at once with the
// reconnect timer left on (no timer runs here: a wait for it would hang until the watchdog).
TEST_F(basGeneralBBDDTest, AKilledLinkIsOpenedAgainAtOnceAndNothingWaitsForTheTimer) {
    waits::Deadline limite("the killed link to be opened again", 2 * waits::kDeadlineMs);
    const QString local = sesion(ConexionLocal());
    testenv::killConnections(m_core->db());
    EXPECT_FALSE(DR->QueryExecute("insert into u values (2)"));
    ASSERT_EQ(m_printer.lineas.size(), 1);
    EXPECT_TRUE(m_printer.lineas.first().startsWith("ERROR: clsDR.QueryExecute: "));
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_FALSE(recordingMainWindow().reconnectTimer);
    EXPECT_NE(sesion(ConexionLocal()), local);
    // The report's row went over the new link; the failed insert was not repeated.
    EXPECT_EQ(m_core->valor("select count(*) from qm_log where Concepto like 'Tarvolin. ERROR: clsDR.QueryExecute%'"),
              "1");
    EXPECT_EQ(m_core->valor("select count(*) from u"), "1");

    // The server cannot be reached: the statement fails, the attempt fails, and the caller goes on.
    for (int i = 1; i < garrValoresRegistro.size(); i += 2)
        if (garrValoresRegistro[i] == "IpServidor")
            garrValoresRegistro[i + 1] = "127.0.0.1;PORT=1";
    ConexionServidor().ConnectionString.replace(QString("PORT=%1").arg(testenv::dbPort()), "PORT=1");
    testenv::killConnections(m_core->db());
    EXPECT_FALSE(DR->QueryExecute("insert into u values (3)"));
    ASSERT_FALSE(program::ending()) << "ControlErrores waited for the reconnect timer";
    EXPECT_FALSE(frmPrincipalVars().blnConexionOk);
    EXPECT_TRUE(recordingMainWindow().reconnectTimer);
    EXPECT_EQ(ConexionServidor().State(), ado::adStateClosed);
}

// The server drops the log writer's idle connection: the next row goes over a new session, with no error.
TEST_F(basGeneralBBDDTest, TheLogWriterFindsALinkTheServerDroppedWhileIdle) {
    ConexionServidor().LinkCheckIdleMs = 100;
    const QString id = sesion(ConexionServidor()), local = sesion(ConexionLocal());
    ConexionServidor().Execute("set session wait_timeout = 1");
    QElapsedTimer t;
    t.start();
    while (m_core->valor("select count(*) from information_schema.processlist where id = " + id) != "0" &&
           t.elapsed() < 10000)
        program::waitMs(50);
    ASSERT_LT(t.elapsed(), 10000) << "the server did not drop the idle connection";
    EXPECT_TRUE(GrabaLogBBDD("tras la espera"));
    EXPECT_EQ(m_core->valor("select count(*) from qm_log where Concepto = 'Tarvolin. tras la espera'"), "1");
    EXPECT_NE(sesion(ConexionServidor()), id);
    EXPECT_EQ(sesion(ConexionLocal()), local);
    EXPECT_TRUE(m_printer.lineas.isEmpty());
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
}

// A print's guard covers the print road only: an operator's question raised inside its wait is shown.
TEST_F(basGeneralTest, ThePrintGuardCoversItsOwnRoadNotTheEventsInsideItsWaits) {
    const SinDialogosModales guarda;
    m_prompts.answers = {prompts::vbYes};
    int delOperador = -1;
    QTimer::singleShot(0, [&] { delOperador = MensajeUsuario("¿Salir?", prompts::vbYesNo + prompts::vbQuestion); });
    program::waitWhile([&] { return delOperador < 0; }, 5000);
    EXPECT_EQ(delOperador, prompts::vbYes) << "the operator's question, asked inside the print's wait (5 s)";
    EXPECT_EQ(MensajeUsuario("sin papel", prompts::vbExclamation), 0);
    ASSERT_EQ(m_prompts.calls.size(), 1u);
    EXPECT_EQ(m_prompts.calls[0].text, "¿Salir?");
    EXPECT_TRUE(recordingMainWindow().grid.contains("sin papel"));
}

// On the print road the seam opens nothing: a box asked for there goes to its handler; MensajeEnPantalla logs.
TEST_F(basGeneralTest, TheSeamOpensNoBoxOnThePrintRoad) {
    QStringList oidas;
    const prompts::ForbiddenBoxHandler anterior = prompts::forbiddenBoxHandler();
    prompts::setForbiddenBoxHandler([&](const QString& k, const QString& t) { oidas << k + ": " + t; });
    {
        const SinDialogosModales impresion;
        QString valor = "x";
        EXPECT_EQ(prompts::current().messageBox("uno", prompts::vbYesNo, {}), 0);
        EXPECT_FALSE(prompts::current().inputBox("dos", {}, valor));
        EXPECT_EQ(prompts::current().showForm("frmCalc"), 0);
        EXPECT_EQ(MensajeEnPantalla("tres", prompts::vbOKOnly), 0);
    }
    prompts::setForbiddenBoxHandler(anterior);
    EXPECT_EQ(oidas, QStringList({"messageBox: uno", "inputBox: dos", "form: frmCalc"}));
    EXPECT_TRUE(m_prompts.calls.empty());
    EXPECT_TRUE(recordingMainWindow().grid.contains("tres"));
    EXPECT_EQ(MensajeEnPantalla("cuatro"), prompts::vbOK);
    ASSERT_EQ(m_prompts.calls.size(), 1u);

    // In the program such a box goes to the grid and log.txt, also when the grid asks for a box itself.
    gblnLog = true;
    struct RejillaQuePregunta final : RecordingMainWindow {
        void AnadirLog(const QString& t) override {
            grid << t;
            prompts::current().messageBox("la rejilla: " + t, prompts::vbOKOnly, {});
        }
    } rejilla;
    setMainWindow(&rejilla);
    prompts::setForbiddenBoxHandler([](const QString&, const QString& t) { CajaNoMostrada(t); });
    {
        const SinDialogosModales impresion;
        prompts::current().messageBox("cinco", prompts::vbOKOnly, {});
    }
    prompts::setForbiddenBoxHandler(anterior);
    setMainWindow(nullptr);
    EXPECT_EQ(rejilla.grid, QStringList({"cinco"}));
    EXPECT_TRUE(logTxt().contains(" -> cinco\"\r\n"));
    EXPECT_EQ(m_prompts.calls.size(), 1u);
}

using basGeneralHijo = coretest::RegistroTest;
using basGeneralReconexion = coretest::RegistroTest;

// A child on a driver list of its own (unixODBC reads ODBCSYSINI once a process): prints "hijo:" lines.
TEST_F(basGeneralHijo, TicksOnItsOwnDriverList) {
    if (!qEnvironmentVariableIsSet("TARVOLIN_HIJO_DRIVERS"))
        GTEST_SKIP() << "run by DriversByTheirPackageNames";
    for (const auto& p : coretest::parametrosBase("information_schema"))
        coretest::escribeRegistro(p.first, p.second);
    CargaParametrosRegistro();
    gblnLog = qEnvironmentVariableIsSet("TARVOLIN_HIJO_LOG");
    m_prompts.answers = {prompts::vbYes};
    RecordingPrinter papel;
    papel.parametros = !qEnvironmentVariableIsSet("TARVOLIN_HIJO_SIN_IMPRESORA");
    setErrorPrinter(&papel);
    bool conectada = false;
    for (int i = 0; i < 2; ++i)
        conectada = IntentoConexionTick();
    const QByteArray instala = qgetenv("TARVOLIN_HIJO_INSTALA");
    if (!conectada && !instala.isEmpty()) {
        QFile ini(qEnvironmentVariable("ODBCSYSINI") + "/odbcinst.ini");
        ASSERT_TRUE(ini.open(QIODevice::Append));
        ini.write(instala);
        ini.close();
        EXPECT_TRUE(waits::until([&] { return conectada = IntentoConexionTick(); }, "the driver installed meanwhile"));
    }
    QStringList lineas = {
        QStringLiteral("conectada=%1").arg(conectada), QStringLiteral("cajas=%1").arg(m_prompts.calls.size()),
        QStringLiteral("tickets=%1").arg(papel.tickets.size()),
        QStringLiteral("driver=") + QRegularExpression("DRIVER=\\{([^}]*)\\}").match(gstrCadenaConexion).captured(1)};
    for (const QString& g : recordingMainWindow().grid)
        lineas << QStringLiteral("grid=") + QString(g).replace('\n', ' ');
    std::printf("hijo:%s\n", lineas.join("\nhijo:").toUtf8().constData());
    std::fflush(stdout);
}

// Drivers by their packages' names (a Unicode one first, the last among equals), each case a child on a real
// odbcinst.ini; with none the question comes once: in a box under /log, else on paper when the printer's
// parameters are known (before the first connection too), else in the log; one installed meanwhile is taken.
TEST(basGeneralDrivers, DriversByTheirPackageNames) {
    TARVOLIN_REQUIRE_DATABASE();
    QFile actual(qEnvironmentVariable("ODBCSYSINI") + "/odbcinst.ini");
    ASSERT_TRUE(actual.open(QIODevice::ReadOnly)) << "the services' odbcinst.ini";
    const QString so =
        QRegularExpression("(?m)^Driver\\s*=\\s*(\\S+)").match(QString::fromUtf8(actual.readAll())).captured(1);
    ASSERT_FALSE(so.isEmpty());
    const auto seccion = [&](const QString& nombre) { return QStringLiteral("[%1]\nDriver=%2\n\n").arg(nombre, so); };
    const QString pregunta = QStringLiteral("¿Desea continuar (el TPV se quedará en OFF)?");
    // drivers listed | /log | installed meanwhile | printer's parameters known | driver used | boxes | tickets |
    // questions in the log
    const std::tuple<const char*, bool, bool, bool, const char*, int, int, int> casos[] = {
        {"MariaDB Unicode", false, false, true, "MariaDB Unicode", 0, 0, 0}, // Debian's odbc-mariadb
        {"MySQL ODBC 8.0 Unicode Driver|MySQL ODBC 8.0 ANSI Driver", false, false, true,
         "MySQL ODBC 8.0 Unicode Driver", 0, 0, 0},
        {"MariaDB Unicode|MySQL ODBC 8.0 ANSI Driver", false, false, true, "MariaDB Unicode", 0, 0, 0},
        {"MySQL ODBC 8.0 ANSI Driver|MariaDB ODBC 3.1 Driver", false, false, true, "MariaDB ODBC 3.1 Driver", 0, 0, 0},
        {"MySQL|MariaDB|PostgreSQL Unicode", false, false, true, "MariaDB", 0, 0, 0}, // Fedora's list
        {"mariadb", false, false, true, "mariadb", 0, 0, 0},
        {"PostgreSQL Unicode", true, false, true, "MySQL", 1, 0, 0},
        {"PostgreSQL Unicode", false, false, true, "MySQL", 0, 1, 0},           // a till that ran before: cached
        {"PostgreSQL Unicode", false, true, false, "MariaDB Unicode", 0, 0, 1}, // a first start
    };
    for (const auto& [drivers, log, instala, conocidos, usado, cajas, tickets, preguntasEnLog] : casos) {
        SCOPED_TRACE(drivers);
        QTemporaryDir dir;
        QFile ini(dir.path() + "/odbcinst.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        for (const QString& d : QString::fromUtf8(drivers).split('|'))
            ini.write(seccion(d).toUtf8());
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ODBCSYSINI", dir.path());
        env.insert("ODBCINSTINI", "odbcinst.ini");
        env.insert("TARVOLIN_HIJO_DRIVERS", "1");
        if (log)
            env.insert("TARVOLIN_HIJO_LOG", "1");
        if (instala)
            env.insert("TARVOLIN_HIJO_INSTALA", seccion("MariaDB Unicode"));
        if (!conocidos)
            env.insert("TARVOLIN_HIJO_SIN_IMPRESORA", "1");
        QProcess hijo;
        hijo.setProcessEnvironment(env);
        hijo.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=basGeneralHijo.TicksOnItsOwnDriverList"});
        ASSERT_TRUE(hijo.waitForFinished(30000)) << "waited 30 s for the child";
        const QString salida = QString::fromUtf8(hijo.readAllStandardOutput());
        SCOPED_TRACE(salida.toStdString());
        ASSERT_EQ(hijo.exitCode(), 0);
        QStringList vistas;
        for (const QString& l : salida.split('\n'))
            if (l.startsWith("hijo:"))
                vistas << l.mid(5);
        const QStringList grid = vistas.filter(QRegularExpression("^grid="));
        const bool usable = QString::fromUtf8(usado) != "MySQL";
        for (const QString& l : {QStringLiteral("conectada=%1").arg(usable), QStringLiteral("driver=") + usado,
                                 QStringLiteral("cajas=%1").arg(cajas), QStringLiteral("tickets=%1").arg(tickets)})
            EXPECT_TRUE(vistas.contains(l)) << l.toStdString();
        EXPECT_EQ(grid.filter(pregunta).size(), preguntasEnLog);
        EXPECT_EQ(grid.filter(QStringLiteral("grid=Driver ODBC de MySQL: ") + usado).size(), 1);
        // after the question, each later attempt only says so in the log
        EXPECT_EQ(grid.filter("grid=No hay ningún driver de ODBC de MySQL instalado").isEmpty(), usable && !instala);
    }
}

// The tick on a server of the test's own, down at the start and lost later, brings both connections back;
// the post-connection step runs once, at the first connection only.
TEST_F(basGeneralReconexion, TheTickBringsTheLinkBackWhenTheServerStartsAgain) {
    TARVOLIN_REQUIRE_DATABASE();
    testenv::ServicioPrivado servidor(testenv::ServicioPrivado::Tipo::MariaDB);
    ASSERT_TRUE(servidor.ok()) << servidor.error().toStdString();
    for (const auto& p : coretest::parametrosBase("mysql"))
        coretest::escribeRegistro(p.first, p.second);
    coretest::escribeRegistro("IpServidor", QStringLiteral("127.0.0.1;PORT=%1").arg(servidor.puerto()));
    coretest::escribeRegistro("UsuarioMysql", "root");
    coretest::escribeRegistro("MysqlPassword", "0");
    CargaParametrosRegistro();
    int pasos = 0;
    setPasoPostConexion([&] { ++pasos; });
    coretest::ReconnectingMainWindow ventana(50);
    const auto arranca = [&](int reconexiones, const char* cuando) {
        const int ticks = ventana.ticks;
        EXPECT_TRUE(waits::until([&] { return ventana.ticks >= ticks + 2; }, "two ticks on the stopped server"));
        EXPECT_FALSE(frmPrincipalVars().blnConexionOk) << cuando;
        ASSERT_TRUE(servidor.arranca()) << servidor.error().toStdString();
        ASSERT_TRUE(waits::until([&] { return ventana.reconexiones == reconexiones; }, cuando));
        EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
        EXPECT_FALSE(ventana.reconnectTimer) << cuando;
        EXPECT_EQ(pasos, 1) << cuando;
        EXPECT_EQ(vb::CStr(ConexionLocal().Execute("select 7")->Fields(0).Value), "7") << cuando;
    };

    servidor.apaga();
    // The start-up's own attempt fails and hands over to the timer.
    ASSERT_FALSE(ConectaBBDD());
    mainWindow().setReconnectTimerEnabled(true);
    ASSERT_NO_FATAL_FAILURE(arranca(1, "the tick after the first start"));

    servidor.apaga();
    EXPECT_FALSE(AtrapaErrores("prueba.Reconexion", [] { ConexionServidor().Execute("select 1"); }));
    EXPECT_TRUE(ventana.reconnectTimer);
    ASSERT_NO_FATAL_FAILURE(arranca(2, "the tick after the lost link"));
    EXPECT_TRUE(m_prompts.calls.empty());
    setPasoPostConexion(nullptr);
}

} // namespace
