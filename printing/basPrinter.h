#pragma once
// The printer module: the print job, the ESC/POS code strings and markup, the character
// translation to the printer's table, the single output road (Imprimir) and the cut, logo, beep and
// bit-image routines. Every byte that reaches a ticket printer goes through Imprimir.
//
// A job is text in which each character stands for one byte of the Windows-1252 code page; printer
// commands are the characters whose byte is the command byte (vb::Chr(27) is ESC). Whoever composes a
// ticket owns its job (BufferImpresion) and hands it to every call; at a send the whole job becomes
// one raw job of the output (printers::output()) and the call returns what became of it.
#include "platform/Printers.h"
#include "platform/Variant.h"
#include <QList>
#include <QString>
#include <initializer_list>

namespace basPrinter {

// Builds a command text from byte values (each becomes one character of the buffer).
QString CodigoImpresora(std::initializer_list<int> bytes);

// ---- Print jobs ----
// What became of a sending call: whether a job left, the printer it was for, whether the printer took
// it and, when not, why. A call that only collects text sent nothing and has nothing to fail.
// A job whose fate the print server did not tell (its answer never came) is neither printed nor
// failed: blnIncierto, with the jobs to ask it about when it answers again.
struct ResultadoEnvio {
    bool blnEnviado = false;  // a job left (an empty one counts: nothing was there to lose)
    QString impresora = {};   // the printer it went to
    bool ok = true;           // false: the printer did not take it, or it is not known whether it did
    QString error = {};       // why not
    bool blnTexto = false;    // the job held text to print, not only printer commands and line ends
    bool blnIncierto = false; // not ok because the outcome is not known (no job of text was refused)
    QList<printers::PendingJob> pendientes = {}; // the jobs of text of unknown fate

    // The outcome of this send followed by `despues`, as the paper shows it: a refused job of text
    // stands (the first one); else a job of text of unknown fate (with every such job); else a job
    // of text the printer took, so a refused set-up job (commands only) never turns a printed
    // ticket into a failure; else the first refused job.
    ResultadoEnvio anade(const ResultadoEnvio& despues) const;
    // A job left and the printer took it.
    bool salio() const { return blnEnviado && ok; }
};

// How a job's send failures are told: each one on paper (or in a box), or only the first of the job
// (blnUnSoloInforme); blnInformado says one has been told (set beforehand: none will be, only logged).
struct InformeFallos {
    bool blnUnSoloInforme = false;
    bool blnInformado = false;
};

// One print job, owned by whoever composes it: the text collected and not yet sent, the invoice
// printer's page counters, how its failures are told, and the outcome of a send the length limit
// made before the job's own sending call (that call answers for it).
//
// A set-up job (printer commands only) that the printer refuses before any text of the ticket has
// gone out is sent once more; either way the ticket goes on, and its own job (the text) says whether
// it printed. A refused set-up job is logged, never told.
struct BufferImpresion {
    QString Texto = {};
    qint32 LineasPagina = 0; // invoice-printer pagination counters (ImprimeFacturadora)
    qint32 Pagina = 0;
    qint32 LineasPendientes = 0;
    InformeFallos informe = {};
    ResultadoEnvio envioAdelantado = {};
    bool blnTextoEnviado = false; // a job with text went out since the ticket (piece) started

