#pragma once
// The request front: opens the communication window on the program's port and answers every
// request that arrives there. A request is a JSON object whose "accion" names one of a fixed set of
// actions (till number, log line, printer list, the two print actions, ping, stop, restart, weight);
// the reply is a JSON object whose last field is "ok" (the weight reply keeps it first).
//
// Start-up use:
//     SocketFront = std::make_unique<clsSocketFront>();
//     SocketFront->Inicia();
//     if (!SocketFront->SocketIniciado) ... // the main window's retry timer calls Inicia again
// The listening port is 8089 unless overridden by setPuertoForzado or the environment variable
// TARVOLIN_PORT (either may be 0: any free port, read back with puertoEscucha()).
#include "platform/Collections.h"
#include "platform/LateBound.h"
#include "platform/Printers.h"

#include <QObject>
#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

struct SeguimientoImpresion;

class clsJSON;
class clsJsonScript;
class frmComSocket;

// Late-bound: the timed callback contexts call it by name. Only the members listed by
// callableMembers (the queue drain and the port readers) can be reached so.
class clsSocketFront final : public QObject, public vb::LateBound {
    Q_OBJECT
public:
    clsSocketFront();
    ~clsSocketFront() override;
    clsSocketFront(const clsSocketFront&) = delete;
    clsSocketFront& operator=(const clsSocketFront&) = delete;

    // Whether the last Inicia got the window listening.
    bool SocketIniciado = false;
    // Kept for the point of sale's configuration; nothing here reads it.
    QString urlQuellmardenService;

    // Replaces the communication window with a new one, listens on getPuertoSocketFront() and opens
    // that port and 8088 in the firewall lists.
    void Inicia();
    // 8089, or 8088 + TPV when PermitirVariosTPVSSimultaneamente is set (the start-up clears it);
    // the forced port when there is one (a forced 0 gives the port actually listened on).
    qint32 getPuertoSocketFront();

    // The handler of the window's Request signal: reads the JSON, runs the action, writes the reply.
    void socket_Request(const QString& RequestData, QString& responseData);
    // Runs the action the request names and fills the reply (created when null). With `js` a failure
    // goes to the script's error callback instead of into the reply. With `impresion` a print tells its
    // failures as asked there and hands back what it did. True when the action was known.
    bool EjecutaAccion(const vb::EntidadPtr& param, vb::EntidadPtr& Resultado, const QString& origen_request,
                       clsJsonScript* js = nullptr, SeguimientoImpresion* impresion = nullptr);

    // The classifier, which reads every request once: true for the requests that take the printer
    // (they run one at a time across every connection).
    bool esPeticionDeImpresion(const QString& RequestData);
    // The JSON readings of requests made so far (a text without "{" is not read).
    qint64 lecturasJSON() const { return m_lecturasJSON; }
    static bool esAccionDeImpresion(const QString& accion);

    // ---- Deferred requests and outgoing requests (ColaPeticiones.cpp) ----
    // The queue of deferred requests (created on first use); item 1 is the head. A request may
    // carry "no_ejecutar_si_ticket_abierto" (held while the main window has a ticket open) and
    // "on_fail_poner_al_final_cola" (a failure moves it to the end instead of blocking the queue).
    vb::ColeccionPtr peticiones_aincronas();
    // Runs the queued requests in order, at most one pass over the queue; True when a round ended
    // with requests still queued. A drain started inside another returns False at once.
    bool EjecutarRequestPendientesCola(const QString& origen_request);
    // Sends one request (accion = strAccion plus the fields of eParametros, created when null) to
    // strIp:intPuertoSocket (0: this program's own port, written back) and gives the reply entity,
    // never null: "respuesta_recibida", "respuesta" (the reply as received), "error", "ok".
    vb::EntidadPtr enviaPeticion(const QString& strAccion, vb::EntidadPtr* eParametros = nullptr,
                                 const QString& strIp = QStringLiteral("127.0.0.1"), qint32* intPuertoSocket = nullptr);
    // 8088, or 9088 + the instance when InstanciasQuellmardenComandero is above 1 and the instance above 0.
    qint16 getPuertoSocketComandero(qint16 intInstancia);

    vb::CallableMembers callableMembers() override;

    // Port override (tests, several services on one machine); std::nullopt goes back to the rule above.
    void setPuertoForzado(std::optional<qint32> puerto) { m_puertoForzado = puerto; }
    quint16 puertoEscucha() const; // the port the current window listens on, 0 when none
    frmComSocket* socket() const { return m_socket.get(); }

private:
    struct BorradoDiferido {
        void operator()(frmComSocket* s) const;
    };
    clsJSON& objJSON();
    // A request's reading: the object it holds (null when it holds none) and the parser's complaints.
    struct Leida {
        QString texto;
        std::shared_ptr<vb::Dictionary> dic;
        QString quejas;
    };
    Leida leeJSON(const QString& RequestData);
    // The request as the action reads it: the classifier's reading of the same text (the same
    // QString data) when there is one, else a reading of its own.
    vb::EntidadPtr leePeticion(const QString& RequestData);
    // The log dump of an unknown action: its name, then the first fields of the request (names and
    // values cut), then how many more there were.
    QString volcado(const QString& accion, const vb::EntidadPtr& param);

    std::unique_ptr<frmComSocket, BorradoDiferido> m_socket;
    std::unique_ptr<clsJSON> m_objJSON;
    // What the classifier read of the requests about to run or waiting for the print turn, so that
    // each request is read once: taken by leePeticion.
    std::deque<Leida> m_leidas;
    qint64 m_lecturasJSON = 0;
    std::optional<qint32> m_puertoForzado;

    bool ejecuta_siguiente_request_en_cola(const QString& origen_request);
    vb::ColeccionPtr m_peticiones_aincronas;
    bool blnEjecutandoCola = false;
    // Queued prints whose failure was reported on paper already: their retries only log it.
    std::vector<std::weak_ptr<vb::entidadGenerica>> m_impresionesInformadas;
    // Queued prints with pieces whose fate the print server did not tell: each piece by its place
    // in the request's text, with the jobs to ask about.
    struct PiezasInciertas {
        std::weak_ptr<vb::entidadGenerica> peticion;
        std::vector<std::pair<qsizetype, QList<printers::PendingJob>>> piezas;
    };
    std::vector<PiezasInciertas> m_piezasInciertas;
    // Settles a queued print's pieces of unknown fate: the printed ones leave its text. No value when
    // it has none; false while the print server still does not answer.
    std::optional<bool> asientaPiezasInciertas(const vb::EntidadPtr& peticion);
};

// The single request front of the program, created by the start-up after the first connection.
extern std::unique_ptr<clsSocketFront> SocketFront;
