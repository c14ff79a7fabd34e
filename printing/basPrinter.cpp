// basPrinter: the print state, the code strings' builder and the wiring; the parts are
// basPrinter_Salida (the output road), basPrinter_Codigos (printer state, markup, translation),
// basPrinter_Ordenes (cut, logo, beep, bit image) and basPrinter_Facturadora (invoice pagination).
#include "printing/basPrinter.h"
#include "platform/Printers.h"
#include "printing/basPrinter_Interno.h"

#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/clsImpresionPantalla.h"

namespace basPrinter {

EstadoImpresion gEstadoImpresion;
CodigosPRN gCodigosPRN;

QString CodigoImpresora(std::initializer_list<int> bytes) {
    QString s;
    s.reserve(int(bytes.size()));
    for (int b : bytes)
        s += vb::Chr(b);
    return s;
}

Variant TrazaVacia(const QString&, const QString&, const Variant&, const Variant&) {
    return {};
}
void ProcedimientoVacio(const Variant&, const Variant&, const Variant&, const Variant&, const Variant&,
                        const Variant&) {}

void InicializaCodigosPRN() {
    InstalaServiciosImpresion();
    gCodigosPRN = CodigosPRN{};
}

void InstalaServiciosImpresion() {
    basFuncionesComunes::setSustituyeTags([](const QString& t) { return sustituyeTagsHTML(t); });
    setErrorPrinter(&ErrorTicketPrinter::instance());
    // A job whose fate a send did not learn is settled later by the output: the log says how.
    printers::setSettledHandler([](const printers::PendingJob& job, const printers::JobResult& r) {
        GrabaLog(r.printed()
                     ? QStringLiteral("Se imprimió el trabajo de %1 del que cupsd no había respondido").arg(job.printer)
                     : QStringLiteral("No se imprimió el trabajo de %1").arg(r.error),
                 true);
    });
}

void resetForTests() {
    gEstadoImpresion = EstadoImpresion{};
    objImpresionPantalla() = clsImpresionPantalla();
    InicializaCodigosPRN();
}

namespace interno {

std::optional<int> byteDeParametro(double valor, const QString& que, int estilo) {
    const double r = vb::RoundHalfEven(valor);
    if (r >= 0 && r <= 255)
        return int(r);
    MensajeUsuario(QStringLiteral("Valor fuera de rango para el código de impresora %1: %2")
                       .arg(que, basFuncionesComunes::NumeroATexto(valor)),
                   estilo);
    return std::nullopt;
}

bool capturando() {
    auto& t = objImpresionPantalla();
    return t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir();
}

} // namespace interno

} // namespace basPrinter
