// clsJSON: the tolerant reader (results, complaints and their size, stuck positions, nesting), the
// writer (forms, escaping, unwritable values, strict readers, a Spanish locale, recordsets), scripts.
#include "server/json/clsJSON.h"

#include "platform/Prompts.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/ScriptedPrompts.h"
#include "testsupport/TestEnv.h"
#include "testsupport/VBErrors.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace Qt::Literals::StringLiterals;
using testenv::errorOf;
constexpr int kMaxNivel = clsJSON::kMaxNivel;

// A compact picture of what the reader returned, with every value's kind visible:
// {key:value,...}, [item,...], 'text', numbers as d<number>, true/false, null, ~ for Empty.
QString dump(const Variant& v) {
    const vb::ObjectPtr o = vb::IsObject(v) ? vb::ToObject(v) : nullptr;
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
    if (vb::IsObject(v) || vb::IsEmpty(v) || vb::IsNull(v))
        return vb::IsObject(v) ? u"Nothing"_s : vb::IsNull(v) ? u"null"_s : u"~"_s;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? u"true"_s : u"false"_s;
    return v.typeId() == QMetaType::Double ? u'd' + QString::number(v.toDouble(), 'g', 15)
                                           : u'\'' + v.toString() + u'\'';
}

bool reported(const QString& text) {
    return recordingMainWindow().grid.join(u'\n').contains(u"ERROR: "_s + text);
}

QString lines(const QString& line, int n) {
    return (line + u"\r\n"_s).repeated(n);
}

// A repeated key ends every enclosing level, innermost first, each with its own line.
QString duplicadas(const QStringList& nombres) {
    QString quejas;
    for (const QString& n : nombres)
        quejas += vb::DefaultErrorText(vb::err::KeyAlreadyInCollection) + u": "_s + n + u"\r\n"_s;
    return quejas;
}

// The innermost level that still fits holds Empty.
const QString kHondo = u"["_s.repeated(kMaxNivel) + "~" + u"]"_s.repeated(kMaxNivel);

struct Regla {
    const char* regla;
    QString texto, valor, quejas; // valor: dump of the result
};

