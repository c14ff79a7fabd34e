#include "rules/SentenciasRegla.h"

#include <QPair>
#include <QRegularExpression>
#include <vector>

namespace SentenciasRegla {

namespace {

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

} // namespace

bool esListaDeNumeros(const QString& valor) {
    static const QRegularExpression lista(QStringLiteral("^ *-?[0-9]+(\\.[0-9]+)?( *, *-?[0-9]+(\\.[0-9]+)?)* *$"));
    return lista.match(valor).hasMatch();
}

QString textoRechazo(Rechazo motivo) {
    switch (motivo) {
    case Rechazo::SinComillas:
        return QStringLiteral("va sin comillas y su valor no es un número");
    case Rechazo::Incierta:
        return QStringLiteral("va en una sentencia cuyo comentario ejecutable o carácter nulo el servidor puede "
                              "leer de otro modo");
    case Rechazo::NulSinBarras:
        return QStringLiteral("lleva un carácter nulo y el literal no admite escapes");
    }
    return {};
}

bool sustituye(QString& sentencia, const Variables& variables, QString* rechazada, const Modo& modo, Rechazo* motivo) {
    const auto rechaza = [&](const Variable& v, Rechazo por) {
        if (rechazada)
            *rechazada = v.nombre;
        if (motivo)
            *motivo = por;
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
            return rechaza(v, Rechazo::Incierta);
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
                    return rechaza(v, Rechazo::SinComillas);
                const bool trasApertura = p.tipo == Tramo::Codigo && k > 0 && piezas[k - 1].tipo == Tramo::Ejecutable &&
                                          s.at(piezas[k - 1].inicio) == u'/';
                pega(r, cuerpo, p.tipo, cierre, modo, v.nombre, v.valor, trasApertura);
                break;
            }
            case Tramo::Comillas:
            case Tramo::ComillasDobles:
                // Without backslash escapes a literal has no way to hold a NUL.
                if (deFuera && !modo.barrasEscapan && cuerpo.contains(v.nombre) && v.valor.contains(QChar(0)))
                    return rechaza(v, Rechazo::NulSinBarras);
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
