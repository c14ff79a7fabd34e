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

clsSocketFront::Leida clsSocketFront::leeJSON(const QString& RequestData) {
    Leida l{RequestData, nullptr, QString()};
    if (RequestData.contains(u'{')) {
        ++m_lecturasJSON;
        l.dic = std::dynamic_pointer_cast<vb::Dictionary>(objJSON().parse(RequestData));
    }
    l.quejas = objJSON().GetParserErrors();
    // The complaints of a finished reading are not kept: they may be many.
    objJSON().ClearParserErrors();
    return l;
}

bool clsSocketFront::esPeticionDeImpresion(const QString& RequestData) {
    bool impresion = false;
    // The request is read here, once: its run takes this reading (leePeticion). A text that does not
    // read is read again by the run, whose error handler reports why.
    vb::ResumeNext([&] {
        Leida l = leeJSON(RequestData);
        const Variant accion = l.dic ? l.dic->value(QStringLiteral("accion")) : Variant();
        impresion = accion.typeId() == QMetaType::QString && esAccionDeImpresion(accion.toString());
        // Any other request runs right after this; a print waits for its turn, and the readings of
        // waiting prints are kept for a few small ones only (prints are small).
        if (impresion && RequestData.size() > kMaxLeidaGuardada)
            return;
        m_leidas.push_back(std::move(l));
        if (m_leidas.size() > kMaxLeidasGuardadas)
            m_leidas.pop_front();
    });
    return impresion;
}

