// clsJSON. The reader: tolerance rules with their exact results and complaints, the error cascade,
// stuck positions, deep nesting and the size of the complaints. The writer: value forms, escaping,
// unwritable values, the record writers, every reply shape of the request dispatcher read back by
// our reader and by Qt's strict parser, and a Spanish locale. The script language: a table of
// scripts with their pre-answered boxes and their errors.
#include "server/json/clsJSON.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Ado.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

// A compact picture of what the reader returned, with every value's kind visible:
// {key:value,...}, [item,...], 'text', numbers as d<number>, true/false, null, ~ for Empty.
QString dump(const Variant& v);

QString dumpObject(const vb::ObjectPtr& o) {
    QStringList parts;
    if (auto d = std::dynamic_pointer_cast<vb::Dictionary>(o)) {
        for (int i = 0; i < d->Count(); ++i)
            parts << d->Keys()[i] + u':' + dump(d->at(i));
        return u'{' + parts.join(u',') + u'}';
    }
    if (auto c = std::dynamic_pointer_cast<vb::Collection>(o)) {
        for (const Variant& item : c->items())
            parts << dump(item);
        return u'[' + parts.join(u',') + u']';
    }
    return o ? u'<' + o->typeName() + u'>' : QStringLiteral("Nothing");
}

QString dump(const Variant& v) {
    if (vb::IsEmpty(v) || vb::IsNull(v))
        return vb::IsNull(v) ? QStringLiteral("null") : QStringLiteral("~");
    if (vb::IsObject(v))
        return dumpObject(vb::ToObject(v));
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (v.typeId() == QMetaType::Double)
        return u'd' + QString::number(v.toDouble(), 'g', 15);
    return v.typeId() == QMetaType::QString ? u'\'' + v.toString() + u'\'' : u'<' + vb::TypeName(v) + u'>';
}

// ---- Reading

QString dumpParse(clsJSON& json, const QString& text) {
    return dumpObject(json.parse(text));
}

QString lines(const QString& line, int n) {
    return (line + QStringLiteral("\r\n")).repeated(n);
}

const QString kDuplicada = vb::DefaultErrorText(457);

struct Regla {
    const char* regla;
    const char* texto; // UTF-8
    const char* valor; // dump of the result
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
    {"a bad null sticks too", "[nada]", "[~,~,~,~,~]",
     lines(QStringLiteral("Invalid null value at position 2 : nada]"), 5)},
    {"nested levels stuck on the same character each give up in turn", "[[[:]]]",
     "[[[d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0]", {}},
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

TEST(clsJSON, ToleranceRulesGiveTheirExactResultsAndComplaints) {
    for (const Regla& r : kReglas) {
        SCOPED_TRACE(r.regla);
        clsJSON json;
        EXPECT_EQ(dumpParse(json, QString::fromUtf8(r.texto)), QString::fromUtf8(r.valor));
        EXPECT_EQ(json.GetParserErrors(), r.quejas);
    }
}

TEST(clsJSON, RepeatedKeyEndsEveryEnclosingLevelWithItsOwnComplaint) {
    // One line per level, innermost first; an array names the text that follows instead of a key;
    // later members are not read, and the next parse starts clean.
    const struct {
        const char *texto, *valor;
        QStringList nombres;
    } casos[] = {
        {"{'a':1,'a':2}", "{a:d1}", {"a"}},
        {"{'a':{'b':1,'b':2},'c':3}", "{a:{b:d1}}", {"b", "a"}},
        {"[{'b':1,'b':2},5]", "[{b:d1}]", {"b", "},5]"}},
        {"{x:[1,{y:{z:1,z:2}},3],w:4}", "{x:[d1,{y:{z:d1}}]}", {"z", "y", "}},3],w:4}", "x"}},
        {"{'a':1}", "{a:d1}", {}},
    };
    clsJSON json;
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        EXPECT_EQ(dumpParse(json, QString::fromUtf8(c.texto)), QString::fromUtf8(c.valor));
        QString quejas;
        for (const QString& n : c.nombres)
            quejas += kDuplicada + QStringLiteral(": ") + n + QStringLiteral("\r\n");
        EXPECT_EQ(json.GetParserErrors(), quejas);
    }
}

// A long run of garbage costs five passes, not one per character.
TEST(clsJSON, StuckPositionsEndTheLevel) {
    clsJSON json;
    const QString basura = u'[' + QString(100000, u'x') + u']';
    EXPECT_EQ(dumpParse(json, basura), QStringLiteral("[d0,d0,d0,d0,d0]"));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());
}

