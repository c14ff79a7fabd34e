// Rule SQL on arbitrary bytes: the text before the first 0xFF byte is a rule author's SQL, the
// pieces after the next ones are values from outside for "$parametro1_accion", "$parametro1" and
// "$v" (decoded as Windows-1252). Each statement the author wrote takes the values, and then:
// - it is still one statement, and its code outside literals and comments is the author's with
//   only the numbers that went in unquoted: no value ever leaves the literal it landed in;
// - a refusal names a value from outside that is not a number;
// - in a '...' or "..." literal alone a value reads back, by the server's escape rules, as given.
#include "platform/Cp1252.h"
#include "rules/SentenciasRegla.h"

#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace SentenciasRegla;

namespace {

// The statement's code with every literal and name as a mark and every comment as a blank.
QString esqueleto(const QString& s) {
    QString r;
    for (const Pieza& p : trocea(s)) {
        switch (p.tipo) {
        case Tramo::Codigo:
            r += s.mid(p.inicio, p.fin - p.inicio);
            break;
        case Tramo::Comentario:
            r += u' ';
            break;
        default:
            r += QStringLiteral("<%1%2>").arg(s.at(p.inicio)).arg(p.cierra);
        }
    }
    return r;
}

// The text of a quoted literal's body as the server reads it (backslash escapes on).
QString lee(const QString& cuerpo, QChar comilla) {
    QString r;
    for (qsizetype i = 0; i < cuerpo.size(); ++i) {
        const QChar c = cuerpo.at(i);
        if (c == u'\\' && i + 1 < cuerpo.size()) {
            const QChar e = cuerpo.at(++i);
            const char16_t k = e.unicode();
            r += k == u'0'   ? QChar(0)
                 : k == u'n' ? QChar(u'\n')
                 : k == u'r' ? QChar(u'\r')
                 : k == u't' ? QChar(u'\t')
                 : k == u'b' ? QChar(u'\b')
                 : k == u'Z' ? QChar(26)
                             : e;
            if (k == u'%' || k == u'_')
                r.insert(r.size() - 1, u'\\');
        } else if (c == comilla && i + 1 < cuerpo.size() && cuerpo.at(i + 1) == comilla) {
            r += c;
            ++i;
        } else {
            r += c;
        }
    }
    return r;
}

[[noreturn]] void falla(const char* que) {
    fprintf(stderr, "fuzz_reglas: %s\n", que);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QList<QByteArray> trozos =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)).split('\xff');
    const auto trozo = [&](int i) { return i < trozos.size() ? cp1252::decode(trozos.at(i)) : QString(); };
    const Variables variables{{QStringLiteral("$parametro1_accion"), trozo(1), Origen::Valor},
                              {QStringLiteral("$parametro1"), trozo(2), Origen::Valor},
                              {QStringLiteral("$v"), trozo(3), Origen::Valor},
                              {QStringLiteral("$idTicket"), QStringLiteral("1234"), Origen::Regla}};

    for (const QString& autor : divide(trozo(0))) {
        if (divide(autor) != QStringList{autor})
            falla("a statement of the split splits again");
        QString sentencia = autor;
        QString rechazada;
        if (!sustituye(sentencia, variables, &rechazada)) {
            const auto v = std::find_if(variables.begin(), variables.end(),
                                        [&](const Variable& x) { return x.nombre == rechazada; });
            if (v == variables.end() || v->origen != Origen::Valor || esListaDeNumeros(v->valor))
                falla("a refusal names no value from outside that is not a number");
            continue;
        }
        if (divide(sentencia).size() != 1)
            falla("a value added or removed a statement");
        QString esperado = esqueleto(autor);
        for (const Variable& v : variables)
            esperado.replace(v.nombre, v.valor);
        if (esqueleto(sentencia) != esperado)
            falla("a value left its literal");
    }

    for (const Variable& v : variables.mid(0, 3)) {
        for (const QChar comilla : {QChar(u'\''), QChar(u'"')}) {
            QString s = QStringLiteral("select ") + comilla + v.nombre + comilla;
            if (!sustituye(s, {v}) || !s.endsWith(comilla) || lee(s.mid(8, s.size() - 9), comilla) != v.valor)
                falla("a quoted value does not read back as given");
        }
    }
    return 0;
}
