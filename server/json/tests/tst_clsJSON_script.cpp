// The script language: one table of scripts with their pre-answered input boxes, the boxes shown,
// the errors that reach the caller, and the nesting counter after a failed script.
#include "server/json/clsJSON.h"

#include "platform/Prompts.h"
#include "platform/VBError.h"

#include <gtest/gtest.h>

namespace {

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

TEST(clsJSON_Eval, ScriptsYieldTheirTextBoxesAndErrors) {
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