TEST(clsJSON, AnyTextEndsWithBoundedComplaints) {
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
    return QStringLiteral("[").repeated(depth) + u'1' + QStringLiteral("]").repeated(depth);
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

TEST(clsJSON, FiveHundredLevelsReadUnchangedAndDeeperOnesEndWithBoundedComplaints) {
    clsJSON json;
    EXPECT_EQ(dumpParse(json, nestedArrays(500)), nestedArrays(500).replace(u'1', QStringLiteral("d1")));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    EXPECT_EQ(dumpParse(json, QStringLiteral("{\"a\":").repeated(500) + u'1' + QString(500, u'}')),
              QStringLiteral("{a:").repeated(500) + QStringLiteral("d1") + QString(500, u'}'));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    EXPECT_EQ(depthOf(json.parse(nestedArrays(clsJSON::kMaxNivel))), clsJSON::kMaxNivel);
    EXPECT_TRUE(json.GetParserErrors().isEmpty());

    // Deeper than that: every level ends with a bounded complaint.
    const QString linea = vb::DefaultErrorText(28) + QStringLiteral(": ") + QString(20, u'[');

    const vb::ObjectPtr uno = json.parse(QStringLiteral("[").repeated(clsJSON::kMaxNivel + 1) + u'1');
    EXPECT_EQ(depthOf(uno), clsJSON::kMaxNivel);
    EXPECT_EQ(json.GetParserErrors(), lines(QStringLiteral("Out of stack space: [1"), clsJSON::kMaxNivel));

    const vb::ObjectPtr cien = json.parse(QString(100000, u'['));
    EXPECT_EQ(depthOf(cien), clsJSON::kMaxNivel);
    EXPECT_EQ(json.GetParserErrors(), lines(linea, clsJSON::kMaxNivel));

    // The same through objects: each level names its own key.
    ASSERT_TRUE(std::dynamic_pointer_cast<vb::Dictionary>(json.parse(QStringLiteral("{k:").repeated(100000))));
    EXPECT_EQ(json.GetParserErrors(), lines(QStringLiteral("Out of stack space: k"), clsJSON::kMaxNivel));
}

TEST(clsJSON, ComplaintsHoldShortExcerptsNotTheRestOfTheText) {
    clsJSON json;
    // Every one of these levels fails on the same megabyte of bad literal; whole copies would take
    // gigabytes.
    const QString texto = QStringLiteral("[").repeated(999) + QString(1 << 20, u't');
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

TEST(clsJSON, ComplaintsAreCappedInTotalThenCounted) {
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

TEST(clsJSON, NumbersMatchTheCommonNumberReader) {
    const QStringList textos =
        QStringLiteral("0 12 -7 +3 1.5 -0.25 1e3 2E-2 1-2 1.2.3 1e 1e+ .5 5. - + . e5 --1 +-1 -+1 "
                       "1e400 123456789012345678 0.1e1 00.5 1.e2")
            .split(u' ');
    clsJSON json;
    for (const QString& t : textos) {
        const auto c = std::dynamic_pointer_cast<vb::Collection>(json.parse(u'[' + t + u']'));
        ASSERT_TRUE(c);
        EXPECT_EQ(c->Item(1).toDouble(), basFuncionesComunes::ValNumero(t)) << qPrintable(t);
        EXPECT_EQ(c->Item(1).typeId(), QMetaType::Double) << qPrintable(t);
    }
}

// What a text holds: the checks look at the cleaned ends, the Try forms say whether the kind was
// right, and a text without an object gives no entity.
TEST(clsJSON, EntryPointsTellTheKindOfText) {
    clsJSON json;
    EXPECT_TRUE(json.EsJsonObject(QStringLiteral(" {\r\n} ")));
    EXPECT_FALSE(json.EsJsonObject(QStringLiteral("{ ]")));
    EXPECT_TRUE(json.EsJsonArray(QStringLiteral("\t[1,\n2]\t\t ")));
    EXPECT_FALSE(json.EsJsonArray(QStringLiteral("([1])")));
    EXPECT_FALSE(json.EsJson(QStringLiteral("[}")));
    EXPECT_FALSE(json.EsJson(QStringLiteral(" \r\n ")));

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

TEST(clsJSON, ParseBoolAndParseFecha) {
    clsJSON json;
    for (const QString& t : QStringLiteral("s S 1 VERDADERO True").split(u' '))
        EXPECT_TRUE(json.ParseBool(t)) << qPrintable(t);
    for (const Variant& v :
         {Variant(QStringLiteral("no")), Variant(QStringLiteral("0")), Variant(QStringLiteral("N")), Variant(QString()),
          Variant(QStringLiteral("#ERROR#")), vb::Null(), Variant(), Variant(false),
          vb::FromObject(std::make_shared<vb::Dictionary>()), Variant(2.5), Variant(true)})
        EXPECT_EQ(json.ParseBool(v), v == Variant(2.5) || v == Variant(true)) << qPrintable(dump(v));

    const QDateTime cero(QDate(1899, 12, 30), QTime(0, 0));
    EXPECT_EQ(json.ParseFecha(QStringLiteral("hola")), cero);
    EXPECT_EQ(json.ParseFecha(vb::Null()), cero);
    EXPECT_EQ(json.ParseFecha(QStringLiteral("2024-03-05 10:20:30")), QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30)));
    EXPECT_EQ(json.ParseFecha(20240305.0).date(), QDate(2024, 3, 5));
}

// ---- Writing

using DicPtr = std::shared_ptr<vb::Dictionary>;

DicPtr dic(std::initializer_list<std::pair<QString, Variant>> members) {
    auto d = std::make_shared<vb::Dictionary>();
    for (const auto& [k, v] : members)
        d->Add(k, v);
    return d;
}

vb::EntidadPtr entidad(std::initializer_list<std::pair<QString, Variant>> members) {
    auto e = std::make_shared<vb::entidadGenerica>();
    for (const auto& [k, v] : members)
        e->Propiedad(k, v);
    return e;
}

Variant lista(std::initializer_list<Variant> items) {
    auto c = std::make_shared<vb::Collection>();
    for (const Variant& v : items)
        c->Add(v);
    return vb::FromObject(c);
}

class Ajeno final : public vb::Object {
public:
    QString typeName() const override { return QStringLiteral("clsAjeno"); }
};

QJsonDocument strict(const QString& text, QString* error = nullptr) {
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &err);
    if (error)
        *error = err.error == QJsonParseError::NoError ? QString() : err.errorString();
    return doc;
}

bool reported(const QString& procedure) {
    return recordingMainWindow().grid.join(u'\n').contains(QStringLiteral("ERROR: ") + procedure + u':');
}

TEST(clsJSON, EachKindHasItsForm) {
    clsJSON json;
    const auto e = entidad({{QStringLiteral("t"), QStringLiteral("di \"hola\"")},
                            {QStringLiteral("b"), true},
                            {QStringLiteral("d"), 1.5},
                            {QStringLiteral("n"), qint32(3)},
                            {QStringLiteral("i"), QVariant::fromValue<qint16>(-4)},
                            {QStringLiteral("s"), 2.25f},
                            {QStringLiteral("f"), QDateTime(QDate(2024, 2, 29), QTime(13, 45))},
                            {QStringLiteral("z"), vb::Null()},
                            {QStringLiteral("v"), Variant()},
                            {QStringLiteral("no"), false}});
    EXPECT_EQ(json.EntidadGenericaToJson(e),
              QStringLiteral("{\"t\":\"di \\\"hola\\\"\",\"b\":true,\"d\":1.5,\"n\":\"3\",\"i\":\"-4\",\"s\":\"2.25\","
                             "\"f\":\"2024-02-29\",\"z\":\"\",\"v\":\"\",\"no\":false}"));
    EXPECT_EQ(json.IEntidadToJson(e), json.EntidadGenericaToJson(e));
    // Without the flag texts go out raw.
    EXPECT_EQ(json.DictionaryToJson(dic({{QStringLiteral("t"), QStringLiteral("a\"b{\u00E9}")}}), false),
              QStringLiteral("{\"t\":\"a\"b{\u00E9}\"}"));

    EXPECT_EQ(json.DictionaryToJson(std::make_shared<vb::Dictionary>()), QStringLiteral("{}"));
    EXPECT_EQ(json.DictionaryToJson(nullptr), QStringLiteral("null"));
    auto sinDiccionario = std::make_shared<vb::entidadGenerica>();
    sinDiccionario->setDiccionario(nullptr);
    EXPECT_EQ(json.EntidadGenericaToJson(sinDiccionario), QStringLiteral("null"));
    EXPECT_EQ(json.CollectionToJson(lista({})), QStringLiteral("[]"));
    EXPECT_EQ(json.CollectionToJson(vb::Nothing()), QStringLiteral("null"));

    // Lists quote every scalar, numbers too.
    EXPECT_EQ(json.CollectionToJson(lista({qint32(1), 2.5, true, QStringLiteral("{x}")})),
              QStringLiteral("[\"1\",\"2.5\",\"True\",\"\\u007Bx\\u007D\"]"));

    // Nesting: dictionaries, entities and both kinds of list inside each other.
    auto gen = std::make_shared<vb::coleccionGenerica>();
    gen->Add(entidad({{QStringLiteral("a"), 1.0}}));
    const auto d = dic({{QStringLiteral("l"), lista({lista({}), vb::FromObject(dic({{QStringLiteral("k"), 0.5}}))})},
                        {QStringLiteral("g"), vb::FromObject(gen)},
                        {QStringLiteral("e"), vb::FromObject(entidad({}))}});
    EXPECT_EQ(json.DictionaryToJson(d), QStringLiteral("{\"l\":[[],{\"k\":0.5}],\"g\":[{\"a\":1}],\"e\":{}}"));
}

TEST(clsJSON, ToUnicodeEscapesByCharacterCode) {
    clsJSON json;
    EXPECT_EQ(json.toUnicode(QStringLiteral("{a}")), QStringLiteral("\\u007Ba\\u007D"));
    EXPECT_EQ(json.toUnicode(QStringLiteral("l'a")), QStringLiteral("l\\'a"));
    EXPECT_EQ(json.toUnicode(QStringLiteral("\"\\/")), QStringLiteral("\\\"\\\\/"));
    EXPECT_EQ(json.toUnicode(QStringLiteral("\b\t\n\f\r\x01\x1f\x7f")),
              QStringLiteral("\\b\\t\\n\\f\\r\\u0001\\u001F\x7f"));
    // Latin-1 by its code, the code page's 0x80-0x9F letters by their UTF-16 code, the rest as "?".
    EXPECT_EQ(json.toUnicode(QStringLiteral("\u00E9\u00F1\u00A0\u00FF")),
              QStringLiteral("\\u00E9\\u00F1\\u00A0\\u00FF"));
    EXPECT_EQ(json.toUnicode(QStringLiteral("\u20AC\u0160\u2019\u0178")),
              QStringLiteral("\\u20AC\\u0160\\u2019\\u0178"));
    EXPECT_EQ(json.toUnicode(QStringLiteral("\u0100\u4E2D")), QStringLiteral("??"));
    EXPECT_EQ(json.toUnicode(QString::fromUtf8("\xF0\x9F\x8D\x95")), QStringLiteral("??")); // one emoji, two units

    EXPECT_EQ(json.Encode(QStringLiteral("a/b\"c\\'\u00E9\u20AC\x01\t")),
              QStringLiteral("a\\/b\\\"c\\\\'\\u00E9\\u20AC\\u0001\\t"));
}

TEST(clsJSON, EuroAndOtherCodePageLettersReadBackUnchanged) {
    clsJSON json;
    QString todos;
    for (int b = 0x20; b <= 0xFF; ++b)
        todos += vb::Chr(b);
    const QString texto = json.EntidadGenericaToJson(entidad({{QStringLiteral("t"), todos}}));
    for (QChar c : texto)
        ASSERT_LT(c.unicode(), 128); // the reply is plain ASCII whatever the code page
    const auto d = std::dynamic_pointer_cast<vb::Dictionary>(json.parse(texto));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->value(QStringLiteral("t")).toString(), todos);
    EXPECT_EQ(strict(texto).object().value(QStringLiteral("t")).toString(), todos);
}