    // A new ticket in the same job (a kitchen piece): its set-up is tried again when refused.
    void empiezaPieza() { blnTextoEnviado = false; }
};

// The module's state apart from the code strings; a fresh one is the state at start.
struct EstadoImpresion {
    // Invoice-printer pagination switch (1 = on; starts at 0) and the header line repeated per page.
    qint32 glngPaginarFacturadora = 0;
    QString gstrCabeceraFacturadora;
    // A send failure is being reported (a further failure meanwhile is only logged).
    bool blnInformandoFallo = false;
    // The pagination is turning a page: its own lines must not turn another one.
    bool blnPaginando = false;
};
extern EstadoImpresion gEstadoImpresion;

// ---- Printer code strings (InicializaCodigosPRN puts these back; a code set may change some) ----
struct CodigosPRN {
    QString PRN_INISUB = CodigoImpresora({27, 45, 1});     // ESC "-" 1   underline on
    QString PRN_FINSUB = CodigoImpresora({27, 45, 0});     // ESC "-" 0   underline off
    QString PRN_ININEG = CodigoImpresora({27, 69, 1});     // ESC "E" 1   bold on
    QString PRN_FINNEG = CodigoImpresora({27, 69, 0});     // ESC "E" 0   bold off
    QString PRN_INIDBLALT = CodigoImpresora({29, 33, 17}); // GS "!" 17   double width and height
    QString PRN_FINDBLALT = CodigoImpresora({29, 33, 0});  // GS "!" 0
    QString PRN_INITRIALT = CodigoImpresora({29, 33, 34}); // GS "!" 34   triple width and height
    QString PRN_FINTRIALT = CodigoImpresora({29, 33, 0});  // GS "!" 0
    QString PRN_INIGIG = CodigoImpresora({29, 33, 102});   // GS "!" 102  seven times width and height
    QString PRN_FINGIG = CodigoImpresora({29, 33, 0});     // GS "!" 0
    QString PRN_INIINV = CodigoImpresora({29, 66, 1});     // GS "B" 1    reverse on
    QString PRN_FININV = CodigoImpresora({29, 66, 0});     // GS "B" 0    reverse off
};
extern CodigosPRN gCodigosPRN;

// ---- Output ----
// Adds `texto` (plus CR LF when ConSalto) to the job and, when Enviar (or when the job has grown past
// "LongMaxTexto"), sends the whole job to the printer chosen from idImpresora / NombreImpresora / the
// main window's flags / the default printer, and empties it.
// Returns what the send did; a sending call also answers for a send the length limit made earlier
// in the job. Nothing left for a printer (not a sending call, the print target captured the text, a
// "NO IMPRIMIR" printer dropped it) is no send and no failure. A failure is also logged and told
// as the job's InformeFallos says.
// The defaults add a translated line for the ticket printer without sending it.
struct OpcionesImprimir {
    bool ConSalto = true;
    bool Enviar = false;
    qint32 idImpresora = 0;
    QString NombreImpresora = {};
    bool ControlarFacturadora = true; // the invoice printer's pagination counts this text
    bool Traducir = true;
    bool EsCocina = false; // the kitchen's euro code page setting applies
};
ResultadoEnvio Imprimir(BufferImpresion& trabajo, const QString& texto, OpcionesImprimir o = {});

// Empty procedures the scale code calls.
Variant TrazaVacia(const QString& a = {}, const QString& b = {}, const Variant& c = {}, const Variant& d = {});
void ProcedimientoVacio(const Variant& a = {}, const Variant& b = {}, const Variant& c = {}, const Variant& d = {},
                        const Variant& e = {}, const Variant& f = {});

// ---- Code strings, printer state, markup and translation ----
void InicializaCodigosPRN();
// Line spacing (when CambiarEspaciado; an empty Espaciado takes "EspacioEntreLineas") and print mode.
// Sends nothing while the print target captures text. Returns what its sends did (code set 2 sends
// at once).
struct OpcionesInicializa {
    bool CambiarEspaciado = false;
    bool Enviar = false;
    QString Espaciado = {};
};
ResultadoEnvio InicializaImpresora(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                                   OpcionesInicializa o = {});
// Adds the font command and returns the characters per line.
qint16 EstableceLetraYAncho(BufferImpresion& trabajo, qint32 idImpresora, const QString& NombreImpresora,
                            bool EsCocina);
// Tags (<b> ... </inv>), code words (PRN_ININEG ...) in any case, and "&comma;".
QString sustituyeTagsHTML(QString texto);
// Text that came from outside (a request, a database row, an error's description) as text only:
// every control character is dropped, except CR and LF (line ends) and TAB (a blank), so no byte
// of it can start a printer command; the markup in it is the program's to read.
QString SoloTexto(const QString& texto);
// Maps accented characters to the printer's table; with the euro code page on, ESC "t" 19 goes in
// front. Printer commands inside the text keep their bytes.
QString TraducirCaracteres(const QString& texto, bool EsCocina);

// ---- Cut, logo, beep, bit image ----
// Feeds, cuts (or not), sends the job, may start the logo for the next ticket, waits.
// Returns the send and the name the ticket's next pieces go to: NombreImpresora, or
// "ImpresoraSecundaria" when the secondary printer took this one.
struct OpcionesCorte {
    bool ImprimirLogoDespues = true;
    qint32 idImpresora = 0;
    bool Traducir = true;
    QString NombreImpresora = {};
};
struct ResultadoCorte {
    ResultadoEnvio envio;
    QString NombreImpresora;
};
ResultadoCorte CortarPapel(BufferImpresion& trabajo, OpcionesCorte o = {});
ResultadoEnvio ImprimeLogo(BufferImpresion& trabajo, bool Enviar = false, qint32 idImpresora = 0,
                           const QString& NombreImpresora = {});
void EmitirPito(BufferImpresion& trabajo, qint32 idImpresora = 0, const QString& NombreImpresora = {});
void ImprimeImagenBits(BufferImpresion& trabajo, const QString& Datos, qint16 AnchoBytes, qint32 idImpresora,
                       qint16 Espaciado, const QString& NombreImpresora = {});

// ---- Invoice-printer pagination (entered only while glngPaginarFacturadora is 1) ----
struct OpcionesFacturadora {
    bool blnNuevoDocumento = false; // asks for the first sheet and prints the top margin
    bool blnSoloContar = false;     // only counts the text's lines as pending
};
void ImprimeFacturadora(BufferImpresion& trabajo, const QString& texto, OpcionesFacturadora o = {});

// ---- Wiring ----
// Installs sustituyeTagsHTML into the word wrap and this layer as the core's error printer.
// InicializaCodigosPRN calls it too; calling it again installs the same again.
void InstalaServiciosImpresion();

// The state at start: a fresh EstadoImpresion, a fresh capture target and the standard code strings.
void resetForTests();

} // namespace basPrinter
