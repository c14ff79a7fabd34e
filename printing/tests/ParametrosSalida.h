#pragma once
// The printer-output parameters the printer-layer tests and the printer fuzzer start from.
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace printertest {

using Parametros = QList<QPair<QString, QString>>;

// "name=value name=value ..." as pairs; a later pair of the same name overrides an earlier one.
inline Parametros pares(const QString& texto) {
    Parametros r;
    for (const QString& kv : texto.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        r.append({kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1)});
    return r;
}

// The parameters of the printer output (queues, codes, cut, logo, beep, invoice printer).
inline Parametros parametrosSalida(const Parametros& cambios = {}) {
    return pares(QStringLiteral(
               "LongMaxTexto=0 FuncionamientoItos=0 FuncFacturadora=0 ImpTicket=TICKETS ImprImpSecundaria=0 "
               "ImpresoraSecundaria= ImpCintaControl= UsarDriverOPOS=0 ImpresoraOPOS= DelayFacturadora=0 "
               "DelayImpresion=0 CodigosEscTicketNormal=0 CodigosEscTicketCocina=0 EspacioEntreLineas=30 "
               "TipoLetraCocina=0 TipoLetraTickets=0 AnchoImpresoraCocina=0 AnchoImpresoraTickets=0 "
               "UsarImpDRVSiempre=0 "
               "AnchoDatosCabeceraDRV=0 NumLineasAntesCortar=0 Cortar=1 ImpLogoAntes=0 LogoEnImpresora=0 "
               "NoImprimirLogo=0 ModeloImpresoraTickets=0 EmitirPito=0 EmitirPitoOkiDispositivo=1 "
               "EmitirPitoOkiTiempoEngergia=2 EmitirPitoOkiTiempoDelay=3 NumLinPagFacturadora=0 AnchoFacturadora=40 "
               "MargenIzquierdoFacturadora=0 MargenSuperiorClienteFacturadora=0 MargenSuperiorCabeceraFacturadora=0 "
               "BlancosCabecera=0 TipoImpresionFacturadora=0 FacturadoraMostrarMensajePapel=False")) +
           cambios;
}

} // namespace printertest