TEST(clsJSON, KeysAreEscapedLikeValues) {
    clsJSON json;
    const auto d = dic({{QStringLiteral("a\"b"), 1.0}, {QStringLiteral("{k}"), 2.0}, {QStringLiteral("idTPV"), 3.0}});
    EXPECT_EQ(json.DictionaryToJson(d), QStringLiteral("{\"a\\\"b\":1,\"\\u007Bk\\u007D\":2,\"idTPV\":3}"));
    QString error;
    const QJsonObject o = strict(json.DictionaryToJson(d), &error).object();
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
    EXPECT_EQ(o.keys(), (QStringList{"a\"b", "idTPV", "{k}"}));
    EXPECT_EQ(json.StringToJSON(QStringLiteral("a'b~1")),
              QStringLiteral("( {\"Records\": [\r\n{\"a\\'b\":\"1\"}\r\n], \"RecordCount\":\"1\" } )"));
}

TEST(clsJSON, ValuesThatCannotBeWrittenBecomeNullAndAreReported) {
    clsJSON json;
    recordingMainWindow().grid.clear();
    auto interior = dic({{QStringLiteral("x"), vb::FromObject(std::make_shared<Ajeno>())}});
    const auto d = dic({{QStringLiteral("a"), QStringLiteral("1")},
                        {QStringLiteral("o"), vb::FromObject(std::make_shared<Ajeno>())},
                        {QStringLiteral("n"), vb::Nothing()},
                        {QStringLiteral("arr"), QVariantList{1, 2}},
                        {QStringLiteral("in"), vb::FromObject(interior)},
                        {QStringLiteral("l"), lista({1.0, vb::Nothing(), QStringLiteral("z")})},
                        {QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN()},
                        {QStringLiteral("z"), true}});
    const QString texto = json.DictionaryToJson(d);
    EXPECT_EQ(texto, QStringLiteral("{\"a\":\"1\",\"o\":null,\"n\":null,\"arr\":null,\"in\":{\"x\":null},"
                                    "\"l\":[\"1\",null,\"z\"],\"nan\":null,\"z\":true}"));
    QString error;
    strict(texto, &error);
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
    EXPECT_TRUE(reported(QStringLiteral("clsJSON.DictionaryToJson")));
    EXPECT_TRUE(reported(QStringLiteral("clsJSON.CollectionToJson")));

    // A dictionary that holds itself ends at the deepest level the writer accepts.
    auto ciclo = std::make_shared<vb::Dictionary>();
    ciclo->Add(QStringLiteral("yo"), vb::FromObject(ciclo));
    const QString profundo = json.DictionaryToJson(ciclo);
    ciclo->RemoveAll(); // break the cycle so it is freed
    EXPECT_EQ(profundo, QStringLiteral("{\"yo\":").repeated(clsJSON::kMaxNivel) + QStringLiteral("null") +
                            QString(clsJSON::kMaxNivel, u'}'));
    EXPECT_TRUE(json.parse(profundo));
    EXPECT_TRUE(json.GetParserErrors().isEmpty());
}

