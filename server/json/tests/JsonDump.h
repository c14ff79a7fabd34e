#pragma once
// A compact picture of what the reader returned, with every value's kind visible:
// {key:value,...}, [item,...], 'text', numbers as d<number>, true/false, null, ~ for Empty.
#include "platform/Collections.h"

#include <QString>
#include <QStringList>
#include <ostream>

// Readable QStrings in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace jsontest {

inline QString dump(const Variant& v);

inline QString dumpObject(const vb::ObjectPtr& o) {
    if (!o)
        return QStringLiteral("Nothing");
    if (auto d = std::dynamic_pointer_cast<vb::Dictionary>(o)) {
        QStringList parts;
        for (int i = 0; i < d->Count(); ++i)
            parts << d->Keys()[i] + u':' + dump(d->at(i));
        return u'{' + parts.join(u',') + u'}';
    }
    if (auto c = std::dynamic_pointer_cast<vb::Collection>(o)) {
        QStringList parts;
        for (const Variant& item : c->items())
            parts << dump(item);
        return u'[' + parts.join(u',') + u']';
    }
    return u'<' + o->typeName() + u'>';
}

inline QString dump(const Variant& v) {
    if (vb::IsEmpty(v))
        return QStringLiteral("~");
    if (vb::IsNull(v))
        return QStringLiteral("null");
    if (vb::IsObject(v))
        return dumpObject(vb::ToObject(v));
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Double:
        return u'd' + QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QString:
        return u'\'' + v.toString() + u'\'';
    default:
        return u'<' + vb::TypeName(v) + u'>';
    }
}

} // namespace jsontest
