// basFuncionesComunes: VB's number format masks, the decimals mask and rounding.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace basFuncionesComunes {

namespace {

// |x| as decimal digits rounded half away from zero to `decimales` places, taken from its
// 15-significant-digit decimal form (the digits a person sees), not from the binary value.
struct Decimal {
    QString entero;   // no leading zeros; "0" for none
    QString fraccion; // exactly `decimales` digits
};

void incrementa(QString& digitos) {
    for (qsizetype i = digitos.size() - 1; i >= 0; --i) {
        if (digitos[i] == QLatin1Char('9')) {
            digitos[i] = QLatin1Char('0');
        } else {
            digitos[i] = QChar(digitos[i].unicode() + 1);
            return;
        }
    }
    digitos.prepend(QLatin1Char('1'));
}

Decimal redondeaDecimal(double ax, int decimales) {
    const QString e = QString::number(ax, 'e', 14); // d.dddddddddddddde+XX
    const int posE = int(e.indexOf(QLatin1Char('e')));
    const QString digitos = e.left(1) + e.mid(2, posE - 2);
    const int exp = e.mid(posE + 1).toInt();
    const int p = exp + 1; // digits before the point
    QString entero, fraccion;
    if (p <= 0) {
        fraccion = QString(-p, QLatin1Char('0')) + digitos;
    } else if (p >= digitos.size()) {
        entero = digitos + QString(p - digitos.size(), QLatin1Char('0'));
    } else {
        entero = digitos.left(p);
        fraccion = digitos.mid(p);
    }
    if (fraccion.size() > decimales) {
        const bool sube = fraccion[decimales] >= QLatin1Char('5');
        fraccion.truncate(decimales);
        if (sube) {
            QString todo = entero + fraccion;
            const qsizetype antes = todo.size();
            incrementa(todo);
            const qsizetype nEntero = entero.size() + (todo.size() - antes);
            entero = todo.left(nEntero);
            fraccion = todo.mid(nEntero);
        }
    } else {
        fraccion += QString(decimales - fraccion.size(), QLatin1Char('0'));
    }
    qsizetype i = 0;
    while (i < entero.size() && entero[i] == QLatin1Char('0'))
        ++i;
    entero = entero.mid(i);
    if (entero.isEmpty())
        entero = QStringLiteral("0");
    return {entero, fraccion};
}

struct Pieza {
    enum Tipo { Cero, Almohadilla, Punto, Coma, Literal } tipo;
    QString texto;
};

QList<Pieza> analizaMascara(const QString& m) {
    QList<Pieza> piezas;
    bool hayPunto = false;
    for (qsizetype i = 0; i < m.size(); ++i) {
        const QChar c = m[i];
        if (c == QLatin1Char('\\') && i + 1 < m.size()) {
            piezas.append(Pieza{Pieza::Literal, QString(m[++i])});
        } else if (c == QLatin1Char('"')) {
            const qsizetype fin = m.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype hasta = fin < 0 ? m.size() : fin;
            piezas.append(Pieza{Pieza::Literal, m.mid(i + 1, hasta - i - 1)});
            i = hasta;
        } else if (c == QLatin1Char('0')) {
            piezas.append(Pieza{Pieza::Cero, {}});
        } else if (c == QLatin1Char('#')) {
            piezas.append(Pieza{Pieza::Almohadilla, {}});
        } else if (c == QLatin1Char('.') && !hayPunto) {
            hayPunto = true;
            piezas.append(Pieza{Pieza::Punto, {}});
        } else if (c == QLatin1Char(',')) {
            piezas.append(Pieza{Pieza::Coma, {}});
        } else {
            piezas.append(Pieza{Pieza::Literal, QString(c)});
        }
    }
    return piezas;
}

bool esDigito(const Pieza& p) {
    return p.tipo == Pieza::Cero || p.tipo == Pieza::Almohadilla;
}

QStringList secciones(const QString& mascara) {
    QStringList s;
    QString actual;
    bool comillas = false;
    for (qsizetype i = 0; i < mascara.size(); ++i) {
        const QChar c = mascara[i];
        if (c == QLatin1Char('\\') && i + 1 < mascara.size() && !comillas) {
            actual += c;
            actual += mascara[++i];
            continue;
        }
        if (c == QLatin1Char('"'))
            comillas = !comillas;
        if (c == QLatin1Char(';') && !comillas) {
            s << actual;
            actual.clear();
        } else {
            actual += c;
        }
    }
    s << actual;
    return s;
}

QString formateaSeccion(double valor, const QString& mascara, bool conSigno) {
    const QList<Pieza> piezas = analizaMascara(mascara);
    bool porcentaje = false;
    for (const Pieza& p : piezas)
        if (p.tipo == Pieza::Literal && p.texto == QLatin1String("%"))
            porcentaje = true;
    if (porcentaje)
        valor *= 100;

    qsizetype punto = -1;
    for (qsizetype i = 0; i < piezas.size(); ++i)
        if (piezas[i].tipo == Pieza::Punto) {
            punto = i;
            break;
        }
    const QList<Pieza> parteEntera = punto < 0 ? piezas : piezas.mid(0, punto);
    const QList<Pieza> parteFraccion = punto < 0 ? QList<Pieza>() : piezas.mid(punto + 1);

    int decimales = 0, ceros = 0;
    for (const Pieza& p : parteFraccion)
        if (esDigito(p))
            ++decimales;
    qsizetype primerDigito = -1, ultimoDigito = -1;
    for (qsizetype i = 0; i < parteEntera.size(); ++i)
        if (esDigito(parteEntera[i])) {
            if (primerDigito < 0)
                primerDigito = i;
            ultimoDigito = i;
            if (parteEntera[i].tipo == Pieza::Cero)
                ++ceros;
        }
    bool agrupa = false;
    for (qsizetype i = primerDigito + 1; primerDigito >= 0 && i < ultimoDigito; ++i)
        if (parteEntera[i].tipo == Pieza::Coma)
            agrupa = true;

    const Decimal d = redondeaDecimal(std::fabs(valor), decimales);
    const bool esCero =
        d.entero == QLatin1String("0") && !d.fraccion.contains(QRegularExpression(QStringLiteral("[1-9]")));
    QString digitos = d.entero;
    if (digitos == QLatin1String("0") && ceros == 0)
        digitos.clear();
    if (digitos.size() < ceros)
        digitos.prepend(QString(ceros - digitos.size(), QLatin1Char('0')));

    QString entero;
    if (primerDigito < 0) {
        for (const Pieza& p : parteEntera)
            if (p.tipo == Pieza::Literal)
                entero += p.texto;
    } else if (agrupa) {
        QString agrupados;
        for (qsizetype i = 0; i < digitos.size(); ++i) {
            if (i > 0 && (digitos.size() - i) % 3 == 0)
                agrupados += QLatin1Char(',');
            agrupados += digitos[i];
        }
        for (qsizetype i = 0; i < primerDigito; ++i)
            if (parteEntera[i].tipo == Pieza::Literal)
                entero += parteEntera[i].texto;
        entero += agrupados;
        for (qsizetype i = ultimoDigito + 1; i < parteEntera.size(); ++i)
            if (parteEntera[i].tipo == Pieza::Literal)
                entero += parteEntera[i].texto;
    } else {
        // Right to left: each placeholder takes one digit, the leftmost one takes all that remain.
        QStringList trozos;
        qsizetype quedan = digitos.size();
        for (qsizetype i = parteEntera.size() - 1; i >= 0; --i) {
            const Pieza& p = parteEntera[i];
            if (p.tipo == Pieza::Literal) {
                trozos.prepend(p.texto);
            } else if (esDigito(p)) {
                if (i == primerDigito) {
                    trozos.prepend(digitos.left(quedan));
                    quedan = 0;
                } else if (quedan > 0) {
                    trozos.prepend(QString(digitos[--quedan]));
                }
            }
        }
        entero = trozos.join(QString());
    }

    QString fraccion;
    if (punto >= 0) {
        // Optional digits show only up to the last significant one; literals show when a shown digit or
        // nothing at all follows them.
        int ultimoSignificativo = -1, k = 0;
        for (const Pieza& p : parteFraccion) {
            if (esDigito(p)) {
                if (p.tipo == Pieza::Cero || d.fraccion[k] != QLatin1Char('0'))
                    ultimoSignificativo = k;
                ++k;
            }
        }
        k = 0;
        for (qsizetype i = 0; i < parteFraccion.size(); ++i) {
            const Pieza& p = parteFraccion[i];
            if (esDigito(p)) {
                if (k <= ultimoSignificativo)
                    fraccion += d.fraccion[k];
                ++k;
            } else {
                int siguiente = -1;
                for (qsizetype j = i + 1, kk = k; j < parteFraccion.size(); ++j)
                    if (esDigito(parteFraccion[j])) {
                        siguiente = int(kk);
                        break;
                    }
                if (siguiente < 0 || siguiente <= ultimoSignificativo)
                    fraccion += p.tipo == Pieza::Coma ? QStringLiteral(",") : p.texto;
            }
        }
        fraccion.prepend(QLatin1Char('.'));
    }
    const QString signo = (conSigno && valor < 0 && !esCero) ? QStringLiteral("-") : QString();
    return signo + entero + fraccion;
}

} // namespace

