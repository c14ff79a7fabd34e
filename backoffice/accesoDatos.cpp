#include "backoffice/accesoDatos.h"

#include "backoffice/DRDatos.h"
#include "core/basGeneral.h"
#include "platform/VBError.h"

#include <QRegularExpression>

namespace {

QString identificador(const QString& nombre) {
    QString n = nombre;
    n.replace(QLatin1Char('`'), QLatin1String("``"));
    return QLatin1Char('`') + n + QLatin1Char('`');
}

// The server's note that a syntax is deprecated (VALUES() on newer MySQL): about the statement, not a value.
constexpr int kAvisoObsoleto = 1287;

bool esTipoTexto(const QString& tipo) {
    const QString t = tipo.toLower();
    return t.contains(QLatin1String("char")) || t.contains(QLatin1String("text")) || t == QLatin1String("enum") ||
           t == QLatin1String("set");
}

} // namespace

bool accesoDatos::tablaProtegida(const QString& nombre) {
    return nombre.compare(QLatin1String("configtpv"), Qt::CaseInsensitive) == 0 ||
           nombre.compare(QLatin1String("qm_log"), Qt::CaseInsensitive) == 0;
}

TablaDatosPtr accesoDatos::getTabla(const QString& nombre) const {
    if (!m_cn)
        vb::Raise(vb::err::ObjectNotSet);
    if (tablaProtegida(nombre.trimmed())) {
        GrabaLog(QStringLiteral("accesoDatos: no se importan datos en la tabla ") + nombre);
        return nullptr;
    }
    ado::RecordsetPtr rs = m_cn->OpenRecordset(
        QStringLiteral("select table_name, column_name, column_key, data_type, is_nullable, "
                       "coalesce(numeric_scale, datetime_precision, 0) "
                       "from information_schema.columns where table_schema = database() and table_name = ? "
                       "order by ordinal_position"),
        {Variant(nombre.trimmed())});
    QString real;
    std::vector<tablaDatos::Columna> columnas;
    for (; !rs->isEOF(); rs->MoveNext()) {
        real = rs->Fields(0).Value.toString();
        columnas.push_back({rs->Fields(1).Value.toString(), rs->Fields(2).Value.toString() == QLatin1String("PRI"),
                            esTipoTexto(rs->Fields(3).Value.toString()),
                            rs->Fields(4).Value.toString() == QLatin1String("YES"),
                            rs->Fields(3).Value.toString().toLower(), rs->Fields(5).Value.toInt()});
    }
    if (columnas.empty() || tablaProtegida(real))
        return nullptr;
    // A table whose engine has no transactions keeps what a failed reply wrote before it failed.
    ado::RecordsetPtr motor = m_cn->OpenRecordset(
        QStringLiteral("select coalesce(e.transactions, 'NO') from information_schema.tables t left join "
                       "information_schema.engines e on e.engine = t.engine "
                       "where t.table_schema = database() and t.table_name = ?"),
        {Variant(real)});
    if (motor->isEOF() || motor->Fields(0).Value.toString() != QLatin1String("YES"))
        vb::Raise(vb::err::AdoUnknownObject,
                  QStringLiteral("La tabla %1 no admite transacciones: no se importan datos en ella").arg(real));
    return std::make_shared<tablaDatos>(m_cn, real, std::move(columnas));
}

bool tablaDatos::cabeTalCual(const Columna& c, const QString& valor) {
    static const QRegularExpression entero(QStringLiteral("^[+-]?[0-9]+$"));
    static const QRegularExpression decimal(QStringLiteral("^[+-]?([0-9]+)?(?:\\.([0-9]*))?$"));
    static const QRegularExpression fraccion(QStringLiteral("[0-9]:[0-9]{1,2}\\.([0-9]+)\\s*$"));
    static const QStringList enteros = {QStringLiteral("tinyint"), QStringLiteral("smallint"),
                                        QStringLiteral("mediumint"), QStringLiteral("int"), QStringLiteral("bigint")};
    // Digits past the first `guarda` that are not all zeros.
    const auto pierde = [](const QString& digitos, int guarda) {
        for (qsizetype i = guarda; i < digitos.size(); ++i)
            if (digitos.at(i) != u'0')
                return true;
        return false;
    };
    if (enteros.contains(c.tipo))
        return entero.match(valor).hasMatch();
    if (c.tipo == QLatin1String("year"))
        return valor.size() == 4 && entero.match(valor).hasMatch();
    if (c.tipo == QLatin1String("decimal") || c.tipo == QLatin1String("numeric")) {
        const QRegularExpressionMatch m = decimal.match(valor);
        return m.hasMatch() && !(m.captured(1).isEmpty() && m.captured(2).isEmpty()) &&
               !pierde(m.captured(2), c.escala);
    }
    if (c.tipo == QLatin1String("time") || c.tipo == QLatin1String("datetime") ||
        c.tipo == QLatin1String("timestamp")) {
        const QRegularExpressionMatch m = fraccion.match(valor);
        return !m.hasMatch() || !pierde(m.captured(1), c.escala);
    }
    return true; // texts, dates and the rest: what the server changes, it says (SHOW WARNINGS)
}

