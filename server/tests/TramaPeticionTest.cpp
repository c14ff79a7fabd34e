// Request framing on bytes: where a request ends however the network splits it, the size bound,
// the persistence prefixes, the cut where the object starts, and what a pause may end.
#include "server/TramaPeticion.h"

#include <QByteArrayList>
#include <QList>
#include <gtest/gtest.h>

using trama::LectorPeticiones;
using Estado = trama::LectorPeticiones::Estado;

namespace {

const QByteArray kPeticiones[] = {
    R"({"accion":"Ping"})",
    R"(conexion_persistente{"accion":"AnadirLog","Texto":"llaves } { y \"comillas\" \\"})",
    R"(GET / {"a":{"b":[{"c":"}}}"}]},"d":"\\\\"})",
    "{\"texto\":\"Caf\xE9 \x80 {\"}",
};

TEST(TramaPeticion, RequestEndsAtItsClosingBraceWhereverTheNetworkSplitsIt) {
    for (const QByteArray& p : kPeticiones) {
        SCOPED_TRACE(p.toStdString());
        for (qsizetype corte = 1; corte < p.size(); ++corte) {
            LectorPeticiones l;
            EXPECT_EQ(l.anade(p.left(corte)), Estado::Incompleta) << corte;
            EXPECT_EQ(l.anade(p.mid(corte)), Estado::Completa) << corte;
            EXPECT_EQ(l.toma(), p);
        }
    }
}

// Every request the reader gives for `bytes` fed in pieces cut at `cortes`, the rest at the end.
QByteArrayList peticiones(const QByteArray& bytes, const QList<qsizetype>& cortes) {
    LectorPeticiones l;
    QByteArrayList r;
    qsizetype desde = 0;
    for (qsizetype hasta : cortes + QList<qsizetype>{bytes.size()}) {
        for (Estado e = l.anade(bytes.mid(desde, hasta - desde)); e == Estado::Completa; e = l.estado())
            r << l.toma();
        desde = hasta;
    }
    for (Estado e = l.revisa(); e == Estado::Completa; e = l.revisa())
        r << l.toma();
    if (!l.vacio())
        r << l.toma();
    return r;
}

TEST(TramaPeticion, BlanksBehindARequestAreDroppedHoweverTheBytesAreSplit) {
    const struct {
        QByteArray bytes;
        QByteArrayList esperadas;
    } casos[] = {
        {"ÿ{} {}", {"ÿ{}", "{}"}},
        {"conexion_persistente{\"a\":1}\r\nconexion_persistente{\"b\":2}\r\n",
         {"conexion_persistente{\"a\":1}", "conexion_persistente{\"b\":2}"}},
        {"{}\t \r\n", {"{}"}},
        {"hola {} x", {"hola {}", "x"}},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.bytes.toStdString());
        EXPECT_EQ(peticiones(k.bytes, {}), k.esperadas);
        QList<qsizetype> cadaByte;
        for (qsizetype i = 1; i < k.bytes.size(); ++i) {
            EXPECT_EQ(peticiones(k.bytes, {i}), k.esperadas) << "cut at " << i;
            cadaByte << i;
        }
        EXPECT_EQ(peticiones(k.bytes, cadaByte), k.esperadas);
    }
}

// The request ends where the JSON reader's grammar ends the object, wherever the bytes are split.
TEST(TramaPeticion, RequestEndsWhereTheReaderClosesTheObject) {
    const struct {
        QByteArray bytes;
        QByteArrayList esperadas;
    } casos[] = {
        {"{'t':'Mesa 4 } postre: flan','i':'T'}{}", {"{'t':'Mesa 4 } postre: flan','i':'T'}", "{}"}},
        {"{'t':'\"{'}{}", {"{'t':'\"{'}", "{}"}},
        {"{\"t\":\"'}\"}{}", {"{\"t\":\"'}\"}", "{}"}},
        {"{/* } */'a':1}{}", {"{/* } */'a':1}", "{}"}},
        {"{'a':1 // } \"\n}{}", {"{'a':1 // } \"\n}", "{}"}},
        {"{a}b:1}{}", {"{a}b:1}", "{}"}},                 // a key without quotes holds the brace
        {"{'k}':1}{}", {"{'k}':1}", "{}"}},               // and so does a key in apostrophes
        {"{'t':'\\u}}}}'}{}", {"{'t':'\\u}}}}'}", "{}"}}, // \u takes four characters, braces too
        {"{'a':[x]}{}", {"{'a':[x]}{}"}},                 // an array that never reads its "]": the key "x]}{}" runs on
        {"{'a':1,'a':2}{}", {"{'a':1,'a':2}", "{}"}},     // a repeated key ends the reading, not the request
        {"{'t':'abierta}", {"{'t':'abierta}"}},           // never closed: handed over as it stands
        {"/* { */{'a':1}{}", {"/* { */{'a':1}", "{}"}},   // a "{" in a leading comment starts nothing
        {"// {\n{'a':1}{}", {"// {\n{'a':1}", "{}"}},
        {"x/*{*/{}{}", {"x/*{*/{}", "{}"}},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.bytes.toStdString());
        ASSERT_EQ(peticiones(k.bytes, {}), k.esperadas);
        QList<qsizetype> cadaByte;
        for (qsizetype i = 1; i < k.bytes.size(); ++i)
            cadaByte << i;
        ASSERT_EQ(peticiones(k.bytes, cadaByte), k.esperadas);
    }
}

