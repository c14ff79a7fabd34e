// The request front's deferred requests, its outgoing requests and its late-bound members.
//
// A queued request runs through EjecutaAccion like a request from the socket; it succeeded when its
// reply's "ok" is true and the reply carries no "error" text (a print that did not go out answers
// ok with an "error"). A print takes the shared print turn as socket prints do: when the turn is
// taken, the drain stops with the print at the head of the queue.
#include "core/NombresParametros.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "server/TurnoExclusivo.h"
#include "server/clsSocketFront.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"

namespace {

const QString kOrigenCallback = QStringLiteral("EjecutarRequestPendientesCola");

// A field that holds true (the Boolean, or VB's -1).
bool marcado(const vb::EntidadPtr& e, const QString& campo) {
    if (!e->Existe(campo))
        return false;
    const Variant v = e->Valor(campo);
    return v.typeId() == QMetaType::Bool ? v.toBool() : vb::IsNumeric(v) && vb::CDbl(v) == -1;
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
        const FrmPrincipalVars& vars = frmPrincipalVars();
        if (marcado(peticion, QStringLiteral("no_ejecutar_si_ticket_abierto")) && vars.lngTPV != 0 &&
            vars.lngTicket != 0)
            return;
        const QString accion = vb::CStr(peticion->Valor(QStringLiteral("accion")));
        const bool impresion = esAccionDeImpresion(accion);
        if (impresion && TurnoExclusivo::instancia().ocupado())
            return;
        blnEjecutandoCola = true;
        if (gblnGrabarLogDetallado)
            GrabaLogBBDD(QStringLiteral("clsSocket.ejecuta_siguiente_request_en_cola: ") + accion);
        if (impresion)
            TurnoExclusivo::instancia().ejecuta([&] { EjecutaAccion(peticion, respuesta, origen_request); });
        else
            EjecutaAccion(peticion, respuesta, origen_request);
        if (exito(respuesta)) {
            quita(*cola, peticion);
        } else if (vb::CBool(basFuncionesComunes::VarToStr(
                       peticion->Valor(QStringLiteral("on_fail_poner_al_final_cola")), false))) {
            if (quita(*cola, peticion))
                cola->Add(peticion);
        } else {
            return;
        }
        resultado = cola->Count() > 0;
    });
    return resultado;
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
