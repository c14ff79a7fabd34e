// Our JSON reader and writer against nlohmann::json on the same documents: a typical print
// request, a typical reply, a document of about 1 MB, and Pings with 10 000 and 30 000 keys (what a
// flooding peer sends). The reader is also set beside QJsonDocument on the same bytes (the goal: at
// least half its rate). Each side reads from its natural input
// (ours a QString, as the request server hands it over; nlohmann UTF-8 bytes) and writes its own
// value back to text.
#include "server/json/clsJSON.h"

#include <QJsonDocument>
#include <QString>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

const QString& requestText() {
    static const QString s = QString::fromUtf8(
        R"({"accion":"ImprimirTicketCocinaEspecial","idTPV":1,"idTicket":48213,"idCamarero":7,)"
        R"("texto":"2 Caf\u00e9 con leche<br>1 Tostada con tomate y aceite<br><b>1 Zumo de naranja natural</b>)"
        R"(<br>3 Ca\u00f1as<br>1 Bocadillo de calamares<br>   - sin mayonesa<br>1 Ensalada mixta<cortar>)"
        R"(1 Tarta de queso<br>2 Cortados",)"
        R"("impresora":"Cocina","descripcion_cabecera":"Mesa 12 - Terraza","imprimir_cabecera":true,)"
        R"("imprimir_pie":true,"texto_pie":"Al\u00e9rgico al gluten: avisar a cocina"})");
    return s;
}

const QString& replyText() {
    static const QString s =
        QStringLiteral(R"({"ok":true,"error":"","peso":1.235,"tipo_error":"0","idTPV":"1",)"
                       R"("result":["Cocina","Barra","Terraza \u00c1tico","PDF"],"respuesta":"S"})");
    return s;
}

// About 1 MB: a list of tickets with their lines, texts with escapes and accents, numbers of both
// kinds, Booleans and nulls.
const QString& bigText() {
    static const QString s = [] {
        QString t = QStringLiteral("{\"tickets\":[");
        int i = 0;
        while (t.size() < 1'000'000) {
            if (i > 0)
                t += u',';
            t += QStringLiteral("{\"idTicket\":%1,\"idTPV\":%2,\"mesa\":\"Mesa %3\",\"abierto\":%4,\"cliente\":null,"
                                "\"total\":%5,\"notas\":\"Sin \\\"sal\\\"\\nCaf\\u00e9 aparte\",\"lineas\":[")
                     .arg(i)
                     .arg(i % 9 + 1)
                     .arg(i % 40)
                     .arg(i % 3 ? QStringLiteral("true") : QStringLiteral("false"))
                     .arg(QString::number(i * 1.37 + 0.05, 'f', 2));
            for (int l = 0; l < 6; ++l) {
                if (l > 0)
                    t += u',';
                t += QStringLiteral("{\"art\":%1,\"desc\":\"Art\\u00edculo n\\u00famero %2\",\"uds\":%3,"
                                    "\"precio\":%4,\"extras\":[\"poco hecho\",\"sin cebolla\"]}")
                         .arg(1000 + l * 7 + i % 13)
                         .arg(l)
                         .arg(l % 3 + 1)
                         .arg(QString::number(2.5 + l * 0.75, 'f', 2));
            }
            t += QStringLiteral("]}");
            ++i;
        }
        t += QStringLiteral("],\"total\":%1}").arg(i);
        return t;
    }();
    return s;
}

// A Ping with `n` more keys, each with a short number: about 12 bytes a key.
const QString& pingConClaves(int n) {
    static std::map<int, QString> hechos;
    QString& t = hechos[n];
    if (t.isEmpty()) {
        t = QStringLiteral("{\"accion\":\"Ping\"");
        for (int i = 0; i < n; ++i)
            t += QStringLiteral(",\"c%1\":%2").arg(i).arg(i % 1000);
        t += u'}';
    }
    return t;
}

const QString& documento(int which) {
    switch (which) {
    case 0:
        return requestText();
    case 1:
        return replyText();
    case 2:
        return bigText();
    case 3:
        return pingConClaves(10000);
    default:
        return pingConClaves(30000);
    }
}

void setLabel(benchmark::State& state, int which) {
    state.SetBytesProcessed(int64_t(state.iterations()) * documento(which).toUtf8().size());
}

void BM_Read_clsJSON(benchmark::State& state) {
    const int which = int(state.range(0));
    const QString& text = documento(which);
    clsJSON json;
    for (auto _ : state) {
        vb::ObjectPtr o = json.parse(text);
        benchmark::DoNotOptimize(o);
    }
    if (!json.GetParserErrors().isEmpty())
        state.SkipWithError("complaints");
    setLabel(state, which);
}

void BM_Read_nlohmann(benchmark::State& state) {
    const int which = int(state.range(0));
    const std::string text = documento(which).toStdString();
    for (auto _ : state) {
        nlohmann::json j = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(j);
    }
    setLabel(state, which);
}

void BM_Read_QJsonDocument(benchmark::State& state) {
    const int which = int(state.range(0));
    const QByteArray text = documento(which).toUtf8();
    for (auto _ : state) {
        QJsonDocument d = QJsonDocument::fromJson(text);
        benchmark::DoNotOptimize(d);
    }
    setLabel(state, which);
}

void BM_Write_clsJSON(benchmark::State& state) {
    const int which = int(state.range(0));
    clsJSON json;
    const auto d = std::dynamic_pointer_cast<vb::Dictionary>(json.parse(documento(which)));
    for (auto _ : state) {
        QString out = json.DictionaryToJson(d, true);
        benchmark::DoNotOptimize(out);
    }
    setLabel(state, which);
}

void BM_Write_nlohmann(benchmark::State& state) {
    const int which = int(state.range(0));
    const nlohmann::json j = nlohmann::json::parse(documento(which).toStdString());
    for (auto _ : state) {
        std::string out = j.dump();
        benchmark::DoNotOptimize(out);
    }
    setLabel(state, which);
}

// Ours and nlohmann's side by side for each document, so that their figures come from the same
// moments of a busy machine; "min" over repetitions is the least disturbed run.
void registrar() {
    const std::pair<const char*, void (*)(benchmark::State&)> casos[] = {
        {"Read/clsJSON", BM_Read_clsJSON},
        {"Read/nlohmann", BM_Read_nlohmann},
        {"Read/QJsonDocument", BM_Read_QJsonDocument},
        {"Write/clsJSON", BM_Write_clsJSON},
        {"Write/nlohmann", BM_Write_nlohmann},
    };
    const char* documentos[] = {"request", "reply", "1MB", "ping10000keys", "ping30000keys"};
    for (int d = 0; d < 5; ++d)
        for (const auto& [nombre, fn] : casos)
            benchmark::RegisterBenchmark((std::string(nombre) + "/" + documentos[d]).c_str(), fn)
                ->Arg(d)
                ->ComputeStatistics("min",
                                    [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

} // namespace

int main(int argc, char** argv) {
    registrar();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
