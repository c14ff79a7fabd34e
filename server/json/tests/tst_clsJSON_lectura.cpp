// The reader: tolerance rules with their exact results and complaints, the error cascade, stuck
// positions, deep nesting and the size of the complaints.
#include "JsonDump.h"
#include "server/json/clsJSON.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/VBError.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using jsontest::dump;

namespace {

QString dumpParse(clsJSON& json, const QString& text) {
    const vb::ObjectPtr o = json.parse(text);
    return jsontest::dumpObject(o);
}

QString repeat(const QString& s, int n) {
    return s.repeated(n);
}

QString lines(const QString& line, int n) {
    return (line + QStringLiteral("\r\n")).repeated(n);
}

const QString kDuplicada = vb::DefaultErrorText(457);

struct Regla {
    const char* regla;
    const char* texto; // UTF-8
    const char* valor; // jsontest::dump of the result
    QString quejas;
};

// clang-format off
const Regla kReglas[] = {
    {"comments and parentheses are blanks", "  /* nota */ ({'a':1})", "{a:d1}", {}},
    {"unquoted and single-quoted keys, literals in any case", "{a:1, 'b':'x', 'c':TRUE, 'd':Null}", "{a:d1,b:'x',c:true,d:null}", {}},
    {"members need no commas", "{'a':1 'b':2}", "{a:d1,b:d2}", {}},
    {"a number that runs to the end is empty", "[1,2", "[d1,~]", "Missing ']': [1,2\r\n"},
    {"a member number that runs to the end is empty", "{'a':1", "{a:~}", "Missing '}': {'a':1\r\n"},
    {"only the last 20 characters follow Missing",
     "{'a':'0123456789abcdefghijklmnopqrstuvwxyz", "{a:'0123456789abcdefghijklmnopqrstuvwxyz'}",
     "Missing '}': ghijklmnopqrstuvwxyz\r\n"},
    {"a character that starts no value is 0 and sticks", "[x]", "[d0,d0,d0,d0,d0]", {}},
    {"a closing brace in an array sticks too", "[}]", "[d0,d0,d0,d0,d0]", {}},
    {"escapes: unknown letter, capital U, capital N", "[\"\\q\", \"\\U0041\", \"\\N\"]", "['q','A','\n']", {}},
    {"escapes of quotes, slash and backslash", "['\\/\\'\\\"\\\\']", "['/'\"\\']", {}},
    {"short \\u reads its hex digits and moves four on", "[\"\\u41x\"]", "['A]']", "Missing ']': [\"\\u41x\"]\r\n"},
    {"\\u in either case", "[\"\\u00e9\\u20AC\"]", "['\xC3\xA9\xE2\x82\xAC']", {}},
    {"the other quote stands for itself", "[\"a'b\",'c\"d']", "['a'b','c\"d']", {}},
    {"an unterminated string keeps what it read", "['abc", "['abc']", "Missing ']': ['abc\r\n"},
    {"line comment to the end of the line", "// nota\n[1]", "[d1]", {}},
    {"a slash inside a line comment ends it", "[1, // c / 2\n]", "[d1,d2]", {}},
    {"a lone star is a blank", "[*1]", "[d1]", {}},
    {"two stars open a long comment", "[1,** 2 */3]", "[d1,d3]", {}},
    {"a star and a slash far apart close a long comment", "[1,/* a * b / 2]", "[d1,d2]", {}},
    {"blanks inside a quoted key are dropped", "{\"first name\" : 1}", "{firstname:d1}", {}},
    {"blanks inside an unquoted key are dropped", "{ first name : 1 }", "{firstname:d1}", {}},
    {"a colon inside quotes belongs to the key", "{'a:b':1}", "{a:b:d1}", {}},
    {"literals in any case", "[tRuE,FALSE,nULL]", "[true,false,null]", {}},
    {"numbers through the longest valid prefix", "[1-2,1.2.3,1e2,-,.,+5,+-1,1E+2,007]",
     "[d1,d1.2,d100,d0,d0,d5,d0,d100,d7]", {}},
    {"a number beyond a double reads 0", "[1e400,-2.5e-3]", "[d0,d-0.0025]", {}},
    {"a bad literal sticks and complains on every pass", "[tx]", "[false,false,false,false,false]",
     lines(QStringLiteral("Invalid Boolean at position 2 : tx]"), 5)},
    {"a bad null is empty, and its text becomes the next key", "{a:nada}", "{a:~,nada}:~}",
     QStringLiteral("Invalid null value at position 4 : nada}\r\nMissing '}': {a:nada}\r\n")},
    {"no colon after a quoted key", "{\"a\" 1}", "{a:d1}", "Invalid Key at position 6 : a\r\n"},
    {"a comma before the brace reads the brace as a key", "{a:1,}", "{a:d1,}:~}", "Missing '}': {a:1,}\r\n"},
    {"what follows the first value is not read", "{a:1} sobra [", "{a:d1}", {}},
    {"the records wrapper reads as its object",
     "( {\"Records\": [\r\n{\"a\":\"1\"}\r\n], \"RecordCount\":\"1\" } )", "{Records:[{a:'1'}],RecordCount:'1'}", {}},
    {"empty containers", "{\"a\":[],\"b\":{},\"c\":[[],[{}]]}", "{a:[],b:{},c:[[],[{}]]}", {}},
    {"keys keep their case and order", "{\"B\":1,\"b\":2,\"A\":3}", "{B:d1,b:d2,A:d3}", {}},
    {"no object or array", "hola", "Nothing", "Invalid JSON"},
    {"an empty text", "", "Nothing", "Invalid JSON"},
};
// clang-format on

TEST(clsJSON_lectura, ToleranceRulesGiveTheirExactResultsAndComplaints) {
    for (const Regla& r : kReglas) {
        SCOPED_TRACE(r.regla);
        clsJSON json;
        EXPECT_EQ(dumpParse(json, QString::fromUtf8(r.texto)), QString::fromUtf8(r.valor));
        EXPECT_EQ(json.GetParserErrors(), r.quejas);
    }
}

TEST(clsJSON_lectura, RepeatedKeyEndsEveryEnclosingLevelWithItsOwnComplaint) {
    clsJSON json;
    EXPECT_EQ(dumpParse(json, QStringLiteral("{'a':1,'a':2}")), QStringLiteral("{a:d1}"));
    EXPECT_EQ(json.GetParserErrors(), kDuplicada + QStringLiteral(": a\r\n"));

    EXPECT_EQ(dumpParse(json, QStringLiteral("{'a':{'b':1,'b':2},'c':3}")), QStringLiteral("{a:{b:d1}}"));
    EXPECT_EQ(json.GetParserErrors(), kDuplicada + QStringLiteral(": b\r\n") + kDuplicada + QStringLiteral(": a\r\n"));

    // An array names the text that follows instead of a key.
    EXPECT_EQ(dumpParse(json, QStringLiteral("[{'b':1,'b':2},5]")), QStringLiteral("[{b:d1}]"));
    EXPECT_EQ(json.GetParserErrors(),
              kDuplicada + QStringLiteral(": b\r\n") + kDuplicada + QStringLiteral(": },5]\r\n"));

    // Three levels down, one line per level, innermost first; later members are not read.
    EXPECT_EQ(dumpParse(json, QStringLiteral("{x:[1,{y:{z:1,z:2}},3],w:4}")), QStringLiteral("{x:[d1,{y:{z:d1}}]}"));
    EXPECT_EQ(json.GetParserErrors(), kDuplicada + QStringLiteral(": z\r\n") + kDuplicada + QStringLiteral(": y\r\n") +
                                          kDuplicada + QStringLiteral(": }},3],w:4}\r\n") + kDuplicada +
                                          QStringLiteral(": x\r\n"));

    // The next parse starts clean.
    EXPECT_EQ(dumpParse(json, QStringLiteral("{'a':1}")), QStringLiteral("{a:d1}"));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());
}

