#pragma once
// The frames of the serial scales: the request each model expects and the weight in the bytes it
// sends, decoded without the port so that they can be checked on bytes; and the unit price of a
// ticket line that a re-weigh uses.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QtGlobal>
#include <algorithm>
#include <optional>

namespace clsCommTramas {

// One reading taken from the bytes of a read. `estable` empty = the frame says nothing about
// stability (the previous state stays).
struct Lectura {
    double peso = 0;
    std::optional<bool> estable;
    bool estadoConocido = true; // false: a model 5 frame whose status the scale does not define
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
    // Over at `ahora` because the line went quiet after what came (not at the read's bound, nor full):
    // the scale said all it had to say, so nothing of this reply can still come.
    bool cerrada(qint64 ahora) const;
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
// A first line that holds a number, signed or not.
std::optional<Lectura> RespuestaNumerica(const QByteArray& datos);
// The decoder of a model in continuous mode; a model 5 frame of a status the scale does not define
// reads as not stable.
std::optional<Lectura> DecodificaContinuo(qint32 modelo, const QByteArray& datos);

// The read begins the way a reply of `modelo` begins: "+" or "-" (not "+N") for models 0 and the
// others, the sign's place (" ", "+" or "-") for model 3, STX for model 5, and for model 7 a frame
// of 7 characters that its CR ends. A reply whose start was cut off never does.
bool EmpiezaTrama(qint32 modelo, const QByteArray& datos);

// What the reply to a request-mode weighing says.
enum class Respuesta {
    Peso,        // a whole, stable frame's weight
    NoEstable,   // a whole frame the scale marks as not stable: its weight is never billed
    SinProducto, // a weight of 0 or less, or a reply that holds no weight
    SinLectura,  // no reading: nothing whole of this request's reply (cut short, cut off, "+N")
};
struct Clasificada {
    Respuesta respuesta = Respuesta::SinLectura;
    double peso = 0; // with Peso and NoEstable
};
// The reply read after a request: `cortada` when the read ended while it was still coming.
Clasificada ClasificaPeticion(qint32 modelo, const QByteArray& datos, bool cortada);

// What one read of the line gave (LeeRespuesta).
struct LecturaLinea {
    QByteArray datos;     // the reply, without stray line ends before it
    bool hablo = false;   // some byte came
    bool cortada = false; // the read ended while the reply was still coming: no reply
    bool cerrada = false; // the line went quiet after the reply: nothing more of it can come
    bool colgado = false; // the line hung up during the read
    qint64 ms = 0;        // how long the read lasted
};

// The line a read runs on: the serial port, or a simulated line in the fuzz target. It gives
//   qint64 ahora();                                 monotonic ms
//   QByteArray lee(int maxBytes, qint64 esperaMs);  what arrives within esperaMs (returns at the
//                                                   first pause after some bytes; empty: none)
//   bool colgada();                                 the device went away
// and, for a request-mode exchange,
//   bool escribe(const QByteArray&);                the request written whole
//   void esperaRespuesta(qint64 ms);                the wait before the read (events run in it)

// One read of the line by the rule of LectorRespuesta.
template <class Linea> LecturaLinea LeeRespuesta(Linea& linea, qint32 modelo) {
    LecturaLinea r;
    LectorRespuesta lector(modelo);
    const qint64 inicio = linea.ahora();
    qint64 ahora = 0;
    for (qint64 espera; (espera = lector.espera(ahora)) > 0; ahora = linea.ahora() - inicio) {
        const QByteArray trozo = linea.lee(lector.quedan(), espera);
        if (!trozo.isEmpty()) {
            lector.llegan(trozo, linea.ahora() - inicio);
        } else if (linea.colgada()) {
            r.colgado = true;
            break;
        }
    }
    r.hablo = lector.hablo();
    r.cortada = lector.cortada(ahora);
    r.cerrada = lector.cerrada(ahora);
    r.datos = lector.datos();
    r.ms = ahora;
    return r;
}

// How long the line must be quiet before a request is written: kIntervaloMs when it is known to be
// empty; kSilencioMs (longer than any pause inside a reply) when the last exchange left a reply that
// may still come, or when bytes were on the line; and no request at all when it is not quiet within
// kLecturaTotalMs.
inline constexpr int kVaciadoTotalMs = kLecturaTotalMs;

// One request-mode exchange. A reply belongs to the request it follows, so the line is emptied
// first: what is on it, and whatever keeps coming until it has been quiet long enough, is read and
// thrown away (a late reply, or the tail of one); only then is the request written, the reply waited
// for, read, and taken only when it begins as its model's replies begin and came whole. `pendiente`
// carries between exchanges: a reply that did not end within its read may still come.
// The original flushed and wrote at once, so the rest of a late reply answered the next request.
struct Intercambio {
    Clasificada clasificada;
    bool colgado = false; // the line hung up
    bool ocupada = false; // the line was never quiet long enough for a request
    LecturaLinea lectura; // the reply's read
    qint64 msVaciado = 0; // how long emptying the line took
    qint64 tirados = 0;   // bytes thrown away before the request
};
template <class Linea>
Intercambio PideYLee(Linea& linea, qint32 modelo, const QByteArray& peticion, qint64 esperaMs, bool& pendiente) {
    Intercambio r;
    const qint64 inicio = linea.ahora();
    qint64 ultimo = inicio;
    qint64 hueco = pendiente ? kSilencioMs : kIntervaloMs;
    for (qint64 ahora = inicio; ahora - ultimo < hueco; ahora = linea.ahora()) {
        if (ahora - inicio >= kVaciadoTotalMs) {
            r.ocupada = true;
            r.msVaciado = ahora - inicio;
            pendiente = true;
            return r;
        }
        const QByteArray trozo =
            linea.lee(kBytesLectura, std::min(hueco - (ahora - ultimo), kVaciadoTotalMs - (ahora - inicio)));
        if (!trozo.isEmpty()) {
            ultimo = linea.ahora();
            r.tirados += trozo.size();
            hueco = kSilencioMs; // a reply was on its way: wait until it has surely ended
        } else if (linea.colgada()) {
            r.colgado = true;
            return r;
        }
    }
    r.msVaciado = linea.ahora() - inicio;
    if (!linea.escribe(peticion) || linea.colgada()) {
        r.colgado = true;
        return r;
    }
    linea.esperaRespuesta(esperaMs);
    r.lectura = LeeRespuesta(linea, modelo);
    r.colgado = r.lectura.colgado;
    pendiente = !r.lectura.cerrada;
    r.clasificada = ClasificaPeticion(modelo, r.lectura.datos, r.lectura.cortada);
    return r;
}

// The numeric value of a weight text: "," read as ".", blanks between a leading sign and the
// digits ignored, anything after the number ignored, no number gives 0.
double ValorPeso(const QString& texto);

// Unit price of a ticket line: the rate's price (Null = 0); the line's own unit price when it and
// the original price are both set; the original price in the pizza-shop mode (FuncPizzeria 2).
double PrecioUnitarioLinea(const QVariant& precioTarifa, const QVariant& precioUnitario, const QVariant& precioOriginal,
                           qint32 funcPizzeria);

} // namespace clsCommTramas
