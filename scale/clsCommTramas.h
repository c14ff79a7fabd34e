#pragma once
// The frames of the serial scales: the request each model expects and the weight in the bytes it
// sends, decoded without the port so that they can be checked on bytes; and the unit price of a
// ticket line that a re-weigh uses.
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace clsCommTramas {

// One reading taken from the bytes of a read. `estable` empty = the frame says nothing about
// stability (the previous state stays).
struct Lectura {
    double peso = 0;
    std::optional<bool> estable;
};

// The request written before every continuous read ("" for model 5, which sends on its own), and
// the request of a request-mode weighing.
QByteArray PeticionContinua(qint32 modelo);
QByteArray PeticionPesada(qint32 modelo);

// Model 5: STX and 9 characters (status, 4 whole kg, separator, 3 thousandths); the last complete
// frame of the read.
std::optional<Lectura> TramaSTX(const QByteArray& datos);
// Model 7: 7 characters followed by CR; the last complete frame of the read.
std::optional<Lectura> TramaCR(const QByteArray& datos);
// Model 3 reply to "p" CR LF: the first character is the sign's place ("-" for a negative weight),
// the number follows, and the last five characters (" kg" CR LF) are dropped.
std::optional<Lectura> RespuestaModelo3(const QByteArray& datos);
// Models 0 and all others: a reply that begins with "+" (but not "+N").
std::optional<Lectura> RespuestaSignoMas(const QByteArray& datos);
// The continuous-mode decoder of a model.
std::optional<Lectura> DecodificaContinuo(qint32 modelo, const QByteArray& datos);

// The numeric value of a weight text: "," read as ".", blanks between a leading sign and the
// digits ignored, anything after the number ignored, no number gives 0.
double ValorPeso(const QString& texto);

// Unit price of a ticket line: the rate's price (Null = 0); the line's own unit price when it and
// the original price are both set; the original price in the pizza-shop mode (FuncPizzeria 2).
double PrecioUnitarioLinea(const QVariant& precioTarifa, const QVariant& precioUnitario, const QVariant& precioOriginal,
                           qint32 funcPizzeria);

} // namespace clsCommTramas
