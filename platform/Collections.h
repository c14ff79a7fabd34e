#pragma once
// The scripting runtime's Dictionary, VB's Collection, and the data library's generic entity
// (entidadGenerica / IEntidad) and generic list (coleccionGenerica). All are vb::Object so they can
// travel inside a Variant; make them with std::make_shared and wrap with vb::FromObject.
#include "Variant.h"
#include <QHash>
#include <QList>
#include <QStringList>
#include <vector>

namespace vb {

// Ordered map with exact (case-sensitive) text keys. Add of an existing key raises 457; reading a
// missing key through item() adds it with Empty (as the scripting runtime does); value() only reads.
class Dictionary final : public Object {
public:
    QString typeName() const override { return QStringLiteral("Dictionary"); }
    void Add(const QString& key, const Variant& value);
    void Add(const QString& key, Variant&& value);
    bool Exists(const QString& key) const;
    Variant& item(const QString& key);                  // adds the key with Empty when missing
    Variant value(const QString& key) const;            // Empty when missing, adds nothing
    void set(const QString& key, const Variant& value); // replaces in place or appends
    void Remove(const QString& key);                    // raises 32811 when missing
    void RemoveAll();
    int Count() const { return int(m_keys.size()); }
    const QStringList& Keys() const { return m_keys; }
    QList<Variant> Items() const;
    const Variant& at(int index0) const { return m_values[index0]; } // 0-based, in order

private:
    int indexOf(const QString& key) const;
    int indexOf(const QString& key, quint64 hash) const;
    void reindex();
    void indexa(int posicion);
    QStringList m_keys;
    QList<Variant> m_values; // relocated, not copied, as it grows
    static constexpr int kIndexFrom = 16;
    // Once the dictionary is big (caches, documents with thousands of keys): the hash of each key
    // and an open-addressing table, at most half full, of position + 1 (0: free) in the low half
    // and the hash's high half in the other, so that a probe rarely leaves the table.
    std::vector<quint64> m_hashes;
    std::vector<quint64> m_slots;
};

// VB Collection: 1-based list of Variants (keys are not used by this system).
class Collection final : public Object {
public:
    QString typeName() const override { return QStringLiteral("Collection"); }
    void Add(const Variant& v) { m_items.push_back(v); }
    void Add(Variant&& v) { m_items.push_back(std::move(v)); }
    int Count() const { return int(m_items.size()); }
    const Variant& Item(int index1) const; // raises 9 when out of range
    Variant& Item(int index1);
    void Remove(int index1);
    const std::vector<Variant>& items() const { return m_items; }

private:
    std::vector<Variant> m_items;
};

// The generic entity: named values in insertion order. Setting an existing name keeps its place;
// reading a name it does not hold gives the text "#ERROR#". Names are matched ignoring case.
class entidadGenerica final : public Object {
public:
    entidadGenerica();
    QString typeName() const override { return QStringLiteral("entidadGenerica"); }
    // IEntidad
    Variant Valor(const QString& name) const;
    void Propiedad(const QString& name, const Variant& value);
    void setValor(const QString& name, const Variant& value) { Propiedad(name, value); }
    Variant Item(int index1) const; // value by position from 1
    QString NombreItem(int index1) const;
    int Count() const;
    bool Existe(const QString& name) const;
    // The dictionary that holds the named values (shared, not copied). May be set to nullptr (Nothing).
    std::shared_ptr<Dictionary> Diccionario() const { return m_dic; }
    void setDiccionario(std::shared_ptr<Dictionary> d) { m_dic = std::move(d); }

private:
    int indexOf(const QString& name) const;
    std::shared_ptr<Dictionary> m_dic;
};
using IEntidad = entidadGenerica;
using EntidadPtr = std::shared_ptr<entidadGenerica>;

// Ordered list of entities, numbered from 1.
class coleccionGenerica final : public Object {
public:
    QString typeName() const override { return QStringLiteral("coleccionGenerica"); }
    void Add(EntidadPtr e) { m_items.push_back(std::move(e)); }
    int Count() const { return int(m_items.size()); }
    EntidadPtr Item(int index1) const; // raises 9 when out of range
    void Remove(int index1);
    const std::vector<EntidadPtr>& items() const { return m_items; }

private:
    std::vector<EntidadPtr> m_items;
};
using ColeccionPtr = std::shared_ptr<coleccionGenerica>;

} // namespace vb
