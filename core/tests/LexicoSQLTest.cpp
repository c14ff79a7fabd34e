// How SQL text is read: statements, literals, names and executable comments, in each server mode.
#include "core/LexicoSQL.h"

#include "platform/Ado.h"
#include "platform/VBError.h"
#include "testsupport/TestEnv.h"
#include <gtest/gtest.h>
#include <random>

using namespace LexicoSQL;

namespace {

// The stretches as text: code as is, texts T<...>, names N<...>, comments C, executable delimiters E.
QString lectura(const QString& s, const Modo& modo) {
    QString r;
    for (const Pieza& p : trocea(s, modo)) {
        const QString t = s.mid(p.inicio, p.fin - p.inicio);
        const bool texto = p.tipo == Tramo::Comillas || p.tipo == Tramo::ComillasDobles;
        r += p.tipo == Tramo::Codigo       ? t
             : texto                       ? "T<" + t + ">"
             : p.tipo == Tramo::Nombre     ? "N<" + t + ">"
             : p.tipo == Tramo::Comentario ? QString("C")
                                           : QString("E");
    }
    return r;
}

// A text literal's body written anew in a '...' literal of that mode: the value the lexer reads in it.
QString literalDeNuevo(QStringView cuerpo, QChar comilla, const Modo& modo) {
    const QString valor = valorLiteral(cuerpo, comilla, modo);
    QString r = QStringLiteral("'");
    for (const QChar c : valor)
        r += c == u'\''                         ? QStringLiteral("''")
             : modo.barrasEscapan && c == u'\\' ? QStringLiteral("\\\\")
             : modo.barrasEscapan && c.isNull() ? QStringLiteral("\\0")
                                                : QString(c);
    return r + u'\'';
}

// The statement as the lexer reads it, written with no comment: code and names as they are, each closed
// text literal by the value read in it (apart from the one before it), each comment and executable
// comment's delimiter a blank (an empty comment after "--", where a blank would open one). Run on the
// server, it answers as the statement itself when the lexer reads it as the server does.
QString comoLoLee(const QString& s, const Modo& modo) {
    QString r;
    for (const Pieza& p : trocea(s, modo)) {
        const QStringView t = QStringView(s).mid(p.inicio, p.fin - p.inicio);
        if (p.tipo == Tramo::Comentario || p.tipo == Tramo::Ejecutable) {
            r += r.endsWith(QLatin1String("--")) ? QStringLiteral("/**/") : QStringLiteral(" ");
        } else if ((p.tipo == Tramo::Comillas || p.tipo == Tramo::ComillasDobles) && p.cierra) {
            if (r.endsWith(u'\''))
                r += u' ';
            r += literalDeNuevo(t.mid(1, t.size() - 2), t.at(0), modo);
        } else {
            r += t;
        }
    }
    return r;
}

// A connection to a scratch database of the test server, in the session mode each case asks for.
class LexicoServidor : public ::testing::Test {
protected:
    void SetUp() override {
        TARVOLIN_REQUIRE_DATABASE();
        db = testenv::createDatabase(QStringLiteral("lexico"), false);
        cn.Open(testenv::connectionString(db));
    }
    void TearDown() override {
        cn.Close();
        if (!db.isEmpty())
            testenv::dropDatabase(db);
    }
    // Sets the session's sql_mode; answers the reading the program takes from the session.
    Modo enModo(const QString& sqlMode) {
        cn.Execute(QStringLiteral("set session sql_mode = '%1'").arg(sqlMode));
        const ado::RecordsetPtr rs = cn.Execute(QStringLiteral("select @@session.sql_mode, @@version"));
        return Modo::deServidor(rs->Fields(0).Value.toString(), rs->Fields(1).Value.toString());
    }
    // The server's answer: its rows as "a|b;c", or "error".
    QString respuesta(const QString& sql) {
        try {
            const ado::RecordsetPtr rs = cn.Execute(sql);
            QStringList filas;
            for (; !rs->isEOF(); rs->MoveNext()) {
                QStringList campos;
                for (int i = 0; i < rs->FieldCount(); ++i)
                    campos << (rs->Fields(i).Value.isNull() ? QStringLiteral("NULL") : rs->Fields(i).Value.toString());
                filas << campos.join(u'|');
            }
            return filas.join(u';');
        } catch (const VBError&) {
            return QStringLiteral("error");
        }
    }
    QString db;
    ado::Connection cn;
};

// A statement as readable text: controls as %XX.
std::string legible(const QString& s) {
    QString r;
    for (const QChar c : s)
        r += c.unicode() < 32 || c.unicode() == 0x7F ? QStringLiteral("%%1").arg(c.unicode(), 2, 16, QChar(u'0'))
                                                     : QString(c);
    return r.toStdString();
}

} // namespace

