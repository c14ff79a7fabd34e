// The trigger-message rule engine: evaluation of the rules, their actions, the "$" variables and
// the SQL launcher, and the calls of the program's objects by name.
#include "rules/clsBotones.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "printing/TurnoImpresion.h"
#include "printing/clsImprimirTicket.h"
#include "rules/ObjetosGlobales.h"
#include "rules/SentenciasRegla.h"

#include <QTime>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

using basFuncionesComunes::ValNumero;
using basFuncionesComunes::VarToStr;
using SentenciasRegla::Origen;
using SentenciasRegla::Variables;

namespace {

constexpr int kSlots = 4; // message variables and condition results per evaluation

// A column of the current rule row through VarToStr: Null, empty or unreadable gives the default.
// A column the row does not have raises 3265.
Variant valor(const ado::Recordset& rs, const QString& columna, const Variant& defecto) {
    return VarToStr(rs.Fields(columna).Value, defecto);
}
QString texto(const ado::Recordset& rs, const QString& columna, const QString& defecto = {}) {
    return vb::CStr(valor(rs, columna, defecto));
}
qint32 numero(const ado::Recordset& rs, const QString& columna) {
    return vb::CLng(valor(rs, columna, 0));
}

// Condition k uses no suffix, "2", or "3" for every later one; action k none or k itself.
QString sufijoCondicion(int k) {
    return k == 1 ? QString() : k == 2 ? QStringLiteral("2") : QStringLiteral("3");
}
QString sufijoAccion(int k) {
    return k == 1 ? QString() : QString::number(k);
}

// The variables in a text that is not SQL (a message, a footer, a ticket): every occurrence, in
// order, as VB's Replace does (an empty name replaces nothing).
QString reemplaza(QString s, const Variables& variables) {
    for (const auto& v : variables)
        if (!v.nombre.isEmpty())
            s.replace(v.nombre, v.valor);
    return s;
}

void tomaTicketDeVentana(qint32& lngTPV, qint32& lngTicket) {
    if (lngTPV == 0 || lngTicket == 0) {
        lngTPV = frmPrincipalVars().lngTPV;
        lngTicket = frmPrincipalVars().lngTicket;
    }
}

qint32 clienteDelTicket(qint32 lngTPV, qint32 lngTicket) {
    ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(
        QStringLiteral("select idCliente from cabticket where idTPV=? and idTicket=?"), {lngTPV, lngTicket});
    const qint32 cliente = rs->isEOF() ? 0 : vb::CLng(VarToStr(rs->Fields(QStringLiteral("idCliente")).Value, 0));
    rs->Close();
    return cliente;
}

// A condition result as text: a whole number as such, any other with two decimals.
QString textoCondicion(double v) {
    const double r = vb::RoundHalfEven(v);
    if (r == v && std::abs(r) <= double(std::numeric_limits<qint32>::max()))
        return QString::number(qint64(r));
    return basFuncionesComunes::FormatNumero(v, QStringLiteral("#0.00"));
}

// An amount of the loyalty card: two decimals, "." as separator, no grouping.
QString textoImporte(double d) {
    return basFuncionesComunes::FormatNumero(d, QStringLiteral("0.00"));
}

// A window time as H:mm, H:mm:ss or HHmmss, or the time of a date-time ("2026-03-14 08:00:00",
// "14/03/2026 8:00"): formatted as "HHmmss" it is that time.
std::optional<QTime> leeHora(const QString& s) {
    const QString t = s.trimmed();
    for (const char* formato : {"H:mm:ss", "H:mm", "HHmmss"}) {
        const QTime h = QTime::fromString(t, QString::fromLatin1(formato));
        if (h.isValid())
            return h;
    }
    const qsizetype corte = std::max(t.lastIndexOf(u' '), t.lastIndexOf(u'T'));
    if (corte > 0) {
        const QString fecha = t.left(corte).trimmed();
        for (const char* formato : {"yyyy-MM-dd", "yyyy/MM/dd", "d/M/yyyy", "d-M-yyyy"})
            if (QDate::fromString(fecha, QString::fromLatin1(formato)).isValid())
                return leeHora(t.mid(corte + 1));
    }
    return std::nullopt;
}

// Both ends included; a window whose start is later than its end crosses midnight.
bool horaEntre(const QString& desde, const QString& hasta) {
    const auto a = leeHora(desde), b = leeHora(hasta);
    if (!a || !b) {
        GrabaLog(QStringLiteral("HORA_ENTRE: hora no válida ('") + desde + QStringLiteral("' - '") + hasta +
                 QStringLiteral("'), la condición no se cumple"));
        return false;
    }
    const QTime t = clock_seam::now().time();
    const QTime ahora(t.hour(), t.minute(), t.second());
    if (*a <= *b)
        return ahora >= *a && ahora <= *b;
    return ahora >= *a || ahora <= *b;
}

// The report of a rule step's run-time error: a warning to the operator with `antes`, the error's
// description and `despues`.
auto avisoOperador(const QString& antes, std::function<QString()> despues = {}) {
    return [antes, despues = std::move(despues)](const VBError& e) {
        MensajeUsuario(antes + e.description() + (despues ? despues() : QString()), prompts::vbExclamation, QString());
    };
}

// How the connection's session reads a statement now (its sql_mode and the server's version).
SentenciasRegla::Modo modoDeLaSesion(ado::Connection& cn) {
    ado::RecordsetPtr rs = cn.OpenRecordset(QStringLiteral("select @@session.sql_mode, @@version"));
    const SentenciasRegla::Modo modo =
        SentenciasRegla::Modo::deServidor(vb::CStr(rs->Fields(0).Value), vb::CStr(rs->Fields(1).Value));
    rs->Close();
    return modo;
}

// The rule query as the log shows it, its bound values in place: each marker of the query takes
// its value, whatever the values put in before it hold.
QString textoConsulta(const QString& sql, const QList<Variant>& valores) {
    QString r;
    qsizetype k = 0;
    for (const QChar c : sql) {
        if (c != u'?' || k >= valores.size()) {
            r += c;
            continue;
        }
        const Variant& v = valores[k++];
        r += v.typeId() == QMetaType::QString ? basFuncionesComunes::cStringSQL(v.toString()) : vb::CStr(v);
    }
    return r;
}

} // namespace

