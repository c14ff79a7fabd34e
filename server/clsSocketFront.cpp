#include "clsSocketFront.h"

#include "core/NombresParametros.h"
#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Printers.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include "printing/clsImprimirTicket.h"
#include "scale/clsComm.h"
#include "server/CampoPeticion.h"
#include "server/TramaPeticion.h"
#include "server/frmComSocket.h"
#include "server/json/clsJSON.h"
#include "server/json/clsJsonScript.h"

#include <algorithm>

std::unique_ptr<clsSocketFront> SocketFront;

namespace {

constexpr qsizetype kMaxValorVolcado = 1024;        // each value of an unknown action's dump
constexpr qsizetype kMaxExtractoLog = 200;          // excerpt of a request that is no JSON object
constexpr qsizetype kMaxNombre = 200;               // an action name or a field name in replies and traces
constexpr int kMaxCamposVolcado = 100;              // fields listed in an unknown action's dump
constexpr qsizetype kMaxLeidaGuardada = 256 * 1024; // a request the classifier read, kept for its run
constexpr size_t kMaxLeidasGuardadas = 32;

const QString kNombrePrograma = QStringLiteral("Tarvolin");

// A run-time error caused by what the request carries (a field that does not convert): reported
// like any other (so the kitchen sees on paper that a comanda failed) and answered, but never taken
// for a lost database link.
class ErrorPeticion final : public VBError {
public:
    explicit ErrorPeticion(const VBError& e) : VBError(e) {}
};

template <class F> auto campo(F&& leer) {
    try {
        return leer();
    } catch (const VBError& e) {
        throw ErrorPeticion(e);
    }
}

Variant valor(const vb::EntidadPtr& p, const QString& nombre) {
    return campoPeticion(p, nombre);
}

// A field as a 32-bit integer, 0 when absent.
qint32 entero(const vb::EntidadPtr& p, const QString& nombre) {
    return campo([&] { return vb::CLng(basFuncionesComunes::VarToStr(valor(p, nombre), Variant(qint32(0)))); });
}

// A field as text, the default when absent or null.
QString texto(const vb::EntidadPtr& p, const QString& nombre, const QString& defecto = QString()) {
    return campo([&] { return vb::CStr(basFuncionesComunes::VarToStr(valor(p, nombre), Variant(defecto))); });
}

// A till or ticket number of the kitchen print: its text read as a number ("," or "."), rounded.
qint32 numero(const vb::EntidadPtr& p, const QString& nombre) {
    return campo([&] {
        const QString t = vb::CStr(basFuncionesComunes::VarToStr(valor(p, nombre), Variant(qint32(0))));
        return vb::CLng(Variant(basFuncionesComunes::ValNumero(t)));
    });
}

// A Boolean field that defaults to True; a JSON Boolean or a number converts, a text like "S" does not.
bool booleanoSi(const vb::EntidadPtr& p, const QString& nombre) {
    return campo([&] { return vb::CBool(basFuncionesComunes::VarToStr(valor(p, nombre), Variant(true))); });
}

bool esAccion(const QString& accion, const char* nombre) {
    return accion.compare(QLatin1String(nombre), Qt::CaseInsensitive) == 0;
}

} // namespace

void clsSocketFront::BorradoDiferido::operator()(frmComSocket* s) const {
    // Handlers of the old window may still be on the stack: it goes once they have returned.
    s->Descarga();
    s->deleteLater();
}

clsSocketFront::clsSocketFront() {
    bool ok = false;
    const int puerto = qEnvironmentVariableIntValue("TARVOLIN_PORT", &ok);
    if (ok && puerto >= 0 && puerto <= 65535)
        m_puertoForzado = puerto;
}

clsSocketFront::~clsSocketFront() = default;

clsJSON& clsSocketFront::objJSON() {
    if (!m_objJSON)
        m_objJSON = std::make_unique<clsJSON>();
    return *m_objJSON;
}

quint16 clsSocketFront::puertoEscucha() const {
    return m_socket ? m_socket->puertoEscucha() : 0;
}

qint32 clsSocketFront::getPuertoSocketFront() {
    if (m_puertoForzado)
        return *m_puertoForzado == 0 && puertoEscucha() != 0 ? qint32(puertoEscucha()) : *m_puertoForzado;
    qint32 puerto = 8089;
    AtrapaErrores(QStringLiteral("clsSocketFront.getPuertoSocketFront"), [&] {
        clsParametros& p = objParametros();
        if (p.lee(param::PermitirVariosTPVSSimultaneamente))
            puerto = vb::CInt(Variant(8088 + p.lee(param::TPV)));
    });
    return puerto;
}

