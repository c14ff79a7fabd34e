#pragma once
// The data library's data-access object over one database connection: tables of the connected
// database by name, and the import of a table's rows as the back-office server sends them.
//
// A table's text is one line per row, fields split by a separator; its first line names the
// columns. Rows are written with INSERT ... ON DUPLICATE KEY UPDATE (an upsert by primary key),
// values bound. The caller decides the transaction (the window takes one per reply).
#include "platform/Ado.h"
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// The rows of a table's text, kept as texts, with the columns they fill.
struct datosTabla {
    QStringList columnas;           // the table's own spelling, in the text's order
    std::vector<QStringList> filas; // one text per column above
};
using DatosTablaPtr = std::shared_ptr<datosTabla>;

class tablaDatos final {
public:
    struct Columna {
        QString nombre;
        bool clave = false;   // part of the primary key
        bool texto = false;   // a character or text type: an empty field stays ''
        bool nulable = false; // an empty field of another type is written as NULL
        QString tipo;         // the server's data type, lower case ("int", "decimal", "datetime", ...)
        int escala = 0;       // decimals of a decimal; digits of a second's fraction of a time type
    };
    // Whether the column keeps the text as sent: a number of a whole-number type has no fraction, one
    // of a decimal no more decimals than it keeps, a time no finer fraction of a second, a year four
    // digits. A value the server would change without a word (rounding 8.7 to 9, dropping a
    // fraction) does not.
    static bool cabeTalCual(const Columna& c, const QString& valor);
    tablaDatos(ado::Connection* conexion, QString nombre, std::vector<Columna> columnas)
        : m_cn(conexion), m_nombre(std::move(nombre)), m_columnas(std::move(columnas)) {}
    const QString& Nombre() const { return m_nombre; }
    const std::vector<Columna>& Columnas() const { return m_columnas; }

    // Reads the text. A column the table lacks (or a repeated one) is left out, with a log line; a
    // header that names none of the table's columns raises; a row whose field count differs from the
    // first line's raises 9.
    DatosTablaPtr ImportarTexto(const QString& texto, const QString& separador) const;
    // Writes every row; answers the number of rows sent. Errors are raised to the caller.
    qint32 Sincronizar(const datosTabla& datos) const;

private:
    const Columna* columna(const QString& nombre) const;
    ado::Connection* m_cn;
    QString m_nombre;
    std::vector<Columna> m_columnas;
};
using TablaDatosPtr = std::shared_ptr<tablaDatos>;

class accesoDatos final {
public:
    ado::Connection* Conexion() const { return m_cn; }
    void setConexion(ado::Connection* conexion) { m_cn = conexion; }
    // A table of the connected database by name (ignoring case), or nullptr when there is none, and
    // always for the till's own configuration (configtpv) and log (qm_log), which no import may touch.
    // A table whose engine has no transactions (MyISAM) raises: a failed import could not undo its rows.
    TablaDatosPtr getTabla(const QString& nombre) const;
    void Cerrar() { m_cn = nullptr; }

    static bool tablaProtegida(const QString& nombre);

private:
    ado::Connection* m_cn = nullptr;
};
