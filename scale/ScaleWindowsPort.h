#pragma once
// The windows of the scale, as the scale driver reaches them: the re-weigh window and the numeric
// keypad. The scale library has no widgets (the request server links it): the upper layer registers
// both at start-up (ui/frmRecalcularPeso, the controls' frmCalc). Without a registered window nothing
// is shown: a re-weigh or a weigh-first dialog reads as cancelled, and so does the keypad.
#include <QString>
#include <functional>
#include <memory>

class clsComm;

// The re-weigh window: the article, the live weight, the unit price and the amount of one ticket
// line (or of the article being weighed in weigh-first mode), accepted or cancelled by the user.
class ReweighWindowPort {
public:
    virtual ~ReweighWindowPort() = default;

    // The article: its description comes from articulo_generico.
    virtual void setArticulo(qint32 lngArticulo) = 0;
    virtual void setPrecio(double dblPrecio) = 0;
    // Stores the weight, recomputes the amount and refreshes the display.
    virtual void setPeso(double dblPeso) = 0;
    virtual void setModoRecalcularPeso(bool b) = 0;
    // Loads a ticket line: the article, the unit price by the price rule and the quantity. False
    // when the line does not exist.
    virtual bool RefrescaDatos(qint32 tpv, qint32 ticket, qint32 linea) = 0;
    // Shows the window modally; true when the user accepted.
    virtual bool MostrarModal() = 0;
    virtual double Peso() const = 0;
    virtual double Importe() const = 0;
};

using ReweighWindowFactory = std::function<std::unique_ptr<ReweighWindowPort>(clsComm&)>;
// nullptr: no window.
void setReweighWindowFactory(ReweighWindowFactory factory);
// A new window from the registered factory; null without one.
std::unique_ptr<ReweighWindowPort> makeReweighWindow(clsComm& comm);

// The numeric keypad for one number: `descripcion` above it, `valor` the display before and, when
// accepted, after. False when cancelled.
using NumericKeypad = std::function<bool(const QString& descripcion, QString& valor)>;
// nullptr: no keypad.
void setNumericKeypad(NumericKeypad keypad);
bool askNumber(const QString& descripcion, QString& valor);