void clsSocketFront::Inicia() {
    AtrapaErrores(QStringLiteral("clsSocketFront.Inicia"), [&] {
        m_socket.reset(new frmComSocket());
        connect(m_socket.get(), &frmComSocket::Request, this, &clsSocketFront::socket_Request);
        m_socket->setPeticionExclusiva([this](const QString& datos) { return esPeticionDeImpresion(datos); });
        qint32 puerto = getPuertoSocketFront();
        SocketIniciado = m_socket->IniciaEscucha(puerto);
        objReg().Firewall_HabilitarPuerto(QString::number(getPuertoSocketFront()), QStringLiteral("TCP"));
        objReg().Firewall_HabilitarPuerto(QStringLiteral("8088"), QStringLiteral("TCP"));
    });
}

bool clsSocketFront::esPeticionDeImpresion(const QString& RequestData) {
    bool impresion = false;
    if (!RequestData.contains(QLatin1String("imprimir"), Qt::CaseInsensitive))
        return impresion;
    vb::ResumeNext([&] {
        if (!m_jsonClasificador)
            m_jsonClasificador = std::make_unique<clsJSON>();
        const auto dic = std::dynamic_pointer_cast<vb::Dictionary>(m_jsonClasificador->parse(RequestData));
        const QString quejas = m_jsonClasificador->GetParserErrors();
        m_jsonClasificador->ClearParserErrors();
        const Variant accion = dic ? dic->value(QStringLiteral("accion")) : Variant();
        impresion = accion.typeId() == QMetaType::QString && esAccionDeImpresion(accion.toString());
        // Kept for the run of the same request; a few, and small ones only (prints are small).
        if (dic && RequestData.size() <= kMaxLeidaGuardada) {
            m_leidas.push_back({RequestData, dic, quejas});
            if (m_leidas.size() > kMaxLeidasGuardadas)
                m_leidas.pop_front();
        }
    });
    return impresion;
}

vb::EntidadPtr clsSocketFront::leePeticion(const QString& RequestData) {
    // Only a text that holds an object is read; anything else (a probe, a stray line) is traced and
    // answered with the empty reply, without troubling the error handler.
    std::shared_ptr<vb::Dictionary> dic;
    QString quejas;
    const auto leida = std::find_if(m_leidas.begin(), m_leidas.end(), [&](const Leida& l) {
        return l.texto.constData() == RequestData.constData() && l.texto.size() == RequestData.size();
    });
    if (leida != m_leidas.end()) {
        dic = leida->dic;
        quejas = leida->quejas;
        m_leidas.erase(leida);
    } else {
        if (RequestData.contains(u'{'))
            dic = std::dynamic_pointer_cast<vb::Dictionary>(objJSON().parse(RequestData));
        quejas = objJSON().GetParserErrors();
        // The complaints of a finished request are not kept: they may be many.
        objJSON().ClearParserErrors();
    }
    if (!dic) {
        GrabaLog(QStringLiteral("JSON.parseIEntidad: la petición no es un objeto JSON: ") +
                 RequestData.left(kMaxExtractoLog));
        return nullptr;
    }
    if (!quejas.isEmpty())
        GrabaLog(QStringLiteral("JSON.parseIEntidad: ") + trama::extracto(quejas, kMaxValorVolcado));
    return basLegacyFunctions::NewCollection(vb::FromObject(dic));
}

void clsSocketFront::socket_Request(const QString& RequestData, QString& responseData) {
    vb::EntidadPtr respuesta = std::make_shared<vb::entidadGenerica>();
    AtrapaErrores(QStringLiteral("clsSocketFront.socket_Request"), [&] {
        if (gblnGrabarLogDetallado)
            GrabaLogBBDD(QStringLiteral("clsSocket.RequestData: ") + RequestData);
        if (RequestData.compare(QLatin1String("null"), Qt::CaseInsensitive) != 0) {
            GrabaLog(QStringLiteral("JSON.parseIEntidad"));
            const vb::EntidadPtr peticion = leePeticion(RequestData);
            GrabaLog(QStringLiteral("EjecutaAccion"));
            EjecutaAccion(peticion, respuesta, QStringLiteral("socket_Request"));
        }
    });
    // A reply that cannot be written is the empty reply, once.
    responseData.clear();
    vb::ResumeNext([&] {
        GrabaLog(QStringLiteral("exitHandle"));
        responseData = objJSON().EntidadGenericaToJson(respuesta, true);
    });
    if (gblnGrabarLogDetallado)
        GrabaLogBBDD(QStringLiteral("clsSocket.responseData: ") + responseData);
}