TEST(clsJSON, DoublesHaveOneFormEverywhere) {
    clsJSON json;
    // clang-format off
    const std::pair<double, const char*> casos[] = {
        {0.1, "0.1"}, {1.5, "1.5"}, {-0.0, "0"}, {100, "100"}, {1e20, "1E+20"}, {1e15, "1E+15"},
        {999999999999999, "999999999999999"}, {1e-5, "1E-05"}, {0.0001, "0.0001"}, {1.0 / 3, "0.333333333333333"},
        {123456789012345678.0, "1.23456789012346E+17"}, {-2.5e-10, "-2.5E-10"}, {0.1 + 0.2, "0.3"}};
    // clang-format on
    for (const auto& [d, texto] : casos) {
        EXPECT_EQ(clsJSON::formatDouble(d), QLatin1StringView(texto));
        EXPECT_EQ(clsJSON::formatDouble(d), vb::CStr(d)) << texto; // the program's own text of a double
        const QString escrito = json.DictionaryToJson(dic({{QStringLiteral("d"), d}}));
        const QJsonObject o = strict(escrito).object();
        EXPECT_DOUBLE_EQ(o.value(QStringLiteral("d")).toDouble(), std::stod(texto)) << qPrintable(escrito);
    }
}

TEST(clsJSON, ToStringAndArrays) {
    clsJSON json;
    EXPECT_EQ(json.toString(QVariantList{1, 2, 3}), QStringLiteral("[1,2,3]"));
    EXPECT_EQ(json.toString(QVariantList{QVariantList{1, 2}, QVariantList{3, 4}}), QStringLiteral("[[1,2],[3,4]]"));
    EXPECT_EQ(json.toString(QVariantList{1.5, QStringLiteral("a/b"), vb::Null(), Variant(), true}),
              QStringLiteral("[1.5,\"a\\/b\",null,null,true]"));
    EXPECT_EQ(json.toString(Variant()), QString());
    EXPECT_EQ(json.toString(QStringLiteral("l'\u00E9")), QStringLiteral("\"l'\\u00E9\""));
    EXPECT_EQ(json.toString(vb::Nothing()), QStringLiteral("\"Nothing\""));
    EXPECT_EQ(json.toString(QDateTime(QDate(2024, 1, 2), QTime(0, 0))), QStringLiteral("\"02/01/2024\""));
}

