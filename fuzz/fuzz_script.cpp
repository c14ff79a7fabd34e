// The JSON script language on arbitrary bytes (decoded as Windows-1252): a script is parsed and run
// with its boxes answered by the fuzzer (the first byte picks the input box's answer), twice on one
// interpreter so variables carry over. Nothing may crash, hang or leak; after every run, failing ones
// included, the same interpreter still runs a script nested to the full depth.
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/VBError.h"
#include "server/json/clsJSON.h"
#include "testsupport/RecordingOutput.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno : ProcesoFuzz<QCoreApplication> {
    using ProcesoFuzz::ProcesoFuzz;
};

Entorno* g_entorno = nullptr;

const QString g_masHondo = QStringLiteral("[") + QString(clsJSON::kMaxAnidamiento, u'[') + QStringLiteral("\"x\"") +
                           QString(clsJSON::kMaxAnidamiento, u']') + QStringLiteral("]");

const char* const kRespuestas[] = {"", "1", "0", "texto", "{\"a\":1}", "-7.5", "si", "$x"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_entorno = new Entorno(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    g_entorno->avisos.entrada = QString::fromLatin1(kRespuestas[data[0] % 8]);
    const QString script =
        cp1252::decode(QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)));
    clsJSON json;
    for (int vuelta = 0; vuelta < 2; ++vuelta) {
        try {
            (void)json.Eval(script);
        } catch (const VBError&) {
            // A run-time error reaches the caller, as it does the host program.
        }
        if (json.Eval(g_masHondo) != QLatin1String("x"))
            std::abort();
    }
    return 0;
}