struct clsBotones::Evaluacion {
    explicit Evaluacion(Contexto& c)
        : contexto(c), blnTicketModificado(c.blnTicketModificado), strParametrosVuelta(c.strParametrosVuelta),
          ids(c.ids), strParametro1(c.strParametro1), strParametro2(c.strParametro2) {}
    Contexto& contexto;
    bool& blnTicketModificado;
    QString& strParametrosVuelta;
    Identificadores& ids;
    QString& strParametro1;
    QString& strParametro2;
    bool resultado = true;
    std::array<QPair<QString, QString>, kSlots> variables; // name with its "$", value
    std::array<double, kSlots> condiciones{};
    QString textoResultado; // "$resultado": no action sets it
    ado::Recordset* fila = nullptr;
};

bool clsBotones::EvaluaMensajesTrigger(const QString& strAccion, bool blnAntesAccion, Contexto& contexto,
                                       const vb::EntidadPtr& eParametrosVuelta,
                                       const vb::EntidadPtr& eOtrosParametros) {
    Q_UNUSED(eParametrosVuelta);
    Q_UNUSED(eOtrosParametros);
    if (m_profundidad == 0) { // a new chain: its launches start from nothing
        m_lanzamientos = 0;
        m_cadenaDetenida = false;
    }
    Evaluacion ev{contexto};
    GrabaLog(QStringLiteral("Entro en EvaluaMensajesTrigger: ") + basFuncionesComunes::TextoSegundos(3));
    vb::OnError([&] { Evalua(ev, strAccion, blnAntesAccion); }, avisoOperador(QString()));
    GrabaLog(QStringLiteral("Salgo de EvaluaMensajesTrigger: ") + basFuncionesComunes::TextoSegundos(3));
    return ev.resultado;
}

void clsBotones::Evalua(Evaluacion& ev, const QString& strAccion, bool blnAntesAccion) {
    const QString tiene = objParametros().lee(param::TieneMensajesTrigger);
    if (tiene.isEmpty() || !vb::CBool(Variant(tiene)))
        return;
    tomaTicketDeVentana(ev.ids.lngTPV, ev.ids.lngTicket);
    ev.blnTicketModificado = false;

    const QString antes = blnAntesAccion ? QStringLiteral("S") : QStringLiteral("N");
    QString sql;
    QList<Variant> valores;
    if (strAccion.left(14) == QLatin1String("MENSAJETRIGGER")) {
        const QStringList piezas = strAccion.split(QLatin1Char('_'));
        if (piezas.size() < 2)
            vb::Raise(vb::err::SubscriptOutOfRange);
        sql = QStringLiteral("select * from mensajes_trigger where idMensaje=? and mostrar_antes=?");
        valores = {vb::CLng(piezas.at(1)), antes};
    } else {
        sql = QStringLiteral(
            "select * from mensajes_trigger where boton=? and mostrar_antes=? order by orden, idMensaje");
        valores = {strAccion, antes};
    }
    GrabaLog(textoConsulta(sql, valores) + QStringLiteral(": ") + basFuncionesComunes::TextoSegundos(3));
    ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(sql, valores);
    GrabaLog(QStringLiteral("Ya he lanzado la consulta: ") + basFuncionesComunes::TextoSegundos(3));
    ev.fila = rs.get();
    while (!rs->isEOF()) {
        if (EvaluaFila(ev) == Siguiente::Fin)
            break;
        rs->MoveNext();
    }
    rs->Close();
}

