#include "platform/Ado.h"
#include "testsupport/ServicioPrivado.h"
#include "testsupport/TestEnv.h"
#include "testsupport/VBErrors.h"
#include <QElapsedTimer>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace ado;
using testenv::errorOf;

namespace {

// A scratch database with one connection open on it.
struct AdoTest : ::testing::Test {
    QString db;
    Connection cn;
    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        db = testenv::createDatabase("ado", false);
        cn.Open(testenv::connectionString(db));
    }
    void TearDown() override {
        cn.Close();
        if (!db.isEmpty())
            testenv::dropDatabase(db);
    }
    void sql(const QString& text) {
        QString err;
        ASSERT_TRUE(testenv::runSql(db, text, nullptr, &err)) << err.toStdString();
    }
};

} // namespace

TEST_F(AdoTest, DeclaredTypesValuesAndNullsOfEachTypeReadAndBound) {
    sql("set sql_mode=''; create table t (id int primary key, ti tinyint, tu tinyint unsigned, si smallint,"
        " i int, iu int unsigned, bi bigint, f float, d double, dec10 decimal(10,2), dt date, dtt datetime,"
        " tm time, vc varchar(20), tx text, bl blob, b bit(1));"
        "insert into t values (1, -5, 250, -300, -70000, 4000000000, -9000000000, 1.5, 2.25, 12345678.91,"
        " '2024-02-29', '2024-02-29 13:14:15', '07:08:09', 'año', 'texto', 0x00ff80, b'1'),"
        " (2, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null),"
        " (3, 0, 0, 0, 0, 0, 0, 0, 0, 0, '0000-00-00', '0000-00-00 00:00:00', '00:00:00', '', '', '', b'0');");
    struct Expect {
        const char* name;
        int type;
        QVariant value;
    };
    const std::vector<Expect> row1 = {
        {"ti", adTinyInt, QVariant::fromValue<qint16>(-5)},
        {"tu", adUnsignedTinyInt, QVariant::fromValue<qint16>(250)},
        {"si", adSmallInt, QVariant::fromValue<qint16>(-300)},
        {"i", adInteger, QVariant::fromValue<qint32>(-70000)},
        {"iu", adUnsignedInt, QVariant::fromValue<qint64>(4000000000LL)},
        {"bi", adBigInt, QVariant::fromValue<qint64>(-9000000000LL)},
        {"f", adSingle, QVariant::fromValue<float>(1.5f)},
        {"d", adDouble, 2.25},
        {"dec10", adNumeric, 12345678.91},
        {"dt", adDBDate, QDateTime(QDate(2024, 2, 29), QTime(0, 0))},
        {"dtt", adDBTimeStamp, QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15))},
        {"tm", adDBTime, QDateTime(QDate(1899, 12, 30), QTime(7, 8, 9))},
        {"vc", -1, QString::fromUtf8("año")},
        {"tx", -1, QString("texto")},
        {"bl", -1, QByteArray("\x00\xff\x80", 3)},
        {"b", adBoolean, true},
    };
    // Rows 4 and 5 are rows 1 and 2 again, bound as parameters: every kind reads back as it went in.
    QList<Variant> valores, nulos(qsizetype(row1.size()), vb::Null());
    for (const Expect& e : row1)
        valores << e.value;
    const QString marcas = QString(", ?").repeated(valores.size()) + ")";
    cn.Execute("insert into t values (4" + marcas, nullptr, valores);
    cn.Execute("insert into t values (5" + marcas, nullptr, nulos);
    auto rs = cn.Execute("select * from t order by id");
    ASSERT_FALSE(rs->isEOF());
    EXPECT_FALSE(rs->isBOF());
    ASSERT_EQ(rs->FieldCount(), 17);
    const auto valoresYNulos = [&] {
        for (const Expect& e : row1) {
            const Field& f = rs->Fields(e.name);
            if (e.type >= 0) {
                EXPECT_EQ(f.Type, e.type) << e.name;
            }
            EXPECT_EQ(f.Value.metaType(), e.value.metaType()) << e.name << " " << f.Value.metaType().name();
            EXPECT_EQ(f.Value, e.value) << e.name;
        }
        EXPECT_TRUE(rs->Fields("vc").Type == adVarWChar || rs->Fields("vc").Type == adVarChar);
        EXPECT_EQ(rs->Fields("DEC10").NumericScale, 2); // names ignore case
        rs->MoveNext();
        for (const Expect& e : row1) {
            EXPECT_TRUE(vb::IsNull(rs->Fields(e.name).Value)) << e.name;
            if (e.type >= 0) {
                EXPECT_EQ(rs->Fields(e.name).Type, e.type) << "type kept on a NULL row: " << e.name;
            }
        }
        rs->MoveNext();
    };
    valoresYNulos();
    EXPECT_TRUE(vb::IsNull(rs->Fields("dt").Value));  // the zero date
    EXPECT_TRUE(vb::IsNull(rs->Fields("dtt").Value)); // the zero date and time
    EXPECT_EQ(rs->Fields("tm").Value, QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(rs->Fields("vc").Value, QString(""));
    EXPECT_FALSE(vb::IsNull(rs->Fields("vc").Value));
    EXPECT_EQ(rs->Fields("b").Value, false);
    rs->MoveNext();
    valoresYNulos();
    EXPECT_TRUE(rs->isEOF());
    EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), vb::err::AdoNoCurrentRecord);
    EXPECT_EQ(errorOf([&] { rs->Fields("nada"); }), vb::err::AdoItemNotFound);
    EXPECT_EQ(errorOf([&] { rs->Fields(17); }), vb::err::AdoItemNotFound);
    rs->Close();
    EXPECT_EQ(rs->State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs->isEOF(); }), vb::err::AdoObjectClosed);
}