// clang-format off
const Regla kReglas[] = {
    {"comments and parentheses are blanks, members need no commas", "  /* nota */ ({'a':1 'b':2})", "{a:d1,b:d2}", {}},
    {"keys bare or in apostrophes, literals in any case", "{a:1, 'b':'x', 'c':TRUE, 'd':nULL, e:fAlSe}", "{a:d1,b:'x',c:true,d:null,e:false}", {}},
    {"a number that runs to the end is empty", "{'a':[1,2", "{a:[d1,~]}", "Missing ']': {'a':[1,2\r\nMissing '}': {'a':[1,2\r\n"},
    {"only the last 20 characters follow Missing", "{'a':'0123456789abcdefghijklmnopqrstuvwxyz",
     "{a:'0123456789abcdefghijklmnopqrstuvwxyz'}", "Missing '}': ghijklmnopqrstuvwxyz\r\n"},
    {"a character that starts no value is 0 and sticks: five passes, not one each", u'[' + QString(100000, u'x') + u']', "[d0,d0,d0,d0,d0]", {}},
    {"a closing brace in an array sticks too", "[}]", "[d0,d0,d0,d0,d0]", {}},
    {"escapes: unknown letter, capital U, capital N, quotes, slash, backslash",
     "[\"\\q\", \"\\U0041\", \"\\N\", '\\/\\'\\\"\\\\']", "['q','A','\n','/'\"\\']", {}},
    {"short \\u reads its hex digits and moves four on", "[\"\\u41x\"]", "['A]']", "Missing ']': [\"\\u41x\"]\r\n"},
    {"\\u in either case; beyond 16 bits as two", "[\"\\u00e9\\u20AC\", \"\\uD83C\\uDF55\"]", "['\xC3\xA9\xE2\x82\xAC','\xF0\x9F\x8D\x95']", {}},
    {"the other quote stands for itself; an unterminated string keeps what it read", "[\"a'b\",'c\"d','abc", "['a'b','c\"d','abc']",
     "Missing ']': [\"a'b\",'c\"d','abc\r\n"},
    {"line comment to the end of the line; a slash inside ends it", "// nota\n[1, // c / 2\n]", "[d1,d2]", {}},
    {"a lone star is a blank, two open a long comment, a star and a slash far apart close it", "[*1,** 2 */3,/* a * b / 2]", "[d1,d3,d2]", {}},
    {"keys: blanks dropped, quoted or not; a colon inside quotes belongs; case and order kept",
     "{\"first name\" : 1, second name : 2, 'a:b':3, \"B\":4, b:5, A:6}", "{firstname:d1,secondname:d2,a:b:d3,B:d4,b:d5,A:d6}", {}},
    {"numbers through the longest valid prefix; beyond a double 0",
     "[1-2,1.2.3,1e2,-,.,+5,+-1,1E+2,007,1e,1e+,.5,5.,e5,--1,-+1,123456789012345678,0.1e1,00.5,1.e2,1e400,-2.5e-3]",
     "[d1,d1.2,d100,d0,d0,d5,d0,d100,d7,d1,d1,d0.5,d5,d0,d0,d0,d1.23456789012346e+17,d1,d0.5,d100,d0,d-0.0025]", {}},
    {"a bad literal sticks, a complaint every pass", "[tx]", "[false,false,false,false,false]", lines("Invalid Boolean at position 2 : tx]", 5)},
    {"a bad null sticks too, its complaint cut short", "[nx" + QString(5000, u'l') + u']', "[~,~,~,~,~]",
     lines("Invalid null value at position 2 : nx" + QString(clsJSON::kMaxExtracto - 2, u'l'), 5)},
    {"every level fails on the same megabyte: the complaints hold excerpts, capped in total, the rest counted",
     u"["_s.repeated(999) + QString(1 << 20, u't'),
     u"["_s.repeated(999) + "false,false,false,false,false]" + u",false,false,false,false,false,false]"_s.repeated(998),
     lines("Invalid Boolean at position 1000 : " + QString(clsJSON::kMaxExtracto, u't'), clsJSON::kMaxQuejas) + "... y 4993 quejas más\r\n"},
    {"nested levels stuck on one character give up in turn", "[[[:]]]", "[[[d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0],d0,d0,d0,d0,d0,d0]", {}},
    {"a bad null is empty, and its text becomes the next key", "{a:nada}", "{a:~,nada}:~}",
     "Invalid null value at position 4 : nada}\r\nMissing '}': {a:nada}\r\n"},
    {"no colon after a quoted key", "{\"a\" 1}", "{a:d1}", "Invalid Key at position 6 : a\r\n"},
    {"no colon after a megabyte key: an excerpt", "{\"" + QString(1 << 20, u'k') + "\" 1}", "{" + QString(1 << 20, u'k') + ":d1}",
     "Invalid Key at position 1048581 : " + QString(clsJSON::kMaxExtracto, u'k') + "\r\n"},
    {"a comma before the brace reads the brace as a key", "{a:1,}", "{a:d1,}:~}", "Missing '}': {a:1,}\r\n"},
    {"a repeated key ends its object; later members are not read", "{'a':1,'a':2}", "{a:d1}", duplicadas({"a"})},
    {"a repeated key ends every enclosing object", "{'a':{'b':1,'b':2},'c':3}", "{a:{b:d1}}", duplicadas({"b", "a"})},
    {"an array names the 20 characters that follow", "[{'b':1,'b':2},'" + QString(5000, u'x') + "']", "[{b:d1}]",
     duplicadas({"b", "},'" + QString(17, u'x')})},
    {"a megabyte key repeated: an excerpt", "{'" + QString(1 << 20, u'k') + "':1,'" + QString(1 << 20, u'k') + "':2}",
     "{" + QString(1 << 20, u'k') + ":d1}", duplicadas({QString(clsJSON::kMaxExtracto, u'k')})},
    {"objects and arrays mixed", "{x:[1,{y:{z:1,z:2}},3],w:4}", "{x:[d1,{y:{z:d1}}]}", duplicadas({"z", "y", "}},3],w:4}", "x"})},
    {"the records wrapper", "( {\"Records\": [\r\n{\"a\":\"1\"}\r\n], \"RecordCount\":\"1\" } )", "{Records:[{a:'1'}],RecordCount:'1'}", {}},
    {"empty containers; what follows the first value is not read", "{\"a\":[],\"b\":{},\"c\":[[],[{}]]} sobra [", "{a:[],b:{},c:[[],[{}]]}", {}},
    {"objects and arrays as deep as the reader goes", u"{\"a\":["_s.repeated(kMaxNivel / 2) + "1" + u"]}"_s.repeated(kMaxNivel / 2),
     u"{a:["_s.repeated(kMaxNivel / 2) + "d1" + u"]}"_s.repeated(kMaxNivel / 2), {}},
    {"one level deeper: each level ends with a complaint", u"["_s.repeated(kMaxNivel + 1) + "1", kHondo, lines("Out of stack space: [1", kMaxNivel)},
    {"far deeper: complaints stay bounded", QString(100000, u'['), kHondo,
     lines(vb::DefaultErrorText(vb::err::OutOfStack) + ": " + QString(20, u'['), kMaxNivel)},
    {"objects far deeper name their own keys", u"{k:"_s.repeated(100000), u"{k:"_s.repeated(kMaxNivel) + "~" + u"}"_s.repeated(kMaxNivel),
     lines("Out of stack space: k", kMaxNivel)},
    {"an empty text", "", "Nothing", "Invalid JSON"},
};
// clang-format on