clsBotones::Siguiente clsBotones::EvaluaFila(Evaluacion& ev) {
    const ado::Recordset& rs = *ev.fila;
    bool cumple = true;
    const qint32 vip = numero(rs, QStringLiteral("tipo_vip"));
    if (vip != 0 && vip != frmPrincipalVars().lngTipoVip)
        cumple = false;
    if (cumple) {
        // Conditions past the third read the third again, and the fifth finds no slot for an SQL
        // result: a count beyond that adds nothing but time.
        const qint32 n = std::min(numero(rs, QStringLiteral("num_condiciones")), kSlots + 1);
        for (qint32 k = 1; k <= n && cumple; ++k)
            cumple = CondicionSeCumple(ev, k);
    }
    if (cumple && texto(rs, QStringLiteral("accion_afirmativa")) == QLatin1String("vender_articulo_precio_0") &&
        HayLineaGratis(ev))
        cumple = false;
    if (cumple || texto(rs, QStringLiteral("mostrar_mensaje_no_lanzar_accion"), QStringLiteral("S")) == "S")
        CalculaVariables(ev);

    if (cumple) {
        if (texto(rs, QStringLiteral("mostrar_mensaje"), QStringLiteral("S")) == QLatin1String("S"))
            return Siguiente::Fila;
        const QString columna = QStringLiteral("accion_afirmativa");
        qint16 n = vb::CInt(valor(rs, QStringLiteral("num_acciones_accion_afirmativa"), 0));
        if (n == 0)
            n = 1;
        for (int k = 1; k <= n; ++k) {
            const QString sufijo = sufijoAccion(k);
            const QString nombre = vb::CStr(valor(rs, columna + sufijo, 0));
            if (vb::Trim(nombre).isEmpty())
                continue;
            const Siguiente s = EjecutaAccion(ev, nombre, texto(rs, QStringLiteral("param1_") + columna + sufijo),
                                              texto(rs, QStringLiteral("param2_") + columna + sufijo),
                                              texto(rs, QStringLiteral("param3_") + columna + sufijo));
            if (s != Siguiente::Accion)
                return s;
        }
        return Siguiente::Fila;
    }

    if (texto(rs, QStringLiteral("mostrar_mensaje_no_lanzar_accion"), QStringLiteral("N")) == QLatin1String("S")) {
        QString mensaje =
            EvaluaMensajesTriggerSustituirVariables(texto(rs, QStringLiteral("mensaje_no_lanzar_accion")), ev);
        mensaje.replace(QStringLiteral("<br>"), QStringLiteral("\r\n"));
        MensajeUsuario(mensaje, prompts::vbInformation, QString());
    }
    return Siguiente::Fila;
}

bool clsBotones::CondicionSeCumple(Evaluacion& ev, int k) {
    const ado::Recordset& rs = *ev.fila;
    const QString sufijo = sufijoCondicion(k);
    const QString tipo = texto(rs, QStringLiteral("tipo_condicion") + sufijo);
    if (tipo.isEmpty())
        return true;
    const QString p1 = texto(rs, QStringLiteral("param1_condicion") + sufijo);
    const QString p2 = texto(rs, QStringLiteral("param2_condicion") + sufijo);
    if (tipo == QLatin1String("HORA_ENTRE"))
        return horaEntre(p1, p2);
    if (tipo == QLatin1String("FORMATO_IGUAL"))
        return ev.ids.lngFormato == vb::CLng(p1);
    if (tipo == QLatin1String("FORMATO_DISTINTO"))
        return ev.ids.lngFormato != vb::CLng(p1);
    if (k > kSlots)
        vb::Raise(vb::err::SubscriptOutOfRange);
    const double v = vb::CDbl(EvaluaMensajesTriggerLanzarConsultaSQL(
        texto(rs, QStringLiteral("sql_condicion") + sufijo), texto(rs, QStringLiteral("bbdd_sql_condicion") + sufijo),
        p1, p2, ConsultaNumero, ev.ids, ev.strParametro1, ev.strParametro2));
    ev.condiciones[k - 1] = v;
    return v > 0;
}

// The article of "vender_articulo_precio_0" is already on the ticket at price 0 and unpaid.
bool clsBotones::HayLineaGratis(Evaluacion& ev) {
    ado::RecordsetPtr rs = ConexionLocal().OpenRecordset(
        QStringLiteral("select sum(cantidad) as cantidad from linticket where idTPV=? and idTicket=? and borrado=0 "
                       "and IFNULL(pagado,0)=0 and idArticulo=? and precio=0"),
        {ev.ids.lngTPV, ev.ids.lngTicket, ValNumero(texto(*ev.fila, QStringLiteral("param1_accion_afirmativa")))});
    const bool hay = !rs->isEOF() && vb::CDbl(VarToStr(rs->Fields(QStringLiteral("cantidad")).Value, 0)) != 0;
    rs->Close();
    return hay;
}

void clsBotones::CalculaVariables(Evaluacion& ev) {
    const ado::Recordset& rs = *ev.fila;
    const qint32 n = numero(rs, QStringLiteral("num_variables_mensaje"));
    for (qint32 j = 1; j <= n; ++j) {
        if (j > kSlots)
            vb::Raise(vb::err::SubscriptOutOfRange);
        const QString num = QString::number(j);
        ev.variables[j - 1].first = QLatin1Char('$') + texto(rs, QStringLiteral("variable_") + num);
        ev.variables[j - 1].second = vb::CStr(EvaluaMensajesTriggerLanzarConsultaSQL(
            texto(rs, QStringLiteral("sql_variable_") + num), texto(rs, QStringLiteral("bbdd_sql_variable_") + num),
            QString(), QString(), ConsultaTexto, ev.ids));
    }
}

