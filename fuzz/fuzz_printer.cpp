// The printer layer on arbitrary text, without a database or CUPS: markup, word wrap, the kitchen
// article line's fitting, bit-image bands, the character translation and the recording output. The
// first byte chooses the road (kitchen or not, euro code page on or off, Windows-1252 or UTF-8 text,
// wrap, fitting, bit image), the second a width. Nothing may crash or hang, and the translation
// must put out exactly one byte per column of its input.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/basPrinter.h"
#include "printing/tests/ParametrosSalida.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/ScriptedPrompts.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Entorno {
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir registro;
    RecordingMainWindow ventana;
    prompts::ScriptedPrompts avisos; // every message answered with its default
    printers::RecordingOutput salida;
    int paginaEuro = -1; // as last set: -1 unknown, 0 off, 1 on
};

Entorno* g_entorno = nullptr;

enum Bandera : uint8_t {
    kCocina = 1,
    kEuro = 2,
    kUtf8 = 4,
    kAjusta = 8,
    kAlinea = 16,
    kImagen = 32,
    kEnviarCadaLinea = 64,
};

void falla(const char* que) {
    std::fprintf(stderr, "fuzz_printer: %s\n", que);
    std::abort();
}

void paginaEuro(bool activa) {
    if (g_entorno->paginaEuro == int(activa))
        return;
    objParametros().SetValor(QStringLiteral("CodigosEscTicketCocina"),
                             activa ? QStringLiteral("3") : QStringLiteral("0"));
    objParametros().SetValor(QStringLiteral("CodigosEscTicketNormal"),
                             activa ? QStringLiteral("4") : QStringLiteral("0"));
    g_entorno->paginaEuro = int(activa);
}

void recorre(uint8_t banderas, int ancho, const QString& texto) {
    using namespace basPrinter;
    const bool cocina = banderas & kCocina;
    const bool euro = banderas & kEuro;

    // The translation alone: one byte per column, plus the code-page command in front.
    const QByteArray traducido = cp1252::encode(TraducirCaracteres(texto, cocina));
    if (traducido.size() != basFuncionesComunes::Columnas(texto) + (euro ? 3 : 0))
        falla("the translation changed the number of bytes");

    QString marcado;
    if (banderas & kAjusta)
        marcado = basFuncionesComunes::AjustaTexto(ancho, texto, ancho / 8);
    else
        marcado = sustituyeTagsHTML(texto);

    BufferImpresion trabajo;
    if (banderas & kImagen) {
        ImprimeImagenBits(trabajo, marcado, qint16(ancho), 0, qint16(ancho * 2), QString());
    } else {
        for (QString linea : marcado.split(QStringLiteral("\r\n"))) {
            if (banderas & kAlinea) {
                linea = basFuncionesComunes::AlineaTexto(linea, ancho, true, false, QString());
                if (basFuncionesComunes::Columnas(linea) != std::max(ancho, 0))
                    falla("the fitted line is not as wide as asked");
            }
            Imprimir(trabajo, linea, {.Enviar = (banderas & kEnviarCadaLinea) != 0, .EsCocina = cocina});
        }
    }
    // Whatever is left goes out as one job.
    Imprimir(trabajo, QString(), {.ConSalto = false, .Enviar = true, .EsCocina = cocina});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    g_entorno = new Entorno;
    g_entorno->app = std::make_unique<QCoreApplication>(*argc, *argv);
    preparaProcesoFuzz(g_entorno->registro.path(), &g_entorno->ventana, &g_entorno->avisos, &g_entorno->salida);

    // Every parameter the printer layer reads.
    auto& reg = registry::RegistryStore::instance();
    auto pon = [&](const QString& k, const QString& v) {
        reg.setValue(registry::Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"), {k, registry::REG_SZ, v});
    };
    for (const char* k : {"IpServidor", "Empresa", "Restaurante", "TPV", "Idioma"})
        pon(QString::fromLatin1(k), QStringLiteral("1"));
    for (const auto& [k, v] : printertest::parametrosSalida())
        pon(k, v);
    objParametros().GetParamReg();
    gblnParametrosCargados = true; // unattended: a failure prints an error ticket through this same layer
    basPrinter::resetForTests();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t banderas = data[0];
    const int ancho = int(data[1]) - 8; // a few widths below zero too
    const QByteArray bruto(reinterpret_cast<const char*>(data) + 2, qsizetype(size - 2));
    const QString texto = (banderas & kUtf8) ? QString::fromUtf8(bruto) : cp1252::decode(bruto);
    paginaEuro(banderas & kEuro);
    try {
        recorre(banderas, ancho, texto);
    } catch (const program::Ended&) {
        falla("the program would end: a parameter the printer layer reads is missing here");
    }
    g_entorno->ventana.grid.clear();
    g_entorno->avisos.calls.clear();
    g_entorno->salida.jobs.clear();
    basPrinter::resetForTests();
    return 0;
}
