// basFuncionesComunes: conversions under the C and a Spanish locale, and the SQL helpers on the real server.
#include "core/basFuncionesComunes.h"
#include "core/tests/ConnectedCore.h"
#include "platform/Clock.h"
#include "platform/Collections.h"

#include <QLocale>
#include <clocale>

using namespace basFuncionesComunes;

namespace {

// Qt's default locale and the C library's (when the machine has es_ES.UTF-8).
void ponLocale(bool espanol) {
    QLocale::setDefault(espanol ? QLocale(QLocale::Spanish, QLocale::Spain) : QLocale::c());
    std::setlocale(LC_ALL, espanol ? "es_ES.UTF-8" : "C");
}

class basFuncionesComunesTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ponLocale(GetParam());
        prompts::install(&m_prompts);
    }
    void TearDown() override {
        EXPECT_TRUE(m_prompts.calls.empty()); // no rule here asks the operator anything
        prompts::install(nullptr);
        ponLocale(false);
        setSustituyeTags(nullptr);
    }
    prompts::ScriptedPrompts m_prompts;
};

INSTANTIATE_TEST_SUITE_P(Locales, basFuncionesComunesTest, ::testing::Values(false, true),
                         [](const auto& i) { return i.param ? "es" : "C"; });

TEST_P(basFuncionesComunesTest, ValNumeroReadsTheLeadingDecimalNumberWithCommaOrPoint) {
    const std::pair<const char*, double> casos[] = {
        {"", 0},          {"abc", 0},   {"12", 12},       {"  12.5kg", 12.5}, {"1,5", 1.5},
        {"-3,25", -3.25}, {"+.5", 0.5}, {"5.", 5},        {"1e3", 1000},      {"1E-2", 0.01},
        {"1e", 1},        {"1e+", 1},   {"2.5e3x", 2500}, {"1.2.3", 1.2},     {"1.000,50", 1},
        {"1e400", 0},     {"-", 0},     {".", 0},         {"inf", 0},         {"nan", 0},
        {"\t 7", 7},      {"1 2", 1},   {"&H10", 0},      {"0x1A", 0},        {"-0,001", -0.001},
    };
    for (const auto& [texto, esperado] : casos)
        EXPECT_DOUBLE_EQ(ValNumero(QString::fromUtf8(texto)), esperado) << texto;
}

TEST_P(basFuncionesComunesTest, NumbersBecomeTextWithAPointWhateverTheLocale) {
    EXPECT_EQ(NumeroATexto(vb::Null(), true), "null");
    for (const Variant& cero : {vb::Null(), Variant(), Variant(QStringLiteral("#ERROR#"))})
        EXPECT_EQ(NumeroATexto(cero), "0");
    const std::tuple<Variant, QString, const char*> casos[] = {{-1234.5, "", "-1234.5"},
                                                               {0.1 + 0.2, "", "0.3"},
                                                               {QStringLiteral("2,75"), "", "2.75"},
                                                               {2.345, "###0.00", "2.35"},
                                                               {-2.345, MascaraDecimales(-1), "-2.35"},
                                                               {QStringLiteral("abc"), "0.00", "abc"}};
    for (const auto& [valor, mascara, esperado] : casos)
        EXPECT_EQ(NumeroATexto(valor, false, mascara), esperado) << mascara.toStdString();
}

TEST_P(basFuncionesComunesTest, MasksRoundHalfAwayFromZeroOnTheDecimalValue) {
    const std::tuple<double, const char*, const char*> casos[] = {
        {-2.345, "0.00", "-2.35"},   {2.675, "0.00", "2.68"},  {1.005, "0.00", "1.01"},      {2.5, "0", "3"},
        {-0.5, "0", "-1"},           {-0.004, "0.00", "0.00"}, {9.995, "0.00", "10.00"},     {12, "0000000", "0000012"},
        {0.5, "#.##", ".5"},         {5, "#.##", "5."},        {0.256, "0%", "26%"},         {-3, "0;(0)", "(3)"},
        {0, "0;(0);cero", "cero"},   {12.5, "0.00#", "12.50"}, {12.3456, "0.00#", "12.346"}, {0, "###0", "0"},
        {1234, "000-000", "001-234"}};
    for (const auto& [valor, mascara, esperado] : casos)
        EXPECT_EQ(FormatNumero(valor, QString::fromUtf8(mascara)), QString::fromUtf8(esperado))
            << valor << " " << mascara;
    EXPECT_EQ(FormatNumero(7, QStringLiteral("\"N\u00ba \"0")), QStringLiteral("N\u00ba 7"));
    EXPECT_EQ(FormatNumero(1234567.5, QStringLiteral("#,##0.00")), "1,234,567.50");
}