clsBotones::Siguiente clsBotones::EjecutaAccion(Evaluacion& ev, const QString& strNombre, const QString& param1,
                                                const QString& param2, const QString& param3) {
    bool sqlPendiente = false;
    const QString& a = strNombre;
    if (a == QLatin1String("C")) {
        ev.resultado = false;
    } else if (a == QLatin1String("hacer_descuento")) {
        const double d = ValNumero(param1);
        if (d > 0 && d <= 100)
            ConexionLocal().Execute(QStringLiteral("update cabticket set Dto=? where idTicket=? and idTPV=?"), nullptr,
                                    {d, ev.ids.lngTicket, ev.ids.lngTPV});
        ev.blnTicketModificado = true;
    } else if (a == QLatin1String("bloquear_lineas_ticket")) {
        ConexionLocal().Execute(QStringLiteral("update linticket set PermitirBorrar=1 where idTPV=? and idTicket=?"),
                                nullptr, {ev.ids.lngTPV, ev.ids.lngTicket});
        ev.blnTicketModificado = true;
    } else if (a == QLatin1String("imprimir_pie_especial")) {
        QString pie = param1;
        ev.strParametrosVuelta =
            EvaluaMensajesTriggerSustituirVariablesPuntos(pie, param2, ev.ids.lngTPV, ev.ids.lngTicket);
        ev.strParametrosVuelta = EvaluaMensajesTriggerSustituirVariables(ev.strParametrosVuelta, ev);
    } else if (a == QLatin1String("consulta_sql")) {
        sqlPendiente = true;
    } else if (a == QLatin1String("no_imprimir_ticket")) {
        ev.resultado = false;
        return Siguiente::Fin;
    } else if (a == QLatin1String("establecer_comision_importe")) {
        ev.strParametrosVuelta = QStringLiteral("COMISION_I_") + param1;
    } else if (a == QLatin1String("establecer_comision_importe_variable")) {
        if (param1 == QLatin1String("$resultado")) {
            ev.strParametrosVuelta = QStringLiteral("COMISION_I_") + ev.textoResultado;
        } else {
            for (const auto& [nombre, v] : ev.variables)
                if (param1 == nombre)
                    ev.strParametrosVuelta = QStringLiteral("COMISION_I_") + v;
        }
    } else if (a == QLatin1String("establecer_comision_ptje")) {
        ev.strParametrosVuelta = QStringLiteral("COMISION_%_") + param1;
    } else if (a == QLatin1String("lanzar_mensaje_trigger")) {
        ev.strParametro1 = EvaluaMensajesTriggerSustituirVariables(param2, ev);
        ev.strParametro2 = EvaluaMensajesTriggerSustituirVariables(param3, ev);
        const Siguiente s = LanzaMensajeTrigger(ev, param1);
        if (s != Siguiente::Accion)
            return s;
    } else if (a == QLatin1String("imprimir_ticket_especial")) {
        const QString textoTicket = EvaluaMensajesTriggerSustituirVariables(param1, ev);
        qint16 copias = vb::CInt(param3);
        if (copias > kMaxCopiasTicketEspecial) {
            GrabaLog(QStringLiteral("imprimir_ticket_especial: se piden ") + QString::number(copias) +
                     QStringLiteral(" copias, se imprimen ") + QString::number(kMaxCopiasTicketEspecial));
            copias = kMaxCopiasTicketEspecial;
        }
        const bool cabeceraYPie = param2 == QLatin1String("S");
        if (copias > 0) {
            // Its own turn, as a socket print takes it: the pieces of two tickets never interleave.
            basPrinter::EnTurnoDeImpresion([textoTicket, cabeceraYPie, copias] {
                // A failure is reported and the rule goes on: the turn may come after this evaluation.
                AtrapaErrores(QStringLiteral("clsBotones.imprimir_ticket_especial"), [&] {
                    clsImprimirTicket ticket;
                    for (int i = 0; i < copias; ++i)
                        ticket.ImprimirTicketEspecial(
                            textoTicket, {.blnImprimirCabeceraYPie = cabeceraYPie, .blnImprimirLogo = cabeceraYPie});
                });
            });
        }
    }
    // Every other name ("S", "vender_articulo", "mostrar_mensaje", ...) does nothing here.

    if (sqlPendiente) {
        if (!param1.isEmpty()) {
            // The rule's variables go into each statement after the split, with the launcher's own.
            Variables previas;
            VariablesRegla(ev, previas);
            LanzaConsulta(param1, param2, previas, QString(), QString(), ConsultaNumero, ev.ids, QString(), QString());
        }
        ev.blnTicketModificado = true;
    }
    return Siguiente::Accion;
}

