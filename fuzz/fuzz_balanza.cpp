// The serial scale's frames on arbitrary bytes: the first byte picks the model (0, 3, 5 or 7), the
// rest is one read of the port. Every weight read is a finite number; a model 0 reading comes only
// from a reply that begins with "+" (not "+N"); and the framed models (5: STX frames, 7: CR frames,
// when a CR ends a frame near the end of the read) read the last frames only, so bytes before the
// last 26 never change the reading.
#include "scale/clsComm.h"

#include <QCoreApplication>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void falla(const char* que, int modelo, const QByteArray& datos) {
    std::fprintf(stderr, "model %d: %s: %s\n", modelo, que, datos.toPercentEncoding().constData());
    std::abort();
}

bool iguales(const std::optional<clsCommTramas::Lectura>& a, const std::optional<clsCommTramas::Lectura>& b) {
    return a.has_value() == b.has_value() && (!a || (a->peso == b->peso && a->estable == b->estable));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static const int kModelos[] = {0, 3, 5, 7};
    const int modelo = kModelos[data[0] % 4];
    const QByteArray datos(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const auto l = clsCommTramas::DecodificaContinuo(modelo, datos);
    if (l && !std::isfinite(l->peso))
        falla("a weight that is no finite number", modelo, datos);
    if (modelo == 0 && l && (!datos.startsWith('+') || datos.startsWith("+N")))
        falla("a reading from a reply that does not begin with \"+\"", modelo, datos);
    // A model 7 read with no CR near its end takes its frame from the start of the read.
    if ((modelo == 5 || (modelo == 7 && datos.right(9).contains('\r'))) && datos.size() >= 26) {
        // What came before: garbage, and whole frames of the model.
        for (const QByteArray& antes : {QByteArray("\x02 0012.345\r\x02", 12), QByteArray("+0001.25\r"),
                                        QByteArray(40, '\x02'), QByteArray(40, '\r')})
            if (!iguales(clsCommTramas::DecodificaContinuo(modelo, antes + datos), l))
                falla("bytes before the last frames changed the reading", modelo, datos);
    }
    return 0;
}