vb::EntidadPtr clsSocketFront::leePeticion(const QString& RequestData) {
    // Only a text that holds an object is read; anything else (a probe, a stray line) is traced and
    // answered with the empty reply, without troubling the error handler.
    const auto leida = std::find_if(m_leidas.begin(), m_leidas.end(), [&](const Leida& l) {
        return l.texto.constData() == RequestData.constData() && l.texto.size() == RequestData.size();
    });
    Leida l;
    if (leida != m_leidas.end()) {
        l = std::move(*leida);
        m_leidas.erase(leida);
    } else {
        l = leeJSON(RequestData);
    }
    if (!l.dic) {
        GrabaLog(QStringLiteral("JSON.parseIEntidad: la petición no es un objeto JSON: ") +
                 RequestData.left(kMaxExtractoLog));
        return nullptr;
    }
    if (!l.quejas.isEmpty())
        GrabaLog(QStringLiteral("JSON.parseIEntidad: ") + trama::extracto(l.quejas, kMaxValorVolcado));
    return basLegacyFunctions::NewCollection(vb::FromObject(l.dic));
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

// ---- The actions: each reads its fields and writes its reply (the front adds "ok") ----

namespace {

struct PeticionEnCurso {
    const vb::EntidadPtr& param;
    const vb::EntidadPtr& Resultado;
    clsJSON& json;
    SeguimientoImpresion* impresion; // a print's failure telling and what it did (the request queue's)
};

// How a print tells its failures: as the caller asked, or each one.
basPrinter::InformeFallos informe(const PeticionEnCurso& p) {
    return p.impresion ? p.impresion->informe : basPrinter::InformeFallos{};
}

// The print's outcome: handed to the caller that asked for it; an error in the reply when not sent.
void resultadoImpresion(const PeticionEnCurso& p, const ResultadoImpresion& r) {
    if (p.impresion)
        p.impresion->resultado = r;
    // Differs from the original, which never knew: a print server that did not answer leaves the
    // ticket neither printed nor failed, and the reply says it may have printed instead of guessing.
    if (r.incierto()) {
        p.Resultado->Propiedad(QStringLiteral("error"),
                               TraduceLiteral(QStringLiteral(
                                   "Puede que el ticket se haya impreso: el servidor de impresión no ha respondido.")));
        p.Resultado->Propiedad(QStringLiteral("impreso"), QStringLiteral("desconocido"));
    } else if (!r.blnEnviado) {
        p.Resultado->Propiedad(QStringLiteral("error"),
                               TraduceLiteral(QStringLiteral("No se ha podido imprimir el ticket.")));
    }
}

void GetIdTPV(const PeticionEnCurso& p) {
    p.Resultado->Propiedad(QStringLiteral("idTPV"), gintTPV);
}

void AnadirLog(const PeticionEnCurso& p) {
    QString linea = texto(p.param, QStringLiteral("Texto"));
    linea.replace(QLatin1String("\\n"), QStringLiteral("\r\n"), Qt::CaseInsensitive);
    // A row that could not be stored says so (the original answered as if it had been stored).
    if (!GrabaLogBBDD(linea))
        p.Resultado->Propiedad(QStringLiteral("error"),
                               TraduceLiteral(QStringLiteral("No se ha podido grabar el log.")));
}

void GetPrinters(const PeticionEnCurso& p) {
    QStringList nombres;
    QString motivo;
    // A print server that does not answer is an error (the original listed nothing and said ok), never
    // the empty list of a system without printers.
    if (!printers::output().tryList(nombres, &motivo))
        throw ErrorPeticion(VBError(vb::err::PrinterError,
                                    QStringLiteral("No se ha podido leer la lista de impresoras: ") + motivo,
                                    QStringLiteral("clsSocketFront.GetPrinters")));
    auto lista = std::make_shared<vb::Collection>();
    for (const QString& nombre : nombres)
        lista->Add(nombre);
    p.Resultado->Propiedad(QStringLiteral("result"), vb::FromObject(lista));
}

void ImprimirTicketEspecial(const PeticionEnCurso& p) {
    const QString textoTicket = texto(p.param, QStringLiteral("texto"));
    const bool cabecera = p.json.ParseBool(valor(p.param, QStringLiteral("imprimirCabecera")));
    const bool logo = p.json.ParseBool(valor(p.param, QStringLiteral("imprimirLogo")));
    const bool pantalla = p.json.ParseBool(valor(p.param, QStringLiteral("imprimirPorPantalla")));
    // An absent printer is the usual printer, never one named "#ERROR#".
    const QString impresora = texto(p.param, QStringLiteral("impresora"));
    clsImprimirTicket ticket;
    resultadoImpresion(p, ticket.ImprimirTicketEspecial(textoTicket, {.blnImprimirCabeceraYPie = cabecera,
                                                                      .blnImprimirLogo = logo,
                                                                      .blnImprimirPorPantalla = pantalla,
                                                                      .strImpresora = impresora,
                                                                      .informe = informe(p)}));
}

void ImprimirTicketCocinaEspecial(const PeticionEnCurso& p) {
    const qint32 tpv = numero(p.param, QStringLiteral("idTPV"));
    const qint32 ticketNum = numero(p.param, QStringLiteral("idTicket"));
    const QString textoTicket = texto(p.param, QStringLiteral("texto"));
    const QString impresora = texto(p.param, QStringLiteral("impresora"));
    const QString descripcion = texto(p.param, QStringLiteral("descripcion_cabecera"));
    const bool cabecera = booleanoSi(p.param, QStringLiteral("imprimir_cabecera"));
    const bool pie = booleanoSi(p.param, QStringLiteral("imprimir_pie"));
    const QString textoPie = texto(p.param, QStringLiteral("texto_pie"));
    clsImprimirTicket ticket;
    resultadoImpresion(p, ticket.ImprimirTicketCocinaEspecial(tpv, ticketNum, textoTicket,
                                                              {.strImpresora = impresora,
                                                               .strDescripcionCabecera = descripcion,
                                                               .blnImprimirCabecera = cabecera,
                                                               .blnImprimirPie = pie,
                                                               .strTextoPie = textoPie,
                                                               .informe = informe(p)}));
}

void Ping(const PeticionEnCurso& p) {
    p.Resultado->Propiedad(QStringLiteral("respuesta"), QStringLiteral("S"));
}

void cerrar_programa(const PeticionEnCurso&) {
    mainWindow().FinalizarProgramaYDescargarFormularios(false);
}

void reiniciar_programa(const PeticionEnCurso&) {
    mainWindow().FinalizarProgramaYDescargarFormularios(true);
}

// "ok" is the weight's first field; the front's own "ok" after the action overwrites it in place.
void GetPeso(const PeticionEnCurso& p) {
    const ResultadoPeso pesada = objComm().getPeso(0, 0, {.blnSilent = true});
    p.Resultado->Propiedad(QStringLiteral("ok"), pesada.ok);
    p.Resultado->Propiedad(QStringLiteral("error"), pesada.error);
    p.Resultado->Propiedad(QStringLiteral("peso"), pesada.peso);
    p.Resultado->Propiedad(QStringLiteral("tipo_error"), pesada.tipoError);
}

// The actions a request can name, compared without regard to case.
const struct {
    const char* nombre;
    void (*ejecuta)(const PeticionEnCurso&);
} kAcciones[] = {
    {"GetIdTPV", GetIdTPV},
    {"AnadirLog", AnadirLog},
    {"GetPrinters", GetPrinters},
    {"ImprimirTicketEspecial", ImprimirTicketEspecial},
    {"ImprimirTicketCocinaEspecial", ImprimirTicketCocinaEspecial},
    {"Ping", Ping},
    {"shutdown", cerrar_programa},
    {"cerrar_programa", cerrar_programa},
    {"reiniciar_programa", reiniciar_programa},
    {"GetPeso", GetPeso},
};

} // namespace

bool clsSocketFront::EjecutaAccion(const vb::EntidadPtr& param, vb::EntidadPtr& Resultado,
                                   const QString& origen_request, clsJsonScript* js, SeguimientoImpresion* impresion) {
    bool reconocida = false;
    if (!Resultado)
        Resultado = std::make_shared<vb::entidadGenerica>();

    // The error path: the central error handler reports it and the reply says what failed; an
    // error of the request's own fields does not reopen the database connections.
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

    auto ejecuta = [&] {
        if (!param)
            return;
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

        const auto a = std::ranges::find_if(kAcciones, [&](const auto& k) { return esAccion(accion, k.nombre); });
        reconocida = a != std::end(kAcciones);
        if (reconocida) {
            a->ejecuta({param, Resultado, objJSON(), impresion});
        } else if (!js) {
            Resultado->Propiedad(QStringLiteral("errorVB6"),
                                 QStringLiteral("Acción '") + nombreAccion + QStringLiteral("' no implementada."));
            GrabaLog(volcado(nombreAccion, param), true);
        }
        Resultado->Propiedad(QStringLiteral("ok"), reconocida);
    };
    // The end of the program passes through CurrentError.
    try {
        ejecuta();
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
