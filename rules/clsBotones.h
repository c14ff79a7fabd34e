#pragma once
// clsBotones: the rule engine of the point of sale's trigger messages. Rules live in the table
// mensajes_trigger, each attached to an action (a button) and evaluated before or after it; a rule
// whose conditions hold runs its actions (discount, line lock, special footer or ticket, commission,
// rule SQL, nested rules), one whose conditions fail may show its message. Texts and SQL carry "$"
// variables replaced from the ticket context, the rule's own message variables and the caller.
//
// The start-up creates the one instance once the database is reachable (objBotones); the service
// itself never calls it: a host calls EvaluaMensajesTrigger. The class also offers calls of the
// program's objects by name (GetObjetoSingleton, ejecutaFuncion) and a few fixed button stubs.
//
// Rule SQL is split into its statements before any value goes in (SentenciasRegla): a value from
// the caller or the database is escaped for the literal it lands in, and where it is written
// unquoted it must be a number (or numbers separated by commas), else the statement is refused.
#include "platform/Ado.h"
#include "platform/Collections.h"
#include "platform/LateBound.h"
#include "rules/SentenciasRegla.h"
#include "rules/clsBoton.h"

#include <QString>
#include <memory>

class clsBotones final : public vb::LateBound {
public:
    // Nested launches of rules ("lanzar_mensaje_trigger") deeper than this, or more launches than
    // kMaxLanzamientos in one evaluation with all it launches, are refused and stop that evaluation.
    static constexpr int kMaxAnidamiento = 10;
    static constexpr int kMaxLanzamientos = 100;
    // Copies of a rule's special ticket beyond this are not printed.
    static constexpr int kMaxCopiasTicketEspecial = 20;
    // Arguments a call by name can pass.
    static constexpr int kMaxArgumentos = 8;

    // The ticket identifiers an evaluation works on; a zero till or ticket is taken from the main
    // window (and stays in the caller's identifiers).
    struct Identificadores {
        qint32 lngTPV = 0;
        qint32 lngTicket = 0;
        qint32 lngSubTicket = 0;
        qint32 lngArticulo = 0;
        qint32 lngFormato = 0;
        qint16 intVendedor = 0;
        qint32 lngEmpleado = 0;
    };
    // The caller's variables an evaluation reads and changes.
    struct Contexto {
        Identificadores ids;
        QString strParametro1{}, strParametro2{}; // the action's parameters; a launched rule sets them
        bool blnTicketModificado = false;         // set when an action changed ticket data
        QString strParametrosVuelta{};            // the text an action hands back
    };

    // Evaluates the rules of strAccion (or the one rule "MENSAJETRIGGER_<idMensaje>") marked to run
    // before (blnAntesAccion) or after the action, on the caller's Contexto. False when an action
    // said not to go on ("C", "no_imprimir_ticket").
    bool EvaluaMensajesTrigger(const QString& strAccion, bool blnAntesAccion, Contexto& contexto,
                               const vb::EntidadPtr& eParametrosVuelta = {},
                               const vb::EntidadPtr& eOtrosParametros = {});

    // The modes of a rule's query (lngModo), as the rule tables and callers by name pass them.
    enum ModoConsulta : qint32 {
        ConsultaSoloEjecuta = 0, // only executes
        ConsultaNumero = 1,      // the first field as a number (a double)
        ConsultaTexto = 2,       // the first field as trimmed text (so does any other mode)
    };
    // Runs the statements of strSQL (separated by ";" outside literals and comments) on the connection of
    // strBBDD ("L", "S", "SC", "C"). ConsultaSoloEjecuta only executes; ConsultaNumero gives the first
    // field of the last statement that returned a row as a number (a double); other modes as trimmed
    // text. Errors are shown to the operator and the value so far is returned.
    Variant EvaluaMensajesTriggerLanzarConsultaSQL(const QString& strSQL, const QString& strBBDD,
                                                   const QString& strParametro1, const QString& strParametro2,
                                                   qint32 lngModo, Identificadores& ids,
                                                   const QString& strParametro1Accion = {},
                                                   const QString& strParametro2Accion = {});
    // The ticket context variables ($idEmpresa ... $idEmpleado); a zero till or ticket is taken from
    // the main window. Every value is a number or a date, safe in SQL as it is.
    QString EvaluaMensajesTriggerSustituirVariablesFijas(const QString& strTexto, Identificadores& ids);
    // The special footer's loyalty variables ($puntos_..., $euros_...) with $parametro2.
    QString EvaluaMensajesTriggerSustituirVariablesPuntos(QString& strTexto, const QString& strParametro2,
                                                          qint32& lngTPV, qint32& lngTicket);

    // ---- Objects by name ----
    // The program object called strObjeto; raises error 1 "Objeto '...' no encontrado" when absent.
    vb::LateBound& GetObjetoSingleton(const QString& strObjeto);
    // Calls strFuncion of that object with the comma-separated arguments of strParametros ("true",
    // "verdadero", "false", "falso" in any case become Booleans); ret receives its result. False after
    // an error (reported through ControlErrores) or with more than kMaxArgumentos arguments.
    bool ejecutaFuncion(const QString& strObjeto, const QString& strFuncion, const QString& strParametros,
                        Variant& ret);

    // ---- Button stubs ----
    Variant EvaluaBoton(const QString& strBoton, bool blnComprobarAutorizacion);
    bool Pulsado(const QString& strBoton) const;
    void setPulsado(const QString& strBoton, bool blnPulsado);
    Variant RefrescaFormasPago();
    std::shared_ptr<clsBoton> getBoton();

    vb::CallableMembers callableMembers() override;

private:
    struct Evaluacion;
    enum class Siguiente { Accion, Fila, Fin };

    void Evalua(Evaluacion& ev, const QString& strAccion, bool blnAntesAccion);
    Siguiente EvaluaFila(Evaluacion& ev);
    Siguiente LanzaMensajeTrigger(Evaluacion& ev, const QString& strIdMensaje);
    Siguiente EjecutaAccion(Evaluacion& ev, const QString& strNombre, const QString& param1, const QString& param2,
                            const QString& param3);
    bool CondicionSeCumple(Evaluacion& ev, int k);
    bool HayLineaGratis(Evaluacion& ev);
    void CalculaVariables(Evaluacion& ev);
    bool VariablesRegla(Evaluacion& ev, SentenciasRegla::Variables& vars);
    SentenciasRegla::Variables VariablesFijas(const QString& strTexto, Identificadores& ids);
    QString EvaluaMensajesTriggerSustituirVariables(const QString& strTexto, Evaluacion& ev);
    Variant LanzaConsulta(const QString& strSQL, const QString& strBBDD, const SentenciasRegla::Variables& previas,
                          const QString& strParametro1, const QString& strParametro2, qint32 lngModo,
                          Identificadores& ids, const QString& strParametro1Accion, const QString& strParametro2Accion);

    int m_profundidad = 0;         // nested evaluations under way
    int m_lanzamientos = 0;        // launches of the chain under way
    bool m_cadenaDetenida = false; // a refused launch stopped the chain
};