TEST(clsJSON_lectura, StuckPositionsEndTheLevel) {
    clsJSON json;
    EXPECT_EQ(dumpParse(json, QStringLiteral("[nada]")), QStringLiteral("[~,~,~,~,~]"));
    EXPECT_EQ(json.GetParserErrors(), lines(QStringLiteral("Invalid null value at position 2 : nada]"), 5));

    // A long run of garbage costs five passes, not one per character.
    const QString basura = u'[' + QString(100000, u'x') + u']';
    EXPECT_EQ(dumpParse(json, basura), QStringLiteral("[d0,d0,d0,d0,d0]"));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    // Nested levels stuck on the same character each give up in turn.
    EXPECT_EQ(dumpParse(json, QStringLiteral("[[[:]]]")),
              QStringLiteral("[[[d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0]"));
}

TEST(clsJSON_lectura, AnyTextEndsWithBoundedComplaints) {
    // Pieces of JSON and of its tolerated forms, shuffled: every text must come back, and no
    // complaint line may hold more than the longest excerpt.
    const QStringList piezas{"{", "}", "[",  "]",    ",",   ":",    "'",  "\"", "\\",     "\\u",
                             "/", "*", "//", "/*",   "*/",  "\n",   " ",  "(",  ")",      "1",
                             "-", ".", "e",  "true", "fal", "null", "nu", "a",  "\"k\":", "x"};
    QRandomGenerator rng(20240611);
    clsJSON json;
    for (int caso = 0; caso < 3000; ++caso) {
        QString texto;
        const int n = int(rng.bounded(1, 60));
        for (int i = 0; i < n; ++i)
            texto += piezas[int(rng.bounded(qsizetype(piezas.size())))];
        json.parse(texto);
        for (const QString& linea : json.GetParserErrors().split(QStringLiteral("\r\n")))
            ASSERT_LE(linea.size(), 300) << qPrintable(texto);
    }
}

