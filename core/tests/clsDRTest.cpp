// The query helper against the real driver: rows as entities, NULLs by type, bound values.
#include "core/tests/ConnectedCore.h"

namespace {

class clsDRTest : public coretest::ConnectedCoreTest {
protected:
    clsDRTest()
        : ConnectedCoreTest("core_dr",
                            "create table t (id int primary key, n int, big bigint, dec_ decimal(10,2), f double, "
                            "b tinyint(1), bt bit(1), d date, dt datetime, s varchar(20), tx text);"
                            "insert into t values (1, 5, 9000000000, 12.50, 0.25, 1, b'1', '2024-02-29', "
                            "'2024-02-29 13:14:15', 'uno', 'largo'),"
                            "(2, null, null, null, null, null, null, null, null, null, null),"
                            "(3, 7, 0, 0, 0, 0, b'0', null, null, '', '');") {}
};

// A row as name=value pairs in field order, each value with its VarType.
std::string fila(const vb::EntidadPtr& e) {
    QStringList r;
    for (int i = 1; i <= e->Count(); ++i)
        r << QStringLiteral("%1=%2:%3").arg(e->NombreItem(i), vb::CStr(e->Item(i))).arg(vb::VarType(e->Item(i)));
    return r.join(QLatin1Char(' ')).toStdString();
}

// NULL reads as 0 for numbers and dates and as the empty text for texts; never Null.
TEST_F(clsDRTest, RowsBecomeEntitiesWithNullsByTypeAndFirstRowAndScalarDefaults) {
    const vb::ColeccionPtr filas = DR->Query("select * from t order by id", "x");
    ASSERT_EQ(filas->Count(), 3);
    EXPECT_EQ(fila(filas->Item(1)),
              "id=1:3 n=5:3 big=9000000000:14 dec_=12.5:5 f=0.25:5 b=1:2 bt=True:11 d=29/02/2024:7 "
              "dt=29/02/2024 13:14:15:7 s=uno:8 tx=largo:8 __tabla=x:8");
    EXPECT_EQ(fila(filas->Item(2)),
              "id=2:3 n=0:3 big=0:3 dec_=0:3 f=0:3 b=0:3 bt=False:11 d=0:3 dt=0:3 s=:8 tx=:8 __tabla=x:8");
    // Without a table name "__tabla" is the empty text; an empty result is an empty collection.
    EXPECT_EQ(DR->Query("select id from t where id = 3")->Item(1)->Valor("__tabla").toString(), "");
    EXPECT_EQ(DR->Query("select * from t where id = 0")->Count(), 0);

    // The first row and the scalar, and their defaults.
    const vb::EntidadPtr primera = DR->QueryFirst("select id, s from t where id >= ? order by id", "t", {Variant(2)});
    ASSERT_TRUE(primera);
    EXPECT_EQ(vb::CLng(primera->Valor("id")), 2);
    EXPECT_EQ(primera->Valor("__tabla").toString(), "t");
    EXPECT_EQ(DR->QueryFirst("select * from t where id = 99"), nullptr);

    EXPECT_EQ(vb::CStr(DR->QueryScalar("select s from t where id = 1")), "uno");
    EXPECT_EQ(vb::CLng(DR->QueryScalar("select id, n from t where id = ?", QString(), "n", {Variant(3)})), 7);
    EXPECT_EQ(DR->QueryScalar("select s from t where id = 99").toString(), "");
    EXPECT_EQ(DR->QueryScalar("select s from t where id = 99", QStringLiteral("nada")).toString(), "nada");

    // A failure names the helper and the statement, and keeps the error's number.
    try {
        DR->QueryFirst("select * from no_existe");
        FAIL() << "no error";
    } catch (const VBError& e) {
        EXPECT_EQ(e.number(), vb::err::AdoUnknownObject);
        EXPECT_TRUE(e.description().startsWith("clsDR.queryFirst: "));
        EXPECT_TRUE(e.description().endsWith("\r\nselect * from no_existe"));
    }
    EXPECT_THROW(DR->Query("select * from no_existe"), VBError);
}

TEST_F(clsDRTest, ExecuteCountsRowsBindsTextExactlyAndReportsFailures) {
    qint64 afectadas = -5;
    EXPECT_TRUE(DR->QueryExecute("update t set n = 1", &afectadas));
    EXPECT_EQ(afectadas, 3);

    const QString raro = QStringLiteral("O'Brien \\ 100% _ \"€\" ñ\\");
    EXPECT_TRUE(DR->QueryExecute("update t set tx = ? where id = ?", nullptr, {Variant(raro), Variant(1)}));
    EXPECT_EQ(DR->QueryScalar("select tx from t where id = 1").toString(), raro);
    EXPECT_EQ(vb::CLng(DR->QueryScalar("select count(*) from t where tx = ?", 0, {}, {Variant(raro)})), 1);

    recordingMainWindow().grid.clear();
    EXPECT_FALSE(DR->QueryExecute("updat t set n = 2", &afectadas));
    EXPECT_EQ(afectadas, 0);
    EXPECT_TRUE(recordingMainWindow().grid.value(0).startsWith("ERROR: clsDR.QueryExecute: "));
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk); // a syntax error is no lost link
}

} // namespace