// "lanzar_mensaje_trigger": the launched rule's "before" rules, then its "after" rules, on this
// evaluation's identifiers and parameters. A launch that returns False ends this rule's actions. A
// launch past the depth limit or past the chain's budget stops the whole chain, with one message.
clsBotones::Siguiente clsBotones::LanzaMensajeTrigger(Evaluacion& ev, const QString& strIdMensaje) {
    const bool hondo = m_profundidad >= kMaxAnidamiento;
    if (hondo || m_lanzamientos >= kMaxLanzamientos) {
        const QString aviso = QStringLiteral("lanzar_mensaje_trigger: no se lanza el mensaje ") + strIdMensaje +
                              (hondo ? QStringLiteral(", se ha llegado a %1 mensajes anidados").arg(kMaxAnidamiento)
                                     : QStringLiteral(", se han lanzado ya %1 mensajes").arg(kMaxLanzamientos)) +
                              QStringLiteral("; se detiene la evaluación");
        GrabaLog(aviso, true);
        MensajeUsuario(aviso, prompts::vbExclamation, QString());
        m_cadenaDetenida = true;
        return Siguiente::Fin;
    }
    ++m_lanzamientos;
    struct Nivel {
        int& p;
        explicit Nivel(int& n) : p(n) { ++p; }
        ~Nivel() { --p; }
    } nivel(m_profundidad);
    const QString accion = QStringLiteral("MENSAJETRIGGER_") + strIdMensaje;
    for (const bool antes : {true, false}) {
        // The launched evaluation starts its own "ticket changed" flag; what it changed adds to ours.
        const bool modificado = ev.blnTicketModificado;
        const bool r = EvaluaMensajesTrigger(accion, antes, ev.contexto);
        ev.blnTicketModificado = modificado || ev.blnTicketModificado;
        if (m_cadenaDetenida)
            return Siguiente::Fin;
        if (!r)
            return Siguiente::Fila;
    }
    return Siguiente::Accion;
}

// ---- Variables ----

// The rule's own variables in the order they are replaced: the message variables (the first of
// equal names wins), the condition results, "$resultado" and the caller's parameters (the longer
// names first, so "$parametro1" does not eat into "$parametro1_accion"). False after an error,
// shown as the substitution's; `vars` then holds those taken so far.
bool clsBotones::VariablesRegla(Evaluacion& ev, Variables& vars) {
    bool ok = false;
    vb::OnError(
        [&] {
            const qint32 nv = numero(*ev.fila, QStringLiteral("num_variables_mensaje"));
            for (qint32 j = 0; j < nv; ++j) {
                if (j >= kSlots)
                    vb::Raise(vb::err::SubscriptOutOfRange);
                vars.append({ev.variables[j].first, ev.variables[j].second, Origen::Valor});
            }
            const qint32 nc = numero(*ev.fila, QStringLiteral("num_condiciones"));
            for (qint32 i = 0; i < nc; ++i) {
                if (i >= kSlots)
                    vb::Raise(vb::err::SubscriptOutOfRange);
                vars.append({QStringLiteral("$condicion") + QString::number(i + 1), textoCondicion(ev.condiciones[i]),
                             Origen::Regla});
            }
            vars.append({QStringLiteral("$resultado"), ev.textoResultado, Origen::Valor});
            vars.append({QStringLiteral("$parametro1_accion"), ev.strParametro1, Origen::Valor});
            vars.append({QStringLiteral("$parametro2_accion"), ev.strParametro2, Origen::Valor});
            vars.append({QStringLiteral("$parametro1"), ev.strParametro1, Origen::Valor});
            vars.append({QStringLiteral("$parametro2"), ev.strParametro2, Origen::Valor});
            ok = true;
        },
        avisoOperador(QStringLiteral("EvaluaMensajesTriggerSustituirVariables Error: ")));
    return ok;
}

QString clsBotones::EvaluaMensajesTriggerSustituirVariables(const QString& strTexto, Evaluacion& ev) {
    Variables vars;
    const bool ok = VariablesRegla(ev, vars);
    const QString s = reemplaza(strTexto, vars);
    return ok ? EvaluaMensajesTriggerSustituirVariablesFijas(s, ev.ids) : s;
}

// The ticket context variables of a text, in their order; none after an error, which is shown as
// the fixed substitution's. A zero till or ticket is taken from the main window.
Variables clsBotones::VariablesFijas(const QString& strTexto, Identificadores& ids) {
    Variables vars;
    vb::OnError(
        [&] {
            tomaTicketDeVentana(ids.lngTPV, ids.lngTicket);
            const qint32 cliente =
                strTexto.contains(QLatin1String("idCliente")) ? clienteDelTicket(ids.lngTPV, ids.lngTicket) : 0;
            const QDateTime ahora = clock_seam::now();
            const auto& ventana = frmPrincipalVars();
            const std::pair<const char*, QString> tabla[] = {
                {"$idEmpresa", QString::number(glngEmpresa)},
                {"$idRestaurante", QString::number(glngRestaurante)},
                {"$idTPV", QString::number(ids.lngTPV)},
                {"$idTicket", QString::number(ids.lngTicket)},
                {"$idLinea", QString::number(ventana.lngLinTicket)},
                {"$idSubTicket", QString::number(ids.lngSubTicket)},
                {"$idArticulo", QString::number(ids.lngArticulo)},
                {"$idFormato", QString::number(ids.lngFormato)},
                {"$idVendedor", QString::number(ids.intVendedor)},
                {"$fecha_actual", gdtmFechaConexion.toString(QStringLiteral("yyyyMMdd"))},
                {"$idCliente", QString::number(cliente)},
                {"$hora_actual", ahora.toString(QStringLiteral("HH:mm:ss"))},
                {"$fecha_formateada", ahora.toString(QStringLiteral("dd/MM/yyyy"))},
                {"$idCamarero", QString::number(ventana.intCamarero)},
                {"$idEmpleado", QString::number(ids.lngEmpleado)},
            };
            for (const auto& [nombre, v] : tabla)
                vars.append({QLatin1String(nombre), v, Origen::Regla});
        },
        avisoOperador(QStringLiteral("EvaluaMensajesTriggerSustituirVariablesFijas Error: ")));
    return vars;
}