TEST_F(AdoTest, TextRoundTripsExactlyBoundAndRead) {
    sql("create table t (id int auto_increment primary key, s text) character set utf8mb4;");
    const QStringList texts = {QString::fromUtf8("O'Neil \"dice\" \\n C:\\ruta\\"),
                               QString::fromUtf8("€ ñ Á ü — ‘x’"),
                               QString::fromUtf8("trailing backslash \\"),
                               QString::fromUtf8("emoji 😀 and NUL-free"),
                               QString(),
                               QString(5000, QChar(u'é')),
                               QString::fromUtf8("ÚLTIMO Ø Ù Û: units whose low byte is D8-DB"),
                               QString::fromUtf8("Ú")};
    for (const QString& s : texts) {
        qint64 affected = 0;
        cn.Execute("insert into t (s) values (?)", &affected, {s});
        EXPECT_EQ(affected, 1);
    }
    auto rs = cn.Execute("select id, s, char_length(s) n from t order by id");
    for (const QString& s : texts) {
        ASSERT_FALSE(rs->isEOF());
        EXPECT_EQ(rs->Fields("s").Value.toString(), s);
        EXPECT_EQ(rs->Fields("n").Value.toLongLong(), s.toUcs4().size()); // nothing added on the server
        // A bound value finds its row again, read while the outer query is still open on the same
        // connection (as the ticket code does).
        auto inner = cn.OpenRecordset("select id from t where s <=> ?", {s});
        EXPECT_EQ(inner->Fields(0).Value, rs->Fields("id").Value);
        inner->MoveNext();
        EXPECT_TRUE(inner->isEOF());
        rs->MoveNext();
    }
    EXPECT_TRUE(rs->isEOF());
}

TEST_F(AdoTest, StatementsWithoutRowsGiveAnEmptyRecordsetAndTheRowsTheyTouched) {
    sql("create table b (id int, v varchar(5)); insert into b values (1,'x'),(2,'y'),(2,'z');");
    const std::tuple<const char*, qint64, int> casos[] = {{"update b set v = concat(v, '!') where id = 2", 2, 0},
                                                          {"delete from b where id = 99", 0, 0},
                                                          {"select * from b where id > 10", -1, 2}};
    for (const auto& [q, filas, campos] : casos) {
        qint64 affected = 99;
        auto rs = cn.Execute(q, &affected);
        EXPECT_EQ(affected, filas) << q;
        EXPECT_TRUE(rs->isEOF() && rs->isBOF()) << q;
        EXPECT_EQ(rs->FieldCount(), campos) << q;
    }
}