// One reader for all rows: every reading starts clean whatever the one before left.
TEST(clsJSON, ToleranceRulesGiveTheirExactResultsAndComplaints) {
    clsJSON json;
    for (const Regla& r : kReglas) {
        SCOPED_TRACE(r.regla);
        EXPECT_EQ(dump(vb::FromObject(json.parse(r.texto))), r.valor);
        EXPECT_EQ(json.GetParserErrors(), r.quejas);
    }
}

// What a text holds: the checks look at the cleaned ends, the Try forms say whether the kind was
// right, and a text without an object gives no entity. Then flags and dates as requests carry them.
TEST(clsJSON, EntryPointsTellTheKindOfTextAndReadFlagsAndDates) {
    clsJSON json;
    EXPECT_TRUE(json.EsJsonObject(u" {\r\n} "_s));
    EXPECT_FALSE(json.EsJsonObject(u"{ ]"_s));
    EXPECT_TRUE(json.EsJsonArray(u"\t[1,\n2]\t\t "_s));
    EXPECT_FALSE(json.EsJsonArray(u"([1])"_s));
    EXPECT_FALSE(json.EsJson(u"[}"_s));
    EXPECT_FALSE(json.EsJson(u" \r\n "_s));

    vb::EntidadPtr e;
    std::shared_ptr<vb::Collection> c;
    vb::ColeccionPtr cg;
    EXPECT_TRUE(json.TryParseObjeto(u"NULL"_s, e) && e->Count() == 0);
    EXPECT_FALSE(json.TryParseObjeto(u"[1]"_s, e));
    EXPECT_TRUE(json.TryParseObjeto(u"{accion:'Ping', a:1 'a':2}"_s, e) && e->Count() == 2);
    EXPECT_FALSE(json.GetParserErrors().isEmpty()); // complaints do not make it fail
    EXPECT_TRUE(json.TryParseColeccion(u"Null"_s, c) && c->Count() == 0);
    EXPECT_FALSE(json.TryParseColeccion(u"{a:1}"_s, c));
    EXPECT_FALSE(json.TryParseColeccionGenerica(u"[{a:1},3,{b:2}]"_s, cg));
    EXPECT_EQ(cg->Count(), 1);
    EXPECT_TRUE(reported(u"clsJSON.TryParseColeccionGenerica"_s));

    EXPECT_EQ(errorOf([&] { json.parseDictionary(u"[1,2]"_s); }), vb::err::TypeMismatch);
    EXPECT_EQ(json.parseIEntidad(u"Ping"_s), nullptr);
    EXPECT_TRUE(reported(u"clsJSON.parseIEntidad: El JSON no es un objeto o un dictionary"_s));

    for (const Variant& v : QVariantList{u"s"_s, u"S"_s, u"1"_s, u"VERDADERO"_s, u"True"_s, 2.5, true})
        EXPECT_TRUE(json.ParseBool(v)) << qPrintable(dump(v));
    for (const Variant& v : QVariantList{u"no"_s, u"0"_s, u"N"_s, QString(), u"#ERROR#"_s, vb::Null(), Variant(), false,
                                         vb::FromObject(std::make_shared<vb::Dictionary>())})
        EXPECT_FALSE(json.ParseBool(v)) << qPrintable(dump(v));

    EXPECT_EQ(json.ParseFecha(u"hola"_s), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(json.ParseFecha(vb::Null()), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(json.ParseFecha(u"2024-03-05 10:20:30"_s), QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30)));
    EXPECT_EQ(json.ParseFecha(20240305.0).date(), QDate(2024, 3, 5));
}

