// basPrinter: the output road (Imprimir), the send of a job and how its failures are told.
#include "printing/basPrinter.h"
#include "printing/basPrinter_Interno.h"

#include "core/NombresParametros.h"
#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Cp1252.h"
#include "platform/Printers.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include "printing/EscPos.h"
#include "printing/clsImpresionPantalla.h"

#include <QScopeGuard>
#include <utility>

namespace basPrinter {

using namespace interno;

ResultadoEnvio ResultadoEnvio::anade(const ResultadoEnvio& despues) const {
    if (!despues.blnEnviado)
        return *this;
    if (!blnEnviado)
        return despues;
    // How much a job says of the paper: a refused job of text, one of unknown fate, one printed,
    // a refused set-up job, a set-up job taken. The weightier stands; of two alike, the first
    // refusal or the later job taken.
    const auto peso = [](const ResultadoEnvio& r) {
        if (r.blnTexto)
            return r.ok ? 2 : r.blnIncierto ? 3 : 4;
        return r.ok ? 0 : 1;
    };
    const int a = peso(*this), b = peso(despues);
    ResultadoEnvio r = (a > b || (a == b && (a == 4 || a == 3 || a == 1))) ? *this : despues;
    if (r.blnIncierto)
        r.pendientes = pendientes + despues.pendientes;
    return r;
}

namespace {

// Send failures are reported through MensajeUsuario, which unattended prints an error ticket through
// this same layer; while one report is in progress, a further failure is only logged.
void informaFalloEnvio(InformeFallos& informe, const QString& impresora, const QString& motivo) {
    const QString texto = QStringLiteral("No se ha podido imprimir en %1: %2").arg(impresora, motivo);
    GrabaLog(texto, true);
    if (gEstadoImpresion.blnInformandoFallo)
        return;
    if (informe.blnUnSoloInforme && informe.blnInformado)
        return;
    informe.blnInformado = true;
    gEstadoImpresion.blnInformandoFallo = true;
    const auto fin = qScopeGuard([] { gEstadoImpresion.blnInformandoFallo = false; });
    MensajeUsuario(texto, prompts::vbInformation);
}

// Whether the job holds text to print: anything but printer commands, line ends and blanks.
bool llevaTexto(const QString& datos) {
    for (qsizetype i = 0; i < datos.size();) {
        if (const qsizetype largo = escpos::longitudComando(datos, i)) {
            i += largo;
            continue;
        }
        const char16_t c = datos.at(i).unicode();
        if (c != u'\r' && c != u'\n' && c != u' ' && c != 0)
            return true;
        ++i;
    }
    return false;
}

// Differs from the original, which sent each job once: a refused set-up job goes once more before the ticket's text.
// One raw job. A refused set-up job (commands only) is logged, not told: the ticket's own job says
// whether the ticket printed. Refused before any text of the ticket went out, it is sent once more,
// so the ticket does not lose its set-up to a moment's refusal. A refused job of text is told.
ResultadoEnvio enviaTrabajo(BufferImpresion& trabajo, const QString& impresora, const QString& texto, bool blnTexto) {
    ResultadoEnvio r{.blnEnviado = true, .impresora = impresora, .blnTexto = blnTexto};
    const QByteArray bytes = cp1252::encode(texto);
    const auto envia = [&] {
        const printers::JobResult j = printers::output().sendJob(impresora, bytes);
        r.ok = j.printed();
        r.error = j.error;
        r.blnIncierto = j.unknown() && blnTexto;
        r.pendientes.clear();
        if (r.blnIncierto)
            r.pendientes << j.pending;
        if (!r.ok && r.error.isEmpty())
            r.error = QStringLiteral("error desconocido");
        if (!r.ok && !blnTexto)
            GrabaLog(QStringLiteral("No se ha podido enviar a %1 la preparación de la impresora: %2")
                         .arg(impresora, r.error),
                     true);
        return j.unknown();
    };
    const bool incierto = envia();
    // A set-up job of unknown fate is not sent again: the server that did not answer would not now.
    if (!r.ok && !blnTexto && !trabajo.blnTextoEnviado && !incierto)
        envia();
    if (r.blnIncierto)
        GrabaLog(QStringLiteral("No se sabe si se ha impreso el trabajo de %1; se preguntará a cupsd cuando responda")
                     .arg(r.error),
                 true);
    else if (!r.ok && blnTexto)
        informaFalloEnvio(trabajo.informe, impresora, r.error);
    if (r.ok) {
        r.error.clear();
        if (blnTexto)
            trabajo.blnTextoEnviado = true;
    }
    return r;
}

} // namespace

namespace interno {

// Sends what the job holds, adding nothing.
ResultadoEnvio enviaBuffer(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                           bool Traducir) {
    return Imprimir(trabajo, QString(),
                    {.ConSalto = false,
                     .Enviar = true,
                     .idImpresora = idImpresora,
                     .NombreImpresora = NombreImpresora,
                     .Traducir = Traducir});
}

} // namespace interno

ResultadoEnvio Imprimir(BufferImpresion& trabajo, const QString& texto, OpcionesImprimir o) {
    auto& buf = trabajo;
    const bool pedido = o.Enviar;
    buf.Texto += texto;
    if (o.ConSalto)
        buf.Texto += CRLF;

    bool itos = false;
    vb::OnError([&] { itos = objParametros().lee(param::FuncionamientoItos) == 1 && o.idImpresora == 0; },
                aviso(prompts::vbInformation));

    // Length limit.
    vb::OnError(
        [&] {
            qint32 max = objParametros().lee(param::LongMaxTexto);
            if (max == 0)
                max = 15000;
            if (itos)
                max = 0;
            if (max > 0 && buf.Texto.size() > max)
                o.Enviar = true;
        },
        aviso(prompts::vbInformation));

    // The print target may take the text instead of the printer.
    vb::OnError(
        [&] {
            auto& t = objImpresionPantalla();
            if (o.Enviar && (t.ImprimirPorPantalla() || t.GrabarEnBBDD() || t.DevolverTextoEnLugarDeImprimir())) {
                t.Imprime(buf.Texto);
                if (t.ImprimirPorPantalla() || t.DevolverTextoEnLugarDeImprimir()) {
                    o.Enviar = false;
                    buf.Texto.clear();
                }
            }
        },
        aviso(prompts::vbInformation));

    bool facturadora = false;
    vb::OnError([&] { facturadora = objParametros().lee(param::FuncFacturadora) == 1; }, aviso(prompts::vbInformation));
    const bool paginar = facturadora && gEstadoImpresion.glngPaginarFacturadora == 1;
    if (o.ControlarFacturadora && paginar)
        vb::OnError([&] { ImprimeFacturadora(trabajo, QString(buf.Texto)); }, aviso(prompts::vbInformation));

    // The job's own sending call answers for what the length limit sent before it; a send the
    // caller did not ask for is kept for that call.
    const ResultadoEnvio adelantado = pedido ? std::exchange(trabajo.envioAdelantado, {}) : ResultadoEnvio{};
    auto responde = [&](const ResultadoEnvio& r) {
        if (!pedido)
            trabajo.envioAdelantado = trabajo.envioAdelantado.anade(r);
        return adelantado.anade(r);
    };
    if (!o.Enviar)
        return responde({});

    // From here on the job's bytes are this text; the job is empty again.
    QString datos = buf.Texto;
    buf.Texto.clear();
    const bool blnTexto = llevaTexto(datos);

    if (itos)
        o.Traducir = false;
    if (o.Traducir && !datos.isEmpty())
        vb::OnError([&] { datos = TraducirCaracteres(datos, o.EsCocina); }, aviso(prompts::vbInformation));

    QString nombre;
    bool descartar = false;
    vb::OnError(
        [&] {
            if (o.idImpresora == 0) {
                nombre = objParametros().lee(param::ImpTicket);
            } else {
                nombre = vb::Trim(objReg().Lee_Valor(gstrRutaRegistro + QStringLiteral("\\impresoras"),
                                                     QString::number(o.idImpresora)));
                if (nombre.contains(QStringLiteral("NO IMPRIMIR"), Qt::CaseInsensitive))
                    descartar = true;
            }
        },
        aviso(prompts::vbInformation));
    if (descartar)
        return responde({});
    vb::OnError(
        [&] {
            if (!o.NombreImpresora.isEmpty())
                nombre = o.NombreImpresora;
            if (objParametros().lee(param::ImprImpSecundaria) == 1 && frmPrincipalVars().blnImpresoraSecundaria)
                nombre = objParametros().lee(param::ImpresoraSecundaria);
            if (frmPrincipalVars().blnCintaControl)
                nombre = objParametros().lee(param::ImpCintaControl);
        },
        aviso(prompts::vbInformation));
    if (nombre.isEmpty())
        vb::OnError([&] { nombre = printers::output().defaultPrinter(); }, aviso(prompts::vbInformation));

    // Nothing collected: no job (an empty raw job would stay held in the queue).
    const bool vacio = datos.isEmpty();

    if (facturadora)
        vb::OnError(
            [&] {
                if (paginar) {
                    datos = CodigoImpresora({27, 'c', '0', 4}) + datos;
                    ImprimeFacturadora(trabajo, datos, {.blnSoloContar = true});
                } else {
                    datos = CodigoImpresora({27, 'c', '0', 1}) + datos;
                }
            },
            aviso(prompts::vbInformation));

    // Nothing collected is nothing lost; a failure before the send is the job's failure.
    ResultadoEnvio envio{.blnEnviado = true, .impresora = nombre};
    bool intentado = vacio;
    vb::OnError(
        [&] {
            bool opos = false;
            QString impresoraOpos;
            if (objParametros().lee(param::UsarDriverOPOS) != 0) {
                impresoraOpos = objParametros().lee(param::ImpresoraOPOS);
                opos = nombre.compare(impresoraOpos, Qt::CaseInsensitive) == 0;
            }
            if (opos) {
                // The POS-printer road: the same payload the control's direct output would take.
                envio.impresora = impresoraOpos;
                if (!vacio) {
                    intentado = true;
                    envio =
                        enviaTrabajo(trabajo, impresoraOpos, CodigoImpresora({27, '=', 1}) + datos + CRLF, blnTexto);
                }
            } else {
                if (!vacio) {
                    intentado = true;
                    envio = enviaTrabajo(trabajo, nombre, datos, blnTexto);
                }
                if (gblnLog) {
                    GrabaLog(QStringLiteral("Impreso en ") + nombre);
                    GrabaLog(datos);
                }
            }
        },
        [&](const VBError& e) {
            if (!intentado)
                envio = {.blnEnviado = true,
                         .impresora = envio.impresora,
                         .ok = false,
                         .error = e.description(),
                         .blnTexto = blnTexto};
            MensajeUsuario(e.description(), prompts::vbInformation);
        });

    if (paginar)
        vb::OnError([&] { basFuncionesComunes::Espera(objParametros().lee(param::DelayFacturadora)); },
                    aviso(prompts::vbInformation));
    vb::OnError([&] { basFuncionesComunes::Espera(objParametros().lee(param::DelayImpresion)); },
                aviso(prompts::vbInformation));
    return responde(envio);
}

} // namespace basPrinter
