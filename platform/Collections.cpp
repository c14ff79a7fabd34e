#include "Collections.h"
#include "VBError.h"

namespace vb {

// --- Dictionary ---

// Small dictionaries (every request and reply) are scanned; the hash index is built only once a
// dictionary grows past kIndexFrom keys (the translation cache, large documents).
int Dictionary::indexOf(const QString& key) const {
    if (m_keys.size() < kIndexFrom) {
        for (int i = 0; i < m_keys.size(); ++i)
            if (m_keys[i] == key)
                return i;
        return -1;
    }
    return m_index.value(key, -1);
}

void Dictionary::reindex() {
    m_index.clear();
    if (m_keys.size() < kIndexFrom)
        return;
    m_index.reserve(m_keys.size());
    for (int i = 0; i < m_keys.size(); ++i)
        m_index.insert(m_keys[i], i);
}

void Dictionary::Add(const QString& key, const Variant& value) {
    Add(key, Variant(value));
}

void Dictionary::Add(const QString& key, Variant&& value) {
    if (indexOf(key) >= 0)
        Raise(err::KeyAlreadyInCollection);
    m_keys.append(key);
    m_values.push_back(std::move(value));
    if (m_keys.size() == kIndexFrom)
        reindex();
    else if (m_keys.size() > kIndexFrom)
        m_index.insert(key, int(m_keys.size()) - 1);
}

bool Dictionary::Exists(const QString& key) const {
    return indexOf(key) >= 0;
}

Variant& Dictionary::item(const QString& key) {
    int i = indexOf(key);
    if (i < 0) {
        Add(key, Variant());
        i = int(m_keys.size()) - 1;
    }
    return m_values[size_t(i)];
}

Variant Dictionary::value(const QString& key) const {
    const int i = indexOf(key);
    return i < 0 ? Variant() : m_values[size_t(i)];
}

void Dictionary::set(const QString& key, const Variant& value) {
    const int i = indexOf(key);
    if (i < 0)
        Add(key, value);
    else
        m_values[size_t(i)] = value;
}

void Dictionary::Remove(const QString& key) {
    const int i = indexOf(key);
    if (i < 0)
        Raise(err::DictionaryRemoveFailed);
    m_keys.removeAt(i);
    m_values.erase(m_values.begin() + i);
    reindex();
}

void Dictionary::RemoveAll() {
    m_keys.clear();
    m_values.clear();
    m_index.clear();
}

QList<Variant> Dictionary::Items() const {
    return QList<Variant>(m_values.begin(), m_values.end());
}

// --- Collection ---

const Variant& Collection::Item(int index1) const {
    if (index1 < 1 || index1 > Count())
        Raise(err::SubscriptOutOfRange);
    return m_items[size_t(index1 - 1)];
}

Variant& Collection::Item(int index1) {
    if (index1 < 1 || index1 > Count())
        Raise(err::SubscriptOutOfRange);
    return m_items[size_t(index1 - 1)];
}

void Collection::Remove(int index1) {
    if (index1 < 1 || index1 > Count())
        Raise(err::SubscriptOutOfRange);
    m_items.erase(m_items.begin() + (index1 - 1));
}

// --- entidadGenerica ---

entidadGenerica::entidadGenerica() : m_dic(std::make_shared<Dictionary>()) {}

int entidadGenerica::indexOf(const QString& name) const {
    if (!m_dic)
        Raise(err::ObjectNotSet);
    if (m_dic->Exists(name)) // the usual case: the same spelling
        return m_dic->Keys().indexOf(name);
    const QStringList& keys = m_dic->Keys();
    for (int i = 0; i < keys.size(); ++i) {
        if (keys[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

Variant entidadGenerica::Valor(const QString& name) const {
    const int i = indexOf(name);
    return i < 0 ? Variant(QStringLiteral("#ERROR#")) : m_dic->at(i);
}

void entidadGenerica::Propiedad(const QString& name, const Variant& value) {
    const int i = indexOf(name);
    if (i < 0)
        m_dic->Add(name, value);
    else
        m_dic->set(m_dic->Keys()[i], value); // keeps its place and its spelling
}

Variant entidadGenerica::Item(int index1) const {
    if (!m_dic)
        Raise(err::ObjectNotSet);
    if (index1 < 1 || index1 > m_dic->Count())
        Raise(err::SubscriptOutOfRange);
    return m_dic->at(index1 - 1);
}

QString entidadGenerica::NombreItem(int index1) const {
    if (!m_dic)
        Raise(err::ObjectNotSet);
    if (index1 < 1 || index1 > m_dic->Count())
        Raise(err::SubscriptOutOfRange);
    return m_dic->Keys()[index1 - 1];
}

int entidadGenerica::Count() const {
    if (!m_dic)
        Raise(err::ObjectNotSet);
    return m_dic->Count();
}

bool entidadGenerica::Existe(const QString& name) const {
    return indexOf(name) >= 0;
}

// --- coleccionGenerica ---

EntidadPtr coleccionGenerica::Item(int index1) const {
    if (index1 < 1 || index1 > Count())
        Raise(err::SubscriptOutOfRange);
    return m_items[size_t(index1 - 1)];
}

void coleccionGenerica::Remove(int index1) {
    if (index1 < 1 || index1 > Count())
        Raise(err::SubscriptOutOfRange);
    m_items.erase(m_items.begin() + (index1 - 1));
}

} // namespace vb