// ---- Writing

std::shared_ptr<vb::Dictionary> dic(std::initializer_list<std::pair<QString, Variant>> members) {
    auto d = std::make_shared<vb::Dictionary>();
    for (const auto& [k, v] : members)
        d->Add(k, v);
    return d;
}

vb::EntidadPtr entidad(std::initializer_list<std::pair<QString, Variant>> members) {
    auto e = std::make_shared<vb::entidadGenerica>();
    e->setDiccionario(dic(members));
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
    QString typeName() const override { return u"clsAjeno"_s; }
};

// What a strict parser makes of a text; a text it refuses fails the test.
QJsonObject strict(const QString& text) {
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &err);
    EXPECT_EQ(err.error, QJsonParseError::NoError) << qPrintable(err.errorString()) << " in " << qPrintable(text);
    return doc.object();
}

TEST(clsJSON, EveryValueAndTextHasItsWrittenFormWhateverTheLocale) {
    // Everything is written under a Spanish locale, built for the C library when the machine lacks
    // it, so that anything reaching printf-style conversions would show a decimal comma.
    QTemporaryDir dir;
    const std::string localeAntes = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8")) {
        QProcess::execute(u"localedef"_s, {u"-i"_s, u"es_ES"_s, u"-f"_s, u"UTF-8"_s, dir.filePath(u"es_ES.UTF-8"_s)});
        qputenv("LOCPATH", dir.path().toLocal8Bit());
        std::setlocale(LC_ALL, "es_ES.UTF-8");
    }
    EXPECT_EQ(std::localeconv()->decimal_point, std::string(",")) << "the C library's Spanish locale could not be set";
    const QLocale antes;
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));

    clsJSON json;
    // clang-format off
    const auto e = entidad({{"t", u"di \"hola\""_s}, {"b", true}, {"d", 1.5}, {"n", qint32(3)}, {"i", QVariant::fromValue<qint16>(-4)},
                            {"s", 2.25f}, {"f", QDateTime(QDate(2024, 2, 29), QTime(13, 45))}, {"z", vb::Null()}, {"v", Variant()}, {"no", false}});
    const QString todos = u"{\"t\":\"di \\\"hola\\\"\",\"b\":true,\"d\":1.5,\"n\":\"3\",\"i\":\"-4\",\"s\":\"2.25\","
                          "\"f\":\"2024-02-29\",\"z\":\"\",\"v\":\"\",\"no\":false}"_s;
    recordingMainWindow().grid.clear();
    const Variant ajeno = vb::FromObject(std::make_shared<Ajeno>());
    const QString noEscribibles = json.DictionaryToJson(dic({{"a", u"1"_s}, {"o", ajeno}, {"n", vb::Nothing()}, {"arr", QVariantList{1, 2}},
        {"in", vb::FromObject(dic({{"x", ajeno}}))}, {"l", lista({1.0, vb::Nothing(), u"z"_s})}, {"nan", qQNaN()}, {"z", true}}));
    // clang-format on
    EXPECT_TRUE(reported(u"clsJSON.DictionaryToJson:"_s));
    EXPECT_TRUE(reported(u"clsJSON.CollectionToJson:"_s));

    auto sinDiccionario = std::make_shared<vb::entidadGenerica>();
    sinDiccionario->setDiccionario(nullptr);
    auto gen = std::make_shared<vb::coleccionGenerica>();
    gen->Add(entidad({{"a", 1.0}}));
    auto ciclo = std::make_shared<vb::Dictionary>();
    ciclo->Add(u"yo"_s, vb::FromObject(ciclo));
    const QString profundo = json.DictionaryToJson(ciclo);
    ciclo->RemoveAll(); // break the cycle so it is freed

    enum Lectores { Nadie, Estricto, Ambos }; // a strict parser, and ours without complaints
    struct Forma {
        const char* caso;
        QString escrito, esperado;
        Lectores lectores = Nadie;
    };
    // clang-format off
    const Forma formas[] = {
        {"each kind has its form", json.EntidadGenericaToJson(e), todos, Ambos},
        {"IEntidadToJson alike", json.IEntidadToJson(entidad({{"a", 1.0}})), "{\"a\":1}"},
        {"without the flag texts go out raw", json.DictionaryToJson(dic({{"t", u"a\"b{\u00E9}"_s}}), false), u"{\"t\":\"a\"b{\u00E9}\"}"_s},
        {"no dictionary", json.DictionaryToJson(nullptr), "null"},
        {"an entity without its dictionary", json.EntidadGenericaToJson(sinDiccionario), "null"},
        {"an empty list", json.CollectionToJson(lista({})), "[]"},
        {"no list", json.CollectionToJson(vb::Nothing()), "null"},
        {"lists quote every scalar, numbers too", json.CollectionToJson(lista({qint32(1), 2.5, true, u"{x}"_s, 1e300})),
         "[\"1\",\"2.5\",\"True\",\"\\u007Bx\\u007D\",\"1E+300\"]"},
        {"dictionaries, entities and both lists inside each other",
         json.DictionaryToJson(dic({{"l", lista({lista({}), vb::FromObject(dic({{"k", 0.5}}))})}, {"g", vb::FromObject(gen)},
                                    {"e", vb::FromObject(entidad({}))}})),
         "{\"l\":[[],{\"k\":0.5}],\"g\":[{\"a\":1}],\"e\":{}}", Ambos},
        {"keys are escaped like values", json.DictionaryToJson(dic({{"a\"b", 1.0}, {"{k}", 2.0}, {"idTPV", 3.0}})),
         "{\"a\\\"b\":1,\"\\u007Bk\\u007D\":2,\"idTPV\":3}", Estricto}, // our reader takes keys as they stand
        {"values that cannot be written become null", noEscribibles,
         "{\"a\":\"1\",\"o\":null,\"n\":null,\"arr\":null,\"in\":{\"x\":null},\"l\":[\"1\",null,\"z\"],\"nan\":null,\"z\":true}", Estricto},
        {"a dictionary that holds itself ends at the deepest level", profundo,
         u"{\"yo\":"_s.repeated(kMaxNivel) + "null" + QString(kMaxNivel, u'}'), Ambos},
        {"doubles, with up to 15 digits", json.DictionaryToJson(dic({{"a", 1.0 / 3}, {"b", 1e20}, {"c", 0.1 + 0.2}, {"d", -2.5e-10},
                                                                     {"e", 1234.5}, {"f", 1e-7}})),
         "{\"a\":0.333333333333333,\"b\":1E+20,\"c\":0.3,\"d\":-2.5E-10,\"e\":1234.5,\"f\":1E-07}", Ambos},
        {"reply: GetPeso failing inside the weighing",
         json.EntidadGenericaToJson(entidad({{"ok", false}, {"error", QString()}, {"peso", 0.0}, {"tipo_error", qint32(0)},
                                             {"errorVB6", u"Device I/O error \"COM1\"\r\n\\"_s}})),
         "{\"ok\":false,\"error\":\"\",\"peso\":0,\"tipo_error\":\"0\",\"errorVB6\":\"Device I/O error \\\"COM1\\\"\\r\\n\\\\\"}", Ambos},
        {"records, texts untouched, an empty one", json.StringToJSON(u"a~1,5~b~2|c~{\u00E9}|"_s),
         "( {\"Records\": [\r\n{\"a\":\"1,5\",\"b\":\"2\"},\r\n{\"c\":\"\\u007B\\u00E9\\u007D\"},\r\n{}\r\n], \"RecordCount\":\"3\" } )"},
        {"records raw", json.StringToJSON(u"a~{"_s, false), "( {\"Records\": [\r\n{\"a\":\"{\"}\r\n], \"RecordCount\":\"1\" } )"},
        {"records: escaped key", json.StringToJSON(u"a'b~1"_s), "( {\"Records\": [\r\n{\"a\\'b\":\"1\"}\r\n], \"RecordCount\":\"1\" } )"},
        {"no records", json.StringToJSON(QString()), "null"},
        {"records read back", dump(vb::FromObject(json.parse(json.StringToJSON(u"x~1|y~2"_s)))), "{Records:[{x:'1'},{y:'2'}],RecordCount:'2'}"},
        {"toString: arrays", json.toString(QVariantList{QVariantList{1, 2}, 1.5, u"a/b"_s, vb::Null(), Variant(), true}),
         "[[1,2],1.5,\"a\\/b\",null,null,true]"},
        {"toString: Empty, text, Nothing, date", json.toString(Variant()) + json.toString(u"l'\u00E9"_s) + json.toString(vb::Nothing()) +
         json.toString(QDateTime(QDate(2024, 1, 2), QTime(0, 0))), "\"l'\\u00E9\"\"Nothing\"\"02/01/2024\""},
        {"toUnicode: braces, apostrophe, quote, backslash, slash", json.toUnicode(u"{a}l'a\"\\/"_s), "\\u007Ba\\u007Dl\\'a\\\"\\\\/"},
        {"toUnicode: controls", json.toUnicode(u"\b\t\n\f\r\x01\x1f\x7f"_s), "\\b\\t\\n\\f\\r\\u0001\\u001F\x7f"},
        {"toUnicode: Latin-1 by its code, the code page's letters by their UTF-16 code",
         json.toUnicode(u"\u00E9\u00F1\u00A0\u00FF\u20AC\u0160\u2019\u0178"_s), "\\u00E9\\u00F1\\u00A0\\u00FF\\u20AC\\u0160\\u2019\\u0178"},
        {"toUnicode: the rest as ?, a character beyond 16 bits as two", json.toUnicode(u"\u0100\u4E2D\U0001F355"_s), "????"},
        {"Encode", json.Encode(u"a/b\"c\\'\u00E9\u20AC\x01\t"_s), "a\\/b\\\"c\\\\'\\u00E9\\u20AC\\u0001\\t"},
    };
    // clang-format on
    std::setlocale(LC_ALL, localeAntes.c_str());
    qunsetenv("LOCPATH");
    QLocale::setDefault(antes);

    for (const Forma& f : formas) {
        SCOPED_TRACE(f.caso);
        EXPECT_EQ(f.escrito, f.esperado);
        if (f.lectores != Nadie)
            strict(f.escrito);
        EXPECT_TRUE(f.lectores != Ambos || (json.parse(f.escrito) && json.GetParserErrors().isEmpty()));
    }
    EXPECT_EQ(errorOf([&] { json.StringToJSON(u"a~1~b"_s); }), vb::err::SubscriptOutOfRange); // a name without value
    // A double is written as the program's own text of it, whichever the road.
    for (double d : {0.1, -0.0, 100.0, 1e15, 999999999999999.0, 1e-5, 0.0001, 123456789012345678.0, 1e300})
        EXPECT_EQ(json.toString(d), vb::CStr(d)) << d;
}