QString nestedArrays(int depth) {
    return repeat(QStringLiteral("["), depth) + u'1' + repeat(QStringLiteral("]"), depth);
}

int depthOf(const vb::ObjectPtr& o) {
    int depth = 0;
    vb::ObjectPtr cur = o;
    while (auto c = std::dynamic_pointer_cast<vb::Collection>(cur)) {
        ++depth;
        cur = c->Count() ? vb::ToObject(c->Item(1)) : nullptr;
    }
    return depth;
}

TEST(clsJSON_lectura, FiveHundredLevelsReadUnchanged) {
    clsJSON json;
    EXPECT_EQ(dumpParse(json, nestedArrays(500)), nestedArrays(500).replace(u'1', QStringLiteral("d1")));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    QString objetos;
    for (int i = 0; i < 500; ++i)
        objetos += QStringLiteral("{\"a\":");
    objetos += u'1' + repeat(QStringLiteral("}"), 500);
    QString esperado;
    for (int i = 0; i < 500; ++i)
        esperado += QStringLiteral("{a:");
    esperado += QStringLiteral("d1") + repeat(QStringLiteral("}"), 500);
    EXPECT_EQ(dumpParse(json, objetos), esperado);
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    EXPECT_EQ(depthOf(json.parse(nestedArrays(clsJSON::kMaxNivel))), clsJSON::kMaxNivel);
    EXPECT_TRUE(json.GetParserErrors().isEmpty());
}

TEST(clsJSON_lectura, DeepNestingEndsEveryLevelWithBoundedComplaints) {
    clsJSON json;
    const QString linea = vb::DefaultErrorText(28) + QStringLiteral(": ") + QString(20, u'[');

    const vb::ObjectPtr uno = json.parse(repeat(QStringLiteral("["), clsJSON::kMaxNivel + 1) + u'1');
    EXPECT_EQ(depthOf(uno), clsJSON::kMaxNivel);
    EXPECT_EQ(json.GetParserErrors(), lines(QStringLiteral("Out of stack space: [1"), clsJSON::kMaxNivel));

    const vb::ObjectPtr cien = json.parse(QString(100000, u'['));
    EXPECT_EQ(depthOf(cien), clsJSON::kMaxNivel);
    EXPECT_EQ(json.GetParserErrors(), lines(linea, clsJSON::kMaxNivel));

    // The same through objects: each level names its own key.
    QString objetos;
    for (int i = 0; i < 100000; ++i)
        objetos += QStringLiteral("{k:");
    const auto dic = std::dynamic_pointer_cast<vb::Dictionary>(json.parse(objetos));
    ASSERT_TRUE(dic);
    EXPECT_EQ(json.GetParserErrors(), lines(QStringLiteral("Out of stack space: k"), clsJSON::kMaxNivel));
}

