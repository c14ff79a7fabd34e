#include "core/LexicoSQL.h"

#include <QPair>
#include <QRegularExpression>

namespace LexicoSQL {

namespace {

// "--" opens a comment before a blank or a control character, DEL included (in utf8mb4 no byte of a
// character past ASCII is either). The server also takes a bare "--" at the end of what it is sent for
// an empty comment; here it is code, as it is when a ";" follows it in the text that a statement was
// cut from: either way nothing follows it, and a statement reads the same alone as in its text.
bool abreComentarioGuiones(const QString& s, qsizetype i) {
    return s.at(i) == u'-' && i + 2 < s.size() && s.at(i + 1) == u'-' &&
           (s.at(i + 2) <= u' ' || s.at(i + 2) == QChar(0x7F));
}

// Where a "#" or "--" comment from i ends: at the line feed, or at a NUL, which the server takes for
// the end of the comment (and then reads as code).
qsizetype finDeLinea(const QString& s, qsizetype i) {
    for (; i < s.size(); ++i)
        if (s.at(i) == u'\n' || s.at(i).isNull())
            return i;
    return s.size();
}

// One past the "*/" that closes a comment whose body starts at i; -1 when none does. A versioned comment
// the server skips may hold one comment inside it (`anidado`): its "*/" does not close the outer one.
qsizetype cierreComentario(const QString& s, qsizetype i, bool anidado) {
    const qsizetype n = s.size();
    while (i < n) {
        if (anidado && s.at(i) == u'/' && i + 1 < n && s.at(i + 1) == u'*') {
            i = cierreComentario(s, i + 2, false);
            if (i < 0)
                return -1;
        } else if (s.at(i) == u'*' && i + 1 < n && s.at(i + 1) == u'/') {
            return i + 2;
        } else {
            ++i;
        }
    }
    return -1;
}

// Whether a backslash escapes inside a stretch of that kind.
bool escapaBarra(Tramo tipo, const Modo& modo) {
    return modo.barrasEscapan && (tipo == Tramo::Comillas || tipo == Tramo::ComillasDobles);
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
        // MySQL's versions from 5.7 on (50700 to 99999, in five digits or six) are ones MariaDB does not
        // follow: it skips them unless the comment is its own ("/*M!").
        corre = version <= modo.version && (maria || version < 50700 || version > 99999);
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
            const qsizetype fin = finDeLinea(s, i);
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
            // A versioned comment the server skips (largo > 0 here) may hold one comment inside it.
            cierraCodigo(i);
            const qsizetype cierre = cierreComentario(s, i + std::max<qsizetype>(largo, 2), largo > 0);
            const qsizetype fin = cierre < 0 ? n : cierre;
            r.append({Tramo::Comentario, i, fin, 2, cierre < 0 ? 0 : 2});
            i = codigo = fin;
        } else {
            // A ";" inside an executable comment ends the statement for the server and not for us.
            if (c == u';' && enEjecutable)
                dudas = true;
            ++i;
        }
    }
    cierraCodigo(n);
    // A NUL anywhere: the connector may end the statement there, and the server reads one in code as a
    // syntax error (but at the very end), so what follows it is read by neither as here.
    if (incierto)
        *incierto = dudas || s.contains(QChar(0));
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
    // A ";" inside an executable comment does not end the statement: the next one would start inside
    // the comment, and alone the server would read it otherwise.
    bool enEjecutable = false;
    for (const Pieza& p : trocea(sql, modo)) {
        if (p.tipo == Tramo::Comentario)
            continue;
        if (p.tipo == Tramo::Ejecutable)
            enEjecutable = sql.at(p.inicio) == u'/';
        if (p.tipo != Tramo::Codigo) {
            hayCodigo = true;
            continue;
        }
        for (qsizetype i = p.inicio; i < p.fin; ++i) {
            if (sql.at(i) == u';' && !enEjecutable) {
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

QStringList palabras(const QString& sentencia, const Modo& modo) {
    QStringList r;
    for (const Pieza& p : trocea(sentencia, modo)) {
        if (p.tipo != Tramo::Codigo)
            continue;
        static const QRegularExpression palabra(QStringLiteral("[A-Za-z_][A-Za-z0-9_$]*"));
        for (const QRegularExpressionMatch& m : palabra.globalMatch(sentencia.mid(p.inicio, p.fin - p.inicio)))
            r << m.captured().toUpper();
    }
    return r;
}

QString valorLiteral(QStringView cuerpo, QChar comilla, const Modo& modo) {
    QString r;
    for (qsizetype i = 0; i < cuerpo.size(); ++i) {
        const QChar c = cuerpo.at(i);
        if (c == u'\\' && modo.barrasEscapan && i + 1 < cuerpo.size()) {
            const char16_t e = cuerpo.at(++i).unicode();
            if (e == u'%' || e == u'_')
                r += u'\\';
            r += e == u'0'   ? QChar(0)
                 : e == u'n' ? QChar(u'\n')
                 : e == u'r' ? QChar(u'\r')
                 : e == u't' ? QChar(u'\t')
                 : e == u'b' ? QChar(u'\b')
                 : e == u'Z' ? QChar(26)
                             : QChar(e);
        } else {
            r += c;
            if (c == comilla && i + 1 < cuerpo.size() && cuerpo.at(i + 1) == comilla)
                ++i;
        }
    }
    return r;
}

QString sinComentarios(const QString& sentencia, const Modo& modo) {
    QString r;
    for (const Pieza& p : trocea(sentencia, modo))
        r += p.tipo == Tramo::Comentario ? QStringLiteral(" ") : sentencia.mid(p.inicio, p.fin - p.inicio);
    return r;
}

} // namespace LexicoSQL
