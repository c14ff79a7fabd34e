// How SQL text is read: statements, literals, names and executable comments, in each server mode.
#include "core/LexicoSQL.h"

#include "testsupport/TestEnv.h"
#include <gtest/gtest.h>

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

} // namespace

TEST(LexicoSQL, EachModeReadsLiteralsNamesAndExecutableCommentsAsTheServerDoes) {
    const Modo usual{.version = 101119}, sinBarras{.barrasEscapan = false, .version = 101119},
        ansi{.comillasDoblesNombran = true, .version = 101119}, sinVersion{};
    const std::tuple<const char*, Modo, const char*, bool> casos[] = {
        // sql | mode | read as | uncertain
        {R"(select 'C:\t\', 'x')", usual, R"(select T<'C:\t\', '>xT<'>)", false},
        {R"(select 'C:\t\', 'x')", sinBarras, R"(select T<'C:\t\'>, T<'x'>)", false},
        {R"(select "a""b", `c`)", usual, R"(select T<"a""b">, N<`c`>)", false},
        {R"(select "a""b", `c`)", ansi, R"(select N<"a""b">, N<`c`>)", false},
        {"select 1 /*! , 'a' */ , 2", usual, "select 1 E , T<'a'> E , 2", false},
        {"select 1 /*M!100000 , 'a' */", usual, "select 1 E , T<'a'> E", false},
        {"select 1 /*M!999999 , ' */ , 2", usual, "select 1 C , 2", false},
        {"select 1 /*!50700 , ' */ , 2", usual, "select 1 C , 2", false},
        {"select 1 /*!50699 , 'a' */", usual, "select 1 E , T<'a'> E", false},
        {"select 1 /*!123 , 2 */", usual, "select 1 E123 , 2 E", false},
        {"select 1 /*!50000 , 'a' */", sinVersion, "select 1 E , T<'a'> E", true},
        {"select 1 /*! , /*! 2 */ 3", usual, "select 1 E , E 2 E 3", true},
        {"select 1 /*m! , 2 */ -- x\n#y\n", usual, "select 1 C C\nC\n", false},
        {"select 1 /*!, 2 /* x */ , 3 */", usual, "select 1 E, 2 C , 3 E", false},
    };
    for (const auto& [sql, modo, leido, incierto] : casos) {
        bool dudoso = false;
        trocea(sql, modo, &dudoso);
        EXPECT_EQ(lectura(sql, modo), QString(leido)) << sql;
        EXPECT_EQ(dudoso, incierto) << sql;
    }
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
