#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <vector>

namespace basFuncionesComunes {

namespace {

std::function<QString(const QString&)>& sustituyeTags() {
    static std::function<QString(const QString&)> f;
    return f;
}

// Text of a value the way the helpers need it: byte data as Windows-1252, everything else through CStr
// (numbers with "." and no grouping).
QString textoDe(const Variant& v) {
    if (v.typeId() == QMetaType::QByteArray)
        return cp1252::decode(v.toByteArray());
    return vb::CStr(v);
}

// Empty, Null, objects and arrays have no text of their own.
bool legibleComoTexto(const Variant& v) {
    switch (vb::VarType(v)) {
    case 0:    // Empty
    case 1:    // Null
    case 9:    // object
    case 8204: // arrays and every other kind
        return false;
    default:
        return true;
    }
}

// The ADO field types that hold a number (Booleans apart), and those that hold a date.
bool esCampoNumerico(int tipo) {
    switch (tipo) {
    case ado::adSmallInt:
    case ado::adInteger:
    case ado::adSingle:
    case ado::adDouble:
    case ado::adCurrency:
    case ado::adDecimal:
    case ado::adTinyInt:
    case ado::adUnsignedTinyInt:
    case ado::adUnsignedSmallInt:
    case ado::adUnsignedInt:
    case ado::adBigInt:
    case ado::adUnsignedBigInt:
    case ado::adNumeric:
        return true;
    default:
        return false;
    }
}
bool esCampoFecha(int tipo) {
    return tipo == ado::adDate || tipo == ado::adDBDate || tipo == ado::adDBTimeStamp;
}

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

double ValNumero(const QString& texto) {
    QString s = texto;
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    qsizetype i = 0;
    const qsizetype n = s.size();
    auto cifra = [&](qsizetype k) { return k < n && s[k] >= QLatin1Char('0') && s[k] <= QLatin1Char('9'); };
    while (i < n && (s[i] == QLatin1Char(' ') || s[i] == QLatin1Char('\t') || s[i] == QLatin1Char('\r') ||
                     s[i] == QLatin1Char('\n')))
        ++i;
    // sign, digits with at most one point, then an exponent when digits follow it
    QString numero;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        numero += s[i++];
    QString entero, fraccion;
    while (cifra(i))
        entero += s[i++];
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (cifra(i))
            fraccion += s[i++];
    }
    if (entero.isEmpty() && fraccion.isEmpty())
        return 0;
    numero += (entero.isEmpty() ? QStringLiteral("0") : entero) + QLatin1Char('.') +
              (fraccion.isEmpty() ? QStringLiteral("0") : fraccion);
    if (i < n && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponente = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exponente += s[j++];
        const qsizetype antes = j;
        while (cifra(j))
            exponente += s[j++];
        if (j > antes)
            numero += exponente;
    }
    bool ok = false;
    const double d = QLocale::c().toDouble(numero, &ok);
    if (!ok || !std::isfinite(d))
        return 0;
    return d;
}

Variant VarToStr(const Variant& v, const Variant& defecto, bool decodificarBinario) {
    Variant valor = defecto;
    vb::ResumeNext([&] {
        const Variant x = decodificarBinario ? BinaryToString(v) : v;
        if (!x.isValid() || vb::IsNull(x) || !legibleComoTexto(x))
            return;
        if (x.typeId() == QMetaType::QString && x.toString() == QLatin1String("#ERROR#"))
            return;
        valor = x;
    });
    return valor;
}

QString NumeroATexto(const Variant& v, bool nullComoNull, const QString& formato) {
    if (nullComoNull && vb::IsNull(v))
        return QStringLiteral("null");
    QString s;
    vb::OnError(
        [&] {
            s = textoDe(VarToStr(v, qint16(0)));
            if (!formato.isEmpty() && vb::IsNumeric(s))
                s = FormatNumero(vb::CDbl(s), formato);
            s.replace(QLatin1Char(','), QLatin1Char('.'));
        },
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return s;
}

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

qsizetype Columnas(const QString& texto) {
    qsizetype n = texto.size();
    for (qsizetype i = 0; i + 1 < texto.size(); ++i)
        if (texto.at(i).isHighSurrogate() && texto.at(i + 1).isLowSurrogate()) {
            --n;
            ++i;
        }
    return n;
}

QString IzquierdaColumnas(const QString& texto, qsizetype columnas) {
    qsizetype i = 0;
    for (qsizetype c = 0; c < columnas && i < texto.size(); ++c)
        i += texto.at(i).isHighSurrogate() && i + 1 < texto.size() && texto.at(i + 1).isLowSurrogate() ? 2 : 1;
    return texto.left(i);
}

QString AlineaTexto(const QString& texto, qint32 ancho, bool alinearIzquierda, bool recortar, const QString& relleno) {
    // A negative width fits the text to nothing.
    const qint32 w = std::max<qint32>(ancho, 0);
    QString s = recortar ? vb::Trim(texto) : texto;
    const qsizetype columnas = Columnas(s);
    if (columnas > w)
        return IzquierdaColumnas(s, w);
    const qsizetype falta = w - columnas;
    if (!relleno.isEmpty() && relleno != QLatin1String(" ")) {
        const QString r = relleno.repeated(falta);
        return alinearIzquierda ? s + r : r + s;
    }
    return alinearIzquierda ? s + QString(falta, QLatin1Char(' ')) : QString(falta, QLatin1Char(' ')) + s;
}

namespace {

// The text as characters: a surrogate pair is one character (one column on paper), any other code
// unit one of its own. Positions are 1-based; offset() gives where a character starts in the text.
class Caracteres {
public:
    explicit Caracteres(const QString& t) : m_t(t) {
        for (qsizetype i = 0; i + 1 < t.size(); ++i)
            if (t.at(i).isHighSurrogate() && t.at(i + 1).isLowSurrogate()) {
                m_inicio.reserve(size_t(t.size()) + 1);
                for (qsizetype j = 0; j < t.size(); ++j) {
                    m_inicio.push_back(j);
                    if (t.at(j).isHighSurrogate() && j + 1 < t.size() && t.at(j + 1).isLowSurrogate())
                        ++j;
                }
                m_inicio.push_back(t.size());
                break;
            }
    }
    qsizetype size() const { return m_inicio.empty() ? m_t.size() : qsizetype(m_inicio.size()) - 1; }
    bool es(qsizetype k, char c) const { return m_t.at(offset(k)) == QLatin1Char(c); }
    // Characters desde .. hasta - 1.
    QStringView trozo(qsizetype desde, qsizetype hasta) const {
        return QStringView(m_t).mid(offset(desde), offset(hasta) - offset(desde));
    }

private:
    qsizetype offset(qsizetype k) const { return m_inicio.empty() ? k - 1 : m_inicio[size_t(k - 1)]; }
    const QString& m_t;
    std::vector<qsizetype> m_inicio; // empty when every character is one code unit
};

} // namespace

// Each line looks for a line feed in its window, else breaks at the last blank of its window, else
// widens the window up to the next blank. The searches look back only as far as the line's start and
// forward only to the next blank, so every character is looked at a bounded number of times.
QString AjustaTexto(int ancho, QString& texto, int sangria) {
    QString resultado;
    vb::OnError(
        [&] {
            texto = aplicarSustituyeTags(texto);
            const Caracteres t(texto);
            const qsizetype largo = t.size();
            const qsizetype disponible = qsizetype(ancho) - sangria;
            const QString margen(std::max(sangria, 0), QLatin1Char(' '));
            // Whether the text holds a blank at or before a position: only the first blank tells.
            qsizetype primerEspacio = 0;
            for (qsizetype k = 1; k <= largo && primerEspacio == 0; ++k)
                if (t.es(k, ' '))
                    primerEspacio = k;
            // The last `c` in (desde, hasta], or 0.
            auto ultimoEntre = [&](char c, qsizetype desde, qsizetype hasta) -> qsizetype {
                for (qsizetype k = std::min(hasta, largo); k > desde; --k)
                    if (t.es(k, c))
                        return k;
                return 0;
            };
            qsizetype pos = 1, extra = 0;
            while (pos <= largo) {
                qsizetype fin;
                bool corteEnEspacio = false;
                if (pos + disponible > largo) {
                    fin = largo + 1;
                } else {
                    // A line feed in the window (a window reaching past the text has none).
                    const qsizetype w = pos + disponible + extra;
                    const qsizetype p = w <= largo ? ultimoEntre('\n', pos, w) : 0;
                    if (p > pos) {
                        fin = p + 1;
                    } else {
                        corteEnEspacio = true;
                        const qsizetype w0 = pos + disponible;
                        if (w0 < 1 || primerEspacio == 0 || primerEspacio > w0) {
                            // No blank up to the window's end: the rest is one line.
                            fin = largo + 1;
                            extra = 1;
                        } else if (const qsizetype s = ultimoEntre(' ', pos, w0); s > pos) {
                            fin = s;
                            extra = 1;
                        } else {
                            // The window widens one character at a time until it takes in the next blank.
                            qsizetype n = std::max(pos, w0) + 1;
                            while (n <= largo && !t.es(n, ' '))
                                ++n;
                            fin = n;
                            extra = n - w0 + 1;
                        }
                    }
                }
                resultado += margen;
                resultado += vb::Trim(t.trozo(pos, fin).toString());
                if (corteEnEspacio)
                    resultado += QLatin1String("\r\n");
                pos = fin;
            }
        },
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return resultado;
}

QString AjustaTexto(int ancho, const QString& texto, int sangria) {
    QString copia = texto;
    return AjustaTexto(ancho, copia, sangria);
}

Variant ConsultaRapida(const QString& sql, const QString& campo, ado::Connection* conexion, const Variant& defecto,
                       const QList<Variant>& params) {
    Variant resultado;
    ado::RecordsetPtr rs;
    vb::OnError(
        [&] {
            ado::Connection& cn = conexion ? *conexion : ConexionServidor();
            if (cn.State() == ado::adStateClosed)
                cn.Open();
            rs = cn.Execute(sql, nullptr, params);
            if (!rs->isEOF() && !rs->isBOF()) {
                const ado::Field& f = campo.isEmpty() ? rs->Fields(0) : rs->Fields(campo);
                resultado = VarToStr(f.Value, defecto, true);
            } else {
                resultado = defecto;
            }
        },
        [&](const VBError& e) {
            // The recordset is closed before the error is reported.
            if (rs) {
                vb::ResumeNext([&] { rs->Close(); });
                rs.reset();
            }
            ControlErrores(QStringLiteral("basComunPocketra.ConsultaRapida"), true, e);
        });
    vb::ResumeNext([&] {
        if (rs && rs->State() == ado::adStateOpen)
            rs->Close();
    });
    return resultado;
}

namespace {

// Plain escaping for a server in its default mode (backslash escapes on): every backslash doubled, double
// quotes escaped when asked, apostrophes doubled or escaped.
void escapa(QString& texto, bool doblarComilla, bool escaparBarras) {
    texto.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    if (escaparBarras)
        texto.replace(QLatin1String("\""), QLatin1String("\\\""));
    texto.replace(QLatin1String("'"), doblarComilla ? QLatin1String("''") : QLatin1String("\\'"));
}

} // namespace

QString addslashes(QString& texto, bool doblarComilla, bool escaparBarras) {
    AtrapaErrores(QStringLiteral("basComunPocketra.addslashes"), [&] {
        // Escaping already present is undone first, so a text escaped twice is not doubled.
        texto.replace(QLatin1String("\\'"), QLatin1String("'"));
        if (escaparBarras)
            texto.replace(QLatin1String("\\\""), QLatin1String("\""));
        texto.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        // Every remaining backslash is doubled even without escaparBarras: a lone one would escape the
        // character after it, and a trailing one the closing apostrophe of the literal.
        escapa(texto, doblarComilla, escaparBarras);
    });
    return texto;
}

QString cStringSQL(const QString& texto, bool ponerComillas, bool escaparBarras) {
    // The text is a value: nothing in it is taken for earlier escaping, so it reads back exactly.
    QString copia = texto;
    bool comillas = false;
    AtrapaErrores(QStringLiteral(".basFuncionesComunes.cStringSQL"), [&] {
        escapa(copia, true, escaparBarras);
        comillas = ponerComillas;
    });
    return comillas ? QLatin1Char('\'') + copia + QLatin1Char('\'') : copia;
}

namespace {
// The test of esBinaryString: raw bytes, or a text whose first (up to three) characters are all "?".
bool pareceBinario(const Variant& v) {
    if (vb::IsObject(v))
        return false;
    if (v.typeId() == QMetaType::QByteArray)
        return true; // raw bytes from the driver
    if (v.typeId() != QMetaType::QString)
        return false;
    const QString s = v.toString();
    const qsizetype n = std::min<qsizetype>(s.size(), 3);
    if (n == 0)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (s[i] != QLatin1Char('?'))
            return false;
    return true;
}
} // namespace

bool esBinaryString(const Variant& v) {
    bool binario = false;
    AtrapaErrores(QStringLiteral("basFunc.esBinaryString"), [&] { binario = pareceBinario(v); });
    return binario;
}

namespace {
// The conversion of BinaryToString.
Variant textoDeBinario(const Variant& v) {
    if (!esBinaryString(v))
        return v;
    if (v.typeId() == QMetaType::QByteArray)
        return cp1252::decode(v.toByteArray());
    const QString s = v.toString();
    QString r;
    r.reserve(s.size());
    for (QChar c : s)
        r += cp1252::charFor(static_cast<unsigned char>(c.unicode() & 0xFF));
    return r;
}
} // namespace

Variant BinaryToString(const Variant& v) {
    Variant texto = v;
    AtrapaErrores(QStringLiteral("basFunc.BinaryToString"), [&] { texto = textoDeBinario(v); });
    return texto;
}

float Segundos() {
    return float(clock_seam::secondsSinceMidnight());
}

QString TextoSegundos(int decimales) {
    if (decimales >= 0)
        return QString::number(clock_seam::secondsSinceMidnight(), 'f', decimales);
    return vb::CStr(Variant(Segundos()));
}

Variant Vc(const ado::Field* campo, const Variant& muestra) {
    Variant r;
    AtrapaErrores(QStringLiteral("basComunPocketra.Vc"), [&] {
        const QString tipo = vb::TypeName(muestra);
        const bool numerico = tipo == QLatin1String("Integer") || tipo == QLatin1String("Double") ||
                              tipo == QLatin1String("Long") || tipo == QLatin1String("Single");
        Variant defecto;
        if (tipo == QLatin1String("String")) {
            defecto = QString();
        } else if (numerico || tipo == QLatin1String("Date")) {
            defecto = qint16(0);
        } else if (tipo == QLatin1String("Boolean")) {
            defecto = false;
        } else if (!campo) {
            defecto = qint16(0);
        } else {
            // Every numeric type the driver reports counts as a number (not only the ones named for the
            // Windows driver), so a Null BIGINT or SMALLINT gives 0, not the empty text.
            if (esCampoNumerico(campo->Type) || esCampoFecha(campo->Type))
                defecto = qint16(0);
            else if (campo->Type == ado::adBoolean)
                defecto = false;
            else
                defecto = QString();
        }
        Variant valor;
        if (!campo) {
            valor = defecto;
        } else {
            switch (campo->Type) {
            case ado::adUnsignedTinyInt:
            case ado::adUnsignedSmallInt:
            case ado::adUnsignedInt:
            case ado::adUnsignedBigInt:
                valor = vb::CDbl(VarToStr(campo->Value, qint16(0), true));
                break;
            case ado::adBinary:
            case ado::adLongVarChar:
            case ado::adLongVarWChar:
            case ado::adLongVarBinary:
                valor = textoDe(VarToStr(campo->Value, QString(), true));
                break;
            default:
                valor = VarToStr(campo->Value, defecto, true);
                break;
            }
        }
        if (tipo == QLatin1String("String"))
            r = textoDe(valor);
        else if (numerico)
            r = ValNumero(textoDe(valor));
        else if (tipo == QLatin1String("Date"))
            r = vb::IsDate(valor) ? Variant(vb::CDate(valor)) : valor;
        else if (tipo == QLatin1String("Boolean"))
            r = vb::CBool(valor);
        else
            r = valor;
    });
    return r;
}

void Espera(qint64 milisegundos) {
    if (milisegundos <= 0)
        return;
    program::waitMs(milisegundos);
}

bool EjecutandoEnIDE() {
    // Run from the development environment means here: under a debugger (a tracer attached to us).
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    while (!f.atEnd()) {
        const QByteArray linea = f.readLine();
        if (linea.startsWith("TracerPid:"))
            return linea.mid(10).trimmed().toLongLong() != 0;
    }
    return false;
}

QString CreaDelete(const QString& sql, const QString& /*tabla*/) {
    const qsizetype p = sql.indexOf(QLatin1String(" from "));
    if (p < 0)
        return QString();
    return QStringLiteral("delete from ") + sql.mid(p + 6);
}

vb::ObjectPtr CreaInserts(const QString& sql, const QString& tabla) {
    auto col = std::make_shared<vb::Collection>();
    AtrapaErrores(QStringLiteral(".basFuncionesComunes_CreaInserts"), [&] {
        ado::RecordsetPtr rs = ConexionServidor().Execute(sql);
        while (!rs->isEOF()) {
            QStringList columnas, valores;
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const ado::Field& f = rs->Fields(i);
                columnas << textoDe(VarToStr(f.Name, QString()));
                valores << ValorSQL(f);
            }
            col->Add(QStringLiteral("insert into ") + tabla + QStringLiteral(" (") +
                     columnas.join(QLatin1String(", ")) + QStringLiteral(") values (") +
                     valores.join(QLatin1String(", ")) + QLatin1Char(')'));
            rs->MoveNext();
        }
        rs->Close();
    });
    return col;
}

namespace {

// A text literal that reads back as the same text on a server with its default SQL mode (backslash escapes on).
QString literalTexto(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    r.replace(QLatin1Char('\''), QLatin1String("''"));
    r.replace(QChar(0), QLatin1String("\\0"));
    return QLatin1Char('\'') + r + QLatin1Char('\'');
}

bool esNumeroSQL(const QString& s) {
    static const QRegularExpression re(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    return re.match(s).hasMatch();
}

QString textoNumero(const Variant& v) {
    switch (v.typeId()) {
    case QMetaType::Double:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Float:
        return QString::number(double(v.value<float>()), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QString: {
        QString s = vb::Trim(v.toString());
        s.replace(QLatin1Char(','), QLatin1Char('.'));
        return esNumeroSQL(s) ? s : literalTexto(v.toString());
    }
    default:
        return textoDe(v);
    }
}

} // namespace

namespace {
// The literal of ValorSQL.
QString literalDeCampo(const ado::Field& campo) {
    const Variant& v = campo.Value;
    const bool nulo = vb::IsNull(v) || !v.isValid();
    if (esCampoNumerico(campo.Type))
        return nulo ? QStringLiteral("0") : textoNumero(v);
    switch (campo.Type) {
    case ado::adDate:
    case ado::adDBDate:
    case ado::adDBTimeStamp:
        if (nulo)
            return QStringLiteral("'0000-00-00'");
        if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate)
            return QLatin1Char('\'') + v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                   QLatin1Char('\'');
        return literalTexto(textoDe(v));
    case ado::adBoolean:
        return nulo ? QStringLiteral("0") : vb::CStr(vb::CBool(v));
    default:
        if (nulo)
            return QStringLiteral("''");
        if (v.typeId() == QMetaType::QByteArray) {
            const QByteArray b = v.toByteArray();
            return b.isEmpty() ? QStringLiteral("''") : QStringLiteral("0x") + QString::fromLatin1(b.toHex());
        }
        if (v.typeId() == QMetaType::QTime)
            return QLatin1Char('\'') + v.toTime().toString(QStringLiteral("HH:mm:ss")) + QLatin1Char('\'');
        return literalTexto(textoDe(v));
    }
}
} // namespace

QString ValorSQL(const ado::Field& campo) {
    QString literal;
    vb::ResumeNext([&] { literal = literalDeCampo(campo); });
    return literal;
}

QString QuitarTagsHTML(QString& texto) {
    static const char* const tags[] = {"<br>",  "<br/>",  "<br />",   "</br>",     "<div>",  "</div>",  "<p>",
                                       "<p/>",  "</p>",   "<strong>", "</strong>", "<font>", "</font>", "<td>",
                                       "</td>", "<span>", "</span>",  "<b>",       "</b>"};
    AtrapaErrores(QStringLiteral("basGeneral.QuitarTagsHTML"), [&] {
        for (const char* t : tags)
            texto.remove(QLatin1String(t), Qt::CaseInsensitive);
    });
    return texto;
}

QString QuitaHtml(const QString& texto) {
    QString s = texto;
    // Line-breaking elements become line ends, every other tag goes, entities are decoded.
    static const QRegularExpression saltos(QStringLiteral("<\\s*(br\\s*/?|/p|/div|/tr|/li|/h[1-6])\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression etiquetas(QStringLiteral("<[^>]*>"));
    s.replace(saltos, QStringLiteral("\r\n"));
    s.remove(etiquetas);
    static const struct {
        const char* nombre;
        char16_t c;
    } entidades[] = {{"nbsp", u' '},   {"lt", u'<'},     {"gt", u'>'},     {"quot", u'"'},   {"apos", u'\''},
                     {"euro", u'€'},   {"aacute", u'á'}, {"eacute", u'é'}, {"iacute", u'í'}, {"oacute", u'ó'},
                     {"uacute", u'ú'}, {"Aacute", u'Á'}, {"Eacute", u'É'}, {"Iacute", u'Í'}, {"Oacute", u'Ó'},
                     {"Uacute", u'Ú'}, {"ntilde", u'ñ'}, {"Ntilde", u'Ñ'}, {"uuml", u'ü'},   {"Uuml", u'Ü'},
                     {"ccedil", u'ç'}, {"Ccedil", u'Ç'}, {"iquest", u'¿'}, {"iexcl", u'¡'},  {"ordf", u'ª'},
                     {"ordm", u'º'},   {"agrave", u'à'}, {"egrave", u'è'}, {"ograve", u'ò'}, {"middot", u'·'},
                     {"comma", u','}};
    static const QRegularExpression entidad(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|[A-Za-z]+);"));
    QString r;
    qsizetype desde = 0;
    auto it = entidad.globalMatch(s);
    while (it.hasNext()) {
        const auto m = it.next();
        r += QStringView(s).mid(desde, m.capturedStart() - desde);
        const QString nombre = m.captured(1);
        QString sustituto = m.captured(0);
        if (nombre.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) || nombre.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint cp = nombre.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? nombre.mid(2).toUInt(&ok, 16)
                                                                                        : nombre.mid(1).toUInt(&ok, 10);
            if (ok && cp > 0 && cp <= 0x10FFFF) {
                const char32_t c32 = cp;
                sustituto = QString::fromUcs4(&c32, 1);
            }
        } else if (nombre == QLatin1String("amp")) {
            sustituto = QStringLiteral("&");
        } else {
            for (const auto& e : entidades)
                if (nombre == QLatin1String(e.nombre)) {
                    sustituto = QString(QChar(e.c));
                    break;
                }
        }
        r += sustituto;
        desde = m.capturedEnd();
    }
    r += QStringView(s).mid(desde);
    return r;
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

void setSustituyeTags(std::function<QString(const QString&)> f) {
    sustituyeTags() = std::move(f);
}

QString aplicarSustituyeTags(const QString& texto) {
    const auto& f = sustituyeTags();
    return f ? f(texto) : texto;
}

} // namespace basFuncionesComunes
