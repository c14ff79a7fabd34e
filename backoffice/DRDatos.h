#pragma once
// The data library's keyed text list and column list, as the back-office window uses them.
#include "platform/Variant.h"
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// One named text: a query of a service request, a table's rows, a value the server sent.
class textoNombrado final {
public:
    textoNombrado(QString nombre, QString texto, Variant objeto = {})
        : Texto(std::move(texto)), Objeto(std::move(objeto)), m_nombre(std::move(nombre)) {}
    const QString& Nombre() const { return m_nombre; }
    QString Texto;
    Variant Objeto;

private:
    QString m_nombre;
};
using TextoNombradoPtr = std::shared_ptr<textoNombrado>;

// Named texts in the order they were added; names are matched ignoring case. Adding a name that is
// already there replaces its text (and object) in place, so the newest value of a name wins.
class coleccionTextos final {
public:
    TextoNombradoPtr Item(const QString& nombre) const; // nullptr when missing
    TextoNombradoPtr Item(int index1) const;            // raises 9 when out of range
    TextoNombradoPtr Add(const QString& nombre, const QString& texto, const Variant& objeto = {});
    int Count() const { return int(m_items.size()); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<TextoNombradoPtr> m_items;
};

// One column of a delimited reply: its name and caption, and the display hints that come with it.
struct columna {
    QString Nombre;
    QString Caption;
    qint32 Ancho = 0;
    qint32 Alineacion = 0;
    QString Formato;
    qint32 Tipo = 0;
};

class coleccionColumnas final {
public:
    void Add(const QString& nombre, const QString& caption, qint32 ancho = 1000, qint32 alineacion = 0,
             const QString& formato = {}, qint32 tipo = 0) {
        m_items.push_back(columna{nombre, caption, ancho, alineacion, formato, tipo});
    }
    const columna& Item(int index1) const; // raises 9 when out of range
    int Count() const { return int(m_items.size()); }

private:
    std::vector<columna> m_items;
};

// The lines of a reply text: split at LF, one trailing CR dropped from each; a text that ends with
// LF does not start a further empty line.
QStringList lineasDeTexto(const QString& texto);
// Fields of a line split at every occurrence of the separator, matched ignoring case. An empty line
// has no fields; an empty separator leaves the line whole.
QStringList camposDeLinea(const QString& linea, const QString& separador);