TEST(clsJSON, StringToJSONRecords) {
    clsJSON json;
    EXPECT_EQ(json.StringToJSON(QString()), QStringLiteral("null"));
    EXPECT_EQ(json.StringToJSON(QStringLiteral("a~1~b~2")),
              QStringLiteral("( {\"Records\": [\r\n{\"a\":\"1\",\"b\":\"2\"}\r\n], \"RecordCount\":\"1\" } )"));
    EXPECT_EQ(json.StringToJSON(QStringLiteral("a~{\u00E9}|")),
              QStringLiteral("( {\"Records\": [\r\n{\"a\":\"\\u007B\\u00E9\\u007D\"},\r\n{}\r\n], "
                             "\"RecordCount\":\"2\" } )"));
    EXPECT_EQ(json.StringToJSON(QStringLiteral("a~{"), false),
              QStringLiteral("( {\"Records\": [\r\n{\"a\":\"{\"}\r\n], \"RecordCount\":\"1\" } )"));
    EXPECT_THROW(json.StringToJSON(QStringLiteral("a~1~b")), VBError);

    const auto d = std::dynamic_pointer_cast<vb::Dictionary>(json.parse(json.StringToJSON(QStringLiteral("x~1|y~2"))));
    ASSERT_TRUE(d);
    EXPECT_EQ(dumpObject(d), QStringLiteral("{Records:[{x:'1'},{y:'2'}],RecordCount:'2'}"));
}

