// Request framing on bytes: where a request ends however the network splits it, the size bound,
// the persistence prefixes and the cut at the brace.
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

// A dribbled large request is not reread on every byte: revisa (the quiet time) finds its end.
TEST(TramaPeticion, ADribbledRequestIsReadAFewTimesAndItsEndFoundByRevisa) {
    const QByteArray p = "{'t':'" + QByteArray(100000, '}') + "'}";
    LectorPeticiones l;
    ASSERT_EQ(l.anade(p.left(p.size() - 2)), Estado::Incompleta);
    ASSERT_EQ(l.anade(p.right(2)), Estado::Incompleta) << "the reader was asked for two more bytes";
    ASSERT_EQ(l.revisa(), Estado::Completa);
    ASSERT_EQ(l.toma(), p);
    ASSERT_EQ(LectorPeticiones().anade(QByteArray("{a:").repeated(2000) + QByteArray(2000, '}')), Estado::Anidada);
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