// The fraction is rounded to two places first: 0.00496 at two decimals scales to 0.496, which counts as 0.50.
TEST_P(basFuncionesComunesTest, RedondearRoundsAwayFromZeroFromTheFractionRoundedToTwoPlaces) {
    const std::tuple<double, qint16, double> casos[] = {
        {2.345, 2, 2.35}, {-2.345, 2, -2.35}, {1.005, 2, 1.01},         {2.5, 0, 3},
        {-2.5, 0, -3},    {1.2345, -1, 1.23}, {1234.5678, 3, 1234.568}, {0.004949, 2, 0},
        {1.494, 0, 1},    {1.496, 0, 2},      {0.00496, 2, 0.01}};
    for (const auto& [valor, decimales, esperado] : casos)
        EXPECT_DOUBLE_EQ(Redondear(valor, decimales), esperado) << valor << " " << decimales;
}

// The trace lines' seconds: a Single as VB writes it (7 digits, a point whatever the locale), or fixed
// decimals of the exact figure.
TEST_P(basFuncionesComunesTest, TextoSegundosAsTheTraceLinesShowIt) {
    clock_seam::setNowSource([] { return QDateTime(QDate(2024, 3, 7), QTime(12, 34, 56, 789)); });
    EXPECT_EQ(TextoSegundos(), "45296.79");
    EXPECT_EQ(TextoSegundos(3), "45296.789");
    clock_seam::setNowSource([] { return QDateTime(QDate(2024, 3, 7), QTime(12, 34, 57, 500)); });
    EXPECT_EQ(TextoSegundos(), "45297.5"); // the text follows the clock
    clock_seam::setNowSource(nullptr);
}

TEST_P(basFuncionesComunesTest, AlineaTextoPadsCutsAndFills) {
    EXPECT_EQ(AlineaTexto("ab", 4, false, false, "xy"), "xyxyab");
    EXPECT_EQ(AlineaTexto("abcdef", 3), "abc");
    EXPECT_EQ(AlineaTexto(" ab ", 4, true, true, " "), "ab  ");
    EXPECT_EQ(AlineaTexto("ab", -3, false, false, " "), ""); // a negative width fits to nothing instead of failing
    // A character outside the basic plane is one column (it prints as one byte) and is never cut in two.
    const QString cara = QStringLiteral("\U0001F600");
    EXPECT_EQ(AlineaTexto(cara + "a", 4), cara + "a  ");
    EXPECT_EQ(AlineaTexto(cara + cara + "a", 2), cara + cara);
    EXPECT_EQ(AlineaTexto("a" + cara, 1), "a");
    EXPECT_EQ(AlineaTexto(cara, 3, false, false, "-"), "--" + cara);
}

TEST_P(basFuncionesComunesTest, AjustaTextoWrapsAtBlanksKeepsLineFeedsAndAppliesTheMarkupFirst) {
    const std::tuple<int, const char*, int, const char*> casos[] = {
        {42, "", 0, ""},
        {42, "uno\ndos", 0, "uno\ndos"},
        {10, "uno dos tres cuatro", 2, "  uno dos\r\n  tres\r\n  cuatro"},
        // a word longer than the width stays whole on its own line
        {5, "x abcdefghij kl", 0, "x\r\nabcdefghij\r\nkl"},
        // the line feed ends its piece and stays at its end, with no CR LF added
        {8, "ab\ncdef gh ij", 0, "ab\ncdef gh\r\nij"},
        // the window widened for a long word stays wide for the line-feed search of the next lines
        {5, "ab cdefghijkl\nmn op qr", 0, "ab\r\ncdefghijkl\nmn\r\nop\r\nqr"},
        {4, "a abcdefgh ij\nkl\nmn op", 0, "a\r\nabcdefgh\r\nij\nkl\nmn\r\nop"},
        {6, "abcdefghij klm\nno pq", 1, " abcdefghij klm\nno pq\r\n"},
        // blanks only, no blank, no room
        {4, "  a   b  ", 0, "a\r\nb\r\n"},
        {-2, "ab cd ef", 0, "ab cd ef\r\n"},
        {3, "a b c d e f", 5, "     a b c d e f\r\n"},
        {5, "\U0001F600\U0001F600\U0001F600 ab", 0, "\U0001F600\U0001F600\U0001F600\r\nab"},
        {5, "\U0001F600\U0001F600 ab cd", 0, "\U0001F600\U0001F600 ab\r\ncd"},
    };
    for (const auto& [ancho, texto, sangria, esperado] : casos)
        EXPECT_EQ(AjustaTexto(ancho, QString::fromUtf8(texto), sangria), QString::fromUtf8(esperado)) << texto;
    // No 16-bit limit on the text's length.
    EXPECT_EQ(AjustaTexto(42, QStringLiteral("palabra ").repeated(5000), 0),
              QStringList(1000, QStringLiteral("palabra palabra palabra palabra palabra")).join("\r\n"));

    setSustituyeTags([](const QString& t) { return QString(t).replace(QLatin1String("<b>"), QLatin1String("*")); });
    QString texto = QStringLiteral("<b>sopa <b>fria");
    EXPECT_EQ(AjustaTexto(6, texto, 0), "*sopa\r\n*fria");
    EXPECT_EQ(texto, "*sopa *fria");
}