// Every reply the dispatcher writes, as it builds them.
TEST(clsJSON, EveryReplyShapeReadsBackHereAndInAStrictParser) {
    struct Respuesta {
        const char* nombre;
        vb::EntidadPtr entidad;
        const char* esperado; // dump of what the reader gives back
    };
    const Respuesta respuestas[] = {
        {"empty reply (null request, unreadable request)", entidad({}), "{}"},
        {"GetIdTPV", entidad({{"idTPV", QVariant::fromValue<qint16>(3)}, {"ok", true}}), "{idTPV:'3',ok:true}"},
        {"GetPrinters",
         entidad({{"result", lista({QStringLiteral("Cocina 1"), QStringLiteral("Barra/Caf\u00E9")})}, {"ok", true}}),
         "{result:['Cocina 1','Barra/Caf\u00E9'],ok:true}"},
        {"unknown action",
         entidad({{"errorVB6", QStringLiteral("Acci\u00F3n 'Imprimir{X}' no implementada.")}, {"ok", false}}),
         "{errorVB6:'Acci\u00F3n 'Imprimir{X}' no implementada.',ok:false}"},
        {"run-time error", entidad({{"ok", false}, {"errorVB6", QStringLiteral("Type mismatch")}}),
         "{ok:false,errorVB6:'Type mismatch'}"},
        {"GetPeso with a weight",
         entidad({{"ok", true}, {"error", QString()}, {"peso", 1.235}, {"tipo_error", qint32(0)}}),
         "{ok:true,error:'',peso:d1.235,tipo_error:'0'}"},
        {"GetPeso failing inside the weighing",
         entidad({{"ok", false},
                  {"error", QString()},
                  {"peso", 0.0},
                  {"tipo_error", qint32(0)},
                  {"errorVB6", QStringLiteral("Device I/O error \"COM1\"\r\n\\")}}),
         "{ok:false,error:'',peso:d0,tipo_error:'0',errorVB6:'Device I/O error \"COM1\"\r\n\\'}"},
    };
    clsJSON json;
    for (const Respuesta& r : respuestas) {
        SCOPED_TRACE(r.nombre);
        const QString texto = json.EntidadGenericaToJson(r.entidad, true);
        EXPECT_EQ(dumpObject(json.parse(texto)), QString::fromUtf8(r.esperado)) << qPrintable(texto);
        EXPECT_TRUE(json.GetParserErrors().isEmpty());

        QString error;
        const QJsonDocument doc = strict(texto, &error);
        ASSERT_TRUE(error.isEmpty()) << qPrintable(error) << " in " << qPrintable(texto);
        const QJsonObject o = doc.object();
        const auto d = r.entidad->Diccionario();
        ASSERT_EQ(o.size(), d->Count());
        for (int i = 0; i < d->Count(); ++i) {
            const QJsonValue v = o.value(d->Keys()[i]);
            const Variant& original = d->at(i);
            if (vb::IsObject(original))
                EXPECT_TRUE(v.isArray());
            else // numbers that are no double go out as texts
                EXPECT_EQ(v.toVariant(), original.typeId() == QMetaType::Bool || original.typeId() == QMetaType::Double
                                             ? QVariant(original)
                                             : QVariant(vb::CStr(original)));
        }
    }
}

