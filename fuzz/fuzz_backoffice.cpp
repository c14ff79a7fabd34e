// The back-office reply readers on arbitrary bytes, as a reply saved by the transport window reaches
// them (decoded as the transport decodes a reply, then a UTF-16 file for the text readers, the text
// itself for the XML ones), without a database: the sync-text reader, the delimited reader, the XML
// reader and XMLtoEntidad. The first byte picks the reader (bits 0-1), the column separator (bit 2)
// and the reply's Content-Type (bits 3-4: none, UTF-8, UTF-16, an unknown charset). Nothing may crash, hang or grow
// without bound; a reply that cannot be read ends the request as failed.
#include "backoffice/frmComInternet.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "testsupport/RecordingOutput.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno : ProcesoFuzz<QApplication> {
    using ProcesoFuzz::ProcesoFuzz;
    QTemporaryDir respuestas;
};

Entorno* g_entorno = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_entorno = new Entorno(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t modo = data[0];
    static const char* const tipos[] = {"", "text/plain; charset=utf-8", "text/xml; charset=UTF-16",
                                        "text/plain; charset=x-ninguno"};
    const QString texto = frmComInternet::TextoRespuesta(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)),
        QString::fromLatin1(tipos[(modo >> 3) & 3]));

    frmComInternet ventana;
    ventana.SeparadorColumnas = (modo & 4) ? QStringLiteral("|") : QStringLiteral(";");
    int terminados = 0;
    QObject::connect(&ventana, &frmComInternet::ProcesoTerminado, [&] { ++terminados; });
    const QString archivo = g_entorno->respuestas.filePath(QStringLiteral("respuesta.txt"));
    auto guarda = [&] {
        QFile f(archivo);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write("\xFF\xFE", 2);
        f.write(reinterpret_cast<const char*>(texto.utf16()), texto.size() * 2);
    };
    try {
        switch (modo & 3) {
        case 0:
            guarda();
            ventana.ProcesaTextoRecibido(archivo);
            break;
        case 1:
            guarda();
            ventana.ProcesaTexto_to_coleccionGenerica(archivo);
            break;
        case 2:
            ventana.ProcesaXML(texto);
            break;
        default:
            (void)frmComInternet::XMLtoEntidad(texto);
            return 0;
        }
    } catch (const program::Ended&) {
        // Tables to import reach for the database, which is not there: the error handler's attempt to
        // connect again ends the program for want of a driver and settings. No other reader may end it.
        if ((modo & 3) != 0)
            std::abort();
        program::resetForTests();
        QFile::remove(archivo);
        return 0;
    }
    // Every reader ends its request exactly once, read or failed.
    if (terminados != 1)
        std::abort();
    QFile::remove(archivo);
    return 0;
}