QString clsBotones::EvaluaMensajesTriggerSustituirVariablesFijas(const QString& strTexto, Identificadores& ids) {
    return reemplaza(strTexto, VariablesFijas(strTexto, ids));
}

QString clsBotones::EvaluaMensajesTriggerSustituirVariablesPuntos(QString& strTexto, const QString& strParametro2,
                                                                  qint32& lngTPV, qint32& lngTicket) {
    const auto siete = [](const Variant& v) { return basFuncionesComunes::AlineaTexto(vb::CStr(v), 7, false, true); };
    vb::OnError(
        [&] {
            tomaTicketDeVentana(lngTPV, lngTicket);
            strTexto.replace(QStringLiteral("$idEmpresa"), QString::number(glngEmpresa));
            strTexto.replace(QStringLiteral("$idRestaurante"), QString::number(glngRestaurante));
            strTexto.replace(QStringLiteral("$idTPV"), QString::number(lngTPV));
            strTexto.replace(QStringLiteral("$idTicket"), QString::number(lngTicket));
            strTexto.replace(QStringLiteral("$fecha_actual"), gdtmFechaConexion.toString(QStringLiteral("dd/MM/yyyy")));
            strTexto.replace(QStringLiteral("$hora_actual"), clock_seam::now().toString(QStringLiteral("HH:mm:ss")));
            strTexto.replace(QStringLiteral("$idCamarero"), QString::number(frmPrincipalVars().intCamarero));
            strTexto.replace(QStringLiteral("$parametro2"), strParametro2);
            if (!strTexto.contains(QLatin1String("$euros")) && !strTexto.contains(QLatin1String("$puntos")))
                return;

            ado::Connection* fidelidad = nullptr;
            if (objParametros().lee(param::CentralizarClientes) == 0)
                fidelidad = &ConexionServidor();
            else if (basLegacyFunctions::FuncionLegacyCero() != 0)
                fidelidad = &ConexionRemota();

            if (strTexto.contains(QLatin1String("$puntos_ganados_ticket"))) {
                Variant puntos;
                if (basLegacyFunctions::FuncionLegacyCero3(lngTicket, lngTPV, &puntos) != 0)
                    strTexto.replace(QStringLiteral("$puntos_ganados_ticket"), siete(puntos));
                else
                    strTexto.clear();
            }
            if (strTexto.contains(QLatin1String("$puntos_gastados")) ||
                strTexto.contains(QLatin1String("$puntos_disponibles")) ||
                strTexto.contains(QLatin1String("$puntos_ganados_total"))) {
                const qint32 cliente = clienteDelTicket(lngTPV, lngTicket);
                if (!fidelidad)
                    vb::Raise(vb::err::ObjectNotSet);
                ado::RecordsetPtr rs = fidelidad->OpenRecordset(
                    QStringLiteral("select vip.punt_disp, vip.punt_gast, vip.punt_gana From maecli "
                                   "inner join vip on maecli.empresa=vip.empresa and maecli.vip=vip.codigo "
                                   "Where maecli.Codigo = ?"),
                    {cliente});
                if (!rs->isEOF()) {
                    strTexto.replace(QStringLiteral("$puntos_disponibles"),
                                     siete(VarToStr(rs->Fields(QStringLiteral("punt_disp")).Value, 0)));
                    strTexto.replace(QStringLiteral("$puntos_gastados"),
                                     siete(VarToStr(rs->Fields(QStringLiteral("punt_gast")).Value, 0)));
                    strTexto.replace(QStringLiteral("$puntos_ganados_total"),
                                     siete(VarToStr(rs->Fields(QStringLiteral("punt_gana")).Value, 0)));
                }
                rs->Close();
            }
            if (strTexto.contains(QLatin1String("$euros_ganados_ticket"))) {
                if (!objFunc)
                    vb::Raise(vb::err::ObjectNotSet);
                const double d = vb::CDbl(
                    vb::CallByName(*objFunc, QStringLiteral("ConsultaMovimientoTarjetaTicket"), {lngTPV, lngTicket}));
                if (d != 0)
                    strTexto.replace(QStringLiteral("$euros_ganados_ticket"), textoImporte(d));
                else
                    strTexto.clear();
            }
            if (strTexto.contains(QLatin1String("$euros_ganados_total"))) {
                const qint32 cliente = vb::CLng(basFuncionesComunes::ConsultaRapida(
                    QStringLiteral("select idCliente from cabticket where idTPV=? and idTicket=?"), QString(),
                    &ConexionLocal(), 0, {lngTPV, lngTicket}));
                if (cliente != 0) {
                    if (!objFunc)
                        vb::Raise(vb::err::ObjectNotSet);
                    const double d =
                        vb::CDbl(vb::CallByName(*objFunc, QStringLiteral("SaldoTarjetaCliente"), {cliente}));
                    if (d != 0)
                        strTexto.replace(QStringLiteral("$euros_ganados_total"), textoImporte(d));
                    else
                        strTexto.clear();
                }
            }
        },
        avisoOperador(QString()));
    return strTexto;
}

