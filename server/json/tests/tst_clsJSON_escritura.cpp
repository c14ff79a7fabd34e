// The writer: value forms, escaping, unwritable values, the record writers, every reply shape of
// the request dispatcher read back by our reader and by Qt's strict parser, and a Spanish locale.
#include "JsonDump.h"
#include "server/json/clsJSON.h"

#include "core/basGeneral.h"
#include "platform/Ado.h"
#include "testsupport/TestEnv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

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

TEST(clsJSON_escritura, EachKindHasItsForm) {
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

TEST(clsJSON_escritura, ToUnicodeEscapesByCharacterCode) {
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

TEST(clsJSON_escritura, EuroAndOtherCodePageLettersReadBackUnchanged) {
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

TEST(clsJSON_escritura, KeysAreEscapedLikeValues) {
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

TEST(clsJSON_escritura, ValuesThatCannotBeWrittenBecomeNullAndAreReported) {
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

TEST(clsJSON_escritura, DoublesHaveOneFormEverywhere) {
    clsJSON json;
    const std::pair<double, const char*> casos[] = {{0.1, "0.1"},
                                                    {1.5, "1.5"},
                                                    {-0.0, "0"},
                                                    {100, "100"},
                                                    {1e20, "1E+20"},
                                                    {1e15, "1E+15"},
                                                    {999999999999999, "999999999999999"},
                                                    {1e-5, "1E-05"},
                                                    {0.0001, "0.0001"},
                                                    {1.0 / 3, "0.333333333333333"},
                                                    {123456789012345678.0, "1.23456789012346E+17"},
                                                    {-2.5e-10, "-2.5E-10"},
                                                    {0.1 + 0.2, "0.3"}};
    for (const auto& [d, texto] : casos) {
        EXPECT_EQ(clsJSON::formatDouble(d), QLatin1StringView(texto));
        EXPECT_EQ(clsJSON::formatDouble(d), vb::CStr(d)) << texto; // the program's own text of a double
        const QString escrito = json.DictionaryToJson(dic({{QStringLiteral("d"), d}}));
        const QJsonObject o = strict(escrito).object();
        EXPECT_DOUBLE_EQ(o.value(QStringLiteral("d")).toDouble(), std::stod(texto)) << qPrintable(escrito);
    }
}

TEST(clsJSON_escritura, ToStringAndArrays) {
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

TEST(clsJSON_escritura, StringToJSONRecords) {
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
    EXPECT_EQ(jsontest::dumpObject(d), QStringLiteral("{Records:[{x:'1'},{y:'2'}],RecordCount:'2'}"));
}

// Every reply the dispatcher writes, as it builds them.
TEST(clsJSON_escritura, EveryReplyShapeReadsBackHereAndInAStrictParser) {
    struct Respuesta {
        const char* nombre;
        vb::EntidadPtr entidad;
        const char* esperado; // jsontest::dump of what the reader gives back
    };
    const Respuesta respuestas[] = {
        {"empty reply (null request, unreadable request)", entidad({}), "{}"},
        {"GetIdTPV", entidad({{"idTPV", QVariant::fromValue<qint16>(3)}, {"ok", true}}), "{idTPV:'3',ok:true}"},
        {"AnadirLog, printing, shutdown", entidad({{"ok", true}}), "{ok:true}"},
        {"GetPrinters",
         entidad({{"result", lista({QStringLiteral("Cocina 1"), QStringLiteral("Barra/Caf\u00E9")})}, {"ok", true}}),
         "{result:['Cocina 1','Barra/Caf\u00E9'],ok:true}"},
        {"GetPrinters without printers", entidad({{"result", lista({})}, {"ok", true}}), "{result:[],ok:true}"},
        {"Ping", entidad({{"respuesta", QStringLiteral("S")}, {"ok", true}}), "{respuesta:'S',ok:true}"},
        {"unknown action",
         entidad({{"errorVB6", QStringLiteral("Acci\u00F3n 'Imprimir{X}' no implementada.")}, {"ok", false}}),
         "{errorVB6:'Acci\u00F3n 'Imprimir{X}' no implementada.',ok:false}"},
        {"run-time error", entidad({{"ok", false}, {"errorVB6", QStringLiteral("Type mismatch")}}),
         "{ok:false,errorVB6:'Type mismatch'}"},
        {"GetPeso with a weight",
         entidad({{"ok", true}, {"error", QString()}, {"peso", 1.235}, {"tipo_error", qint32(0)}}),
         "{ok:true,error:'',peso:d1.235,tipo_error:'0'}"},
        {"GetPeso without product",
         entidad({{"ok", true},
                  {"error", QStringLiteral("Ponga el producto sobre la balanza, por favor...")},
                  {"peso", 0.0},
                  {"tipo_error", qint32(3)}}),
         "{ok:true,error:'Ponga el producto sobre la balanza, por favor...',peso:d0,tipo_error:'3'}"},
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
        EXPECT_EQ(jsontest::dumpObject(json.parse(texto)), QString::fromUtf8(r.esperado)) << qPrintable(texto);
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
            if (original.typeId() == QMetaType::Bool)
                EXPECT_EQ(v.toBool(), original.toBool());
            else if (original.typeId() == QMetaType::Double)
                EXPECT_EQ(v.toDouble(), original.toDouble());
            else if (original.typeId() == QMetaType::QString || original.typeId() == QMetaType::Short ||
                     original.typeId() == QMetaType::Int)
                EXPECT_EQ(v.toString(), vb::CStr(original));
            else
                EXPECT_TRUE(v.isArray());
        }
    }
}

TEST(clsJSON_escritura, ASpanishLocaleChangesNothing) {
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

TEST(clsJSON_escritura, RecordsetsToJson) {
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
    EXPECT_EQ(jsontest::dumpObject(json.parse(sinEnvoltorio)).left(9), QStringLiteral("[{id:'1',"));

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

} // namespace