TEST(basFuncionesComunes, MissingValuesBinaryMarksAndFieldsConvert) {
    const Variant def = QStringLiteral("def");
    for (const Variant& v : {Variant(QStringLiteral("#ERROR#")), vb::Null(), Variant(),
                             vb::FromObject(std::make_shared<vb::Collection>()), Variant(QVariantList{1, 2})})
        EXPECT_EQ(VarToStr(v, def), def);
    const Variant cero = VarToStr(qint32(0), def);
    EXPECT_EQ(cero.typeId(), QMetaType::Int); // the value itself, not its text
    EXPECT_EQ(VarToStr(QStringLiteral(" x "), def), QStringLiteral(" x "));
    EXPECT_EQ(VarToStr(QByteArray("\x80 5"), def, true), QStringLiteral("\u20ac 5"));

    EXPECT_TRUE(esBinaryString(QStringLiteral("???a")));
    EXPECT_FALSE(esBinaryString(QStringLiteral("a??")));
    EXPECT_EQ(BinaryToString(QStringLiteral("???")), QStringLiteral("???"));
    EXPECT_EQ(BinaryToString(qint32(5)), Variant(qint32(5)));

    // Vc converts a field (type -1: none) to the kind of the sample (Nulls by field type: clsDR's tests).
    const std::tuple<int, Variant, Variant, Variant> casos[] = {
        {ado::adInteger, qint32(5), QString(), QStringLiteral("5")},
        {ado::adVarChar, QStringLiteral("2,5 kg"), qint16(0), 2.5},
        {ado::adVarChar, vb::Null(), QString(), QString()},
        {-1, Variant(), QStringLiteral("x"), QString()},
        {-1, Variant(), vb::Null(), qint16(0)},
        {ado::adUnsignedInt, vb::Null(), Variant(), 0.0},
        {ado::adBoolean, vb::Null(), Variant(), false}};
    for (const auto& [tipo, valor, muestra, esperado] : casos) {
        const ado::Field campo{QStringLiteral("c"), tipo, 20, 0, valor};
        EXPECT_EQ(Vc(tipo < 0 ? nullptr : &campo, muestra), esperado) << tipo << " " << vb::CStr(valor).toStdString();
    }
}

TEST(basFuncionesComunes, CreaDeleteAndTagsAreTextRules) {
    EXPECT_EQ(CreaDelete("SELECT * FROM t WHERE a=1"), ""); // " from " in its exact case only
    QString t = QStringLiteral("<B>Hola</b><br />mundo<P><i>x</i><SPAN>y</span>");
    EXPECT_EQ(QuitarTagsHTML(t), "Holamundo<i>x</i>y");
    EXPECT_EQ(t, "Holamundo<i>x</i>y");
    EXPECT_EQ(QuitaHtml("<p>Hola&nbsp;<b>Ana</b></p>2 &lt; 3 &amp; &euro;&#241;&#xE1; &bogus;"),
              QStringLiteral("Hola Ana\r\n2 < 3 & \u20ac\u00f1\u00e1 &bogus;"));
}

// Texts whose quoting must read back unchanged.
const QStringList kTextosDificiles =
    QString::fromUtf8(R"(O'Neil|C:\bin|say "hi"|dir\|\'mezcla\\|€ ñ á ¿?|'; drop table origen; --)").split('|')
    << QStringLiteral("l\u00ednea\nnueva");