// ---- SQL launcher ----

Variant clsBotones::EvaluaMensajesTriggerLanzarConsultaSQL(const QString& strSQL, const QString& strBBDD,
                                                           const QString& strParametro1, const QString& strParametro2,
                                                           qint32 lngModo, Identificadores& ids,
                                                           const QString& strParametro1Accion,
                                                           const QString& strParametro2Accion) {
    return LanzaConsulta(strSQL, strBBDD, {}, strParametro1, strParametro2, lngModo, ids, strParametro1Accion,
                         strParametro2Accion);
}

// The text is split into the author's statements first; only then does each statement take its
// variables: `previas` (a rule action's own), the context, the parameters and "$enviado_central". A
// value from outside that would land unquoted and is not a number refuses the statement: it is
// logged, shown as the launcher's error, and neither it nor the rest of the text runs.
Variant clsBotones::LanzaConsulta(const QString& strSQL, const QString& strBBDD, const Variables& previas,
                                  const QString& strParametro1, const QString& strParametro2, qint32 lngModo,
                                  Identificadores& ids, const QString& strParametro1Accion,
                                  const QString& strParametro2Accion) {
    double numeroDevuelto = 0;
    QString textoDevuelto;
    QString sentencia;
    vb::OnError(
        [&] {
            tomaTicketDeVentana(ids.lngTPV, ids.lngTicket);
            ado::Connection* cn = nullptr;
            bool central = false;
            for (qsizetype desde = 0; desde < strSQL.size();) {
                // Whether a statement is left, and what to show if none can run, as the usual mode cuts it.
                SentenciasRegla::siguiente(strSQL, desde, {}, &sentencia);
                if (sentencia.isNull())
                    break;
                const bool centralizado = strBBDD == QLatin1String("SC") || strBBDD == QLatin1String("C");
                if (strBBDD == QLatin1String("L")) {
                    cn = &ConexionLocal();
                } else if (strBBDD == QLatin1String("S") ||
                           (centralizado && basLegacyFunctions::FuncionLegacyCero() == 0)) {
                    if (!ComCentral(true, true))
                        break;
                    cn = &ConexionServidor();
                    if (centralizado)
                        central = false;
                } else if (centralizado) {
                    cn = &ConexionRemota();
                    central = true;
                }
                if (!cn)
                    vb::Raise(vb::err::ObjectNotSet);
                // Each statement is cut and takes its values as the server reads it now: a statement
                // before it may have changed the session's mode.
                const SentenciasRegla::Modo modo = modoDeLaSesion(*cn);
                QString trozo;
                desde = SentenciasRegla::siguiente(strSQL, desde, modo, &trozo);
                if (trozo.isNull())
                    break;
                sentencia = trozo;
                const auto sustituye = [&](const Variables& vars) {
                    QString rechazada;
                    SentenciasRegla::Rechazo motivo{};
                    if (SentenciasRegla::sustituye(sentencia, vars, &rechazada, modo, &motivo))
                        return;
                    GrabaLog(QStringLiteral("Consulta de regla rechazada, ") + rechazada + u' ' +
                                 SentenciasRegla::textoRechazo(motivo) + QStringLiteral(": ") + trozo,
                             true);
                    vb::Raise(vb::err::TypeMismatch, QStringLiteral("El valor de ") + rechazada +
                                                         (motivo == SentenciasRegla::Rechazo::SinComillas
                                                              ? QStringLiteral(" no es un número y va sin comillas")
                                                              : u' ' + SentenciasRegla::textoRechazo(motivo)));
                };
                sustituye(previas);
                sustituye(VariablesFijas(sentencia, ids));
                // The caller's values are values; the rule's own condition parameters are the
                // author's SQL text and go in as written.
                sustituye({{QStringLiteral("$parametro1_accion"), strParametro1Accion, Origen::Valor},
                           {QStringLiteral("$parametro2_accion"), strParametro2Accion, Origen::Valor},
                           {QStringLiteral("$parametro1"), strParametro1, Origen::Regla},
                           {QStringLiteral("$parametro2"), strParametro2, Origen::Regla}});
                sustituye({{QStringLiteral("$enviado_central"), central ? QStringLiteral("1") : QStringLiteral("0"),
                            Origen::Regla}});

                if (lngModo == ConsultaSoloEjecuta) {
                    cn->Execute(sentencia);
                } else {
                    ado::RecordsetPtr rs = cn->OpenRecordset(sentencia);
                    if (rs->FieldCount() > 0 && !rs->isEOF()) {
                        const Variant v = rs->Fields(0).Value;
                        if (lngModo == ConsultaNumero) {
                            const Variant t = VarToStr(v, QString());
                            numeroDevuelto = vb::IsNumeric(t) ? vb::CDbl(t) : vb::CStr(t).isEmpty() ? 0 : 1;
                        } else {
                            textoDevuelto = vb::Trim(vb::CStr(VarToStr(v, QString())));
                        }
                    }
                    rs->Close();
                }
                // "SC" also runs on the server; when the server was its only road it has run there already.
                if (strBBDD == QLatin1String("SC") && cn != &ConexionServidor())
                    ConexionServidor().Execute(sentencia);
            }
        },
        avisoOperador(QStringLiteral("EvaluaMensajesTriggerLanzarConsultaSQL: "), [&] {
            return QStringLiteral("\r\n\r\n") + TraduceLiteral(QStringLiteral("Error en la consulta SQL:")) +
                   QStringLiteral("\r\n") + sentencia;
        }));
    return lngModo == ConsultaNumero ? Variant(numeroDevuelto) : Variant(textoDevuelto);
}

