#pragma once
// The serial scale driver: the port, the continuous reading driven by the main window's timer, the
// weighing dialogue (getPeso) and the re-weigh of a ticket line; the frames of each scale model are
// decoded in clsCommTramas. One instance lives in objComm(); everything runs on the GUI thread.
// Its windows (the re-weigh window, the keypad) are reached through scale/ScaleWindowsPort.h.
#include "platform/SerialPort.h"
#include "platform/VBError.h"
#include "scale/clsCommTramas.h"
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

class ReweighWindowPort;

// How getPeso asks.
struct OpcionesPeso {
    bool blnPedirLitros = false; // a volume, typed on the keypad; the scale is not asked
    bool blnEsAbono = false;     // a refund (PermitirEntradaPesoManual 3 allows the keypad for these)
    bool blnSilent = false;      // the request server's weight action: nothing shown or printed
};

// Why a weighing failed, as the weight action's reply carries it ("tipo_error"): the numbers are
// what the tills read.
namespace TipoErrorPeso {
inline constexpr qint32 Otro = 0;           // any other reason, or none (a weight was obtained)
inline constexpr qint32 QuitarProducto = 1; // take the product off (and put it back)
inline constexpr qint32 NoEstable = 2;      // the weight is not stable yet
inline constexpr qint32 SinProducto = 3;    // nothing on the scale
} // namespace TipoErrorPeso

// What getPeso obtained.
struct ResultadoPeso {
    bool ok = false; // a weight was obtained
    double peso = 0; // kg; on a silent failure the current (possibly unstable) weight in continuous mode
    QString error;   // "" when ok, else the (translated) reason
    qint32 tipoError = TipoErrorPeso::Otro; // a TipoErrorPeso
};

// A ticket line with what re-weighing it needs (Null quantity and weight read as 0, the unit price
// by PrecioUnitarioLinea under the till's FuncPizzeria); nothing when the line does not exist.
struct LineaTicketPeso {
    QVariant idArticulo;
    double cantidad = 0;
    double peso = 0;
    double precio = 0;
};
std::optional<LineaTicketPeso> LeeLineaTicketPeso(qint32 lngTPV, qint32 lngTicket, qint32 lngLinea);

class clsComm final {
public:
    clsComm();
    ~clsComm();
    clsComm(const clsComm&) = delete;
    clsComm& operator=(const clsComm&) = delete;

    // ---- Port (start-up) ----
    // Opens "COM<n>" (resolved through the registry's SERIALCOMM map) exclusively in raw mode and
    // applies the settings text ("9600,e,8,1"). With tpcommTipo 1 (scale) and BalanzaModoContinuo
    // 1 it starts the main window's scale timer every TiempoBalanzaModoContinuo ms. On failure the
    // port is left closed, the operator is told, and the result is false.
    bool InitPuerto(qint16 intCommNumber, const QString& strComsettings, qint32 tpcommTipo);
    void CierraPuerto();
    bool Activado() const;
    // The line settings the port asked for when it was opened (speed, parity, data and stop bits).
    const termios& AjustesPedidos() const { return m_puerto.requested(); }

    // ---- Continuous reading ----
    // One tick of the main window's tmrBalanzaContinuo: stops the timer, writes the model's request,
    // reads, decodes, keeps the last weight and shows it, and starts the timer again. It leaves the
    // timer stopped after telling the operator that the scale cannot be reached (the 11th empty read
    // in a row; the first for models 5 and 7). True when the tick obtained a reading.
    bool commBalanzaContinuoOnComm(bool blnMostrarMensajeError = true);

    // ---- Weighing ----
    // The weight of an article. Interactive callers get the retry questions and, where
    // PermitirEntradaPesoManual allows it, the numeric keypad; a silent one gets nothing shown or
    // printed and the reason in the result.
    ResultadoPeso getPeso(qint32 lngArticulo, double sngPrecio, const OpcionesPeso& opciones = {});
    // Weigh-first dialog: the re-weigh window with the live weight; the accepted weight, or nothing
    // when cancelled.
    std::optional<double> PesarArticulo(qint32 lngArticulo, double sngPrecio);
    // Re-weighs one ticket line (from the scale through the re-weigh window, or on the keypad when
    // no scale is active) and writes the new weight and amounts into linticket.
    void RecalcularPeso(qint32 lngTPV, qint32 lngTicket, qint32 lngLinea, qint32 lngArticulo);