TEST(clsJSON, ASpanishLocaleChangesNothing) {
    // Build the Spanish locale for the C library when the machine lacks it, so that anything
    // reaching printf-style conversions would show a decimal comma.
    QTemporaryDir dir;
    const std::string localeAntes = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8")) {
        QProcess::execute(QStringLiteral("localedef"),
                          {QStringLiteral("-i"), QStringLiteral("es_ES"), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                           dir.filePath(QStringLiteral("es_ES.UTF-8"))});
        qputenv("LOCPATH", dir.path().toLocal8Bit());
        std::setlocale(LC_ALL, "es_ES.UTF-8");
    }
    const bool cLocale = std::localeconv()->decimal_point == std::string(",");
    const QLocale antes;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));

    clsJSON json;
    const auto d = dic({{QStringLiteral("d"), 1234.5},
                        {QStringLiteral("e"), 1e-7},
                        {QStringLiteral("s"), 0.75f},
                        {QStringLiteral("l"), lista({2.5, 1e300})},
                        {QStringLiteral("f"), QDateTime(QDate(2024, 12, 31), QTime(23, 59))}});
    const QString texto = json.DictionaryToJson(d);
    const QString rs = json.StringToJSON(QStringLiteral("x~1,5"));

    std::setlocale(LC_ALL, localeAntes.c_str());
    qunsetenv("LOCPATH");
    QLocale::setDefault(antes);

    EXPECT_TRUE(cLocale) << "the C library's Spanish locale could not be set";
    EXPECT_EQ(texto, QStringLiteral("{\"d\":1234.5,\"e\":1E-07,\"s\":\"0.75\",\"l\":[\"2.5\",\"1E+300\"],"
                                    "\"f\":\"2024-12-31\"}"));
    EXPECT_TRUE(rs.contains(QStringLiteral("\"x\":\"1,5\""))); // texts are never touched
}

TEST(clsJSON, RecordsetsToJson) {
    TARVOLIN_REQUIRE_DATABASE();
    const QString db = testenv::createDatabase(QStringLiteral("json"), false);
    ASSERT_TRUE(testenv::runSql(
        db, QStringLiteral("create table t (id int, precio double, nombre varchar(40), fecha date, nada varchar(5));"
                           "insert into t values (1, 2.5, 'Caf\u00E9 {con} \"leche\" y l''agua', '2024-05-06', null),"
                           "(2, 0.1, '\u20AC', null, 'x');")));
    ado::Connection cn;
    cn.Open(testenv::connectionString(db));
    clsJSON json;

    const QString r1 = QStringLiteral("{\"id\":\"1\",\"precio\":\"2.5\",\"nombre\":\"Caf\\u00E9 \\u007Bcon\\u007D "
                                      "\\\"leche\\\" y l\\'agua\",\"fecha\":\"06/05/2024\",\"nada\":\"\"}");
    const QString r2 = QStringLiteral("{\"id\":\"2\",\"precio\":\"0.1\",\"nombre\":\"\\u20AC\",\"fecha\":\"\","
                                      "\"nada\":\"x\"}");
    auto rs = cn.Execute(QStringLiteral("select * from t order by id"));
    EXPECT_EQ(json.RStoJSON(rs.get()), QStringLiteral("( {\"Records\": [\r\n") + r1 + QStringLiteral(",\r\n") + r2 +
                                           QStringLiteral("\r\n], \"RecordCount\":\"2\" } )"));
    EXPECT_TRUE(rs->isEOF());

    rs = cn.Execute(QStringLiteral("select * from t order by id"));
    const QString sinEnvoltorio = json.RStoJSON(rs.get(), {.blnAddRecordsYRecordCount = false});
    EXPECT_EQ(sinEnvoltorio, QStringLiteral("[\r\n") + r1 + QStringLiteral(",\r\n") + r2 + QStringLiteral("\r\n]"));
    EXPECT_EQ(dumpObject(json.parse(sinEnvoltorio)).left(9), QStringLiteral("[{id:'1',"));

    rs = cn.Execute(QStringLiteral("select * from t order by id"));
    EXPECT_EQ(json.RStoJSON(rs.get(), {.blnSoloPrimerRegistro = true}), r1);
    EXPECT_FALSE(rs->isEOF());

    rs = cn.Execute(QStringLiteral("select * from t where id > 5"));
    EXPECT_EQ(json.RStoJSON(rs.get()), QStringLiteral("null"));
    rs->Close();
    EXPECT_EQ(json.RStoJSON(rs.get()), QStringLiteral("null"));
    EXPECT_EQ(json.RStoJSON(nullptr), QString());

    cn.Close();
    testenv::dropDatabase(db);
}

