// Framing and dispatch of the request server on arbitrary bytes, without a database or a printer:
// the bytes arrive in two pieces (where the first byte says), are gathered into requests as a
// connection gathers them, stripped of their prefixes, handled by the request front (every action,
// the print actions against the recording printer output), and the reply is framed. Nothing may
// crash, hang or grow without bound.
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "fuzz/EntornoFuzz.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/basPrinter.h"
#include "server/TramaPeticion.h"
#include "server/clsSocketFront.h"
#include "testsupport/RecordingOutput.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

// Only the last job is kept.
class SalidaFuzz final : public printers::RecordingOutput {
public:
    bool send(const QString& printer, const QByteArray& data, QString* error) override {
        jobs.clear();
        return printers::RecordingOutput::send(printer, data, error);
    }
};

struct Entorno : ProcesoFuzz<QApplication, SalidaFuzz> {
    using ProcesoFuzz::ProcesoFuzz;
    std::unique_ptr<clsSocketFront> front;
};

Entorno* g_entorno = nullptr;

void handle(const QByteArray& bruto) {
    const trama::PeticionRecibida p = trama::analizaPeticion(cp1252::decode(bruto));
    g_entorno->front->esPeticionDeImpresion(p.datos);
    QString respuesta;
    g_entorno->front->socket_Request(p.datos, respuesta);
    (void)trama::enmarcaRespuesta(p, respuesta);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_entorno = new Entorno(argc, argv);

    const std::pair<const char*, const char*> parametros[] = {
        {"IpServidor", "127.0.0.1"}, {"Empresa", "1"},           {"Restaurante", "1"}, {"TPV", "1"}, {"Idioma", "1"},
        {"ImpTicket", "FUZZ"},       {"GrabarLogDetallado", "0"}};
    for (const auto& [k, v] : parametros)
        registry::RegistryStore::instance().setValue(
            registry::Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"),
            {QString::fromLatin1(k), registry::REG_SZ, QString::fromLatin1(v)});
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
    g_entorno->front = std::make_unique<clsSocketFront>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > size_t(trama::kMaxPeticion))
        return 0;
    const QByteArray entrada(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const qsizetype corte = qsizetype(data[0]) * entrada.size() / 255;
    try {
        trama::LectorPeticiones lector;
        for (const QByteArray& llegada : {entrada.left(corte), entrada.mid(corte)}) {
            auto estado = lector.anade(llegada);
            // Requests sent back to back are taken one after the other.
            for (; estado == trama::LectorPeticiones::Estado::Completa; estado = lector.estado())
                handle(lector.toma());
            switch (estado) {
            case trama::LectorPeticiones::Estado::Excedida:
                lector.toma();
                break;
            default:
                break;
            }
        }
        // What is left is handled as after the quiet time.
        if (!lector.vacio())
            handle(lector.toma());
    } catch (const program::Ended&) {
        // A parameter the code asked for is missing: the program would end here. Not a fault of
        // the input; start the next one clean.
        program::resetForTests();
    }
    basPrinter::resetForTests();
    return 0;
}