TEST(clsJSON_lectura, ComplaintsHoldShortExcerptsNotTheRestOfTheText) {
    clsJSON json;
    // Every one of these levels fails on the same megabyte of bad literal; whole copies would take
    // gigabytes.
    const QString texto = repeat(QStringLiteral("["), 999) + QString(1 << 20, u't');
    json.parse(texto);
    const QString quejas = json.GetParserErrors();
    QStringList lineas = quejas.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_GT(lineas.size(), 999);
    if (lineas.last().startsWith(QStringLiteral("... y ")))
        lineas.removeLast();
    for (const QString& l : lineas)
        ASSERT_EQ(l, QStringLiteral("Invalid Boolean at position 1000 : ") + QString(clsJSON::kMaxExtracto, u't'));
    EXPECT_LT(quejas.size(), 2'000'000);

    const QString clave = QStringLiteral("{\"") + QString(1 << 20, u'k') + QStringLiteral("\" 1}");
    json.parse(clave);
    EXPECT_EQ(json.GetParserErrors(), QStringLiteral("Invalid Key at position %1 : ").arg((1 << 20) + 5) +
                                          QString(clsJSON::kMaxExtracto, u'k') + QStringLiteral("\r\n"));

    json.parse(QStringLiteral("[nx") + QString(5000, u'l') + u']');
    EXPECT_EQ(json.GetParserErrors().split(QStringLiteral("\r\n"))[0],
              QStringLiteral("Invalid null value at position 2 : nx") + QString(clsJSON::kMaxExtracto - 2, u'l'));
}

TEST(clsJSON_lectura, ComplaintsAreCappedInTotalThenCounted) {
    clsJSON json;
    QString texto = QStringLiteral("{");
    for (int i = 0; i < 5000; ++i)
        texto += QString::number(i) + QStringLiteral(":t,");
    texto += u'}';
    json.parse(texto);
    const QStringList lineas = json.GetParserErrors().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lineas.size(), clsJSON::kMaxQuejas + 1);
    EXPECT_TRUE(lineas[0].startsWith(QStringLiteral("Invalid Boolean at position 4 : t,1:t,")));
    // One more: the last comma reads "}" as a key.
    EXPECT_EQ(lineas.last(), QStringLiteral("... y %1 quejas más").arg(5001 - clsJSON::kMaxQuejas));
    json.ClearParserErrors();
    EXPECT_TRUE(json.GetParserErrors().isEmpty());
}

TEST(clsJSON_lectura, NumbersMatchTheCommonNumberReader) {
    const QStringList textos{"0",
                             "12",
                             "-7",
                             "+3",
                             "1.5",
                             "-0.25",
                             "1e3",
                             "2E-2",
                             "1-2",
                             "1.2.3",
                             "1e",
                             "1e+",
                             ".5",
                             "5.",
                             "-",
                             "+",
                             ".",
                             "e5",
                             "--1",
                             "+-1",
                             "-+1",
                             "1e400",
                             "123456789012345678",
                             "0.1e1",
                             "00.5",
                             "1.e2"};
    clsJSON json;
    for (const QString& t : textos) {
        const auto c = std::dynamic_pointer_cast<vb::Collection>(json.parse(u'[' + t + u']'));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->Item(1).toDouble(), basFuncionesComunes::ValNumero(t)) << qPrintable(t);
        EXPECT_EQ(c->Item(1).typeId(), QMetaType::Double) << qPrintable(t);
    }
}

TEST(clsJSON_lectura, EsJsonLooksAtTheCleanedEnds) {
    clsJSON json;
    EXPECT_TRUE(json.EsJsonObject(QStringLiteral(" {\r\n} ")));
    EXPECT_FALSE(json.EsJsonObject(QStringLiteral("{ ]")));
    EXPECT_TRUE(json.EsJsonArray(QStringLiteral("\t[1,\n2]\t\t ")));
    EXPECT_FALSE(json.EsJsonArray(QStringLiteral("([1])")));
    EXPECT_FALSE(json.EsJson(QStringLiteral("[}")));
    EXPECT_FALSE(json.EsJson(QStringLiteral(" \r\n ")));
}

