#pragma once
// The ticket composer: turns one print request into printer output. A kitchen ticket is read from
// the point-of-sale tables (header row, observations, command numbers) and framed around the
// request's article lines; a special ticket is a free text with markup, optionally between the
// shop's header and foot rows. One instance serves one request.
//
// Every value that reaches SQL is bound, never pasted into the statement text.
#include "platform/Ado.h"
#include "platform/Variant.h"
#include "printing/basPrinter.h"
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// Options of the two print operations (defaults: the ticket printer, header and foot, every send
// failure told).
struct OpcionesTicketEspecial {
    bool blnImprimirCabeceraYPie = false; // the shop's rows of configticket around every piece
    bool blnImprimirLogo = false;
    bool blnImprimirPorPantalla = false;
    QString strImpresora = {}; // the printer for every piece (empty: the ticket printer)
    basPrinter::InformeFallos informe = {};
};
struct OpcionesTicketCocina {
    QString strImpresora = {};
    QString strDescripcionCabecera = {}; // printed instead of "TextoCabeceraCocina" when given
    bool blnImprimirCabecera = true;
    bool blnImprimirPie = true;
    QString strTextoPie = {};
    basPrinter::InformeFallos informe = {};
};

// What a print operation did: the one way to learn what went out, for the reply and for a caller
// that sends again only the pieces (between "<cortar>" marks) that did not.
struct ResultadoImpresion {
    bool blnEnviado = false;          // it ran and every job went out (a kitchen ticket: its header was read)
    QString strImpresora = {};        // where the last piece went: the secondary printer once a cut handed it there
    bool blnPiezasRecorridas = false; // it got as far as its pieces
    QList<basPrinter::ResultadoEnvio> piezas = {}; // one per piece, in order: the first failed send, else the cut
    bool blnFalloInformado = false;                // a send failure was told (or had been before it started)

    // No piece had a send fail.
    bool todoSalio() const;
    // No piece failed, and of some it is not known whether they printed (the print server did not
    // answer): the ticket may have printed.
    bool incierto() const;
};

// A print run for a request that may be tried again (the request queue): how its failures are to be
// told goes in, what it did comes back.
struct SeguimientoImpresion {
    basPrinter::InformeFallos informe = {};
    ResultadoImpresion resultado = {};
};

// Where the composer's statements run: the two database connections, or rows a caller fixes (the
// fuzz target drives the composer over fixed ticket rows). Installed with
// clsImprimirTicket::setFilasTicket; nullptr puts the connections back.
class FilasTicket {
public:
    virtual ~FilasTicket() = default;
    virtual bool conectado() = 0; // in place of ComCentral and the main connection's state
    virtual ado::RecordsetPtr abre(const QString& sql, const QList<Variant>& valores) = 0;
    virtual void ejecuta(const QString& sql, const QList<Variant>& valores) = 0;
};

class clsImprimirTicket final {
public:
    static void setFilasTicket(FilasTicket* filas);

    // Public variables, in their declared order; callers may set the last three before printing.
    qint32 lngTPV = 0;
    qint32 lngTicket = 0;
    QString intCamarero;        // waiter code; when set the identification block names that waiter
    qint32 lngNumComandero = 0; // handheld that sent the order; the "Impreso desde:" line shows the waiter
    QString strMensajeCocina;   // kitchen message in triple height instead of the header text

    // Free text with markup (<cortar>, <br>, line ends, <b> <u> <dblalt> <trialt> <gig> <inv>), each piece
    // cut as a ticket of its own. When the cut hands the ticket to the secondary printer, the following
    // pieces go there too.
    ResultadoImpresion ImprimirTicketEspecial(const QString& strTextoTicket, OpcionesTicketEspecial o = {});

    // Kitchen ticket of till lngTPV, ticket lngTicket: header, the article lines of strTextoTicket and
    // the foot, one ticket per piece between "<cortar>" marks. Sent when the main connection was
    // available, the header could be read and every job went out (an empty text prints nothing and
    // counts as done).
    ResultadoImpresion ImprimirTicketCocinaEspecial(qint32 lngTPV, qint32 lngTicket, const QString& strTextoTicket,
                                                    const OpcionesTicketCocina& o = {});

    // Hook for trigger messages around a print; it has none to run and lets the print go on.
    bool LanzaMensajesTriggerImprimirTicket(const Variant& vrnPieEspecial, bool blnAntesImprimir,
                                            const QString& strAccion, qint32 lngImpresora, double dblImporteTicket);

    // The large number near the top of a kitchen ticket: the last digit of the till and the last two of
    // the ticket, or (blnImprimirNumComanda) the ticket's command numbers, allocating one when it has none.
    void imprimirDigitosTicketLetraGrande(basPrinter::BufferImpresion& trabajo, qint32 lngTPV, qint32 lngTicket,
                                          qint32 lngImpresora, bool blnImprimirNumComanda = false,
                                          const QString& strImpresora = {});

    // This composer's command number, allocated and recorded in qm_imppantalla on the first call.
    // 0 when none could be allocated (no main connection, or no free number after kIntentosComanda tries).
    qint32 getNumeroComanda();

    static constexpr int kIntentosComanda = 100;

    // SQL statements run by composers since the start of the run (for the benchmark's report).
    static qint64 sentenciasEjecutadas();

private:
    // The first row of the header query, fields by lower-case name; no value when the ticket has no
    // row or the query failed.
    using FilaCabecera = std::optional<QHash<QString, Variant>>;

    // blnLeida: the query ran (with or without a row). A query that fails on a lost link runs once
    // more after an immediate reconnection.
    FilaCabecera ListCabTicket(qint32 lngTPV, qint32 lngTicket, bool& blnLeida);
    // The parameters of one kitchen ticket piece, read as it starts, and the blocks of its header and foot.
    struct ParametrosPieza;
    class PiezaCocina;

    // The header and the foot add to the piece's job and return what their own sends did (the foot
    // ends with the cut that sends the piece).
    basPrinter::ResultadoEnvio ImprimirTicketCocinaCabecera(basPrinter::BufferImpresion& trabajo,
                                                            const ParametrosPieza& p, const FilaCabecera& cabecera,
                                                            qint16& intAnchoLinea, bool& blnEspaciado,
                                                            const QString& strImpresora,
                                                            const QString& strDescripcionCabecera,
                                                            bool blnImprimirCabecera);
    QString FormateaLineaArticuloCocina(const ParametrosPieza& p, const QString& strTexto, qint16 intAnchoLinea);
    basPrinter::ResultadoEnvio ImprimirTicketCocinaPie(basPrinter::BufferImpresion& trabajo, const ParametrosPieza& p,
                                                       const FilaCabecera& cabecera, qint16 intAnchoLinea,
                                                       bool blnEspaciado, QString& strImpresora, bool blnImprimirPie,
                                                       const QString& strTextoPie);

    // One step of a kitchen piece as a trap of its own: a failure is reported, the piece goes on
    // and is marked incomplete (it is not whole, so it is not answered as printed).
    bool paso(const QString& strProcedimiento, const std::function<void()>& f);

    qint16 intAnchoLinea = 0;
    bool m_blnPiezaIncompleta = false; // a step of the piece being composed failed
    qint32 lngNumeroComanda = 0;
    bool m_blnSinNumeroComanda = false; // allocation gave up once in this request: do not try again
};