// Each row is also run on the test server: the statement answers as the row says, and so does the
// lexer's reading of it written without comments (comoLoLee), unless the lexer says it is uncertain.
TEST_F(LexicoServidor, EachModeReadsLiteralsNamesAndExecutableCommentsAsTheServerDoes) {
    const Modo usual{.version = 101119}, sinBarras{.barrasEscapan = false, .version = 101119},
        ansi{.comillasDoblesNombran = true, .version = 101119}, sinVersion{};
    const std::tuple<QString, Modo, QString, bool, QString> casos[] = {
        // sql | mode | read as | uncertain | the server's answer
        {R"(select 'C:\t\', 'x')", usual, R"(select T<'C:\t\', '>xT<'>)", false, "error"},
        {R"(select 'C:\t\', 'x')", sinBarras, R"(select T<'C:\t\'>, T<'x'>)", false, R"(C:\t\|x)"},
        {R"(select "a""b", `c`)", usual, R"(select T<"a""b">, N<`c`>)", false, "error"},
        {R"(select "a""b", `c`)", ansi, R"(select N<"a""b">, N<`c`>)", false, "error"},
        {"select 1 /*! , 'a' */ , 2", usual, "select 1 E , T<'a'> E , 2", false, "1|a|2"},
        {"select 1 /*M!100000 , 'a' */", usual, "select 1 E , T<'a'> E", false, "1|a"},
        {"select 1 /*M!999999 , ' */ , 2", usual, "select 1 C , 2", false, "1|2"},
        {"select 1 /*!50700 , ' */ , 2", usual, "select 1 C , 2", false, "1|2"},
        {"select 1 /*!50699 , 'a' */", usual, "select 1 E , T<'a'> E", false, "1|a"},
        {"select 1 /*!123 , 2 */", usual, "select 1 E123 , 2 E", false, "error"},
        {"select 1 /*!50000 , 'a' */", sinVersion, "select 1 E , T<'a'> E", true, "1|a"},
        {"select 1 /*! , /*! 2 */ 3", usual, "select 1 E , E 2 E 3", true, "error"},
        {"select 1 /*m! , 2 */ -- x\n#y\n", usual, "select 1 C C\nC\n", false, "1"},
        {"select 1 /*!, 2 /* x */ , 3 */", usual, "select 1 E, 2 C , 3 E", false, "1|2|3"},
        // MySQL's versions from 5.7 on are skipped in six digits too, unless the comment is MariaDB's
        {"select 1 /*!050700 +1 */, 1 /*!099999 +1 */, 1 /*!009999 +1 */", usual, "select 1 C, 1 C, 1 E +1 E", false,
         "1|1|2"},
        {"select 1 /*M!050700 +1 */, 1 /*!100000 +1 */", usual, "select 1 E +1 E, 1 E +1 E", false, "2|2"},
        // a skipped versioned comment holds one comment inside it, a plain comment none
        {"select 1 /*!99999 /* x */ +1 */ +2", usual, "select 1 C +2", false, "3"},
        {"select 1 /*!99999 /*/ ' */ +1 */ +2", usual, "select 1 C +2", false, "3"},
        {"select 1 /*M!999999 /* /* */ +1 */ +2", usual, "select 1 C +2", false, "3"},
        {"select 1 /*!50000 /*!99999 /* a */ +1 */ +2 */ +4", usual, "select 1 E C +2 E +4", false, "7"},
        {"select 'a' /*!99999 ' */ , 'b'", usual, "select T<'a'> C , T<'b'>", false, "a|b"},
        {"select 1 /* /* x */ +1 */ +2", usual, "select 1 C +1 */ +2", false, "error"},
        // "--" before DEL or a control character; not before other characters
        {"select 2 --\x7f, 3\n", usual, "select 2 C\n", false, "2"},
        {"select 2 --\x01, 3", usual, "select 2 C", false, "2"},
        {"select 2 --", usual, "select 2 --", false, "2"}, // nothing follows: code here, as before a ";"
        {"select 2 --+1", usual, "select 2 --+1", false, "3"},
        {"select 2 --\u00a0 1", usual, "select 2 --\u00a0 1", false, "error"},
        // a "#" or "--" comment ends at a NUL; a NUL anywhere is not read for sure: the connector may end
        // the statement there (it does over UTF-16), the server reads past it (a syntax error but at the end)
        {QString::fromUtf8("select 2 +# x\0 ' , 3 '", 22), usual, QString::fromUtf8("select 2 +C\0 T<' , 3 '>", 23),
         true, "error"},
        {QString::fromUtf8("select 2 -- x\0", 14), usual, QString::fromUtf8("select 2 C\0", 11), true, "2"},
        {QString::fromUtf8("select 'a\0b' + /* \0 */", 22), usual, QString::fromUtf8("select T<'a\0b'> + C", 19), true,
         "error"},
        // a ";" inside an executable comment ends the statement for the server
        {"select 1 /*!50000 ; select 2 */", usual, "select 1 E ; select 2 E", true, "error"},
    };
    const Modo delServidor = enModo({});
    for (const auto& [sql, modo, leido, incierto, responde] : casos) {
        SCOPED_TRACE(legible(sql));
        bool dudoso = false;
        trocea(sql, modo, &dudoso);
        EXPECT_EQ(lectura(sql, modo), leido);
        EXPECT_EQ(dudoso, incierto);
        const Modo servidor = enModo(!modo.barrasEscapan          ? "NO_BACKSLASH_ESCAPES"
                                     : modo.comillasDoblesNombran ? "ANSI_QUOTES"
                                                                  : "");
        EXPECT_EQ(respuesta(sql), responde);
        bool dudaServidor = false;
        trocea(sql, servidor, &dudaServidor);
        if (!dudaServidor) {
            EXPECT_EQ(respuesta(comoLoLee(sql, servidor)), responde) << legible(comoLoLee(sql, servidor));
        }
    }
    enModo({});
    EXPECT_GE(delServidor.version, 100000); // the rows' versions are read as a MariaDB 10 or later reads them
    // ";" inside a literal of one mode ends the statement in the other; never inside an executable comment
    EXPECT_EQ(divide(R"(select 'a\'; select 2; ')", usual), QStringList{R"(select 'a\'; select 2; ')"});
    EXPECT_EQ(divide(R"(select 'a\'; select 2)", sinBarras), (QStringList{R"(select 'a\')", " select 2"}));
    EXPECT_EQ(divide("select 1 /*! ; select 2 */; -- fin", usual), QStringList{"select 1 /*! ; select 2 */"});
    QString primera;
    EXPECT_EQ(siguiente(" ; /* x */ select 1; select 2", 0, usual, &primera), 20);
    EXPECT_EQ(primera, " /* x */ select 1");
    EXPECT_EQ(palabras("/* a */ TRUNCATE table `x` -- y"), (QStringList{"TRUNCATE", "TABLE"}));
    EXPECT_EQ(sinComentarios("a /* b */ 'c' # d"), "a   'c'  ");
    const Modo leido = Modo::deServidor("STRICT_TRANS_TABLES,NO_BACKSLASH_ESCAPES,ANSI_QUOTES", "10.11.19-MariaDB-0");
    EXPECT_EQ(std::tuple(leido.barrasEscapan, leido.comillasDoblesNombran, leido.version),
              std::tuple(false, true, 101119));
}

