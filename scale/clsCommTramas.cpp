// clsCommTramas: the request of each scale model and the decoding of the frames it sends.
#include "scale/clsCommTramas.h"
#include "core/basFuncionesComunes.h"
#include "platform/Cp1252.h"
#include "platform/Variant.h"
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

const QChar STX(0x02);
const QChar CR(0x0D);
const QChar LF(0x0A);

bool Cifra(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}
bool Letra(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}
bool Imprimible(const QString& t) {
    for (const QChar c : t)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    return true;
}
qsizetype SaltaBlancos(const QString& t, qsizetype i) {
    while (i < t.size() && t[i] == QLatin1Char(' '))
        ++i;
    return i;
}

// The weight in `t` when `t` is printable and holds, after blanks, an optional sign (when `signo`) and
// blanks, a whole number: digits, and a decimal sign only with digits after it; then nothing but
// blanks, or, when `unidad`, a unit: a blank or a letter (not an exponent) and anything printable.
// The original read the leading number of any text, so a reply cut short or garbled gave a weight.
std::optional<double> Numero(const QString& t, bool signo, bool unidad) {
    if (!Imprimible(t))
        return std::nullopt;
    qsizetype i = SaltaBlancos(t, 0);
    bool negativo = false;
    if (signo && i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negativo = t[i] == QLatin1Char('-');
        i = SaltaBlancos(t, i + 1);
    }
    QString cifras;
    while (i < t.size() && Cifra(t[i]))
        cifras += t[i++];
    if (cifras.isEmpty())
        return std::nullopt;
    if (i < t.size() && (t[i] == QLatin1Char('.') || t[i] == QLatin1Char(','))) {
        cifras += QLatin1Char('.');
        ++i;
        const qsizetype decimales = i;
        while (i < t.size() && Cifra(t[i]))
            cifras += t[i++];
        if (i == decimales)
            return std::nullopt; // "2." is the start of a number, not a number
    }
    if (i < t.size()) {
        const QChar c = t[i];
        const bool exponente = (c == QLatin1Char('e') || c == QLatin1Char('E')) && i + 1 < t.size() &&
                               (Cifra(t[i + 1]) || ((t[i + 1] == QLatin1Char('+') || t[i + 1] == QLatin1Char('-')) &&
                                                    i + 2 < t.size() && Cifra(t[i + 2])));
        if (unidad ? (c != QLatin1Char(' ') && !Letra(c)) || exponente : SaltaBlancos(t, i) != t.size())
            return std::nullopt;
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(cifras, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return negativo ? -v : v;
}

// The text of a read up to its first line end (CR or LF), without it.
QString PrimeraLinea(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    qsizetype fin = 0;
    while (fin < s.size() && s[fin] != CR && s[fin] != LF)
        ++fin;
    return s.left(fin);
}

} // namespace

namespace clsCommTramas {

qint64 LectorRespuesta::espera(qint64 ahora) const {
    if (m_leidos >= kBytesLectura)
        return 0;
    const qint64 total = kLecturaTotalMs - ahora;
    if (m_datos.isEmpty())
        return total;
    return std::min(total, (m_fin ? kIntervaloMs : kSilencioMs) - (ahora - m_ultimo));
}

void LectorRespuesta::llegan(const QByteArray& bytes, qint64 ahora) {
    if (bytes.isEmpty())
        return;
    m_ultimo = ahora;
    for (const char b : bytes.left(quedan())) {
        ++m_leidos;
        // A CR LF left over from the last reply would otherwise end this one before it began.
        if (m_datos.isEmpty() && (b == '\r' || b == '\n'))
            continue;
        m_datos.append(b);
    }
    if (!m_fin)
        m_fin = FinDeTrama(m_modelo, m_datos);
}

bool LectorRespuesta::cortada(qint64 ahora) const {
    return !m_datos.isEmpty() && !m_fin && ahora - m_ultimo < kSilencioMs;
}

bool LectorRespuesta::cerrada(qint64 ahora) const {
    return !m_datos.isEmpty() && m_leidos < kBytesLectura && ahora - m_ultimo >= (m_fin ? kIntervaloMs : kSilencioMs);
}

bool FinDeTrama(qint32 modelo, const QByteArray& datos) {
    switch (modelo) {
    case 3:
        return datos.contains('\n');
    case 5:
        return TramaSTX(datos).has_value();
    case 7:
        return datos.contains('\r');
    default:
        return datos.contains('\r') || datos.contains('\n');
    }
}

QByteArray PeticionContinua(qint32 modelo) {
    switch (modelo) {
    case 3:
        return QByteArrayLiteral("p\r\n");
    case 5:
        return {};
    default:
        return QByteArrayLiteral("D\r\n");
    }
}

QByteArray PeticionPesada(qint32 modelo) {
    return modelo == 3 ? QByteArrayLiteral("p\r\n") : QByteArrayLiteral("D\r\n");
}

double ValorPeso(const QString& texto) {
    QString t = texto;
    int i = 0;
    while (i < t.size() && (t[i] == QLatin1Char(' ') || t[i] == QLatin1Char('\t')))
        ++i;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        const QChar signo = t[i];
        int j = i + 1;
        while (j < t.size() && t[j] == QLatin1Char(' '))
            ++j;
        t = QString(signo) + t.mid(j);
    } else {
        t = t.mid(i);
    }
    return basFuncionesComunes::ValNumero(t);
}

std::optional<Lectura> TramaSTX(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    const int L = int(s.size());
    // Positions count from 1 as the frame layout is described.
    const int desde = L > 12 ? L - 12 : 1;
    const int p = int(s.indexOf(STX, desde - 1)) + 1;
    if (p == 0)
        return std::nullopt;
    QString trama;
    if (L - p >= 9) {
        trama = s.mid(p, 9);
    } else if (p > 12) {
        // The last frame is incomplete: the previous one, when frames are 10 to 12 characters apart.
        const int q = int(s.indexOf(STX, p - 12 - 1)) + 1;
        trama = s.mid(q, 9);
    } else {
        return std::nullopt;
    }
    if (trama.size() != 9)
        return std::nullopt;
    Lectura l;
    const QString kilos = trama.mid(1, 4), milesimas = trama.mid(6, 3);
    if (kilos.startsWith(QLatin1String("---")) || QString(kilos).remove(QLatin1Char(' ')) == QLatin1String("---")) {
        l.peso = 0;
    } else {
        // Whole kilograms (blanks, a sign, digits) and three digits of thousandths, or no frame.
        if (kilos.contains(QLatin1Char('.')) || kilos.contains(QLatin1Char(',')) || !Numero(kilos, true, false) ||
            !std::all_of(milesimas.begin(), milesimas.end(), Cifra))
            return std::nullopt;
        l.peso = ValorPeso(kilos + QLatin1Char('.') + milesimas);
    }
    const QChar estado = trama[0];
    if (estado == QLatin1Char('A') || estado == QLatin1Char('B'))
        l.estable = true;
    else if (estado == QLatin1Char('!'))
        l.estable = false;
    else
        l.estadoConocido = false;
    return l;
}

std::optional<Lectura> TramaCR(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    const int L = int(s.size());
    // s0: the position (from 1) where the last frame starts: after the first CR of the last 9
    // characters, or the start of the read.
    int s0 = 1;
    if (L > 8) {
        const int c = int(s.indexOf(CR, L - 8 - 1)) + 1;
        if (c > 0)
            s0 = c + 1;
    }
    QString trama;
    if (L - s0 >= 7) {
        trama = s.mid(s0 - 1, 7);
        if (s[s0 - 1 + 7] != CR)
            return std::nullopt;
    } else if (s0 > 8) {
        // The last frame is incomplete: the 7 characters before the CR that ends the previous one.
        trama = s.mid(s0 - 1 - 8, 7);
    } else {
        return std::nullopt;
    }
    if (trama.size() != 7 || !Imprimible(trama))
        return std::nullopt;
    Lectura l;
    if (trama == QLatin1String("ERROR E")) {
        l.estable = false;
        l.peso = 0;
    } else if (trama[1] == QLatin1Char('-')) {
        // A negative weight: digits, blanks and a decimal sign around the sign.
        for (const QChar c : trama.left(1) + trama.mid(2))
            if (!Cifra(c) && c != QLatin1Char(' ') && c != QLatin1Char('.') && c != QLatin1Char(','))
                return std::nullopt;
        l.peso = 0;
    } else {
        const std::optional<double> peso = Numero(trama, true, false);
        if (!peso)
            return std::nullopt;
        l.estable = true;
        l.peso = *peso;
    }
    return l;
}

std::optional<Lectura> RespuestaModelo3(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    const qsizetype lf = s.indexOf(LF);
    if (lf < 0)
        return std::nullopt;
    // The sign's place, at least one digit, a unit of three characters and CR LF, on the first line:
    // the original cut five characters off the whole read, digits included when the line end was late.
    const QString linea = s.left(lf + 1);
    const qsizetype n = linea.size();
    if (n < 7 || !linea.endsWith(QLatin1String("\r\n")))
        return std::nullopt;
    const QChar signo = linea[0];
    const QString unidad = linea.mid(n - 5, 3);
    if ((signo != QLatin1Char(' ') && signo != QLatin1Char('+') && signo != QLatin1Char('-')) || !Imprimible(unidad) ||
        std::any_of(unidad.begin(), unidad.end(),
                    [](QChar c) { return Cifra(c) || c == QLatin1Char('.') || c == QLatin1Char(','); }))
        return std::nullopt;
    const std::optional<double> peso = Numero(linea.mid(1, n - 6), true, false);
    if (!peso)
        return std::nullopt;
    Lectura l;
    l.estable = true;
    l.peso = *peso;
    // The sign's place: a negative reading (an empty scale with a tare) must never pass for a weight.
    if (signo == QLatin1Char('-'))
        l.peso = -std::abs(l.peso);
    return l;
}

std::optional<Lectura> RespuestaSignoMas(const QByteArray& datos) {
    const QString linea = PrimeraLinea(datos);
    if (linea.startsWith(QLatin1String("+N")) || !linea.startsWith(QLatin1Char('+')))
        return std::nullopt;
    return RespuestaNumerica(datos);
}

std::optional<Lectura> RespuestaNumerica(const QByteArray& datos) {
    const std::optional<double> peso = Numero(PrimeraLinea(datos), true, true);
    if (!peso)
        return std::nullopt;
    Lectura l;
    l.estable = true;
    l.peso = *peso;
    return l;
}

std::optional<Lectura> DecodificaContinuo(qint32 modelo, const QByteArray& datos) {
    switch (modelo) {
    case 3:
        return RespuestaModelo3(datos);
    case 5: {
        std::optional<Lectura> l = TramaSTX(datos);
        // A status the scale does not define kept the last one, so a stable weight could be billed
        // for a frame that never said it was stable: it reads as not stable.
        if (l && !l->estadoConocido)
            l->estable = false;
        return l;
    }
    case 7:
        return TramaCR(datos);
    default:
        return RespuestaSignoMas(datos);
    }
}

bool EmpiezaTrama(qint32 modelo, const QByteArray& datos) {
    if (datos.isEmpty())
        return false;
    const char c = datos[0];
    switch (modelo) {
    case 3:
        return c == ' ' || c == '+' || c == '-';
    case 5:
        return c == '\x02';
    case 7:
        return datos.indexOf('\r') == 7;
    default:
        return (c == '+' && !datos.startsWith("+N")) || c == '-';
    }
}

Clasificada ClasificaPeticion(qint32 modelo, const QByteArray& datos, bool cortada) {
    if (cortada)
        return {}; // still coming when the read's time was spent
    if (datos.isEmpty())
        return {modelo == 3 ? Respuesta::SinLectura : Respuesta::SinProducto};
    if (modelo != 3 && datos.startsWith("+N"))
        return {};
    // Only a reply that begins as the model's replies begin: the tail of a reply that began before
    // the request (a late one) is never this request's. The original took the leading number of
    // any reply, so "345 kg" left over from "+  12.345 kg" was billed 345 kg.
    if (!EmpiezaTrama(modelo, datos))
        return {};
    // Each model's reply is read as its continuous frame is (models 5 and 7 included), and only whole.
    const std::optional<Lectura> l = modelo == 5 ? TramaSTX(datos) : DecodificaContinuo(modelo, datos);
    if (!l)
        return {Respuesta::SinProducto}; // a reply that holds no weight, as the original's value 0
    // A frame of a status the scale does not define says nothing that can be billed.
    if (!l->estadoConocido)
        return {};
    // A reading of 0 is no product for model 3 as for every model: the original billed model 3's 0 kg.
    if (l->peso <= 0)
        return {Respuesta::SinProducto};
    // The frame's own "not stable" (model 5's "!"): the original billed it.
    if (l->estable == false)
        return {Respuesta::NoEstable, l->peso};
    return {Respuesta::Peso, l->peso};
}

double PrecioUnitarioLinea(const QVariant& precioTarifa, const QVariant& precioUnitario, const QVariant& precioOriginal,
                           qint32 funcPizzeria) {
    auto num = [](const QVariant& v) { return vb::IsNull(v) || vb::IsEmpty(v) ? 0.0 : vb::CDbl(v); };
    double precio = num(precioTarifa);
    const double original = num(precioOriginal);
    const double unitario = num(precioUnitario);
    if (original != 0 && unitario != 0)
        precio = unitario;
    if (funcPizzeria == 2)
        precio = original;
    return precio;
}

} // namespace clsCommTramas