TEST_F(AdoTest, DriverErrorsMapToAdoNumbers) {
    sql("create table t (id int primary key); create table s (v varchar(3));");
    cn.Execute("insert into t values (1)");
    try {
        cn.Execute("insert into t values (1)");
        ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const VBError& dup) {
        EXPECT_EQ(dup.number(), vb::err::AdoIntegrityViolation);
        EXPECT_TRUE(dup.description().contains("Duplicate entry")) << dup.description().toStdString();
        EXPECT_EQ(dup.source(), "Microsoft OLE DB Provider for ODBC Drivers");
    }
    EXPECT_EQ(errorOf([&] { cn.Execute("selec * fromm t"); }), vb::err::AdoSyntaxError);
    EXPECT_EQ(errorOf([&] { cn.Execute("select * from no_such_table"); }), vb::err::AdoUnknownObject);
    EXPECT_EQ(errorOf([&] { cn.Execute("select nope from t"); }), vb::err::AdoUnknownObject);
    EXPECT_EQ(errorOf([&] { cn.Execute("insert into t values (?)", nullptr, {1}); }), vb::err::AdoIntegrityViolation);
    cn.Execute("set session sql_mode = 'STRICT_ALL_TABLES'");
    EXPECT_EQ(errorOf([&] { cn.Execute("insert into s values ('abcdef')"); }), vb::err::AdoTruncation);
    // Values that do not convert, literal or bound: none of them is the provider failure of a lost link.
    sql("create table f (id int primary key, d datetime, n int)");
    const std::tuple<const char*, QList<Variant>, int> valores[] = {
        {"insert into f values (1, '2024-13-45 25:00:00', 0)", {}, vb::err::AdoCantConvertValue},
        {"insert into f values (2, ?, 0)", {QStringLiteral("31/02/2024")}, vb::err::AdoCantConvertValue},
        {"insert into f values (3, null, 'NULL')", {}, vb::err::AdoCantConvertValue},
        {"insert into f values (4, null, ?)", {QStringLiteral("NULL")}, vb::err::AdoCantConvertValue},
        {"insert into f values ('', null, 0)", {}, vb::err::AdoCantConvertValue},
        {"insert into f values (null, null, 0)", {}, vb::err::AdoIntegrityViolation},
        {"insert into f values (5, null, 99999999999)", {}, vb::err::AdoTruncation},
    };
    for (const auto& [q, params, numero] : valores) {
        try {
            cn.Execute(q, nullptr, params);
            ADD_FAILURE() << "accepted: " << q;
        } catch (const VBError& e) {
            EXPECT_EQ(e.number(), numero) << q << " " << e.sqlState().toStdString() << "/" << e.nativeError();
            EXPECT_FALSE(isLostLink(e)) << q;
        }
    }
    // None of these lose the link.
    EXPECT_EQ(cn.State(), adStateOpen);
    EXPECT_EQ(cn.Execute("select count(*) from t")->Fields(0).Value.toInt(), 1);
}

// A value the server refuses is refused on the bound road as on the direct one, and nothing is written.
TEST_F(AdoTest, ABoundValueTheServerRefusesFailsAsTheDirectStatementDoes) {
    sql("create table v (id int, d decimal(6,2), e enum('a','b'), f date)");
    const struct {
        const char* columna;
        Variant valor;
        const char* literal; // the same value in the direct statement; nullptr: it has none
        int error;           // for the values without a literal
    } casos[] = {
        {"d", QString("2,50"), "'2,50'", 0},  // 1265, SQLSTATE 01000
        {"d", QString("3x"), "'3x'", 0},      // 1265
        {"id", QString("0x10"), "'0x10'", 0}, // 1265
        {"e", QString("c"), "'c'", 0},        // 1265
        {"d", QString("NULL"), "'NULL'", 0},  // 1366
        {"f", QString("2024-02-30"), "'2024-02-30'", 0},
        {"d", std::nan(""), nullptr, 3421},
        {"d", std::numeric_limits<double>::infinity(), nullptr, 3421},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.valor.toString().toStdString());
        const QString insert = QString("insert into v (%1) values (%2)").arg(c.columna);
        VBError directo(0, {}), ligado(0, {});
        try {
            if (c.literal)
                cn.Execute(insert.arg(c.literal));
        } catch (const VBError& e) {
            directo = e;
        }
        try {
            cn.Execute(insert.arg("?"), nullptr, {c.valor});
        } catch (const VBError& e) {
            ligado = e;
        }
        EXPECT_EQ(ligado.number(), c.literal ? directo.number() : c.error);
        EXPECT_NE(ligado.number(), 0);
        if (c.literal) {
            EXPECT_EQ(ligado.description(), directo.description());
        }
    }
    EXPECT_EQ(cn.Execute("select count(*) from v")->Fields(0).Value.toInt(), 0);
    EXPECT_EQ(cn.State(), adStateOpen);
}

