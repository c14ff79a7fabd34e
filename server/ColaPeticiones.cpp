// The request front's deferred requests, its outgoing requests and its late-bound members.
//
// A queued request runs through EjecutaAccion like a request from the socket, its fields read by the
// same reader (names exactly as written); it succeeded when its reply's "ok" is true and the reply
// carries no "error" text (a print that did not go out answers ok with an "error"). A print takes
// the shared print turn as socket prints do: when a print runs or waits for it, the drain stops
// with the print at the head of the queue.
//
// A print that fails part-way stays queued holding only the pieces (between "<cortar>" marks) that
// did not go out, so a retry never prints again what the kitchen already has; its failure is
// reported on paper once, and its retries only log theirs. A piece whose fate the print server did
// not tell (its answer never came) is asked about at the request's next turn, before anything is
// sent again: printed, it leaves the text; not printed, it goes again. An entry that holds no request object is
// a run-time error: it is reported, taken out, and the drain goes on.
#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "printing/basPrinter.h"
#include "printing/clsImprimirTicket.h"
#include "server/CampoPeticion.h"
#include "server/TurnoExclusivo.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"

#include <algorithm>
#include <optional>

namespace {

const QString kOrigenCallback = QStringLiteral("EjecutarRequestPendientesCola");

const QString kCortar = QStringLiteral("<cortar>");
const QString kTexto = QStringLiteral("texto");

// A field that holds true (the Boolean, or VB's -1).
bool marcado(const vb::EntidadPtr& e, const QString& campo) {
    const Variant v = campoPeticion(e, campo);
    return v.typeId() == QMetaType::Bool ? v.toBool() : vb::IsNumeric(v) && vb::CDbl(v) == -1;
}

// The action's name, "" when the field is no text.
QString accionDe(const vb::EntidadPtr& e) {
    const Variant v = campoPeticion(e, QStringLiteral("accion"));
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

// What of a print is still to go out after a failure: its pieces that did not, joined as they were,
// and, by their place among those, the pieces whose fate is not known with the jobs to ask about;
// std::nullopt when the print did not get to its pieces (all of it is still to go).
struct Resto {
    QString texto;
    std::vector<std::pair<qsizetype, QList<printers::PendingJob>>> inciertas;
};
std::optional<Resto> restoPorImprimir(const vb::EntidadPtr& peticion, const ResultadoImpresion& impresion) {
    const Variant texto = campoPeticion(peticion, kTexto);
    if (!impresion.blnPiezasRecorridas || texto.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString t = texto.toString();
    const QStringList piezas = t.isEmpty() ? QStringList() : t.split(kCortar);
    if (piezas.size() != impresion.piezas.size())
        return std::nullopt;
    QStringList quedan;
    Resto resto;
    for (qsizetype i = 0; i < piezas.size(); ++i) {
        const basPrinter::ResultadoEnvio& pieza = impresion.piezas.at(i);
        if (pieza.ok)
            continue;
        if (pieza.blnIncierto)
            resto.inciertas.emplace_back(quedan.size(), pieza.pendientes);
        quedan << piezas.at(i);
    }
    resto.texto = quedan.join(kCortar);
    return resto;
}

bool exito(const vb::EntidadPtr& respuesta) {
    if (!respuesta->Existe(QStringLiteral("ok")) || !vb::CBool(respuesta->Valor(QStringLiteral("ok"))))
        return false;
    const QString kError = QStringLiteral("error");
    return !respuesta->Existe(kError) || basFuncionesComunes::VarToStr(respuesta->Valor(kError)).toString().isEmpty();
}

// Removes `e` from the list (wherever nested events have moved it); false when it is not there.
bool quita(vb::coleccionGenerica& cola, const vb::EntidadPtr& e) {
    for (int i = 1; i <= cola.Count(); ++i)
        if (cola.Item(i) == e) {
            cola.Remove(i);
            return true;
        }
    return false;
}

} // namespace

bool clsSocketFront::esAccionDeImpresion(const QString& accion) {
    return accion.compare(QLatin1String("ImprimirTicketEspecial"), Qt::CaseInsensitive) == 0 ||
           accion.compare(QLatin1String("ImprimirTicketCocinaEspecial"), Qt::CaseInsensitive) == 0;
}

vb::ColeccionPtr clsSocketFront::peticiones_aincronas() {
    if (!m_peticiones_aincronas)
        m_peticiones_aincronas = std::make_shared<vb::coleccionGenerica>();
    return m_peticiones_aincronas;
}

bool clsSocketFront::EjecutarRequestPendientesCola(const QString& origen_request) {
    bool alguna = false;
    AtrapaErrores(QStringLiteral("clsSocketFront.EjecutarRequestPendientesCola"), [&] {
        // One pass: requests that fail and go to the end are not tried again in the same drain.
        const int rondas = peticiones_aincronas()->Count();
        for (int i = 0; i < rondas; ++i) {
            if (!ejecuta_siguiente_request_en_cola(origen_request))
                break;
            alguna = true;
            program::doEvents();
        }
    });
    return alguna;
}

bool clsSocketFront::ejecuta_siguiente_request_en_cola(const QString& origen_request) {
    if (blnEjecutandoCola)
        return false;
    struct Bandera {
        bool& b;
        ~Bandera() { b = false; }
    } bandera{blnEjecutandoCola};
    bool resultado = false;
    AtrapaErrores(QStringLiteral("clsSocketFront.ejecuta_siguiente_request_en_cola"), [&] {
        const vb::ColeccionPtr cola = peticiones_aincronas();
        if (cola->Count() == 0)
            return;
        vb::EntidadPtr respuesta = std::make_shared<vb::entidadGenerica>();
        const vb::EntidadPtr peticion = cola->Item(1);
        if (!peticion || !peticion->Diccionario()) {
            // Nothing to run: it goes, and the drain goes on with the next one.
            cola->Remove(1);
            resultado = cola->Count() > 0;
            vb::Raise(vb::err::ObjectRequired);
        }
        const FrmPrincipalVars& vars = frmPrincipalVars();
        if (marcado(peticion, QStringLiteral("no_ejecutar_si_ticket_abierto")) && vars.lngTPV != 0 &&
            vars.lngTicket != 0)
            return;
        const QString accion = accionDe(peticion);
        const bool impresion = esAccionDeImpresion(accion);
        // A print that just ended leaves the turn free for the next one at once.
        if (impresion && !TurnoExclusivo::instancia().libre())
            return;
        blnEjecutandoCola = true;
        // Differs from the original, which ran the request again: pieces of unknown fate are settled
        // first, and only those the print server says did not print go again; while it does not
        // answer the request waits, as a failed one does.
        std::optional<bool> asentada;
        if (impresion)
            asentada = asientaPiezasInciertas(peticion);
        if (asentada == false) {
            if (!vb::CBool(basFuncionesComunes::VarToStr(
                    campoPeticion(peticion, QStringLiteral("on_fail_poner_al_final_cola")), false)))
                return;
            if (quita(*cola, peticion))
                cola->Add(peticion);
            resultado = cola->Count() > 0;
            return;
        }
        if (const Variant t = campoPeticion(peticion, kTexto);
            asentada == true && t.typeId() == QMetaType::QString && t.toString().isEmpty()) {
            quita(*cola, peticion);
            resultado = cola->Count() > 0;
            return;
        }
        if (gblnGrabarLogDetallado)
            GrabaLogBBDD(QStringLiteral("clsSocket.ejecuta_siguiente_request_en_cola: ") + accion);
        // Taken out here and put back below while its failure lasts (gone ones go too).
        const bool informada =
            std::ranges::any_of(m_impresionesInformadas, [&](const auto& w) { return w.lock() == peticion; });
        std::erase_if(m_impresionesInformadas, [&](const auto& w) { return w.expired() || w.lock() == peticion; });
        bool hecha = false;
        if (impresion) {
            // Its first failure is told once; a retry after a told failure only logs its own.
            SeguimientoImpresion seguimiento{.informe = {.blnUnSoloInforme = true, .blnInformado = informada}};
            TurnoExclusivo::instancia().ejecutaYa(
                [&] { EjecutaAccion(peticion, respuesta, origen_request, nullptr, &seguimiento); });
            const bool informadaAhora = informada || seguimiento.resultado.blnFalloInformado;
            hecha = exito(respuesta);
            if (!hecha) {
                if (const std::optional<Resto> resto = restoPorImprimir(peticion, seguimiento.resultado)) {
                    // What went out is not sent again; nothing left means the ticket is all out.
                    peticion->Diccionario()->set(kTexto, resto->texto);
                    hecha = resto->texto.isEmpty();
                    if (!resto->inciertas.empty())
                        m_piezasInciertas.push_back({peticion, resto->inciertas});
                }
                if (!hecha && informadaAhora)
                    m_impresionesInformadas.push_back(peticion);
            }
        } else {
            EjecutaAccion(peticion, respuesta, origen_request);
            hecha = exito(respuesta);
        }
        if (hecha) {
            quita(*cola, peticion);
        } else if (vb::CBool(basFuncionesComunes::VarToStr(
                       campoPeticion(peticion, QStringLiteral("on_fail_poner_al_final_cola")), false))) {
            if (quita(*cola, peticion))
                cola->Add(peticion);
        } else {
            return;
        }
        resultado = cola->Count() > 0;
    });
    return resultado;
}

std::optional<bool> clsSocketFront::asientaPiezasInciertas(const vb::EntidadPtr& peticion) {
    std::erase_if(m_piezasInciertas, [](const PiezasInciertas& p) { return p.peticion.expired(); });
    const auto it = std::ranges::find_if(m_piezasInciertas,
                                         [&](const PiezasInciertas& p) { return p.peticion.lock() == peticion; });
    if (it == m_piezasInciertas.end())
        return std::nullopt;
    std::vector<qsizetype> impresas;
    for (const auto& [pieza, trabajos] : it->piezas) {
        bool impresa = true;
        for (const printers::PendingJob& trabajo : trabajos) {
            const printers::JobResult r = printers::output().settle(trabajo);
            if (r.unknown())
                return false;
            impresa = impresa && r.printed();
        }
        if (impresa)
            impresas.push_back(pieza);
    }
    const qsizetype total = qsizetype(it->piezas.size());
    m_piezasInciertas.erase(it);
    const Variant texto = campoPeticion(peticion, kTexto);
    if (texto.typeId() == QMetaType::QString && !impresas.empty()) {
        QStringList piezas = texto.toString().split(kCortar);
        for (auto i = impresas.rbegin(); i != impresas.rend(); ++i)
            if (*i < piezas.size())
                piezas.removeAt(*i);
        peticion->Diccionario()->set(kTexto, piezas.join(kCortar));
    }
    GrabaLog(QStringLiteral("clsSocketFront.ejecuta_siguiente_request_en_cola: de %1 pieza(s) sin respuesta de cupsd, "
                            "%2 se imprimieron")
                 .arg(total)
                 .arg(impresas.size()),
             true);
    return true;
}

vb::EntidadPtr clsSocketFront::enviaPeticion(const QString& strAccion, vb::EntidadPtr* eParametros,
                                             const QString& strIp, qint32* intPuertoSocket) {
    vb::EntidadPtr respuesta;
    AtrapaErrores(QStringLiteral("clsSocketFront.enviaPeticion"), [&] {
        qint32 puerto = intPuertoSocket ? *intPuertoSocket : 0;
        if (puerto == 0) {
            puerto = getPuertoSocketFront();
            if (intPuertoSocket)
                *intPuertoSocket = puerto;
        }
        vb::EntidadPtr propios;
        vb::EntidadPtr& parametros = eParametros ? *eParametros : propios;
        if (!parametros)
            parametros = std::make_shared<vb::entidadGenerica>();
        // A window of its own for this request; it goes (closed) when the exchange is over.
        const std::unique_ptr<frmComSocket> ventana = std::make_unique<frmComSocket>();
        QString mensaje;
        if (ventana->SocketClienteConectar(strIp, QString::number(puerto), 1, &mensaje)) {
            parametros->Propiedad(QStringLiteral("accion"), strAccion);
            const QString texto = objJSON().EntidadGenericaToJson(parametros, true);
            ventana->SocketClienteEnviarDatos(texto, respuesta, 1, false);
        } else {
            GrabaLog(QStringLiteral("clsSocketFront.enviaPeticion (") + strIp + QStringLiteral(":") +
                     QString::number(puerto) + QStringLiteral("): ") + mensaje);
        }
        ventana->SocketClienteCerrarConexion();
    });
    if (!respuesta)
        respuesta = std::make_shared<vb::entidadGenerica>();
    return respuesta;
}

qint16 clsSocketFront::getPuertoSocketComandero(qint16 intInstancia) {
    qint16 puerto = 8088;
    // The report keeps the name it always had.
    AtrapaErrores(QStringLiteral("clsSocketFront.getPuertoSocketFront"), [&] {
        if (objParametros().lee(param::InstanciasQuellmardenComandero) > 1 && intInstancia > 0)
            puerto = vb::CInt(Variant(9088 + qint32(intInstancia)));
    });
    return puerto;
}

vb::CallableMembers clsSocketFront::callableMembers() {
    return {
        {QStringLiteral("EjecutarRequestPendientesCola"), 0, 1,
         [this](const vb::Arguments& a) {
             return Variant(EjecutarRequestPendientesCola(a.isEmpty() ? kOrigenCallback : vb::CStr(a.at(0))));
         }},
        {QStringLiteral("getPuertoSocketFront"), 0, 0,
         [this](const vb::Arguments&) { return Variant(getPuertoSocketFront()); }},
        {QStringLiteral("getPuertoSocketComandero"), 1, 1,
         [this](const vb::Arguments& a) { return Variant(getPuertoSocketComandero(vb::CInt(a.at(0)))); }},
    };
}
