// The JSON reader on arbitrary bytes (decoded as the request server decodes a request, Windows-1252),
// and the writer on whatever the reader returns: nothing may crash, hang or leak, and every text the
// writer makes of a read value must be JSON that a strict parser accepts.
#include "platform/Cp1252.h"
#include "server/json/clsJSON.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void exigeJsonEstricto(const QString& texto, const char* que) {
    QJsonParseError err;
    QJsonDocument::fromJson(texto.toUtf8(), &err);
    if (err.error != QJsonParseError::NoError) {
        std::fprintf(stderr, "%s wrote text that is not JSON (%s at %d):\n%s\n", que, qPrintable(err.errorString()),
                     err.offset, qPrintable(texto.left(2000)));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString texto = cp1252::decode(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    clsJSON json;
    json.EsJson(texto);
    const vb::ObjectPtr leido = json.parse(texto);
    (void)json.GetParserErrors();

    if (auto d = std::dynamic_pointer_cast<vb::Dictionary>(leido)) {
        exigeJsonEstricto(json.DictionaryToJson(d, true), "DictionaryToJson");
        (void)json.DictionaryToJson(d, false);
        for (int i = 0; i < d->Count(); ++i)
            (void)json.ParseBool(d->at(i));
    } else if (auto c = std::dynamic_pointer_cast<vb::Collection>(leido)) {
        exigeJsonEstricto(json.CollectionToJson(vb::FromObject(c), true), "CollectionToJson");
        (void)json.CollectionToJson(vb::FromObject(c), false);
    }
    (void)json.toString(vb::FromObject(leido), true);

    // The request road: a text that holds an object becomes the request's dictionary.
    try {
        if (auto d = json.parseDictionary(texto))
            exigeJsonEstricto(json.DictionaryToJson(d, true), "DictionaryToJson");
    } catch (const VBError&) {
        // Not an object: the caller reports it.
    }
    return 0;
}
