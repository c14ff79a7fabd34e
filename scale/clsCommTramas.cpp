// clsCommTramas: the request of each scale model and the decoding of the frames it sends.
#include "scale/clsCommTramas.h"
#include "core/basFuncionesComunes.h"
#include "platform/Cp1252.h"
#include "platform/Variant.h"
#include <cmath>

namespace {

const QChar STX(0x02);
const QChar CR(0x0D);

} // namespace

namespace clsCommTramas {

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
    const QChar estado = trama[0];
    if (estado == QLatin1Char('A') || estado == QLatin1Char('B'))
        l.estable = true;
    else if (estado == QLatin1Char('!'))
        l.estable = false;
    if (trama.mid(1, 3) == QLatin1String("---"))
        l.peso = 0;
    else
        l.peso = ValorPeso(trama.mid(1, 4) + QLatin1Char('.') + trama.mid(6, 3));
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
    if (trama.size() != 7 || trama.contains(CR))
        return std::nullopt;
    Lectura l;
    if (trama == QLatin1String("ERROR E")) {
        l.estable = false;
        l.peso = 0;
    } else if (trama[1] == QLatin1Char('-')) {
        l.peso = 0;
    } else {
        l.estable = true;
        l.peso = ValorPeso(trama);
    }
    return l;
}

std::optional<Lectura> RespuestaModelo3(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    if (s.size() < 6)
        return std::nullopt;
    Lectura l;
    l.estable = true;
    l.peso = ValorPeso(s.mid(1, s.size() - 6));
    // The sign's place: a negative reading (an empty scale with a tare) must never pass for a weight.
    if (s[0] == QLatin1Char('-'))
        l.peso = -std::abs(l.peso);
    return l;
}

std::optional<Lectura> RespuestaSignoMas(const QByteArray& datos) {
    const QString s = cp1252::decode(datos);
    if (s.startsWith(QLatin1String("+N")) || !s.startsWith(QLatin1Char('+')))
        return std::nullopt;
    Lectura l;
    l.estable = true;
    l.peso = ValorPeso(s);
    return l;
}

std::optional<Lectura> DecodificaContinuo(qint32 modelo, const QByteArray& datos) {
    switch (modelo) {
    case 3:
        return RespuestaModelo3(datos);
    case 5:
        return TramaSTX(datos);
    case 7:
        return TramaCR(datos);
    default:
        return RespuestaSignoMas(datos);
    }
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