// ---- The script language

struct Caso {
    QString script;
    QStringList entradas; // input box answers; past the end the box is cancelled
    QString esperado;
    QStringList cajas = {}; // "kind|text|title|style" of each box shown
    int error = 0;          // the run-time error expected instead of a result
};

QString anidado(int listas) {
    return QString(listas, u'[') + QStringLiteral("\"x\"") + QString(listas, u']');
}

TEST(clsJSON, ScriptsYieldTheirTextBoxesAndErrors) {
    const std::vector<Caso> casos = {
        {R"(["a", null, "b"])", {}, "anullb"},
        {R"([{"set":{"name":"x","value":"1,5"}}, {"get":{"name":"x"}}])", {}, "1,5"},
        {R"([{"set":{"name":"x","value":1.5}}, {"get":{"name":"x"}}])", {}, "1.5"},
        {R"([{"get":{"name":"nunca","default":"d"}}, {"set":{"name":"v","value":""}}, {"get":{"name":"v","default":"e"}}])",
         {},
         "de"},
        {R"([{"switch":{"case":"B","default":"z","items":[{"case":"a","return":"1"},{"case":"b","return":"2"}]}}])",
         {},
         "2"},
        {R"([{"switch":{"case":"c","default":"z","items":[{"case":"a","return":"1"}]}}])", {}, "z"},
        {R"([{"if":{"value1":"10","value2":"9","type":"lt","true":"si","false":"no"}}])", {}, "si"},
        {R"([{"if":{"value1":"A","value2":"a","type":"EQ","true":"si","false":"no"}}, {"if":{"type":"xx","false":"f"}}])",
         {},
         "sif"},
        {R"([{"mesa":{"n":"4","s":"b"}}, {"pie":"texto"}, {"lista":[1]}])",
         {},
         "<%MESA(4,b)%><%PIE(texto)%><%LISTA()%>"},
        {R"([{"precio":{"p":1.5,"q":2}}, [2.5], {"n":{"v":3}}])", {}, "<%PRECIO(1.5,2)%>2.5<%N(3)%>"},
        {R"([true])", {}, "", {}, 424},
        {R"([{"input":{"prompt":"¿Mesa?","title":"T","default":"1"}}, "-", {"input":{"prompt":"p"}}])",
         {"7"},
         "7-",
         {"inputBox|¿Mesa?|T|0", "inputBox|p||0"}},
        {R"([{"return":"r","alert":{"message":"m","title":"t"}}])", {}, "r", {"messageBox|m|t|64"}},
        {"[" + anidado(40) + "]", {}, "x"},
        {"[" + anidado(41) + "]", {}, "ERROR: Nesting level exceeded."},
        {"{}", {}, ""},
        {R"({"a":"b"})", {}, "", {}, 424},
        {"no es json", {}, "", {"messageBox|Invalid JSON|Parser Error|48"}},
        {R"([{"alert":5}])", {}, "", {}, 424},
        {R"([{"return":{"a":"b"}}])", {}, "", {}, 13},
        {R"([{"switch":{"case":"a","items":[{"case":{"x":1}}]}}])", {}, "", {}, 13},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.script.toStdString());
        clsJSON json;
        prompts::ScriptedPrompts cajas;
        cajas.inputs.assign(c.entradas.begin(), c.entradas.end());
        prompts::install(&cajas);
        QString resultado;
        int error = 0;
        try {
            resultado = json.Eval(c.script);
        } catch (const VBError& e) {
            error = e.number();
        }
        prompts::install(nullptr);
        EXPECT_EQ(error, c.error);
        if (!c.error) {
            EXPECT_EQ(resultado, c.esperado);
        }
        QStringList vistas;
        for (const auto& llamada : cajas.calls)
            vistas << llamada.kind + u'|' + llamada.text + u'|' + llamada.title + u'|' + QString::number(llamada.style);
        EXPECT_EQ(vistas, c.cajas);
        // The nesting counter is back to 0 after every script, failed or not.
        EXPECT_EQ(json.Eval("[" + anidado(40) + "]"), "x");
    }
}

} // namespace
