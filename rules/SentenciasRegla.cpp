#include "rules/SentenciasRegla.h"

#include <QRegularExpression>
#include <vector>

namespace SentenciasRegla {

namespace {

// "--" opens a comment only before a blank or a control character. A bare "--" that ends the text
// is taken for code, as it is when a ";" follows it in the text that a statement was cut from.
bool abreComentarioGuiones(const QString& s, qsizetype i) {
    return s.at(i) == u'-' && i + 2 < s.size() && s.at(i + 1) == u'-' && s.at(i + 2) <= u' ';
}

// Length of the character unit at i of a stretch's body: a backslash escape or a doubled
// delimiter is one unit inside a literal (the name of a variable never starts or ends within one).
qsizetype unidad(QStringView cuerpo, qsizetype i, Tramo tipo) {
    if (tipo == Tramo::Codigo || tipo == Tramo::Comentario || i + 1 >= cuerpo.size())
        return 1;
    const QChar c = cuerpo.at(i);
    const QChar delimitador = tipo == Tramo::Comillas ? u'\'' : tipo == Tramo::ComillasDobles ? u'"' : u'`';
    if ((c == u'\\' && tipo != Tramo::Nombre) || (c == delimitador && cuerpo.at(i + 1) == delimitador))
        return 2;
    return 1;
}

// A value escaped for the literal it goes into: backslashes and NULs as escapes, the literal's own
// quote doubled (the other kind of quote is an ordinary character there).
QString escapa(const QString& valor, QChar comilla) {
    QString r;
    r.reserve(valor.size() + 8);
    for (const QChar c : valor) {
        if (c == u'\\')
            r += QLatin1String("\\\\");
        else if (c.isNull())
            r += QLatin1String("\\0");
        else if (c == comilla)
            r += QString(2, comilla);
        else
            r += c;
    }
    return r;
}

// Writes the body into r with every whole occurrence of the name replaced by the value.
void pega(QString& r, QStringView cuerpo, Tramo tipo, const QString& nombre, const QString& valor) {
    std::vector<bool> frontera(size_t(cuerpo.size()) + 1, false);
    for (qsizetype i = 0; i < cuerpo.size(); i += unidad(cuerpo, i, tipo))
        frontera[size_t(i)] = true;
    frontera[size_t(cuerpo.size())] = true;
    qsizetype i = 0;
    while (i < cuerpo.size()) {
        if (cuerpo.mid(i).startsWith(nombre) && frontera[size_t(i + nombre.size())]) {
            r += valor;
            i += nombre.size();
        } else {
            const qsizetype u = unidad(cuerpo, i, tipo);
            r += cuerpo.mid(i, u);
            i += u;
        }
    }
}

} // namespace

QList<Pieza> trocea(const QString& s) {
    QList<Pieza> r;
    const qsizetype n = s.size();
    qsizetype codigo = 0; // where the current run of code began
    const auto cierraCodigo = [&](qsizetype hasta) {
        if (hasta > codigo)
            r.append({Tramo::Codigo, codigo, hasta, 0, 0});
    };
    qsizetype i = 0;
    while (i < n) {
        const QChar c = s.at(i);
        if (c == u'\'' || c == u'"' || c == u'`') {
            cierraCodigo(i);
            const qsizetype inicio = i++;
            qsizetype cierra = 0;
            while (i < n) {
                const QChar d = s.at(i);
                if (d == u'\\' && c != u'`') {
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
            const Tramo tipo = c == u'\'' ? Tramo::Comillas : c == u'"' ? Tramo::ComillasDobles : Tramo::Nombre;
            r.append({tipo, inicio, i, 1, cierra});
            codigo = i;
        } else if (c == u'#' || abreComentarioGuiones(s, i)) {
            cierraCodigo(i);
            const qsizetype linea = s.indexOf(u'\n', i);
            const qsizetype fin = linea < 0 ? n : linea;
            r.append({Tramo::Comentario, i, fin, c == u'#' ? 1 : 2, 0});
            i = codigo = fin;
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
    return r;
}

QStringList divide(const QString& sql) {
    QStringList r;
    qsizetype desde = 0;
    bool hayCodigo = false;
    const auto corta = [&](qsizetype hasta) {
        if (hayCodigo)
            r << sql.mid(desde, hasta - desde);
        desde = hasta + 1;
        hayCodigo = false;
    };
    for (const Pieza& p : trocea(sql)) {
        if (p.tipo == Tramo::Comentario)
            continue;
        if (p.tipo != Tramo::Codigo) {
            hayCodigo = true;
            continue;
        }
        for (qsizetype i = p.inicio; i < p.fin; ++i) {
            if (sql.at(i) == u';')
                corta(i);
            else if (!sql.at(i).isSpace())
                hayCodigo = true;
        }
    }
    corta(sql.size());
    return r;
}

bool esListaDeNumeros(const QString& valor) {
    static const QRegularExpression lista(QStringLiteral("^ *-?[0-9]+(\\.[0-9]+)?( *, *-?[0-9]+(\\.[0-9]+)?)* *$"));
    return lista.match(valor).hasMatch();
}

bool sustituye(QString& sentencia, const Variables& variables, QString* rechazada) {
    for (const Variable& v : variables) {
        if (v.nombre.isEmpty() || !sentencia.contains(v.nombre))
            continue;
        const bool deFuera = v.origen == Origen::Valor;
        const QStringView s(sentencia);
        QString r;
        r.reserve(sentencia.size() + v.valor.size());
        for (const Pieza& p : trocea(sentencia)) {
            const QStringView cuerpo = s.mid(p.inicio + p.abre, p.fin - p.cierra - p.inicio - p.abre);
            r += s.mid(p.inicio, p.abre);
            switch (p.tipo) {
            case Tramo::Comentario:
                r += cuerpo;
                break;
            case Tramo::Codigo:
            case Tramo::Nombre:
                if (deFuera && cuerpo.contains(v.nombre) && !esListaDeNumeros(v.valor)) {
                    if (rechazada)
                        *rechazada = v.nombre;
                    return false;
                }
                pega(r, cuerpo, p.tipo, v.nombre, v.valor);
                break;
            case Tramo::Comillas:
            case Tramo::ComillasDobles: {
                const QChar comilla = p.tipo == Tramo::Comillas ? u'\'' : u'"';
                pega(r, cuerpo, p.tipo, v.nombre, deFuera ? escapa(v.valor, comilla) : v.valor);
                break;
            }
            }
            r += s.mid(p.fin - p.cierra, p.cierra);
        }
        sentencia = r;
    }
    return true;
}

} // namespace SentenciasRegla