// Every code page letter and control character goes out as plain ASCII and reads back unchanged.
TEST(clsJSON, CodePageTextsReadBackUnchanged) {
    clsJSON json;
    QString todos;
    for (int b = 1; b <= 0xFF; ++b)
        todos += vb::Chr(b);
    const QString texto = json.EntidadGenericaToJson(entidad({{"t", todos}}));
    for (QChar c : texto)
        ASSERT_LT(c.unicode(), 128);
    EXPECT_EQ(std::dynamic_pointer_cast<vb::Dictionary>(json.parse(texto))->value(u"t"_s).toString(), todos);
    EXPECT_EQ(strict(texto).value(u"t"_s).toString(), todos);
}

TEST(clsJSON, RecordsetsToJson) {
    TARVOLIN_REQUIRE_DATABASE();
    const QString db = testenv::createDatabase(u"json"_s, false);
    ASSERT_TRUE(
        testenv::runSql(db, u"create table t (id int, precio double, nombre varchar(40), fecha date, nada varchar(5));"
                            "insert into t values (1, 2.5, 'Caf\u00E9 {con} \"leche\" y l''agua', '2024-05-06', null),"
                            "(2, 0.1, '\u20AC', null, 'x');"_s));
    const QString r1 = u"{\"id\":\"1\",\"precio\":\"2.5\",\"nombre\":\"Caf\\u00E9 \\u007Bcon\\u007D "
                       "\\\"leche\\\" y l\\'agua\",\"fecha\":\"06/05/2024\",\"nada\":\"\"}"_s;
    const QString r2 = u"{\"id\":\"2\",\"precio\":\"0.1\",\"nombre\":\"\\u20AC\",\"fecha\":\"\",\"nada\":\"x\"}"_s;
    const std::tuple<const char*, OpcionesRS, QString> casos[] = {
        {"", {}, "( {\"Records\": [\r\n" + r1 + ",\r\n" + r2 + "\r\n], \"RecordCount\":\"2\" } )"},
        {"", {.blnAddRecordsYRecordCount = false}, "[\r\n" + r1 + ",\r\n" + r2 + "\r\n]"},
        {"", {.blnSoloPrimerRegistro = true}, r1}, // and the recordset stays on the next record
        {"where id > 5", {}, "null"},
    };
    ado::Connection cn;
    cn.Open(testenv::connectionString(db));
    clsJSON json;
    for (const auto& [donde, opciones, esperado] : casos) {
        auto rs = cn.Execute(u"select * from t "_s + QLatin1StringView(donde));
        EXPECT_EQ(json.RStoJSON(rs.get(), opciones), esperado);
        EXPECT_EQ(rs->isEOF(), !opciones.blnSoloPrimerRegistro);
        rs->Close();
        EXPECT_EQ(json.RStoJSON(rs.get()), u"null"_s);
    }
    EXPECT_EQ(json.RStoJSON(nullptr), QString());
    cn.Close();
    testenv::dropDatabase(db);
}

