// The query helper against the real driver: rows as entities, NULLs by type, bound values.
#include "core/tests/ConnectedCore.h"

#include "platform/Prompts.h"
#include "testsupport/RecordingMainWindow.h"

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

TEST_F(clsDRTest, RowsBecomeEntitiesInFieldOrderWithNullsByTypeAndTheTable) {
    const vb::ColeccionPtr filas = DR->Query("select * from t order by id", "x");
    ASSERT_EQ(filas->Count(), 3);

    const vb::EntidadPtr uno = filas->Item(1);
    const QStringList nombres{"id", "n", "big", "dec_", "f", "b", "bt", "d", "dt", "s", "tx", "__tabla"};
    ASSERT_EQ(uno->Count(), nombres.size());
    for (int i = 0; i < nombres.size(); ++i)
        EXPECT_EQ(uno->NombreItem(i + 1), nombres.at(i));
    EXPECT_EQ(vb::CLng(uno->Valor("n")), 5);
    EXPECT_EQ(vb::CDbl(uno->Valor("big")), 9000000000.0);
    EXPECT_EQ(vb::CDbl(uno->Valor("dec_")), 12.5);
    EXPECT_EQ(vb::CDbl(uno->Valor("f")), 0.25);
    EXPECT_EQ(vb::CDate(uno->Valor("dt")), QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15)));
    EXPECT_EQ(vb::CDate(uno->Valor("d")).date(), QDate(2024, 2, 29));
    EXPECT_EQ(uno->Valor("s").toString(), "uno");
    EXPECT_EQ(uno->Valor("tx").toString(), "largo");
    EXPECT_EQ(uno->Valor("__tabla").toString(), "x");

    // NULL: 0 for numbers and dates, the empty text for texts; never Null.
    const vb::EntidadPtr nulos = filas->Item(2);
    for (const char* campo : {"n", "big", "dec_", "f", "b", "bt", "d", "dt", "s", "tx"}) {
        const Variant v = nulos->Valor(campo);
        EXPECT_FALSE(vb::IsNull(v)) << campo;
        EXPECT_FALSE(vb::IsEmpty(v)) << campo;
    }
    for (const char* campo : {"n", "big", "dec_", "f", "b"})
        EXPECT_EQ(vb::CDbl(nulos->Valor(campo)), 0.0) << campo;
    EXPECT_FALSE(vb::CBool(nulos->Valor("bt")));
    EXPECT_EQ(vb::CDbl(nulos->Valor("d")), 0.0);
    EXPECT_EQ(vb::CDbl(nulos->Valor("dt")), 0.0);
    EXPECT_EQ(nulos->Valor("s").toString(), "");
    EXPECT_EQ(vb::VarType(nulos->Valor("s")), 8);
    EXPECT_EQ(vb::VarType(nulos->Valor("tx")), 8);

    // Without a table name "__tabla" is the empty text; an empty result is an empty collection.
    EXPECT_EQ(DR->Query("select id from t where id = 3")->Item(1)->Valor("__tabla").toString(), "");
    const vb::ColeccionPtr vacia = DR->Query("select * from t where id = 0");
    ASSERT_TRUE(vacia);
    EXPECT_EQ(vacia->Count(), 0);
}

TEST_F(clsDRTest, FirstRowScalarAndTheirDefaults) {
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
        EXPECT_EQ(e.number(), -2147217865);
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
    EXPECT_TRUE(DR->QueryExecute("update t set s = ? where id = ?", nullptr, {Variant(raro.left(20)), Variant(1)}));
    EXPECT_TRUE(DR->QueryExecute("update t set tx = ? where id = ?", nullptr, {Variant(raro), Variant(1)}));
    EXPECT_EQ(DR->QueryScalar("select tx from t where id = 1").toString(), raro);
    EXPECT_EQ(vb::CLng(DR->QueryScalar("select count(*) from t where tx = ?", 0, {}, {Variant(raro)})), 1);

    recordingMainWindow().grid.clear();
    EXPECT_FALSE(DR->QueryExecute("updat t set n = 2", &afectadas));
    EXPECT_EQ(afectadas, 0);
    ASSERT_FALSE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.first().startsWith("ERROR: clsDR.QueryExecute: "));
    // A syntax error is no lost link: both connections stay.
    EXPECT_EQ(ConexionServidor().State(), ado::adStateOpen);
    EXPECT_EQ(ConexionLocal().State(), ado::adStateOpen);
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
}

} // namespace