    // ---- State read by the weighing code and the re-weigh window ----
    bool blnPesoEstable = false;
    bool blnPesoCero() const { return m_blnPesoCero; }

    // One request-mode reading outside getPeso (the re-weigh window in request mode), on the same
    // road: empties the line, writes the model's request, waits 200 ms, reads and decodes. Empty when
    // nothing usable came back, the frame says the weight is not stable, or the port is busy with
    // another reading.
    std::optional<double> LeePesoPorPeticion();

    // The hosting point-of-sale application may ask to reload its ticket after a re-weigh.
    void setRecargaTicket(std::function<void()> f) { m_recargaTicket = std::move(f); }

    // Reads a weight on the keypad, which starts showing `visor`: nothing when cancelled, or when
    // the weight is over 1000 kg, negative or 0 (the user is told which).
    std::optional<double> PidePesoTeclado(const QString& descripcion, QString visor);

    // Re-reads ModeloBalanza into the continuous request (the start-up state of a new instance).
    void InicializaModelo();

    // The last weight shown on the main window's display labels.
    void RefrescaPesoFormularioPrincipal();

private:
    friend class ReweighWindowPort;
    struct LecturaEnCurso;
    struct LineaPuerto;
    // What one request-mode exchange gave.
    enum class RespuestaPeticion { Ocupado, SinPuerto, Peso, NoEstable, SinProducto, SinLectura };
    struct Pesada {
        RespuestaPeticion respuesta;
        double peso = 0; // kg, with RespuestaPeticion::Peso and NoEstable
    };
    Pesada PesadaPorPeticion();

    // Opens and configures the port without telling anyone; the reason in `error` on failure.
    bool AbrePuerto(qint16 intCommNumber, const QString& strComsettings, QString& error);
    // The device went away under a reading: logged once, the port closed, and the next reading (a
    // weighing or a continuous tick) opens it again.
    void PuertoPerdido(const char* procedimiento);
    // Opens the port again after it went away; true when it is open.
    bool ReabrePuerto();

    qint16 EscribePuerto(const QString& strCadena);
    // One read of the port by the rule of clsCommTramas::LectorRespuesta.
    clsCommTramas::LecturaLinea LeePuerto(qint32 modelo);
    void VaciaBuffer();
    void AplicaLectura(const clsCommTramas::Lectura& l);
    void RearmaTimer();
    void ParaTimer();
    // Shows the re-weigh window with every changed continuous weight going to it; true when accepted.
    bool MostrarConPesoEnVivo(ReweighWindowPort& dlg);
    // The continuous weight goes to the main window again, not to a re-weigh window.
    void OlvidaDialogo();
    // An error while a re-weigh window was up: the weight goes to the main window again and the
    // operator is told.
    void AvisaErrorDialogo(const VBError& e);
    SerialPort m_puerto;
    double m_dblUltimoPeso = 0;
    bool m_blnPesoCero = false;
    qint16 m_intDestinoPeso = 0;
    QByteArray m_strPeticion;
    qint16 m_intLecturasVacias = 0;
    bool m_blnLecturaEnCurso = false;             // one write/read exchange on the port at a time
    qint16 m_intCommNumber = 0;                   // the scale's port as the start-up opened it
    QString m_strComsettings;                     // and its settings
    bool m_blnReabrir = false;                    // the port went away: the next request-mode reading opens it again
    bool m_blnRespuestaPendiente = true;          // a reply may still come: the next request waits for a quiet line
    bool m_blnVisorDescripcionConTexto = true;    // the main window's description label still shows its text
    std::function<void(double)> m_destinoDialogo; // the re-weigh window's Peso while it is shown
    std::function<void()> m_recargaTicket;
};

// The single scale object, created on first use.
clsComm& objComm();

// A number formatted with a VB mask (basFuncionesComunes::FormatNumero), with the regional decimal sign.
QString FormatoRegional(double valor, const QString& mascara);
void resetObjCommForTests();