// On a connected core, under the Spanish locale.
class basFuncionesComunesSqlTest : public coretest::ConnectedCoreTest {
protected:
    basFuncionesComunesSqlTest() : ConnectedCoreTest("helpers", {}) {}
    void SetUp() override {
        ConnectedCoreTest::SetUp();
        ponLocale(true);
    }
    void TearDown() override {
        EXPECT_TRUE(m_prompts.calls.empty());
        ponLocale(false);
        ConnectedCoreTest::TearDown();
    }
};

TEST_F(basFuncionesComunesSqlTest, CreaInsertsCopiesRowsUnchangedThroughTheServer) {
    const QString columnas =
        QStringLiteral("(id INT PRIMARY KEY, nombre VARCHAR(100), nota TEXT, importe DECIMAL(12,4), ratio DOUBLE, "
                       "fecha DATETIME, activo TINYINT, datos BLOB)");
    m_core->sql(QStringLiteral("create table origen %1; create table copia %1;").arg(columnas));
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
    for (const Variant& sql : inserts->items())
        ConexionServidor().Execute(sql.toString());

    const QString lista = QStringLiteral("id, nombre, nota, importe, ratio, fecha, activo, hex(datos)");
    const QString original = m_core->valor(QStringLiteral("select %1 from origen order by id").arg(lista));
    EXPECT_EQ(m_core->valor(QStringLiteral("select %1 from copia order by id").arg(lista)), original);
    EXPECT_TRUE(original.contains("C:\\\\bin")); // the client's batch output escapes the backslash

    // Nulls are written as zero, the empty text and the zero date.
    m_core->sql(QStringLiteral("create table t (n INT, d DOUBLE, f DATETIME, s VARCHAR(10), b TINYINT);"
                               "insert into t values (null, null, null, null, null);"));
    const auto nulos =
        std::dynamic_pointer_cast<vb::Collection>(CreaInserts(QStringLiteral("select * from t"), QStringLiteral("t")));
    ASSERT_EQ(nulos->Count(), 1);
    EXPECT_EQ(nulos->Item(1).toString(), "insert into t (n, d, f, s, b) values (0, 0, '0000-00-00', '', 0)");
    ConexionServidor().Execute(nulos->Item(1).toString());
    EXPECT_EQ(m_core->valor(QStringLiteral("select n, d, f, s, b from t where n is not null")),
              "0\t0\t0000-00-00 00:00:00\t\t0");
}

TEST_F(basFuncionesComunesSqlTest, QuotedTextReadsBackAsItWas) {
    for (const QString& t : kTextosDificiles) {
        EXPECT_EQ(ConsultaRapida(QStringLiteral("select ") + cStringSQL(t)), Variant(t)) << t.toStdString();
        if (t.contains(QLatin1String("\\'")) || t.contains(QLatin1String("\\\\")))
            continue; // addslashes takes these for escaping already done
        QString copia = t;
        EXPECT_EQ(ConsultaRapida(QStringLiteral("select '") + addslashes(copia, false, true) + QLatin1Char('\'')),
                  Variant(t))
            << t.toStdString();
    }
}

TEST_F(basFuncionesComunesSqlTest, ConsultaRapidaReadsTheFirstRowOrTheDefault) {
    m_core->sql(
        QStringLiteral("create table t (a INT, b VARCHAR(10)); insert into t values (7, 'siete'), (8, '#ERROR#');"
                       "insert into t values (9, null);"));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select a, b from t order by a"), QStringLiteral("B")),
              Variant(QStringLiteral("siete")));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select b from t where a=8"), {}, nullptr, QStringLiteral("def")),
              Variant(QStringLiteral("def")));
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select a from t where a=100"), {}, nullptr, qint32(-1)),
              Variant(qint32(-1)));

    // A closed connection is opened again with its stored string.
    ConexionServidor().Close();
    EXPECT_EQ(ConsultaRapida(QStringLiteral("select count(*) from t")).toInt(), 3);

    // A failing statement goes to the central error handler and yields Empty.
    EXPECT_FALSE(ConsultaRapida(QStringLiteral("select nada from no_existe"), {}, nullptr, qint32(5)).isValid());
    EXPECT_TRUE(recordingMainWindow().grid.join('\n').contains("basComunPocketra.ConsultaRapida"));
}

} // namespace