// The statement that finds a killed link fails and closes the connection; the next one opens it
// again, once: when that fails too, the connection stays closed until it is opened.
TEST_F(AdoTest, AKilledLinkClosesTheConnectionAndTheNextStatementOpensItOnce) {
    const auto sesion = [&] { return cn.Execute("select connection_id()")->Fields(0).Value.toLongLong(); };
    const qint64 antes = sesion();
    auto rs = cn.Execute("select 1");
    testenv::killConnections(db);
    try {
        cn.Execute("select 2");
        ADD_FAILURE() << "a killed link answered";
    } catch (const VBError& e) {
        EXPECT_EQ(e.number(), vb::err::ProviderFailure);
        EXPECT_TRUE(isLostLink(e)) << e.sqlState().toStdString() << "/" << e.nativeError();
    }
    EXPECT_EQ(cn.State(), adStateClosed);
    EXPECT_EQ(rs->State(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs->Fields(0); }), vb::err::AdoObjectClosed);
    EXPECT_NE(sesion(), antes);

    QString bad = testenv::connectionString(db);
    bad.replace(QString("PORT=%1").arg(testenv::dbPort()), "PORT=1");
    const QString good = cn.ConnectionString;
    testenv::killConnections(db);
    EXPECT_EQ(errorOf([&] { cn.Execute("select 3"); }), vb::err::ProviderFailure);
    cn.ConnectionString = bad;
    try {
        cn.Execute("select 3");
        ADD_FAILURE() << "opened on a port where nobody listens";
    } catch (const VBError& e) {
        EXPECT_TRUE(isLostLink(e)) << e.sqlState().toStdString() << "/" << e.nativeError();
    }
    EXPECT_EQ(errorOf([&] { cn.Execute("select 3"); }), vb::err::AdoConnectionUnusable);
    cn.Close(); // closing a closed connection does nothing

    cn.ConnectionTimeout = 3;
    EXPECT_EQ(errorOf([&] { cn.Open(bad); }), vb::err::ProviderFailure);
    EXPECT_EQ(cn.State(), adStateClosed);
    // A trailing ";" is accepted; opening an open connection is refused.
    cn.Open(good + ";");
    EXPECT_EQ(errorOf([&] { cn.Open(); }), vb::err::AdoObjectOpen);
    EXPECT_EQ(cn.Execute("select 4")->Fields(0).Value.toInt(), 4);

    // A transaction cut by the loss is not carried on in auto-commit: the connection stays closed.
    cn.BeginTrans();
    testenv::killConnections(db);
    EXPECT_EQ(errorOf([&] { cn.Execute("select 5"); }), vb::err::ProviderFailure);
    EXPECT_EQ(errorOf([&] { cn.Execute("select 6"); }), vb::err::AdoConnectionUnusable);
}

// The server drops a connection idle past its wait_timeout: the next statement, after the idle
// check, runs on a new session without an error.
TEST_F(AdoTest, ALinkTheServerDroppedWhileIdleIsFoundAndOpenedAgainBeforeTheStatement) {
    cn.LinkCheckIdleMs = 100;
    const QString id = cn.Execute("select connection_id()")->Fields(0).Value.toString();
    cn.Execute("set session wait_timeout = 1");
    QElapsedTimer t;
    t.start();
    QString quedan = "1";
    while (quedan != "0" && t.elapsed() < 10000) {
        testenv::runSql({}, "select count(*) from information_schema.processlist where id = " + id, &quedan);
        quedan = quedan.trimmed();
    }
    ASSERT_EQ(quedan, "0") << "the server did not drop the idle connection within 10 s";
    EXPECT_EQ(cn.Execute("select 7")->Fields(0).Value.toInt(), 7);
    EXPECT_NE(cn.Execute("select connection_id()")->Fields(0).Value.toString(), id);
}