// ---- Objects by name ----

vb::LateBound& clsBotones::GetObjetoSingleton(const QString& strObjeto) {
    const QString& n = strObjeto;
    vb::LateBound* o = nullptr;
    if (n == QLatin1String("objBotones") || n == QLatin1String("clsBotones"))
        o = this;
    else if (n == QLatin1String("objFunc") || n == QLatin1String("clsFuncPrincipal"))
        o = objFunc.get();
    else if (n == QLatin1String("QM") || n == QLatin1String("clsQM"))
        o = QM.get();
    else if (n == QLatin1String("DR") || n == QLatin1String("clsDR"))
        o = DR.get();
    else if (n == QLatin1String("SocketFront") || n == QLatin1String("frmPrincipal"))
        o = reglas::objetoRegistrado(n);
    else if (n.left(3) == QLatin1String("frm")) {
        for (const auto& [nombre, ventana] : reglas::ventanasCargadas()) {
            if (nombre == n) {
                o = ventana;
                break;
            }
        }
    }
    if (!o)
        vb::Raise(vb::err::ObjectNotFound, QStringLiteral("Objeto '") + strObjeto + QStringLiteral("' no encontrado"),
                  QStringLiteral("clsBotones.GetObjetoSingleton"));
    return *o;
}

bool clsBotones::ejecutaFuncion(const QString& strObjeto, const QString& strFuncion, const QString& strParametros,
                                Variant& ret) {
    const QString procedimiento =
        QStringLiteral("clsBotones.EjecutaFuncion ") + strObjeto + QLatin1Char('.') + strFuncion;
    bool ok = false;
    AtrapaErrores(procedimiento, [&] {
        vb::LateBound& objeto = GetObjetoSingleton(strObjeto);
        vb::Arguments args;
        if (!strParametros.isEmpty()) {
            for (const QString& pieza : strParametros.split(QLatin1Char(','))) {
                const QString p = pieza.toLower();
                if (p == QLatin1String("true") || p == QLatin1String("verdadero"))
                    args << Variant(true);
                else if (p == QLatin1String("false") || p == QLatin1String("falso"))
                    args << Variant(false);
                else
                    args << Variant(pieza);
            }
        }
        if (args.size() > kMaxArgumentos) {
            GrabaLog(procedimiento + QStringLiteral(": ") + QString::number(args.size()) +
                         QStringLiteral(" argumentos, no se admiten más de ") + QString::number(kMaxArgumentos),
                     true);
            return;
        }
        ret = vb::CallByName(objeto, strFuncion, args);
        ok = true;
    });
    return ok;
}

// ---- Button stubs ----

Variant clsBotones::EvaluaBoton(const QString&, bool) {
    return {};
}

bool clsBotones::Pulsado(const QString&) const {
    return false;
}

void clsBotones::setPulsado(const QString&, bool) {}

Variant clsBotones::RefrescaFormasPago() {
    return {};
}

std::shared_ptr<clsBoton> clsBotones::getBoton() {
    return std::make_shared<clsBoton>();
}

vb::CallableMembers clsBotones::callableMembers() {
    return {
        {QStringLiteral("EvaluaBoton"), 2, 2,
         [this](const vb::Arguments& a) { return EvaluaBoton(vb::CStr(a[0]), vb::CBool(a[1])); }},
        {QStringLiteral("Pulsado"), 1, 1, [this](const vb::Arguments& a) { return Variant(Pulsado(vb::CStr(a[0]))); }},
        {QStringLiteral("RefrescaFormasPago"), 0, 0, [this](const vb::Arguments&) { return RefrescaFormasPago(); }},
        {QStringLiteral("getBoton"), 0, 0, [this](const vb::Arguments&) { return vb::FromObject(getBoton()); }},
    };
}