// Statements made of the pieces where a reading can go wrong (comment marks of every form, versions on
// both sides of the skipped range, quotes, escapes, DEL, NUL, line ends, ";"), in each mode: whenever
// the server runs one, the lexer's reading of it written without comments answers the same. A fixed
// seed: a failure names the statement, which then belongs in the table above.
TEST_F(LexicoServidor, TheServerRunsEveryGeneratedStatementAsTheLexerReadsIt) {
    const QString piezas[] = {"+1",        "+2",        "+4",       "+8",         "/*",
                              "*/",        "/*!",       "/*!50000", "/*!99999",   "/*!050700",
                              "/*!099999", "/*!009999", "/*M!",     "/*M!100000", "/*M!999999",
                              "/*!50700",  "/*m!",      "#",        "-- ",        "--",
                              "--\x7f",    "--\t",      "-",        "\n",         QString(QChar(0)),
                              "'",         "\"",        "`",        "\\",         "''",
                              ",'a'",      ",\"b\"",    " ",        ";",          "/",
                              "*",         "x",         "\r",       "+'1'",       "/* x */",
                              "*/ +4",     "/*/"};
    std::mt19937 azar(20261207);
    std::uniform_int_distribution<int> cuantas(1, 9), cual(0, int(std::size(piezas)) - 1);
    for (const char* sqlMode : {"", "NO_BACKSLASH_ESCAPES", "ANSI_QUOTES"}) {
        SCOPED_TRACE(sqlMode);
        const Modo modo = enModo(sqlMode);
        int corridas = 0;
        for (int n = 0; n < 2000; ++n) {
            QString sql = QStringLiteral("select 16");
            for (int k = cuantas(azar); k > 0; --k)
                sql += piezas[cual(azar)];
            sql += QStringLiteral(" +32");
            // what the program sends: the first statement the lexer cuts
            QString sentencia;
            siguiente(sql, 0, modo, &sentencia);
            bool incierto = false;
            trocea(sentencia, modo, &incierto);
            if (sentencia.isNull() || incierto)
                continue;
            const QString servidor = respuesta(sentencia);
            if (servidor == QLatin1String("error"))
                continue; // nothing runs: no reading to compare
            ++corridas;
            EXPECT_EQ(respuesta(comoLoLee(sentencia, modo)), servidor) << legible(sentencia);
        }
        EXPECT_GE(corridas, 300); // enough statements ran to prove something
    }
}