TEST_F(AdoTest, TransactionsCommitRollBackAndRefuseMisuse) {
    sql("create table t (id int primary key)");
    auto filas = [&] {
        QString out;
        testenv::runSql(db, "select count(*) from t", &out); // another session sees only what is committed
        return out.trimmed().toInt();
    };
    EXPECT_EQ(errorOf([&] { cn.CommitTrans(); }), vb::err::AdoTransactionNotStarted);
    EXPECT_EQ(errorOf([&] { cn.RollbackTrans(); }), vb::err::AdoTransactionNotStarted);
    // rollback, commit, then a connection closed with its transaction open
    for (int paso : {0, 1, 2}) {
        EXPECT_EQ(cn.BeginTrans(), 1);
        EXPECT_EQ(errorOf([&] { cn.BeginTrans(); }), vb::err::AdoTransactionNested);
        cn.Execute("insert into t values (?)", nullptr, {paso});
        paso == 0 ? cn.RollbackTrans() : paso == 1 ? cn.CommitTrans() : cn.Close();
        EXPECT_FALSE(cn.InTransaction());
        EXPECT_EQ(filas(), paso == 0 ? 0 : 1) << paso;
    }
    cn.Open();
    cn.Execute("insert into t values (5)"); // back in auto-commit
    EXPECT_EQ(filas(), 2);
}

// A server that hangs (SIGSTOP) holds neither a statement nor a connect past the time-outs given: the
// statement fails as a lost link, the connect that the next statement tries fails too, and once the
// server goes on the connection opens again.
TEST(AdoHungServer, AStatementAndAConnectEndWithinTheirTimeOuts) {
    TARVOLIN_REQUIRE_DATABASE();
    testenv::ServicioPrivado servidor(testenv::ServicioPrivado::Tipo::MariaDB);
    ASSERT_TRUE(servidor.ok()) << servidor.error().toStdString();
    Connection cn;
    cn.ConnectionTimeout = 2;
    cn.CommandTimeout = 3;
    cn.Open(QStringLiteral("DRIVER={%1};SERVER=127.0.0.1;PORT=%2;DATABASE=mysql;UID=root;PASSWORD=;OPTION=3")
                .arg(testenv::odbcDriverName())
                .arg(servidor.puerto()));
    EXPECT_EQ(cn.Execute("select 1")->Fields(0).Value.toInt(), 1);

    servidor.para();
    const std::tuple<const char*, qint64> pasos[] = {{"the statement", 3000}, {"the connect", 2000}};
    for (const auto& [paso, limite] : pasos) {
        QElapsedTimer t;
        t.start();
        try {
            cn.Execute("select 2");
            ADD_FAILURE() << paso << " answered on a stopped server after " << t.elapsed() << " ms";
        } catch (const VBError& e) {
            EXPECT_TRUE(isLostLink(e)) << paso << " " << e.sqlState().toStdString() << "/" << e.nativeError();
        }
        EXPECT_LT(t.elapsed(), limite + 1500) << paso;
    }
    EXPECT_EQ(cn.State(), adStateClosed);
    servidor.sigue();
    cn.Open();
    EXPECT_EQ(cn.Execute("select 3")->Fields(0).Value.toInt(), 3);
}

// Whatever mode the server gives its sessions, a connection reads the program's literals the usual
// way (backslash escapes, "..." a text) and keeps the rest of the server's mode. One server of the
// test's own takes each mode in turn as its global one, for the sessions opened after it.
TEST(AdoSqlMode, EverySessionReadsLiteralsTheUsualWayAndKeepsTheRestOfTheMode) {
    TARVOLIN_REQUIRE_DATABASE();
    testenv::ServicioPrivado servidor(testenv::ServicioPrivado::Tipo::MariaDB,
                                      {QStringLiteral("--sql-mode=NO_BACKSLASH_ESCAPES,STRICT_ALL_TABLES")});
    ASSERT_TRUE(servidor.ok()) << servidor.error().toStdString();
    const QString cadena = servidor.cadena("mysql");
    Connection admin;
    admin.Open(cadena);
    // the server's global mode (set at start for the first) | what each session keeps
    const std::pair<const char*, const char*> modos[] = {
        {nullptr, "STRICT_ALL_TABLES"},
        {"ANSI_QUOTES,PIPES_AS_CONCAT", "PIPES_AS_CONCAT"},
        {"NO_BACKSLASH_ESCAPES,ANSI_QUOTES", ""},
        {"ANSI", "REAL_AS_FLOAT,PIPES_AS_CONCAT,IGNORE_SPACE"},
        {"ORACLE", "PIPES_AS_CONCAT,IGNORE_SPACE,NO_KEY_OPTIONS,NO_TABLE_OPTIONS,NO_FIELD_OPTIONS,"
                   "NO_AUTO_CREATE_USER,SIMULTANEOUS_ASSIGNMENT"},
        {"MSSQL,ERROR_FOR_DIVISION_BY_ZERO", "PIPES_AS_CONCAT,IGNORE_SPACE,NO_KEY_OPTIONS,NO_TABLE_OPTIONS,"
                                             "NO_FIELD_OPTIONS,ERROR_FOR_DIVISION_BY_ZERO"},
    };
    for (const auto& [global, sesion] : modos) {
        if (global)
            admin.Execute(QStringLiteral("set global sql_mode = ?"), nullptr, {QString::fromLatin1(global)});
        Connection cn;
        cn.Open(cadena);
        RecordsetPtr rs =
            cn.Execute(QStringLiteral("select @@session.sql_mode, 'a\\'b\\\\', \"c\\\"d\", @@global.sql_mode"));
        EXPECT_EQ(rs->Fields(0).Value.toString(), QString::fromLatin1(sesion)) << global;
        EXPECT_EQ(rs->Fields(1).Value.toString(), QStringLiteral("a'b\\")) << global;
        EXPECT_EQ(rs->Fields(2).Value.toString(), QStringLiteral("c\"d")) << global;
        EXPECT_NE(rs->Fields(3).Value.toString(), QString::fromLatin1(sesion)) << "the global mode was not set";
    }
}

