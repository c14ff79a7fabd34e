#include "rules/SentenciasRegla.h"

#include <QPair>
#include <QRegularExpression>
#include <vector>

namespace SentenciasRegla {

namespace {

// "--" opens a comment only before a blank or a control character. A bare "--" that ends the text
// is taken for code, as it is when a ";" follows it in the text that a statement was cut from.
bool abreComentarioGuiones(const QString& s, qsizetype i) {
    return s.at(i) == u'-' && i + 2 < s.size() && s.at(i + 1) == u'-' && s.at(i + 2) <= u' ';
}

QChar delimitador(Tramo tipo) {
    return tipo == Tramo::Comillas ? u'\'' : tipo == Tramo::ComillasDobles ? u'"' : u'`';
}

// Whether a backslash escapes inside a stretch of that kind.
bool escapaBarra(Tramo tipo, const Modo& modo) {
    return modo.barrasEscapan && (tipo == Tramo::Comillas || tipo == Tramo::ComillasDobles);
}

// Length of the character unit at i of a stretch's body: a backslash escape or a doubled
// delimiter is one unit inside a literal or name (the name of a variable never starts or ends
// within one).
qsizetype unidad(QStringView cuerpo, qsizetype i, Tramo tipo, QChar cierre, const Modo& modo) {
    if (tipo == Tramo::Codigo || tipo == Tramo::Comentario || tipo == Tramo::Ejecutable || i + 1 >= cuerpo.size())
        return 1;
    const QChar c = cuerpo.at(i);
    if ((c == u'\\' && escapaBarra(tipo, modo)) || (c == cierre && cuerpo.at(i + 1) == cierre))
        return 2;
    return 1;
}

// A value escaped for the text literal it goes into: the literal's own quote doubled (the other
// kind of quote is an ordinary character there) and, where a backslash escapes, backslashes and
// NULs as escapes. Where it does not, both are ordinary characters and go as they are.
QString escapa(const QString& valor, QChar comilla, const Modo& modo) {
    QString r;
    r.reserve(valor.size() + 8);
    for (const QChar c : valor) {
        if (c == u'\\' && modo.barrasEscapan)
            r += QLatin1String("\\\\");
        else if (c.isNull() && modo.barrasEscapan)
            r += QLatin1String("\\0");
        else if (c == comilla)
            r += QString(2, comilla);
        else
            r += c;
    }
    return r;
}

// Writes the body into r with every whole occurrence of the name replaced by the value. Right after
// an executable comment's opening (`trasApertura`) a value's digits never join digits before them:
// the server would read them as the comment's version.
void pega(QString& r, QStringView cuerpo, Tramo tipo, QChar cierre, const Modo& modo, const QString& nombre,
          const QString& valor, bool trasApertura = false) {
    const qsizetype base = r.size();
    const auto soloDigitos = [&] {
        for (qsizetype k = base; k < r.size(); ++k)
            if (!r.at(k).isDigit())
                return false;
        return true;
    };
    std::vector<bool> frontera(size_t(cuerpo.size()) + 1, false);
    for (qsizetype i = 0; i < cuerpo.size(); i += unidad(cuerpo, i, tipo, cierre, modo))
        frontera[size_t(i)] = true;
    frontera[size_t(cuerpo.size())] = true;
    qsizetype i = 0;
    while (i < cuerpo.size()) {
        if (cuerpo.mid(i).startsWith(nombre) && frontera[size_t(i + nombre.size())]) {
            if (trasApertura && !valor.isEmpty() && valor.at(0).isDigit() && soloDigitos())
                r += u' ';
            r += valor;
            i += nombre.size();
        } else {
            const qsizetype u = unidad(cuerpo, i, tipo, cierre, modo);
            r += cuerpo.mid(i, u);
            i += u;
        }
    }
}

// The opening of an executable comment at i ("/*!" or "/*M!" and the version digits that follow),
// its length, and whether the server runs it. 0 when there is none at i.
qsizetype aperturaEjecutable(const QString& s, qsizetype i, const Modo& modo, bool& corre, bool& incierto) {
    const qsizetype n = s.size();
    if (i + 2 >= n || s.at(i) != u'/' || s.at(i + 1) != u'*')
        return 0;
    qsizetype j = i + 2;
    const bool maria = s.at(j) == u'M' && j + 1 < n && s.at(j + 1) == u'!';
    if (maria)
        ++j;
    if (s.at(j) != u'!')
        return 0;
    ++j;
    qsizetype digitos = 0;
    while (j + digitos < n && s.at(j + digitos).isDigit() && s.at(j + digitos).unicode() < 128)
        ++digitos;
    corre = true;
    if (digitos < 5) // no version: the digits are code
        return j - i;
    const qsizetype largo = digitos >= 6 ? 6 : 5;
    const qint32 version = s.mid(j, largo).toInt();
    if (modo.version == 0)
        incierto = true;
    else
        // A MySQL version of five digits from 5.7 on is one MariaDB does not follow.
        corre = version <= modo.version && (maria || largo == 6 || version < 50700);
    return j + largo - i;
}

} // namespace

Modo Modo::deServidor(const QString& sqlMode, const QString& version) {
    Modo m;
    const QStringList modos = sqlMode.toUpper().split(u',');
    m.barrasEscapan = !modos.contains(QLatin1String("NO_BACKSLASH_ESCAPES"));
    m.comillasDoblesNombran = modos.contains(QLatin1String("ANSI_QUOTES"));
    static const QRegularExpression numeros(QStringLiteral("^(\\d+)\\.(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch v = numeros.match(version);
    if (v.hasMatch())
        m.version = v.captured(1).toInt() * 10000 + v.captured(2).toInt() * 100 + v.captured(3).toInt();
    return m;
}

QList<Pieza> trocea(const QString& s, const Modo& modo, bool* incierto) {
    QList<Pieza> r;
    bool dudas = false;
    const qsizetype n = s.size();
    qsizetype codigo = 0; // where the current run of code began
    const auto cierraCodigo = [&](qsizetype hasta) {
        if (hasta > codigo)
            r.append({Tramo::Codigo, codigo, hasta, 0, 0});
    };
    bool enEjecutable = false; // inside an executable comment that runs
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s.at(i);
        bool corre = false;
        if (c == u'\'' || c == u'"' || c == u'`') {
            cierraCodigo(i);
            const Tramo tipo = c == u'\''                                 ? Tramo::Comillas
                               : c == u'"' && !modo.comillasDoblesNombran ? Tramo::ComillasDobles
                                                                          : Tramo::Nombre;
            const bool barra = escapaBarra(tipo, modo);
            const qsizetype inicio = i++;
            qsizetype cierra = 0;
            while (i < n) {
                const QChar d = s.at(i);
                if (d == u'\\' && barra) {
                    i += 2;
                } else if (d == c && i + 1 < n && s.at(i + 1) == c) {
                    i += 2;
                } else if (d == c) {
                    ++i;
                    cierra = 1;
                    break;
                } else {
                    ++i;
                }
            }
            i = std::min(i, n);
            r.append({tipo, inicio, i, 1, cierra});
            codigo = i;
        } else if (c == u'#' || abreComentarioGuiones(s, i)) {
            cierraCodigo(i);
            const qsizetype linea = s.indexOf(u'\n', i);
            const qsizetype fin = linea < 0 ? n : linea;
            r.append({Tramo::Comentario, i, fin, c == u'#' ? 1 : 2, 0});
            i = codigo = fin;
        } else if (const qsizetype largo = aperturaEjecutable(s, i, modo, corre, dudas); largo > 0 && corre) {
            // The server takes a second opening inside one for a part of it: not a reading to trust.
            if (enEjecutable)
                dudas = true;
            cierraCodigo(i);
            r.append({Tramo::Ejecutable, i, i + largo, 0, 0});
            enEjecutable = true;
            i = codigo = i + largo;
        } else if (enEjecutable && c == u'*' && i + 1 < n && s.at(i + 1) == u'/') {
            cierraCodigo(i);
            r.append({Tramo::Ejecutable, i, i + 2, 0, 0});
            enEjecutable = false;
            i = codigo = i + 2;
        } else if (c == u'/' && i + 1 < n && s.at(i + 1) == u'*') {
            cierraCodigo(i);
            const qsizetype cierre = s.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype fin = cierre < 0 ? n : cierre + 2;
            r.append({Tramo::Comentario, i, fin, 2, cierre < 0 ? 0 : 2});
            i = codigo = fin;
        } else {
            ++i;
        }
    }
    cierraCodigo(n);
    if (incierto)
        *incierto = dudas;
    return r;
}

namespace {

// The statements of sql, each with where its text ends; `una` stops at the first.
QList<QPair<QString, qsizetype>> corta(const QString& sql, const Modo& modo, bool una) {
    QList<QPair<QString, qsizetype>> r;
    qsizetype desde = 0;
    bool hayCodigo = false;
    const auto corta = [&](qsizetype hasta) {
        if (hayCodigo)
            r.append({sql.mid(desde, hasta - desde), hasta});
        desde = hasta + 1;
        hayCodigo = false;
        return una && !r.isEmpty();
    };
    for (const Pieza& p : trocea(sql, modo)) {
        if (p.tipo == Tramo::Comentario)
            continue;
        if (p.tipo != Tramo::Codigo) {
            hayCodigo = true;
            continue;
        }
        for (qsizetype i = p.inicio; i < p.fin; ++i) {
            if (sql.at(i) == u';') {
                if (corta(i))
                    return r;
            } else if (!sql.at(i).isSpace()) {
                hayCodigo = true;
            }
        }
    }
    corta(sql.size());
    return r;
}

} // namespace

QStringList divide(const QString& sql, const Modo& modo) {
    QStringList r;
    for (const auto& [sentencia, fin] : corta(sql, modo, false))
        r << sentencia;
    return r;
}

qsizetype siguiente(const QString& sql, qsizetype desde, const Modo& modo, QString* sentencia) {
    const auto r = corta(sql.mid(desde), modo, true);
    *sentencia = r.isEmpty() ? QString() : r.first().first;
    return r.isEmpty() ? sql.size() : std::min(sql.size(), desde + r.first().second + 1);
}

bool esListaDeNumeros(const QString& valor) {
    static const QRegularExpression lista(QStringLiteral("^ *-?[0-9]+(\\.[0-9]+)?( *, *-?[0-9]+(\\.[0-9]+)?)* *$"));
    return lista.match(valor).hasMatch();
}

bool sustituye(QString& sentencia, const Variables& variables, QString* rechazada, const Modo& modo) {
    const auto rechaza = [&](const Variable& v) {
        if (rechazada)
            *rechazada = v.nombre;
        return false;
    };
    for (const Variable& v : variables) {
        if (v.nombre.isEmpty() || !sentencia.contains(v.nombre))
            continue;
        const bool deFuera = v.origen == Origen::Valor;
        const QStringView s(sentencia);
        bool incierto = false;
        const QList<Pieza> piezas = trocea(sentencia, modo, &incierto);
        if (deFuera && incierto)
            return rechaza(v);
        QString r;
        r.reserve(sentencia.size() + v.valor.size());
        for (qsizetype k = 0; k < piezas.size(); ++k) {
            const Pieza& p = piezas[k];
            const QStringView cuerpo = s.mid(p.inicio + p.abre, p.fin - p.cierra - p.inicio - p.abre);
            const QChar cierre = delimitador(p.tipo) == u'`' ? s.at(p.inicio) : delimitador(p.tipo);
            r += s.mid(p.inicio, p.abre);
            switch (p.tipo) {
            case Tramo::Comentario:
            case Tramo::Ejecutable:
                r += cuerpo;
                break;
            case Tramo::Codigo:
            case Tramo::Nombre: {
                if (deFuera && cuerpo.contains(v.nombre) && !esListaDeNumeros(v.valor))
                    return rechaza(v);
                const bool trasApertura = p.tipo == Tramo::Codigo && k > 0 && piezas[k - 1].tipo == Tramo::Ejecutable &&
                                          s.at(piezas[k - 1].inicio) == u'/';
                pega(r, cuerpo, p.tipo, cierre, modo, v.nombre, v.valor, trasApertura);
                break;
            }
            case Tramo::Comillas:
            case Tramo::ComillasDobles:
                // Without backslash escapes a literal has no way to hold a NUL.
                if (deFuera && !modo.barrasEscapan && cuerpo.contains(v.nombre) && v.valor.contains(QChar(0)))
                    return rechaza(v);
                pega(r, cuerpo, p.tipo, cierre, modo, v.nombre, deFuera ? escapa(v.valor, cierre, modo) : v.valor);
                break;
            }
            r += s.mid(p.fin - p.cierra, p.cierra);
        }
        sentencia = r;
    }
    return true;
}

} // namespace SentenciasRegla