// ---- The script language

QString anidado(int listas) {
    return QString(listas, u'[') + u"\"x\""_s + QString(listas, u']');
}

// Sets x to "ab", doubles it `veces` times, and yields it.
QString duplica(int veces) {
    QString s = uR"([{"set":{"name":"x","value":"ab"}})"_s;
    for (int i = 0; i < veces; ++i)
        s += uR"(,{"set":{"name":"x","value":[{"get":{"name":"x"}},{"get":{"name":"x"}}]}})"_s;
    return s + uR"(,{"get":{"name":"x"}}])"_s;
}

TEST(clsJSON, ScriptsYieldTheirTextBoxesAndErrors) {
    struct Caso {
        QString script;
        QString esperado;
        QStringList cajas = {}; // "kind|text|title|style" of each box shown
    };
    // clang-format off
    const Caso casos[] = {
        {R"(["a", null, "b"])", "anullb"},
        {R"([{"set":{"name":"x","value":"1,5"}}, {"get":{"name":"x"}}, {"set":{"name":"x","value":1.5}}, {"get":{"name":"x"}}])", "1,51.5"},
        {R"([{"get":{"name":"nunca","default":"d"}}, {"set":{"name":"v","value":""}}, {"get":{"name":"v","default":"e"}}])", "de"},
        {R"([{"switch":{"case":"B","default":"z","items":[{"case":"a","return":"1"},{"case":"b","return":"2"}]}},
             {"switch":{"case":"c","default":"z","items":[{"case":"a","return":"1"}]}}])", "2z"},
        {R"([{"if":{"value1":"10","value2":"9","type":"lt","true":"si","false":"no"}},
             {"if":{"value1":"A","value2":"a","type":"EQ","true":"si","false":"no"}}, {"if":{"type":"xx","false":"f"}}])", "sisif"},
        {R"([{"mesa":{"n":"4","s":"b"}}, {"pie":"texto"}, {"lista":[1]}, {"precio":{"p":1.5,"q":2}}, [2.5], {"n":{"v":3}}])",
         "<%MESA(4,b)%><%PIE(texto)%><%LISTA()%><%PRECIO(1.5,2)%>2.5<%N(3)%>"},
        {R"([true])", "error 424"},
        {R"([{"input":{"prompt":"¿Mesa?","title":"T","default":"1"}}, "-", {"input":{"prompt":"p"}}])", "7-",
         {"inputBox|¿Mesa?|T|0", "inputBox|p||0"}},
        {R"([{"return":"r","alert":{"message":"m","title":"t"}}])", "r", {"messageBox|m|t|64"}},
        {"[" + anidado(41) + "]", "ERROR: Nesting level exceeded."},
        {"{}", ""},
        {R"({"a":"b"})", "error 424"},
        {"no es json", "", {"messageBox|Invalid JSON|Parser Error|48"}},
        {R"([{"alert":5}])", "error 424"},
        {R"([{"return":{"a":"b"}}])", "error 13"},
        {R"([{"switch":{"case":"a","items":[{"case":{"x":1}}]}}])", "error 13"},
        {R"([{"dir":{"calle":"Mayor, 5","n":1.5}}])", "<%DIR(Mayor, 5,1.5)%>"},
        {duplica(18), u"ab"_s.repeated(1 << 18)},
        {duplica(30), "error 7"},
    };
    // clang-format on
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.script.left(200).toStdString());
        clsJSON json;
        prompts::ScriptedPrompts cajas;
        cajas.inputs = {u"7"_s}; // the first input box gets 7, any later one is cancelled
        prompts::install(&cajas);
        QString resultado;
        if (const int error = errorOf([&] { resultado = json.Eval(c.script); }))
            resultado = u"error "_s + QString::number(error);
        prompts::install(nullptr);
        EXPECT_EQ(resultado, c.esperado);
        QStringList vistas;
        for (const auto& k : cajas.calls)
            vistas << k.kind + u'|' + k.text + u'|' + k.title + u'|' + QString::number(k.style);
        EXPECT_EQ(vistas, c.cajas);
        // The nesting counter is back to 0 after every script, failed or not.
        EXPECT_EQ(json.Eval("[" + anidado(40) + "]"), "x");
    }
}

} // namespace