namespace {

// A text as a literal in the usual reading (backslash escapes on).
QString literal(QString t) {
    return "'" + t.replace("\\", "\\\\").replace("'", "\\'") + "'";
}

// Texts that a conversion to the session's character set would change: fullwidth quote and
// backslash, yen, units whose low byte is D8-DB, a GBK lead byte's neighbours, accents, euro, emoji.
const QStringList kTextosDeJuego = {QString::fromUtf8("＇ ＼ ¥ ぁ\\' …"), QString::fromUtf8("ØØØ fin"),
                                    QString::fromUtf8("Ø Ù Ú Û 付 ñ € 😀 ‘x’"), QString::fromUtf8("帽 ñ Ñ ç ß œ"),
                                    QString(2000, QChar(0xDA))};

} // namespace

// Whatever character set the connection string asks for or the server imposes, the session reads and
// writes utf8mb4: every text goes in, in the statement and bound, and comes back as it was, and the
// server holds its UTF-8 bytes; names and messages decode too.
TEST(AdoCharset, EverySessionReadsAndWritesUtf8mb4WhateverTheStringOrTheServerAsks) {
    TARVOLIN_REQUIRE_DATABASE();
    // a name in the handshake: the server reads it in the character set the handshake asks for
    const QString db = testenv::createDatabase(QString::fromUtf8("adocs_ñØ"), false);
    // A server that ignores the client's character set and gives every session GBK.
    testenv::ServicioPrivado gbk(
        testenv::ServicioPrivado::Tipo::MariaDB,
        {"--skip-character-set-client-handshake", "--character-set-server=gbk", "--collation-server=gbk_chinese_ci"});
    ASSERT_TRUE(gbk.ok()) << gbk.error().toStdString();
    {
        Connection admin;
        admin.Open(gbk.cadena("mysql"));
        admin.Execute("create database cs");
    }
    QStringList cadenas = {gbk.cadena("cs"), gbk.cadena("cs") + ";CHARSET=gbk"};
    for (const char* cs : {"", "latin1", "big5", "sjis", "cp932", "gbk", "utf8", "{latin1}"})
        cadenas << testenv::connectionString(db) + (*cs ? QString(";CHARSET=") + cs : QString());
    for (const QString& cadena : cadenas) {
        SCOPED_TRACE(cadena.toStdString());
        Connection cn;
        cn.Open(cadena);
        RecordsetPtr rs = cn.Execute(
            "select @@character_set_client, @@character_set_connection, @@character_set_results, database()");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rs->Fields(i).Value.toString(), "utf8mb4") << i;
        EXPECT_EQ(rs->Fields(3).Value.toString(), cadena.contains("adocs") ? db : QString("cs"));
        cn.Execute("drop table if exists t");
        cn.Execute("create table t (id int auto_increment primary key, v longtext) character set utf8mb4");
        for (const QString& s : kTextosDeJuego) {
            SCOPED_TRACE(QString(s.left(20).toUtf8().toPercentEncoding()).toStdString());
            cn.Execute("insert into t (v) values (" + literal(s) + ")");
            cn.Execute("insert into t (v) values (?)", nullptr, {s});
            rs = cn.Execute("select v, hex(v), v = " + literal(s) + " from t order by id desc limit 2");
            for (int fila = 0; fila < 2; ++fila, rs->MoveNext()) {
                ASSERT_FALSE(rs->isEOF());
                EXPECT_EQ(rs->Fields(0).Value.toString(), s) << fila;
                EXPECT_EQ(rs->Fields(1).Value.toString(), QString(s.toUtf8().toHex().toUpper())) << fila;
                EXPECT_EQ(rs->Fields(2).Value.toInt(), 1) << fila;
            }
        }
        // a name (names hold no emoji) and the server's message
        const QString nombre = QString::fromUtf8("ØÚ付ñ€");
        EXPECT_EQ(cn.Execute("select 1 as `" + nombre + "`")->Fields(0).Name, nombre);
        try {
            cn.Execute("select * from `" + nombre + "`");
            ADD_FAILURE() << "a table that does not exist answered";
        } catch (const VBError& e) {
            EXPECT_TRUE(e.description().contains(nombre)) << e.description().toStdString();
        }
        const QString mensaje = QString::fromUtf8("€ ñ Ú 付"); // the server's messages hold no emoji (utf8mb3)
        try {
            cn.Execute("signal sqlstate '45000' set message_text = '" + mensaje + "'");
            ADD_FAILURE() << "a signal answered";
        } catch (const VBError& e) {
            EXPECT_TRUE(e.description().endsWith(mensaje)) << e.description().toStdString();
        }
    }
    testenv::dropDatabase(db);
}

