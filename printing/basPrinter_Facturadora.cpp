// basPrinter: the invoice printer's pagination.
#include "printing/basPrinter.h"
#include "printing/basPrinter_Interno.h"

#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/ErrorTicketPrinter.h"
#include "printing/clsImpresionPantalla.h"

#include <QScopeGuard>

namespace basPrinter {

using namespace interno;

void ImprimeFacturadora(BufferImpresion& trabajo, const QString& texto, OpcionesFacturadora o) {
    auto& buf = trabajo;
    auto lineas = [](const QString& t) { return basLegacyFunctions::FuncionLegacyStrings(t, CRLF); };
    auto linea = [&](const QString& t, bool controlar, bool enviar = false) {
        Imprimir(trabajo, t, {.Enviar = enviar, .ControlarFacturadora = controlar});
    };
    // The paper prompt waits for the user; it must not print (unattended it would become an error
    // ticket on this very printer, in the middle of the page).
    auto avisoPapel = [](const QString& mensaje) {
        ErrorTicketPrinter::SuspensionImpresion suspension;
        MensajeUsuarioSimple(mensaje, prompts::vbInformation, QString());
    };
    auto paginaTexto = [&] { return QString::number(buf.Pagina).trimmed(); };

    if (o.blnSoloContar) {
        vb::OnError([&] { buf.LineasPendientes += lineas(texto); }, aviso(prompts::vbInformation));
        return;
    }
    if (!o.blnNuevoDocumento) {
        qint32 n = 0;
        vb::OnError(
            [&] {
                n = objParametros().lee(param::NumLinPagFacturadora);
                buf.LineasPagina = lineas(texto) + buf.LineasPendientes;
            },
            aviso(prompts::vbInformation));
        // A page of no lines means no pagination; the lines of a page being turned turn no page.
        if (n <= 0 || buf.LineasPagina < n || gEstadoImpresion.blnPaginando)
            return;
        gEstadoImpresion.blnPaginando = true;
        const auto fin = qScopeGuard([] { gEstadoImpresion.blnPaginando = false; });
        qint32 w = 0;
        vb::OnError(
            [&] {
                w = qint32(vb::RoundHalfEven(objParametros().lee(param::MargenIzquierdoFacturadora) +
                                             objParametros().lee(param::AnchoFacturadora) - 2));
            },
            aviso(prompts::vbInformation));
        auto alinea = [&](const QString& t) { return basFuncionesComunes::AlineaTexto(t, w, false, true, QString()); };
        vb::OnError([&] { linea(alinea(TraduceLiteral(QStringLiteral("Continua..."), -1, true, false)), false); },
                    aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                Imprimir(trabajo, CodigoImpresora({27, 'F', 1, 12}),
                         {.ConSalto = false, .Enviar = true, .ControlarFacturadora = false});
            },
            aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                Imprimir(trabajo, CodigoImpresora({27, 'c', '0', 4}),
                         {.ConSalto = false, .ControlarFacturadora = false});
            },
            aviso(prompts::vbInformation));
        vb::OnError(
            [&] {
                if (objParametros().lee(param::FacturadoraMostrarMensajePapel))
                    avisoPapel(QStringLiteral("Cambie el papel de la facturadora y pulse Aceptar para continuar"));
            },
            aviso(prompts::vbInformation));
        buf.Pagina += 1;
        buf.LineasPagina = 0;
        buf.LineasPendientes = 0;
        double cliente = 0, cabecera = 0;
        vb::OnError(
            [&] {
                cliente = objParametros().lee(param::MargenSuperiorClienteFacturadora);
                cabecera = objParametros().lee(param::MargenSuperiorCabeceraFacturadora);
            },
            aviso(prompts::vbInformation));
        bool tipo2 = false;
        vb::OnError([&] { tipo2 = objParametros().lee(param::TipoImpresionFacturadora) == 2; },
                    aviso(prompts::vbInformation));
        if (cliente != 0 || cabecera != 0) {
            const qint32 m = qint32(vb::RoundHalfEven(cliente + 2));
            for (qint32 i = 0; i < m + 1; ++i)
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
            qint32 c = m + 1;
            if (!tipo2)
                vb::OnError(
                    [&] {
                        linea(alinea(TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) + QStringLiteral(" ") +
                                     paginaTexto()),
                              false, true);
                    },
                    aviso(prompts::vbInformation));
            buf.LineasPagina += 1;
            while (c < cabecera + 2) {
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
                buf.LineasPagina += 1;
                c += 1;
            }
        } else {
            qint32 blancos = 0;
            vb::OnError([&] { blancos = objParametros().lee(param::BlancosCabecera); }, aviso(prompts::vbInformation));
            for (qint32 i = 0; i < blancos; ++i)
                vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
        }
        if (gEstadoImpresion.gstrCabeceraFacturadora.isEmpty())
            return;
        vb::OnError([&] { linea(gEstadoImpresion.gstrCabeceraFacturadora, true); }, aviso(prompts::vbInformation));
        buf.LineasPagina += 1;
        if (tipo2)
            vb::OnError(
                [&] {
                    linea(alinea(QStringLiteral("... ") + TraduceLiteral(QStringLiteral("Pagina:"), -1, true, false) +
                                 QStringLiteral(" ") + paginaTexto()),
                          true);
                },
                aviso(prompts::vbInformation));
        return;
    }

    vb::OnError(
        [&] {
            if (objParametros().lee(param::FacturadoraMostrarMensajePapel))
                avisoPapel(QStringLiteral("Introduzca la primera página y pulse Aceptar para continuar"));
        },
        aviso(prompts::vbInformation));
    qint16 t = 0;
    vb::OnError(
        [&] {
            if (objParametros().lee(param::MargenSuperiorClienteFacturadora) != 0)
                t = qint16(vb::RoundHalfEven(objParametros().lee(param::MargenSuperiorClienteFacturadora)));
            if (objParametros().lee(param::MargenSuperiorCabeceraFacturadora) != 0 && t == 0)
                t = qint16(vb::RoundHalfEven(objParametros().lee(param::MargenSuperiorCabeceraFacturadora)));
        },
        aviso(prompts::vbInformation));
    buf.LineasPagina = 0;
    buf.LineasPendientes = 0;
    buf.Pagina = 1;
    for (qint16 i = 0; i < t; ++i)
        vb::OnError([&] { linea(QString(), true); }, aviso(prompts::vbInformation));
}

} // namespace basPrinter
