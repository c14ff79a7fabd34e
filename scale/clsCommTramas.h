#pragma once
// The frames of the serial scales: the request each model expects and the weight in the bytes it
// sends, decoded without the port so that they can be checked on bytes; and the unit price of a
// ticket line that a re-weigh uses.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <optional>

namespace clsCommTramas {

// One reading taken from the bytes of a read. `estable` empty = the frame says nothing about
// stability (the previous state stays).
struct Lectura {
    double peso = 0;
    std::optional<bool> estable;
};

// How long a read of the port may last. One rule for every model: a reply ends at the end of a whole
// frame of its model (its line end; for model 5, whose frames have none, a whole STX frame), and then
// as soon as the line pauses for kIntervaloMs; when no frame end comes, once the line has been quiet
// for kSilencioMs, far above any pause inside a reply; and always at kLecturaTotalMs.
inline constexpr int kBytesLectura = 1024;
inline constexpr int kLecturaTotalMs = 1 + kBytesLectura;
inline constexpr int kIntervaloMs = 20;
inline constexpr int kSilencioMs = 600;

// One read of the port, fed with what arrives and when (ms since the read began); it says how long
// the read may still wait. Line ends before the first other byte are the tail of an earlier reply
// and are dropped.
class LectorRespuesta final {
public:
    explicit LectorRespuesta(qint32 modelo) : m_modelo(modelo) {}
    // How much longer the read may wait for more bytes at `ahora`; 0 or less: the read is over.
    qint64 espera(qint64 ahora) const;
    void llegan(const QByteArray& bytes, qint64 ahora);
    // Bytes still to read before the read is full.
    int quedan() const { return kBytesLectura - m_leidos; }
    // Any byte came, a stray line end included: the scale is there.
    bool hablo() const { return m_leidos > 0; }
    // Over at `ahora` while the reply was still coming (no frame end, the line not quiet): a reply
    // cut short, which is no reply.
    bool cortada(qint64 ahora) const;
    const QByteArray& datos() const { return m_datos; }

private:
    qint32 m_modelo;
    QByteArray m_datos;
    int m_leidos = 0;
    qint64 m_ultimo = 0;
    bool m_fin = false;
};

// The end of a whole frame of `modelo` is in `datos`: LF for model 3 (its replies end in CR LF), CR
// for model 7, a whole STX frame for model 5, CR or LF for the others.
bool FinDeTrama(qint32 modelo, const QByteArray& datos);

// The request written before every continuous read ("" for model 5, which sends on its own), and
// the request of a request-mode weighing.
QByteArray PeticionContinua(qint32 modelo);
QByteArray PeticionPesada(qint32 modelo);

// Every decoder reads only a whole frame of its model: printable text where a number is expected,
// with all its digits (a decimal sign has digits after it), and a unit or blanks after it; anything
// else is no reading.

// Model 5: STX and 9 characters (status, 4 whole kg, separator, 3 thousandths); the last complete
// frame of the read.
std::optional<Lectura> TramaSTX(const QByteArray& datos);
// Model 7: 7 characters (a number, "ERROR E", or a negative weight) followed by CR; the last
// complete frame of the read.
std::optional<Lectura> TramaCR(const QByteArray& datos);
// Model 3 reply to "p" CR LF, its first line: the first character is the sign's place ("-" for a
// negative weight), the number follows, and the last five characters (a unit and CR LF) are dropped.
std::optional<Lectura> RespuestaModelo3(const QByteArray& datos);
// Models 0 and all others in continuous mode: a first line that begins with "+" (but not "+N").
std::optional<Lectura> RespuestaSignoMas(const QByteArray& datos);
// Models 0 and all others in request mode: a first line that holds a number, signed or not.
std::optional<Lectura> RespuestaNumerica(const QByteArray& datos);
// The decoder of a model, for continuous mode and for the reply to a request-mode weighing.
std::optional<Lectura> DecodificaContinuo(qint32 modelo, const QByteArray& datos);
std::optional<Lectura> DecodificaPeticion(qint32 modelo, const QByteArray& datos);

// The numeric value of a weight text: "," read as ".", blanks between a leading sign and the
// digits ignored, anything after the number ignored, no number gives 0.
double ValorPeso(const QString& texto);

// Unit price of a ticket line: the rate's price (Null = 0); the line's own unit price when it and
// the original price are both set; the original price in the pizza-shop mode (FuncPizzeria 2).
double PrecioUnitarioLinea(const QVariant& precioTarifa, const QVariant& precioUnitario, const QVariant& precioOriginal,
                           qint32 funcPizzeria);

} // namespace clsCommTramas