// The string's own CHARSET is what an installer may have pasted in; the connector takes the last one.
TEST(AdoCharset, TheCharsetAStringAsksFor) {
    const std::pair<const char*, const char*> casos[] = {
        {"DRIVER={x};SERVER=h;PASSWORD=p", ""},
        {"DRIVER={x};SERVER=127.0.0.1;CHARSET=latin1;DATABASE=d", "latin1"},
        {"SERVER=h; charset = sjis ;CHARSET={gbk}", "gbk"},
        {"PASSWORD={a;CHARSET=big5};SERVER=h", ""},
    };
    for (const auto& [cadena, charset] : casos)
        EXPECT_EQ(requestedCharset(cadena), charset) << cadena;
}

// A statement that leaves the session in another character set, directly or through text it runs
// itself, fails and the session reads and writes utf8mb4 again before anything else runs in it.
TEST_F(AdoTest, AStatementThatChangesTheSessionCharsetFailsAndTheSessionIsPutBack) {
    sql("create table t (id int primary key, v longtext) character set utf8mb4;"
        "insert into t values (1, 'uno'), (2, 'dos')");
    cn.Execute("create procedure p() begin set character_set_results = latin1; end");
    // the statement | what it set (empty: nothing to put back)
    const std::pair<const char*, const char*> casos[] = {
        {"set character_set_client = sjis", "character_set_client sjis"},
        {"SET @@session.character_set_connection = gbk", "character_set_connection gbk"},
        {"set character set big5", "character_set_client big5"},
        {"set charset cp932", "character_set_client cp932"},
        {"/*!40101 set character_set_results = latin1 */", "character_set_results latin1"},
        {"call p()", "character_set_results latin1"}, // a routine's own setting outlives it
        {"set character_set_client = utf8mb4", ""},
        {"select 'character set', 'names'", ""},
    };
    for (const auto& [sentencia, puesto] : casos) {
        SCOPED_TRACE(sentencia);
        try {
            cn.Execute(sentencia);
            EXPECT_STREQ(puesto, "") << "accepted";
        } catch (const VBError& e) {
            EXPECT_EQ(e.number(), vb::err::ProviderFailure);
            EXPECT_EQ(e.description(),
                      QString("The statement set the session's %1; it reads and writes utf8mb4 again").arg(puesto));
        }
        EXPECT_EQ(cn.State(), adStateOpen);
        RecordsetPtr rs =
            cn.Execute("select @@character_set_client, @@character_set_connection, @@character_set_results");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rs->Fields(i).Value.toString(), "utf8mb4") << i;
        // what an sjis or gbk session would read otherwise: the backslash after ぁ's last byte escapes
        cn.Execute(QString::fromUtf8("update t set v = 'ぁ\\', v=(select 0x70776e) where 1=1 -- ' where id = 2"));
        EXPECT_EQ(cn.Execute("select v from t where id = 1")->Fields(0).Value.toString(), "uno");
    }
}