const tablaDatos::Columna* tablaDatos::columna(const QString& nombre) const {
    for (const Columna& c : m_columnas) {
        if (c.nombre.compare(nombre, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

DatosTablaPtr tablaDatos::ImportarTexto(const QString& texto, const QString& separador) const {
    auto datos = std::make_shared<datosTabla>();
    QStringList lineas = lineasDeTexto(texto);
    lineas.removeIf([](const QString& l) { return l.trimmed().isEmpty(); });
    if (lineas.isEmpty())
        return datos;
    const QStringList cabecera = camposDeLinea(lineas.takeFirst(), separador);
    QList<int> posiciones; // field position of each accepted column
    for (int i = 0; i < cabecera.size(); ++i) {
        const Columna* c = columna(cabecera[i].trimmed());
        if (!c || datos->columnas.contains(c->nombre)) {
            GrabaLog(QStringLiteral("accesoDatos: la tabla %1 no admite la columna [%2]; se descarta")
                         .arg(m_nombre, cabecera[i]));
            continue;
        }
        datos->columnas << c->nombre;
        posiciones << i;
    }
    // A header that names none of the table's columns would import nothing and be taken for a success.
    if (datos->columnas.isEmpty())
        vb::Raise(vb::err::AdoUnknownObject,
                  QStringLiteral("La cabecera de la tabla %1 no nombra ninguna de sus columnas: %2")
                      .arg(m_nombre, cabecera.join(separador)));
    int numero = 1;
    for (const QString& linea : std::as_const(lineas)) {
        ++numero;
        const QStringList campos = camposDeLinea(linea, separador);
        if (campos.size() != cabecera.size())
            vb::Raise(vb::err::SubscriptOutOfRange,
                      QStringLiteral("La fila %1 de la tabla %2 tiene %3 campos y la cabecera %4")
                          .arg(numero)
                          .arg(m_nombre)
                          .arg(campos.size())
                          .arg(cabecera.size()));
        QStringList fila;
        for (int p : std::as_const(posiciones))
            fila << campos[p];
        datos->filas.push_back(fila);
    }
    return datos;
}

qint32 tablaDatos::Sincronizar(const datosTabla& datos) const {
    if (datos.columnas.isEmpty() || datos.filas.empty())
        return 0;
    QStringList nombres, marcas, cambios;
    std::vector<const Columna*> columnas;
    for (const QString& n : datos.columnas) {
        const Columna* c = columna(n);
        if (!c)
            vb::Raise(vb::err::AdoUnknownObject, QStringLiteral("Unknown column '%1' in '%2'").arg(n, m_nombre));
        columnas.push_back(c);
        nombres << identificador(c->nombre);
        marcas << QStringLiteral("?");
        if (!c->clave)
            cambios << identificador(c->nombre) + QStringLiteral(" = values(") + identificador(c->nombre) +
                           QLatin1Char(')');
    }
    if (cambios.isEmpty()) // every column is part of the key: an existing row stays as it is
        cambios << nombres.first() + QStringLiteral(" = ") + nombres.first();
    const QString sql = QStringLiteral("insert into ") + identificador(m_nombre) + QStringLiteral(" (") +
                        nombres.join(QLatin1String(", ")) + QStringLiteral(") values (") +
                        marcas.join(QLatin1String(", ")) + QStringLiteral(") on duplicate key update ") +
                        cambios.join(QLatin1String(", "));
    qint32 filas = 0;
    for (const QStringList& fila : datos.filas) {
        QList<Variant> valores;
        ++filas;
        // The row counts as the text's line: the header is line 1.
        const QString donde = QStringLiteral("Tabla %1, fila %2: ").arg(m_nombre).arg(filas + 1);
        for (size_t i = 0; i < columnas.size(); ++i) {
            const QString& v = fila[qsizetype(i)];
            const bool nulo = v.isEmpty() && !columnas[i]->texto && columnas[i]->nulable;
            if (!nulo && !v.isEmpty() && !cabeTalCual(*columnas[i], v))
                vb::Raise(vb::err::AdoTruncation, donde + QStringLiteral("la columna %1 (%2) no guarda '%3' tal cual")
                                                              .arg(columnas[i]->nombre, columnas[i]->tipo, v));
            valores << (nulo ? vb::Null() : Variant(v));
        }
        try {
            m_cn->Execute(sql, nullptr, valores);
        } catch (const VBError& e) {
            if (m_cn->State() != ado::adStateOpen)
                throw; // a lost link is reported as it came
            throw VBError(e.number(), donde + e.description(), e.source());
        }
        // A server that is not in a strict mode stores such a value altered and only warns (a number
        // cut at a comma, a date out of range as zero, a decimal rounded): the row is not as sent.
        ado::RecordsetPtr avisos = m_cn->Execute(QStringLiteral("show warnings"));
        for (; !avisos->isEOF(); avisos->MoveNext()) {
            if (avisos->Fields(1).Value.toInt() == kAvisoObsoleto)
                continue;
            vb::Raise(vb::err::AdoTruncation, donde + avisos->Fields(2).Value.toString());
        }
    }
    return filas;
}
