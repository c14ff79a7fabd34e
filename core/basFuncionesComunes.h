#pragma once
// Value, text and SQL helpers used everywhere.
#include "platform/Ado.h"
#include "platform/Collections.h"
#include <QString>
#include <functional>

namespace basFuncionesComunes {
double ValNumero(const QString& texto);
Variant VarToStr(const Variant& v, const Variant& defecto = QString(), bool decodificarBinario = false);
QString NumeroATexto(const Variant& v, bool nullComoNull = false, const QString& formato = {});
// Columns a text takes on paper: its characters, a character outside the basic plane (a surrogate
// pair) counting as one, as it prints as one byte.
qsizetype Columnas(const QString& texto);
// The first `columnas` columns of a text, never splitting a surrogate pair.
QString IzquierdaColumnas(const QString& texto, qsizetype columnas);
// Widths are counted in columns (see Columnas).
QString AlineaTexto(const QString& texto, qint32 ancho, bool alinearIzquierda = true, bool recortar = false,
                    const QString& relleno = QStringLiteral(" "));
// Word wrap after the print-markup substitution; `texto` receives the substituted text.
QString AjustaTexto(int ancho, QString& texto, int sangria = 0);
QString AjustaTexto(int ancho, const QString& texto, int sangria = 0);
Variant ConsultaRapida(const QString& sql, const QString& campo = {}, ado::Connection* conexion = nullptr,
                       const Variant& defecto = QString(), const QList<Variant>& params = {});
// SQL text escaping for a server in its default mode: apostrophes doubled (or escaped with a backslash by
// addslashes without doblarComilla), backslashes always doubled, double quotes escaped with escaparBarras.
// cStringSQL quotes a value exactly (it reads back unchanged); addslashes first undoes escaping already in
// the text (backslash before an apostrophe, a double quote or a backslash), so a text escaped twice is not
// doubled.
QString cStringSQL(const QString& texto, bool ponerComillas = true, bool escaparBarras = true);
QString addslashes(QString& texto, bool doblarComilla = false, bool escaparBarras = true);
Variant BinaryToString(const Variant& v);
bool esBinaryString(const Variant& v);
float Segundos();
// The seconds since midnight as the trace lines show them: the text VB gives the Single of Segundos
// ("45296.13"), or, with `decimales`, that many fixed decimals of the exact figure.
QString TextoSegundos(int decimales = -1);
Variant Vc(const ado::Field* campo, const Variant& muestra);
void Espera(qint64 milisegundos);
bool EjecutandoEnIDE();
// "delete from " and everything after the first " from " (exact case); "" without one.
QString CreaDelete(const QString& sql, const QString& tabla = {});
vb::ObjectPtr CreaInserts(const QString& sql, const QString& tabla); // a vb::Collection of texts
// SQL literal of a field's value: numbers bare with "." (Null 0), dates 'yyyy-mm-dd hh:mm:ss' (Null
// '0000-00-00'), Booleans True/False (Null 0), binary as 0x..., text quoted and escaped so that it reads
// back unchanged (Null '').
QString ValorSQL(const ado::Field& campo);
QString QuitarTagsHTML(QString& texto);
QString QuitaHtml(const QString& texto);
QString MascaraDecimales(qint32 decimales);
double Redondear(double valor, qint16 decimales = 2);
// VB's Format of a number with a mask such as "###0.00" (half away from zero on the decimal value).
QString FormatNumero(double valor, const QString& mascara);

// The print-markup substitution that AjustaTexto applies; the printer layer installs
// sustituyeTagsHTML here at start (identity until then).
void setSustituyeTags(std::function<QString(const QString&)> f);
QString aplicarSustituyeTags(const QString& texto);
} // namespace basFuncionesComunes
