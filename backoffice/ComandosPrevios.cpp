#include "backoffice/ComandosPrevios.h"

#include "core/LexicoSQL.h"
#include "platform/VBError.h"

#include <QRegularExpression>
#include <QSet>
#include <utility>

namespace ComandosPrevios {

namespace {

using LexicoSQL::Pieza;
using LexicoSQL::Tramo;

// A token of a statement's code: a word, a name as the server reads it (its quotes gone), one
// character of punctuation, or a literal (empty text).
struct Token {
    QString texto;
    bool nombre = false;
    bool literal = false;
};

QList<Token> tokens(const QString& s, bool* incierto = nullptr) {
    QList<Token> r;
    static const QRegularExpression token(QStringLiteral("[A-Za-z0-9_$\\x{80}-\\x{10FFFF}]+|\\S"));
    for (const Pieza& p : LexicoSQL::trocea(s, {}, incierto)) {
        const QString t = s.mid(p.inicio, p.fin - p.inicio);
        if (p.tipo == Tramo::Codigo) {
            for (const QRegularExpressionMatch& m : token.globalMatch(t))
                r << Token{m.captured(), false, false};
        } else if (p.tipo == Tramo::Nombre) {
            const QChar q = t.at(0);
            r << Token{t.mid(1, t.size() - 1 - p.cierra).replace(QString(2, q), QString(q)), true, false};
        } else if (p.tipo == Tramo::Comillas || p.tipo == Tramo::ComillasDobles) {
            r << Token{{}, false, true};
        }
    }
    return r;
}

bool es(const QList<Token>& t, qsizetype i, const char* palabra) {
    return i < t.size() && !t[i].nombre && !t[i].literal &&
           t[i].texto.compare(QLatin1String(palabra), Qt::CaseInsensitive) == 0;
}

bool esNombre(const QList<Token>& t, qsizetype i) {
    static const QRegularExpression palabra(QStringLiteral("^[A-Za-z0-9_$\\x{80}-\\x{10FFFF}]+$"));
    return i < t.size() && !t[i].literal && (t[i].nombre || palabra.match(t[i].texto).hasMatch());
}

QString identificador(const QString& nombre) {
    return QLatin1Char('`') + QString(nombre).replace(QLatin1Char('`'), QLatin1String("``")) + QLatin1Char('`');
}

[[noreturn]] void rechaza(const QString& sentencia, const QString& motivo) {
    vb::Raise(vb::err::AdoSyntaxError, QStringLiteral("Comando previo a la importación no admitido (") + motivo +
                                           QStringLiteral("): ") + sentencia.trimmed());
}

const QString kTermina = QStringLiteral("terminaría la transacción");

// A table's schema and name, as the server compares them (ignoring case here: never fewer than it finds).
using Tabla = QPair<QString, QString>;

// The tables a text may name: each name in the default schema, and each "a.b" as table b of schema a.
QList<Tabla> candidatas(const QList<Token>& t, const QString& esquema) {
    QList<Tabla> r;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (!esNombre(t, i))
            continue;
        r << Tabla{esquema, t[i].texto};
        if (i + 2 < t.size() && t[i + 1].texto == QLatin1String(".") && !t[i + 1].nombre && esNombre(t, i + 2))
            r << Tabla{t[i].texto, t[i + 2].texto};
    }
    return r;
}

// Rows of `consulta` whose (schema, name) pair is one of `tablas`: "%1" stands for the pair's columns.
ado::RecordsetPtr busca(ado::Connection& cn, const QString& consulta, const QString& columnas,
                        const QList<Tabla>& tablas) {
    QStringList marcas;
    QList<Variant> valores;
    for (const Tabla& t : tablas) {
        marcas << QStringLiteral("(?, ?)");
        valores << Variant(t.first) << Variant(t.second);
    }
    return cn.Execute(consulta.arg(QStringLiteral("(%1) in (%2)").arg(columnas, marcas.join(QLatin1String(", ")))),
                      nullptr, valores);
}

// The first table without transactions among `tablas` and those named by the views, triggers and
// stored routines they reach, until nothing new is reached; "" when there is none.
QString alcanzaSinTransacciones(QList<Tabla> pendientes, ado::Connection& cn) {
    QSet<QString> vistas;
    const auto clave = [](const Tabla& x) { return x.first.toLower() + QLatin1Char('.') + x.second.toLower(); };
    while (!pendientes.isEmpty()) {
        QList<Tabla> nuevas;
        for (const Tabla& x : std::as_const(pendientes)) {
            if (!vistas.contains(clave(x))) {
                vistas.insert(clave(x));
                nuevas << x;
            }
        }
        pendientes.clear();
        if (nuevas.isEmpty())
            break;
        const auto anade = [&](const QString& definicion, const QString& enEsquema) {
            pendientes += candidatas(tokens(definicion), enEsquema);
        };
        for (ado::RecordsetPtr rs =
                 busca(cn,
                       QStringLiteral("select t.table_schema, t.table_name, t.table_type, "
                                      "coalesce(e.transactions, 'NO'), coalesce(v.view_definition, '') "
                                      "from information_schema.tables t left join "
                                      "information_schema.engines e on e.engine = t.engine left join "
                                      "information_schema.views v on v.table_schema = t.table_schema "
                                      "and v.table_name = t.table_name where %1"),
                       QStringLiteral("t.table_schema, t.table_name"), nuevas);
             !rs->isEOF(); rs->MoveNext()) {
            const QString nombre = rs->Fields(0).Value.toString() + u'.' + rs->Fields(1).Value.toString();
            if (rs->Fields(2).Value.toString() == QLatin1String("VIEW"))
                anade(rs->Fields(4).Value.toString(), rs->Fields(0).Value.toString());
            else if (rs->Fields(3).Value.toString() != QLatin1String("YES"))
                return nombre;
        }
        // The triggers on the new tables and the routines named like them: each one's schema and text.
        const std::pair<const char*, const char*> definiciones[] = {
            {"select event_object_schema, action_statement from information_schema.triggers where %1",
             "event_object_schema, event_object_table"},
            {"select routine_schema, coalesce(routine_definition, '') from information_schema.routines where %1",
             "routine_schema, routine_name"},
        };
        for (const auto& [consulta, columnas] : definiciones)
            for (ado::RecordsetPtr rs = busca(cn, QString::fromLatin1(consulta), QString::fromLatin1(columnas), nuevas);
                 !rs->isEOF(); rs->MoveNext())
                anade(rs->Fields(1).Value.toString(), rs->Fields(0).Value.toString());
    }
    return {};
}

// Refuses the statement when a table it may change, directly or not, has no transactions.
void compruebaTablas(const QString& sentencia, const QList<Token>& t, ado::Connection& cn, const QString& esquema) {
    if (const QString tabla = alcanzaSinTransacciones(candidatas(t, esquema), cn); !tabla.isEmpty())
        rechaza(sentencia, QStringLiteral("la tabla %1 no admite transacciones").arg(tabla));
}

// The table named at t[i] ("t" or "schema.t"): its schema and name, the name written for the server,
// and where the tokens after it begin. Raises with `que` as the reason when no name is there.
struct TablaNombrada {
    Tabla tabla;
    QString escrito;
    qsizetype despues;
};
TablaNombrada tablaEn(const QString& sentencia, const QList<Token>& t, qsizetype i, const QString& esquema,
                      const QString& que) {
    if (!esNombre(t, i))
        rechaza(sentencia, QStringLiteral("no se lee como un ") + que);
    TablaNombrada r{{esquema, t[i].texto}, identificador(t[i].texto), i + 1};
    if (i + 2 < t.size() && t[i + 1].texto == QLatin1String(".") && esNombre(t, i + 2)) {
        r.tabla = {t[i].texto, t[i + 2].texto};
        r.escrito += u'.' + identificador(t[i + 2].texto);
        r.despues = i + 3;
    }
    return r;
}

// TRUNCATE [TABLE] t [WAIT n | NOWAIT], as the server reads it, run as a DELETE of every row.
Comando truncate(const QString& sentencia, const QList<Token>& t, ado::Connection& cn, const QString& esquema) {
    const auto [tabla, destino, despues] =
        tablaEn(sentencia, t, es(t, 1, "TABLE") ? 2 : 1, esquema, QStringLiteral("TRUNCATE"));
    const qsizetype i = despues;
    QString espera;
    static const QRegularExpression numero(QStringLiteral("^[0-9]+$"));
    if (es(t, i, "WAIT") && i + 2 == t.size() && numero.match(t[i + 1].texto).hasMatch())
        espera = t[i + 1].texto;
    else if (es(t, i, "NOWAIT") && i + 1 == t.size())
        espera = QStringLiteral("0");
    else if (i != t.size())
        rechaza(sentencia, QStringLiteral("no se lee como un TRUNCATE"));
    // A real TRUNCATE of a table another table's foreign key references fails (1701); a DELETE would
    // follow the key's ON DELETE CASCADE into that other table.
    ado::RecordsetPtr rs = cn.Execute(
        QStringLiteral(
            "select concat(constraint_schema, '.', table_name) from information_schema.referential_constraints "
            "where unique_constraint_schema = ? and referenced_table_name = ? and "
            "not (constraint_schema = unique_constraint_schema and table_name = referenced_table_name)"),
        nullptr, {Variant(tabla.first), Variant(tabla.second)});
    if (!rs->isEOF())
        rechaza(sentencia, QStringLiteral("la tabla %1 está referenciada por una clave ajena de %2: el servidor no "
                                          "la vaciaría con TRUNCATE (error 1701)")
                               .arg(tabla.first + u'.' + tabla.second, rs->Fields(0).Value.toString()));
    compruebaTablas(sentencia, t, cn, esquema);
    const QString borra = QStringLiteral("delete from ") + destino;
    // WAIT and NOWAIT bound the statement's waits for locks, as they bound the TRUNCATE's.
    return {
        espera.isEmpty()
            ? borra
            : QStringLiteral("set statement lock_wait_timeout = %1, innodb_lock_wait_timeout = %1 for ").arg(espera) +
                  borra,
        {}};
}

// SET of user variables only: a setting of the session (NAMES, sql_mode, FOREIGN_KEY_CHECKS...) would
// change how the statements after it, the import's among them, are read or checked.
void compruebaSet(const QString& sentencia, const QList<Token>& t) {
    int nivel = 0;
    bool destino = true;
    for (qsizetype i = 1; i < t.size(); ++i) {
        const QString& x = t[i].texto;
        if (!t[i].nombre && !t[i].literal) {
            nivel += x == QLatin1String("(") ? 1 : x == QLatin1String(")") ? -1 : 0;
            if (nivel == 0 && x == QLatin1String(",")) {
                destino = true;
                continue;
            }
        }
        if (!destino)
            continue;
        destino = false;
        if (x == QLatin1String("@") && !t[i].nombre && !(i + 1 < t.size() && t[i + 1].texto == QLatin1String("@")))
            continue; // a user variable
        for (qsizetype k = i; k < t.size() && k < i + 6; ++k)
            if (es(t, k, "AUTOCOMMIT"))
                rechaza(sentencia, kTermina);
        rechaza(sentencia, QStringLiteral("cambiaría cómo se leen o comprueban las sentencias siguientes"));
    }
}

// CREATE or DROP of a temporary table; any other ends the transaction.
Comando temporal(const QString& sentencia, const QList<Token>& t, ado::Connection& cn, const QString& esquema) {
    const bool crea = es(t, 0, "CREATE");
    qsizetype i = crea && es(t, 1, "OR") && es(t, 2, "REPLACE") ? 3 : 1;
    if (!es(t, i, "TEMPORARY") || !es(t, i + 1, "TABLE"))
        rechaza(sentencia, kTermina);
    if (!crea)
        return {sentencia, {}};
    i += 2;
    if (es(t, i, "IF") && es(t, i + 1, "NOT") && es(t, i + 2, "EXISTS"))
        i += 3;
    const auto [tabla, nombre, despues] = tablaEn(sentencia, t, i, esquema, QStringLiteral("CREATE TEMPORARY TABLE"));
    // Until it is dropped, a temporary table hides the table of its name from every later statement of
    // the connection, the import's among them.
    if (!cn.Execute(QStringLiteral("select 1 from information_schema.tables where table_schema = ? and table_name = ?"),
                    nullptr, {Variant(tabla.first), Variant(tabla.second)})
             ->isEOF())
        rechaza(sentencia,
                QStringLiteral("la tabla temporal ocultaría la tabla %1").arg(tabla.first + u'.' + tabla.second));
    compruebaTablas(sentencia, t.mid(despues), cn, esquema);
    return {sentencia, QStringLiteral("drop temporary table if exists ") + nombre};
}

Comando comando(const QString& sentencia, ado::Connection& cn, const QString& esquema) {
    bool incierto = false;
    const QList<Token> t = tokens(sentencia, &incierto);
    if (incierto)
        rechaza(sentencia, QStringLiteral("no se lee con certeza: un comentario ejecutable o un carácter nulo"));
    const QString primera = t.isEmpty() || t[0].nombre || t[0].literal ? QString() : t[0].texto.toUpper();
    if (primera == QLatin1String("INSERT") || primera == QLatin1String("REPLACE") ||
        primera == QLatin1String("UPDATE") || primera == QLatin1String("DELETE")) {
        compruebaTablas(sentencia, t, cn, esquema);
        return {sentencia, {}};
    }
    if (primera == QLatin1String("SELECT") || primera == QLatin1String("SET")) {
        for (qsizetype i = 0; i < t.size(); ++i)
            if (es(t, i, "OUTFILE") || es(t, i, "DUMPFILE"))
                rechaza(sentencia, QStringLiteral("escribiría un archivo que la transacción no deshace"));
            else if (es(t, i, "GET_LOCK"))
                rechaza(sentencia, QStringLiteral("tomaría un bloqueo que dura más que la transacción"));
        if (primera == QLatin1String("SET"))
            compruebaSet(sentencia, t);
        compruebaTablas(sentencia, t, cn, esquema);
        return {sentencia, {}};
    }
    if (primera == QLatin1String("TRUNCATE"))
        return truncate(sentencia, t, cn, esquema);
    if (primera == QLatin1String("CREATE") || primera == QLatin1String("DROP"))
        return temporal(sentencia, t, cn, esquema);
    // Statements that commit on their own (or end the transaction otherwise).
    static const QStringList terminan = {
        QStringLiteral("COMMIT"),  QStringLiteral("ROLLBACK"), QStringLiteral("BEGIN"),   QStringLiteral("START"),
        QStringLiteral("XA"),      QStringLiteral("ALTER"),    QStringLiteral("RENAME"),  QStringLiteral("LOCK"),
        QStringLiteral("UNLOCK"),  QStringLiteral("GRANT"),    QStringLiteral("REVOKE"),  QStringLiteral("FLUSH"),
        QStringLiteral("ANALYZE"), QStringLiteral("OPTIMIZE"), QStringLiteral("REPAIR"),  QStringLiteral("CHECK"),
        QStringLiteral("CACHE"),   QStringLiteral("RESET"),    QStringLiteral("INSTALL"), QStringLiteral("UNINSTALL")};
    if (terminan.contains(primera))
        rechaza(sentencia, kTermina);
    rechaza(sentencia, QStringLiteral("no es una de las sentencias que se admiten antes de importar"));
}

} // namespace

void compruebaImportacion(const QString& tabla, ado::Connection& cn) {
    const QString esquema = cn.Execute(QStringLiteral("select coalesce(database(), '')"))->Fields(0).Value.toString();
    const QString otra = alcanzaSinTransacciones({Tabla{esquema, tabla}}, cn);
    if (!otra.isEmpty())
        vb::Raise(vb::err::AdoUnknownObject, QStringLiteral("La tabla %1 lleva a la tabla %2, que no admite "
                                                            "transacciones: no se importan datos en ella")
                                                 .arg(tabla, otra));
}

QList<Comando> prepara(const QStringList& textos, ado::Connection& cn) {
    QList<Comando> r;
    QString esquema;
    for (const QString& texto : textos) {
        for (const QString& sentencia : LexicoSQL::divide(texto)) {
            if (esquema.isNull())
                esquema = cn.Execute(QStringLiteral("select coalesce(database(), '')"))->Fields(0).Value.toString();
            r << comando(sentencia, cn, esquema);
        }
    }
    return r;
}

} // namespace ComandosPrevios
