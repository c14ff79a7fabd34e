#include "Collections.h"
#include "VBError.h"

#include <QRandomGenerator>
#include <cstring>

namespace vb {

// --- Dictionary ---

// Small dictionaries (every request and reply) are scanned; the hash index is built only once a
// dictionary grows past kIndexFrom keys (the translation cache, large documents). The hash is seeded
// per process, so a peer cannot choose keys that all land in one place.
namespace {
quint64 mezcla(quint64 a, quint64 b) {
    const unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
    return quint64(r) ^ quint64(r >> 64);
}
quint64 hashClave(const QString& key) {
    static const quint64 semilla = QRandomGenerator::system()->generate64() | 1;
    const auto* p = reinterpret_cast<const unsigned char*>(key.constData());
    size_t n = size_t(key.size()) * sizeof(QChar);
    quint64 h = semilla ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        quint64 v;
        std::memcpy(&v, p, 8);
        h = mezcla(h ^ v, 0x9E3779B97F4A7C15ull);
    }
    quint64 v = 0;
    std::memcpy(&v, p, n);
    return mezcla(h ^ v, 0xA0761D6478BD642Full);
}
} // namespace

int Dictionary::indexOf(const QString& key) const {
    if (m_keys.size() < kIndexFrom) {
        for (int i = 0; i < m_keys.size(); ++i)
            if (m_keys[i] == key)
                return i;
        return -1;
    }
    return indexOf(key, hashClave(key));
}

int Dictionary::indexOf(const QString& key, quint64 hash) const {
    const size_t mascara = m_slots.size() - 1;
    const quint64 marca = hash >> 32;
    for (size_t i = size_t(hash) & mascara;; i = (i + 1) & mascara) {
        const quint64 ranura = m_slots[i];
        if (ranura == 0)
            return -1;
        const int p = int(quint32(ranura)) - 1;
        if ((ranura >> 32) == marca && m_keys[p] == key)
            return p;
    }
}

void Dictionary::indexa(int posicion) {
    const quint64 hash = m_hashes[size_t(posicion)];
    const size_t mascara = m_slots.size() - 1;
    size_t i = size_t(hash) & mascara;
    while (m_slots[i] != 0)
        i = (i + 1) & mascara;
    m_slots[i] = quint64(quint32(posicion + 1)) | (hash >> 32 << 32);
}

// Builds the table for the keys as they are; the hashes are kept when they still match the keys.
void Dictionary::reindex() {
    m_slots.clear();
    if (m_keys.size() < kIndexFrom) {
        m_hashes.clear();
        return;
    }
    if (m_hashes.size() != size_t(m_keys.size())) {
        m_hashes.clear();
        m_hashes.reserve(size_t(m_keys.size()));
        for (const QString& k : m_keys)
            m_hashes.push_back(hashClave(k));
    }
    size_t n = 64;
    while (n < size_t(m_keys.size()) * 2)
        n *= 2;
    m_slots.assign(n, 0);
    for (int i = 0; i < m_keys.size(); ++i)
        indexa(i);
}

void Dictionary::Add(const QString& key, const Variant& value) {
    Add(key, Variant(value));
}

void Dictionary::Add(const QString& key, Variant&& value) {
    if (m_keys.size() + 1 < kIndexFrom) {
        if (indexOf(key) >= 0)
            Raise(err::KeyAlreadyInCollection);
        m_keys.append(key);
        m_values.push_back(std::move(value));
        return;
    }
    if (m_slots.empty()) {
        if (indexOf(key) >= 0)
            Raise(err::KeyAlreadyInCollection);
        m_keys.append(key);
        m_values.push_back(std::move(value));
        reindex();
        return;
    }
    const quint64 h = hashClave(key);
    if (indexOf(key, h) >= 0)
        Raise(err::KeyAlreadyInCollection);
    m_keys.append(key);
    m_values.push_back(std::move(value));
    m_hashes.push_back(h);
    if (size_t(m_keys.size()) * 2 > m_slots.size())
        reindex();
    else
        indexa(int(m_keys.size()) - 1);
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
    return m_values[i];
}

Variant Dictionary::value(const QString& key) const {
    const int i = indexOf(key);
    return i < 0 ? Variant() : m_values[i];
}

void Dictionary::set(const QString& key, const Variant& value) {
    const int i = indexOf(key);
    if (i < 0)
        Add(key, value);
    else
        m_values[i] = value;
}

void Dictionary::Remove(const QString& key) {
    const int i = indexOf(key);
    if (i < 0)
        Raise(err::DictionaryRemoveFailed);
    m_keys.removeAt(i);
    m_values.removeAt(i);
    if (!m_hashes.empty())
        m_hashes.erase(m_hashes.begin() + i);
    reindex();
}

void Dictionary::RemoveAll() {
    m_keys.clear();
    m_values.clear();
    m_hashes.clear();
    m_slots.clear();
}

QList<Variant> Dictionary::Items() const {
    return m_values;
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
