// Rule SQL on arbitrary bytes: the text before the first 0xFF byte is a rule author's SQL, the
// pieces after the next ones are values from outside for "$parametro1_accion", "$parametro1" and
// "$v" (decoded as Windows-1252), and the first byte of the fifth piece, when there is one, the
// server's mode: bit 0 NO_BACKSLASH_ESCAPES, bit 1 ANSI_QUOTES, bits 2-3 the server's version
// (unknown, 10.11.19, 5.5.0, 11.4.2). Each statement the author wrote takes the values, and then:
// - it is still one statement, and its code outside literals and comments (executable comments
//   that run are code) is the author's with only the numbers that went in unquoted: no value ever
//   leaves the literal it landed in;
// - a refusal names a value from outside that is not a number, or one with a NUL where backslashes
//   do not escape, or the statement's reading was uncertain;
// - in a '...' literal, and in a "..." one where it is a text, a value alone reads back, by the
//   server's escape rules in that mode, as given; where "..." is a name only a number goes in.
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
QString esqueleto(const QString& s, const Modo& modo) {
    QString r;
    for (const Pieza& p : trocea(s, modo)) {
        switch (p.tipo) {
        case Tramo::Codigo:
        case Tramo::Ejecutable:
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

// The text of a quoted literal's body as the server reads it in that mode.
QString lee(const QString& cuerpo, QChar comilla, const Modo& modo) {
    return LexicoSQL::valorLiteral(cuerpo, comilla, modo);
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
                              {QStringLiteral("$idTicket"), QStringLiteral("123456"), Origen::Regla}};
    Modo modo;
    if (trozos.size() > 4 && !trozos.at(4).isEmpty()) {
        const uint8_t b = uint8_t(trozos.at(4).at(0));
        static const qint32 versiones[] = {0, 101119, 50500, 110402};
        modo = {.barrasEscapan = !(b & 1), .comillasDoblesNombran = bool(b & 2), .version = versiones[(b >> 2) & 3]};
    }

    for (const QString& autor : divide(trozo(0), modo)) {
        if (divide(autor, modo) != QStringList{autor})
            falla("a statement of the split splits again");
        QString sentencia = autor;
        QString rechazada;
        if (!sustituye(sentencia, variables, &rechazada, modo)) {
            const auto v = std::find_if(variables.begin(), variables.end(),
                                        [&](const Variable& x) { return x.nombre == rechazada; });
            bool incierto = false;
            trocea(autor, modo, &incierto);
            if (v == variables.end() || v->origen != Origen::Valor ||
                (esListaDeNumeros(v->valor) && !incierto && !(v->valor.contains(QChar(0)))))
                falla("a refusal names no value from outside that is not a number");
            continue;
        }
        if (divide(sentencia, modo).size() != 1)
            falla("a value added or removed a statement");
        QString esperado = esqueleto(autor, modo);
        for (const Variable& v : variables)
            esperado.replace(v.nombre, v.valor);
        if (esqueleto(sentencia, modo).remove(u' ') != esperado.remove(u' '))
            falla("a value left its literal");
    }

    for (const Variable& v : variables.mid(0, 3)) {
        for (const QChar comilla : {QChar(u'\''), QChar(u'"')}) {
            QString s = QStringLiteral("select ") + comilla + v.nombre + comilla;
            const bool nombre = comilla == u'"' && modo.comillasDoblesNombran;
            const bool cabe = nombre ? esListaDeNumeros(v.valor) : modo.barrasEscapan || !v.valor.contains(QChar(0));
            if (sustituye(s, {v}, nullptr, modo) != cabe)
                falla("a quoted value is refused, or taken where it cannot be held");
            if (cabe && (!s.endsWith(comilla) || lee(s.mid(8, s.size() - 9), comilla, modo) != v.valor))
                falla("a quoted value does not read back as given");
        }
    }
    return 0;
}