TEST(clsJSON_lectura, TryOperations) {
    clsJSON json;
    vb::EntidadPtr e;
    EXPECT_TRUE(json.TryParseObjeto(QStringLiteral("NULL"), e));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Count(), 0);
    EXPECT_FALSE(json.TryParseObjeto(QStringLiteral("[1]"), e));
    EXPECT_TRUE(json.TryParseObjeto(QStringLiteral("{accion:'Ping', a:1 'a':2}"), e));
    EXPECT_EQ(e->Valor(QStringLiteral("ACCION")).toString(), QStringLiteral("Ping"));
    EXPECT_FALSE(json.GetParserErrors().isEmpty()); // complaints do not make it fail

    vb::ColeccionPtr cg;
    recordingMainWindow().grid.clear();
    EXPECT_FALSE(json.TryParseColeccionGenerica(QStringLiteral("[{a:1},3,{b:2}]"), cg));
    EXPECT_EQ(cg->Count(), 1);
    EXPECT_TRUE(recordingMainWindow().grid.join(u'\n').contains(QStringLiteral("clsJSON.TryParseColeccionGenerica")));

    std::shared_ptr<vb::Collection> c;
    EXPECT_TRUE(json.TryParseColeccion(QStringLiteral("Null"), c));
    EXPECT_EQ(c->Count(), 0);
    EXPECT_FALSE(json.TryParseColeccion(QStringLiteral("{a:1}"), c));
}

TEST(clsJSON_lectura, TextThatHoldsNoObjectGivesNoEntity) {
    clsJSON json;
    try {
        json.parseDictionary(QStringLiteral("[1,2]"));
        ADD_FAILURE() << "no error";
    } catch (const VBError& e) {
        EXPECT_EQ(e.number(), 13);
        EXPECT_EQ(e.description(), QStringLiteral("El JSON no es un objeto o un dictionary"));
    }
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    recordingMainWindow().grid.clear();
    EXPECT_EQ(json.parseIEntidad(QStringLiteral("Ping")), nullptr);
    EXPECT_TRUE(recordingMainWindow().grid.join(u'\n').contains(
        QStringLiteral("ERROR: clsJSON.parseIEntidad: El JSON no es un objeto o un dictionary")));

    const vb::EntidadPtr req =
        json.parseIEntidad(QStringLiteral("{\"accion\":\"ImprimirTicketCocinaEspecial\","
                                          "\"idTPV\":2,\"texto\":\"1 Caf\\u00E9<br>\",\"x\":null}"));
    ASSERT_TRUE(req);
    EXPECT_EQ(req->Valor(QStringLiteral("accion")).toString(), QStringLiteral("ImprimirTicketCocinaEspecial"));
    EXPECT_EQ(req->Valor(QStringLiteral("idTPV")).toDouble(), 2.0);
    EXPECT_EQ(req->Valor(QStringLiteral("texto")).toString(), QStringLiteral("1 Caf\u00E9<br>"));
    EXPECT_TRUE(vb::IsNull(req->Valor(QStringLiteral("x"))));
}

TEST(clsJSON_lectura, ParseBoolAndParseFecha) {
    clsJSON json;
    for (const Variant& v :
         {Variant(QStringLiteral("s")), Variant(QStringLiteral("S")), Variant(QStringLiteral("1")),
          Variant(QStringLiteral("VERDADERO")), Variant(QStringLiteral("True")), Variant(2.5), Variant(true)})
        EXPECT_TRUE(json.ParseBool(v)) << qPrintable(jsontest::dump(v));
    for (const Variant& v : {Variant(QStringLiteral("no")), Variant(QStringLiteral("0")), Variant(QStringLiteral("N")),
                             Variant(QString()), Variant(QStringLiteral("#ERROR#")), vb::Null(), Variant(),
                             Variant(false), vb::FromObject(std::make_shared<vb::Dictionary>())})
        EXPECT_FALSE(json.ParseBool(v)) << qPrintable(jsontest::dump(v));

    const QDateTime cero(QDate(1899, 12, 30), QTime(0, 0));
    EXPECT_EQ(json.ParseFecha(QStringLiteral("hola")), cero);
    EXPECT_EQ(json.ParseFecha(vb::Null()), cero);
    EXPECT_EQ(json.ParseFecha(QStringLiteral("2024-03-05 10:20:30")), QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30)));
    EXPECT_EQ(json.ParseFecha(20240305.0).date(), QDate(2024, 3, 5));
}

} // namespace