QString FormatNumero(double valor, const QString& mascara) {
    if (!std::isfinite(valor))
        return vb::CStr(valor);
    QString m = mascara;
    if (m.compare(QLatin1String("Fixed"), Qt::CaseInsensitive) == 0)
        m = QStringLiteral("0.00");
    else if (m.compare(QLatin1String("Standard"), Qt::CaseInsensitive) == 0)
        m = QStringLiteral("#,##0.00");
    else if (m.compare(QLatin1String("Percent"), Qt::CaseInsensitive) == 0)
        m = QStringLiteral("0.00%");
    if (m.isEmpty() || m.compare(QLatin1String("General Number"), Qt::CaseInsensitive) == 0)
        return vb::CStr(valor);
    const QStringList s = secciones(m);
    if (valor < 0 && s.size() >= 2 && !s[1].isEmpty())
        return formateaSeccion(-valor, s[1], false);
    if (valor == 0 && s.size() >= 3 && !s[2].isEmpty())
        return formateaSeccion(0, s[2], false);
    return formateaSeccion(valor, s[0], true);
}

QString MascaraDecimales(qint32 decimales) {
    if (decimales == -1)
        decimales = 2;
    if (decimales <= 0)
        return QStringLiteral("###0");
    return QStringLiteral("###0.") + QString(decimales, QLatin1Char('0'));
}

double Redondear(double valor, qint16 decimales) {
    double redondeado = 0;
    vb::OnError(
        [&] {
            if (decimales == -1)
                decimales = 2;
            const double escala = std::pow(10.0, decimales);
            double a = std::fabs(valor) * escala;
            // The fraction is itself rounded to two places first (half to even), so anything from about
            // 0.495 up rounds the value up.
            const double f = vb::RoundHalfEven((a - std::trunc(a)) * 100) / 100;
            a = f >= 0.5 ? std::floor(a) + 1 : std::floor(a);
            a /= escala;
            redondeado = valor < 0 ? -a : a;
        },
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return redondeado;
}

} // namespace basFuncionesComunes