bool clsSocketFront::EjecutaAccion(const vb::EntidadPtr& param, vb::EntidadPtr& Resultado,
                                   const QString& origen_request, clsJsonScript* js, SeguimientoImpresion* impresion) {
    bool reconocida = false;
    if (!Resultado)
        Resultado = std::make_shared<vb::entidadGenerica>();

    // The error path: the central error handler reports it and the reply says what failed; an
    // error of the request's own fields does not reopen the database connections. Called from
    // inside a catch block.
    auto fallo = [&](const VBError& err, bool reconectar) {
        const QString procedimiento = QStringLiteral("clsSocketFront.EjecutaAccion. ");
        if (js) {
            js->ctrlErrorScript(procedimiento, err.description(), true);
            return;
        }
        ControlErrores(procedimiento + origen_request, reconectar, err);
        if (m_socket)
            m_socket->Log(QStringLiteral("Error VB6: ") + kNombrePrograma + QStringLiteral(", origen_request:") +
                          origen_request + QStringLiteral(", ") + err.description());
        Resultado->Propiedad(QStringLiteral("ok"), false);
        Resultado->Propiedad(QStringLiteral("errorVB6"), err.description());
    };

    try {
        if (param) {
            entero(param, QStringLiteral("idTicket"));
            entero(param, QStringLiteral("idTPV"));
            entero(param, QStringLiteral("idCamarero"));
            const QString accion = campo([&] { return vb::CStr(valor(param, QStringLiteral("accion"))); });
            // A name as long as the request itself goes into replies and traces cut.
            const QString nombreAccion = trama::extracto(accion, kMaxNombre);

            GrabaLog(QStringLiteral("clsSockerFront.EjecutaAccion (") + nombreAccion + QStringLiteral("): ") +
                     basFuncionesComunes::TextoSegundos());
            if (m_socket)
                m_socket->Log(nombreAccion);

            bool ok = true;
            reconocida = true;
            const QString kOk = QStringLiteral("ok");
            if (esAccion(accion, "GetIdTPV")) {
                Resultado->Propiedad(QStringLiteral("idTPV"), gintTPV);
            } else if (esAccion(accion, "AnadirLog")) {
                QString linea = texto(param, QStringLiteral("Texto"));
                linea.replace(QLatin1String("\\n"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
                if (!GrabaLogBBDD(linea))
                    Resultado->Propiedad(QStringLiteral("error"),
                                         TraduceLiteral(QStringLiteral("No se ha podido grabar el log.")));
            } else if (esAccion(accion, "GetPrinters")) {
                auto lista = std::make_shared<vb::Collection>();
                for (const QString& nombre : printers::output().list())
                    lista->Add(nombre);
                Resultado->Propiedad(QStringLiteral("result"), vb::FromObject(lista));
            } else if (esAccion(accion, "ImprimirTicketEspecial")) {
                const QString textoTicket = texto(param, QStringLiteral("texto"));
                const bool cabecera = objJSON().ParseBool(valor(param, QStringLiteral("imprimirCabecera")));
                const bool logo = objJSON().ParseBool(valor(param, QStringLiteral("imprimirLogo")));
                const bool pantalla = objJSON().ParseBool(valor(param, QStringLiteral("imprimirPorPantalla")));
                // An absent printer is the usual printer, never one named "#ERROR#".
                const QString impresora = texto(param, QStringLiteral("impresora"));
                clsImprimirTicket ticket;
                const ResultadoImpresion r = ticket.ImprimirTicketEspecial(
                    textoTicket, {.blnImprimirCabeceraYPie = cabecera,
                                  .blnImprimirLogo = logo,
                                  .blnImprimirPorPantalla = pantalla,
                                  .strImpresora = impresora,
                                  .informe = impresion ? impresion->informe : basPrinter::InformeFallos{}});
                if (impresion)
                    impresion->resultado = r;
                if (!r.blnEnviado)
                    Resultado->Propiedad(QStringLiteral("error"),
                                         TraduceLiteral(QStringLiteral("No se ha podido imprimir el ticket.")));
            } else if (esAccion(accion, "ImprimirTicketCocinaEspecial")) {
                const qint32 tpv = numero(param, QStringLiteral("idTPV"));
                const qint32 ticketNum = numero(param, QStringLiteral("idTicket"));
                const QString textoTicket = texto(param, QStringLiteral("texto"));
                const QString impresora = texto(param, QStringLiteral("impresora"));
                const QString descripcion = texto(param, QStringLiteral("descripcion_cabecera"));
                const bool cabecera = booleanoSi(param, QStringLiteral("imprimir_cabecera"));
                const bool pie = booleanoSi(param, QStringLiteral("imprimir_pie"));
                const QString textoPie = texto(param, QStringLiteral("texto_pie"));
                clsImprimirTicket ticket;
                const ResultadoImpresion r = ticket.ImprimirTicketCocinaEspecial(
                    tpv, ticketNum, textoTicket,
                    {.strImpresora = impresora,
                     .strDescripcionCabecera = descripcion,
                     .blnImprimirCabecera = cabecera,
                     .blnImprimirPie = pie,
                     .strTextoPie = textoPie,
                     .informe = impresion ? impresion->informe : basPrinter::InformeFallos{}});
                if (impresion)
                    impresion->resultado = r;
                if (!r.blnEnviado)
                    Resultado->Propiedad(QStringLiteral("error"),
                                         TraduceLiteral(QStringLiteral("No se ha podido imprimir el ticket.")));
            } else if (esAccion(accion, "Ping")) {
                Resultado->Propiedad(QStringLiteral("respuesta"), QStringLiteral("S"));
            } else if (esAccion(accion, "shutdown") || esAccion(accion, "cerrar_programa")) {
                mainWindow().FinalizarProgramaYDescargarFormularios(false);
            } else if (esAccion(accion, "reiniciar_programa")) {
                mainWindow().FinalizarProgramaYDescargarFormularios(true);
            } else if (esAccion(accion, "GetPeso")) {
                const ResultadoPeso pesada = objComm().getPeso(0, 0, {.blnSilent = true});
                Resultado->Propiedad(kOk, pesada.ok);
                Resultado->Propiedad(QStringLiteral("error"), pesada.error);
                Resultado->Propiedad(QStringLiteral("peso"), pesada.peso);
                Resultado->Propiedad(QStringLiteral("tipo_error"), pesada.tipoError);
            } else {
                ok = false;
                reconocida = false;
                if (!js) {
                    Resultado->Propiedad(QStringLiteral("errorVB6"), QStringLiteral("Acción '") + nombreAccion +
                                                                         QStringLiteral("' no implementada."));
                    GrabaLog(volcado(nombreAccion, param), true);
                }
            }
            Resultado->Propiedad(kOk, ok);
        }
    } catch (const program::Ended&) {
        throw;
    } catch (const ErrorPeticion& e) {
        fallo(e, false);
    } catch (...) {
        fallo(vb::CurrentError(), true);
    }
    GrabaLog(QStringLiteral("clsSockerFront.EjecutaAccion end: ") + basFuncionesComunes::TextoSegundos());
    return reconocida;
}

QString clsSocketFront::volcado(const QString& accion, const vb::EntidadPtr& param) {
    QString r = accion + QStringLiteral("\r\n");
    const auto dic = basLegacyFunctions::GetDiccionario(vb::FromObject(param));
    if (!dic)
        return r;
    const int n = std::min(dic->Count(), kMaxCamposVolcado);
    for (int i = 0; i < n; ++i) {
        const Variant& v = dic->at(i);
        QString valor;
        if (vb::IsNull(v))
            valor.clear();
        else if (vb::IsObject(v))
            valor = objJSON().toString(v, true);
        else
            valor = vb::CStr(v);
        r += QStringLiteral("     ") + trama::extracto(dic->Keys().at(i), kMaxNombre) + QStringLiteral(": ") +
             valor.left(kMaxValorVolcado) + QStringLiteral("\r\n");
    }
    if (dic->Count() > n)
        r += QStringLiteral("     ... y ") + QString::number(dic->Count() - n) + QStringLiteral(" campos más\r\n");
    return r;
}
