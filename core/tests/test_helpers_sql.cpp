// The SQL helpers against the real server through the real ODBC driver: literals written by
// ValorSQL / CreaInserts / cStringSQL must read back unchanged, also under a decimal-comma locale.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Collections.h"
#include "platform/Prompts.h"
#include "testsupport/TestEnv.h"
#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>

using namespace basFuncionesComunes;

namespace {

const QStringList kTextosDificiles = {
    QStringLiteral("O'Neil"),
    QStringLiteral("C:\\bin"),
    QStringLiteral("say \"hi\""),
    QStringLiteral("dir\\"),
    QStringLiteral("\\'mezcla\\\\"),
    QStringLiteral("\u20ac \u00f1 \u00e1 \u00bf?"),
    QStringLiteral("l\u00ednea\nnueva"),
    QStringLiteral("'; drop table origen; --"),
};

class HelpersSql : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testenv::haveDatabase()) {
            if (testenv::servicesRequired())
                FAIL() << "MariaDB is not reachable (TARVOLIN_DB_SOCKET)";
            GTEST_SKIP() << "no MariaDB: run through scripts/test";
        }
        resetBasGeneralForTests();
        prompts::install(&m_prompts);
        m_previo = QLocale();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        std::setlocale(LC_ALL, "es_ES.UTF-8");
        m_db = testenv::createDatabase(QStringLiteral("helpers"));
        ConexionServidor().Open(testenv::connectionString(m_db));
    }
    void TearDown() override {
        resetBasGeneralForTests();
        prompts::install(nullptr);
        QLocale::setDefault(m_previo);
        std::setlocale(LC_ALL, "C");
        if (!m_db.isEmpty())
            testenv::dropDatabase(m_db);
    }
    QString consulta(const QString& sql) {
        QString salida, error;
        EXPECT_TRUE(testenv::runSql(m_db, sql, &salida, &error)) << error.toStdString();
        return salida;
    }

    prompts::ScriptedPrompts m_prompts;
    QString m_db;
    QLocale m_previo;
};

TEST_F(HelpersSql, CreaInsertsCopiesRowsUnchangedThroughTheServer) {
    const QString columnas =
        QStringLiteral("(id INT PRIMARY KEY, nombre VARCHAR(100), nota TEXT, importe DECIMAL(12,4), ratio DOUBLE, "
                       "fecha DATETIME, activo TINYINT, datos BLOB)");
    consulta(QStringLiteral("create table origen %1; create table copia %1;").arg(columnas));
    int id = 0;
    for (const QString& t : kTextosDificiles) {
        ++id;
        ConexionServidor().Execute(QStringLiteral("insert into origen values (?, ?, ?, ?, ?, ?, ?, ?)"), nullptr,
                                   {qint32(id), t, t + t, 1234.5 + id, -0.125 * id,
                                    QDateTime(QDate(2024, 1, id), QTime(13, 45, 7)), qint16(id % 2),
                                    QByteArray("\x00\x01'\\", 4)});
    }
    const auto inserts = std::dynamic_pointer_cast<vb::Collection>(
        CreaInserts(QStringLiteral("select * from origen order by id"), QStringLiteral("copia")));
    ASSERT_TRUE(inserts);
    ASSERT_EQ(inserts->Count(), kTextosDificiles.size());
    EXPECT_TRUE(inserts->Item(1).toString().startsWith(
        "insert into copia (id, nombre, nota, importe, ratio, fecha, activo, datos) values (1, 'O''Neil', "));
    EXPECT_TRUE(inserts->Item(1).toString().contains("1235.5, -0.125, '2024-01-01 13:45:07'"));
    for (const Variant& sql : inserts->items())
        ConexionServidor().Execute(sql.toString());

    const QString lista = QStringLiteral("id, nombre, nota, importe, ratio, fecha, activo, hex(datos)");
    const QString original = consulta(QStringLiteral("select %1 from origen order by id").arg(lista));
    EXPECT_EQ(consulta(QStringLiteral("select %1 from copia order by id").arg(lista)), original);
    EXPECT_TRUE(original.contains("C:\\\\bin")); // the client's batch output escapes the backslash
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(HelpersSql, NullsAreWrittenAsZeroEmptyTextAndTheZeroDate) {
    consulta(QStringLiteral("create table t (n INT, d DOUBLE, f DATETIME, s VARCHAR(10), b TINYINT);"
                            "insert into t values (null, null, null, null, null);"));
    const auto inserts =
        std::dynamic_pointer_cast<vb::Collection>(CreaInserts(QStringLiteral("select * from t"), QStringLiteral("t")));
    ASSERT_EQ(inserts->Count(), 1);
    EXPECT_EQ(inserts->Item(1).toString(), "insert into t (n, d, f, s, b) values (0, 0, '0000-00-00', '', 0)");
    ConexionServidor().Execute(inserts->Item(1).toString());
    EXPECT_EQ(consulta(QStringLiteral("select n, d, f, s, b from t where n is not null")),
              "0\t0\t0000-00-00 00:00:00\t\t0\n");
}

TEST_F(HelpersSql, QuotedTextReadsBackAsItWas) {
    for (const QString& t : kTextosDificiles) {
        EXPECT_EQ(ConsultaRapida(QStringLiteral("select ") + cStringSQL(t)), Variant(t)) << t.toStdString();
        if (t.contains(QLatin1String("\\'")) || t.contains(QLatin1String("\\\\")))
            continue; // addslashes takes these for escaping already done
        QString copia = t;
        EXPECT_EQ(ConsultaRapida(QStringLiteral("select '") + addslashes(copia, false, true) + QLatin1Char('\'')),
                  Variant(t))
            << t.toStdString();
    }
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(HelpersSql, ConsultaRapidaReadsTheFirstRowOrTheDefault) {
    consulta(QStringLiteral("create table t (a INT, b VARCHAR(10)); insert into t values (7, 'siete'), (8, '#ERROR#');"
                            "insert into t values (9, null);"));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select a, b from t order by a"), QStringLiteral("B")),
              Variant(QStringLiteral("siete")));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select a, b from t order by a")).toInt(), 7);
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select b from t where a=8"), {}, nullptr, QStringLiteral("def")),
              Variant(QStringLiteral("def")));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select b from t where a=9"), {}, nullptr, qint32(0)), Variant(qint32(0)));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select a from t where a=100"), {}, nullptr, qint32(-1)),
              Variant(qint32(-1)));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select b from t where a=?"), {}, nullptr, {}, {qint32(7)}),
              Variant(QStringLiteral("siete")));

    // A closed connection is opened again with its stored string.
    ConexionServidor().Close();
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select count(*) from t")).toInt(), 3);

    // A failing statement goes to the central error handler and yields Empty.
    const Variant r = ConsultaRapida(QStringLiteral("select nada from no_existe"), {}, nullptr, qint32(5));
    EXPECT_FALSE(r.isValid());
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("basComunPocketra.ConsultaRapida"));
}

} // namespace