// The end of a request is found on the arrival that brings it, however small, and a peer that
// sends a "}" in every byte costs the reader a bounded multiple of what it sent; a "}" the budget
// held back is found by revisa (the pause).
TEST(TramaPeticion, TheEndIsFoundWhenItsByteArrivesAtABoundedCost) {
    const QByteArray anidado = "{'accion':'Ping','d':{'x':[" + QByteArray("{'a':1},").repeated(2500) + "{}]}}";
    LectorPeticiones l;
    for (qsizetype i = 0; i + 100 < anidado.size(); i += 4096)
        ASSERT_EQ(l.anade(anidado.mid(i, std::min<qsizetype>(4096, anidado.size() - 100 - i))), Estado::Incompleta);
    ASSERT_EQ(l.anade(anidado.right(100)), Estado::Completa) << "a last piece of 100 bytes";
    ASSERT_EQ(l.toma(), anidado);

    const QByteArray goteo = "{'t':'" + QByteArray(200000, '}') + "'}";
    LectorPeticiones g;
    Estado e = Estado::Vacio;
    for (char c : goteo)
        e = g.anade(QByteArray(1, c));
    EXPECT_LE(g.costeLectura(), LectorPeticiones::kCostePorByte * goteo.size());
    if (e != Estado::Completa) {
        EXPECT_TRUE(g.revisionPendiente());
        e = g.revisa();
    }
    ASSERT_EQ(e, Estado::Completa);
    ASSERT_EQ(g.toma(), goteo);
    ASSERT_EQ(LectorPeticiones().anade(QByteArray("{a:").repeated(2000) + QByteArray(2000, '}')), Estado::Anidada);
}

// Many requests in one arrival: each is cut in turn from the same buffer, which is compacted as they go.
TEST(TramaPeticion, ManySmallRequestsInOneArrivalAreCutOneByOne) {
    const QByteArray una = R"({"accion":"Ping"})";
    const QByteArray todas = una.repeated(60000);
    LectorPeticiones l;
    qsizetype n = 0;
    for (Estado e = l.anade(todas); e == Estado::Completa; e = l.estado(), ++n)
        ASSERT_EQ(l.toma(), una);
    EXPECT_EQ(n, 60000);
    EXPECT_TRUE(l.vacio());
}

// A pause hands over only a text that holds no object, does not end in a comment and is more than
// a prefix, blanks and comments.
TEST(TramaPeticion, OnlyATextWithoutAnObjectEndsWithAPause) {
    const struct {
        QByteArray bytes;
        bool pausa;
    } casos[] = {
        {"null", true},
        {"conexion_persistente_end", false},
        {"CONEXION_PERSIST", false},
        {"conexion_persistente_endconexion_persistente /* a */ \r\n", false},
        {"conexion_persistente x", true},
        {" \r\n", false},
        {"{\"texto\":\"1 Entrecot", false},
        {"/* { */", false},
        {"x /* { */", true},
        {"/* a", false},
        {"x // {", false},
        {"x /", false},
        {"{}", false},
    };
    for (const auto& k : casos) {
        LectorPeticiones l;
        l.anade(k.bytes);
        EXPECT_EQ(l.terminaConPausa(), k.pausa) << k.bytes.toStdString();
    }
}
TEST(TramaPeticion, MoreThanOneMebibyteIsRefused) {
    const QByteArray cabeza = R"({"Texto":")";
    const QByteArray cola = "\"}";
    LectorPeticiones justo, grande;
    EXPECT_EQ(justo.anade(cabeza + QByteArray(trama::kMaxPeticion - cabeza.size() - cola.size(), 'x') + cola),
              Estado::Completa);
    EXPECT_EQ(grande.anade(cabeza + QByteArray(trama::kMaxPeticion - cabeza.size(), 'x')), Estado::Incompleta);
    EXPECT_EQ(grande.anade("x" + cola), Estado::Excedida);
}

TEST(TramaPeticion, PrefixesAtTheStartInAnyCaseThenTheCutAtTheBrace) {
    const struct {
        QString texto, datos, tag;
        bool marca, json;
    } casos[] = {
        {R"(Conexion_Persistente xx{"a":1})", R"({"a":1})", "conexion_persistente", false, true},
        {R"(conexion_persistenteconexion_persistente_end{})", "{}", "conexion_persistente", false, true},
        {R"( conexion_persistente{})", "{}", "", false, true},
        {"conexion_persistente_endnull", "null", "conexion_persistente_end", true, false},
        {"conexion_persisten", "conexion_persisten", "", false, false},
        {R"(conexion_persistente/* { */{"accion":"Ping"})", R"({"accion":"Ping"})", "conexion_persistente", false,
         true},
        {"// {\r\n{}", "{}", "", false, true},
        {"/* { */ null", "/* { */ null", "", false, false},
        {"", "", "", false, false},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.texto.toStdString());
        const trama::PeticionRecibida p = trama::analizaPeticion(k.texto);
        EXPECT_EQ(p.datos, k.datos);
        EXPECT_EQ(p.Tag, k.tag);
        EXPECT_EQ(p.marcaFin, k.marca);
        EXPECT_EQ(p.modoJson, k.json);
    }
}

} // namespace
