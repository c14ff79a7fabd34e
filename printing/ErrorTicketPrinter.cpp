#include "printing/ErrorTicketPrinter.h"

#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "printing/basPrinter.h"

ErrorTicketPrinter& ErrorTicketPrinter::instance() {
    static ErrorTicketPrinter p;
    return p;
}

ErrorTicketPrinter::SuspensionImpresion::SuspensionImpresion() {
    ++ErrorTicketPrinter::instance().m_suspensiones;
}
ErrorTicketPrinter::SuspensionImpresion::~SuspensionImpresion() {
    --ErrorTicketPrinter::instance().m_suspensiones;
}

template <class F> void ErrorTicketPrinter::comoTrabajoPropio(const QString& paraElLog, F&& imprimir) {
    if (suspendida()) {
        GrabaLog(paraElLog, true);
        return;
    }
    SuspensionImpresion suspension;
    basPrinter::BufferImpresion trabajo;
    imprimir(trabajo);
}

void ErrorTicketPrinter::printErrorLine(const QString& errorText) {
    // An error's description may quote what a request carried: it prints as text.
    const QString linea = QStringLiteral("Tarvolin Error: ") + basPrinter::SoloTexto(errorText);
    comoTrabajoPropio(
        linea, [&](basPrinter::BufferImpresion& trabajo) { basPrinter::Imprimir(trabajo, linea, {.Enviar = true}); });
}

void ErrorTicketPrinter::printErrorTicket(const QString& message) {
    using basPrinter::Imprimir;
    comoTrabajoPropio(message, [&](basPrinter::BufferImpresion& trabajo) {
        auto linea = [&](const QString& t) { Imprimir(trabajo, t); };
        const QDateTime ahora = clock_seam::now();
        const basPrinter::CodigosPRN& prn = basPrinter::gCodigosPRN;
        linea(prn.PRN_ININEG + prn.PRN_INISUB + QStringLiteral("Se ha producido un error:") + prn.PRN_FINNEG +
              prn.PRN_FINSUB);
        linea(QString());
        linea(QStringLiteral("Fecha: ") + ahora.toString(QStringLiteral("dd/MM/yyyy")));
        linea(QStringLiteral("Hora: ") + ahora.toString(QStringLiteral("HH:mm:ss")));
        linea(QString());
        linea(QStringLiteral("Mensaje de error:"));
        linea(basPrinter::SoloTexto(message));
        basPrinter::CortarPapel(trabajo);
    });
}

namespace {
// A key that reads "" or 0 when missing is known whatever the store holds.
template <class... C> bool existen(const C&... clave) {
    return ((std::decay_t<decltype(clave)>::siFalta == param::SiFalta::Vacio || objParametros().existe(clave)) && ...);
}
} // namespace

bool ErrorTicketPrinter::conoceSusParametros() const {
    using namespace param;
    // What basPrinter reads: its output, its code strings, the cut, logo and beep, the invoice printer.
    return existen(LongMaxTexto, FuncionamientoItos, FuncFacturadora, ImpTicket, ImprImpSecundaria, ImpresoraSecundaria,
                   ImpCintaControl, UsarDriverOPOS, ImpresoraOPOS, DelayFacturadora, DelayImpresion,
                   CodigosEscTicketNormal, CodigosEscTicketCocina, EspacioEntreLineas, TipoLetraCocina,
                   TipoLetraTickets, AnchoImpresoraCocina, AnchoImpresoraTickets, UsarImpDRVSiempre,
                   AnchoDatosCabeceraDRV, NumLineasAntesCortar, Cortar, ImpLogoAntes, LogoEnImpresora, NoImprimirLogo,
                   ModeloImpresoraTickets, EmitirPito, EmitirPitoOkiDispositivo, EmitirPitoOkiTiempoEngergia,
                   EmitirPitoOkiTiempoDelay, NumLinPagFacturadora, AnchoFacturadora, MargenIzquierdoFacturadora,
                   MargenSuperiorClienteFacturadora, MargenSuperiorCabeceraFacturadora, BlancosCabecera,
                   TipoImpresionFacturadora, FacturadoraMostrarMensajePapel);
}
