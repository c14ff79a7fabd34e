#include "Registry.h"
#include "Ado.h"
#include "VBError.h"
#include "Variant.h"
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <array>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace registry {
namespace {

const std::array<QString, 7> kRootNames = {
    QStringLiteral("HKEY_CLASSES_ROOT"),     QStringLiteral("HKEY_CURRENT_USER"),
    QStringLiteral("HKEY_LOCAL_MACHINE"),    QStringLiteral("HKEY_USERS"),
    QStringLiteral("HKEY_CURRENT_CONFIG"),   QStringLiteral("HKEY_DYN_DATA"),
    QStringLiteral("HKEY_PERFORMANCE_DATA"),
};
const std::array<QString, 7> kRootShortNames = {
    QStringLiteral("HKCR"), QStringLiteral("HKCU"), QStringLiteral("HKLM"), QStringLiteral("HKU"),
    QStringLiteral("HKCC"), QStringLiteral("HKDD"), QStringLiteral("HKPD"),
};

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QStringList splitPath(const QString& path) {
    return path.split(u'\\', Qt::SkipEmptyParts);
}

bool startsWithPath(const QStringList& parts, const QStringList& prefix) {
    if (parts.size() < prefix.size())
        return false;
    for (int i = 0; i < prefix.size(); ++i) {
        if (!sameName(parts[i], prefix[i]))
            return false;
    }
    return true;
}

const QStringList kOdbcDriversPath{QStringLiteral("Software"), QStringLiteral("ODBC"), QStringLiteral("ODBCINST.INI"),
                                   QStringLiteral("ODBC Drivers")};
const QStringList kSerialCommPath{QStringLiteral("HARDWARE"), QStringLiteral("DEVICEMAP"),
                                  QStringLiteral("SERIALCOMM")};

struct Node {
    QString name;
    std::vector<std::unique_ptr<Node>> children;
    QList<Value> values;

    Node* child(const QString& n) const {
        for (const auto& c : children) {
            if (sameName(c->name, n))
                return c.get();
        }
        return nullptr;
    }
    int valueIndex(const QString& n) const {
        for (int i = 0; i < values.size(); ++i) {
            if (sameName(values[i].name, n))
                return i;
        }
        return -1;
    }
};

struct FileStamp {
    bool exists = false;
    qint64 size = 0, inode = 0, mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const QString& path) {
    FileStamp s;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        s.exists = true;
        s.size = st.st_size;
        s.inode = qint64(st.st_ino);
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return s;
}

struct RootData {
    bool loaded = false;
    bool dirty = false;
    bool unreadable = false; // the file exists but could not be read: never overwrite it
    FileStamp stamp;
    Node tree;
};

// --- text escapes used by quoted names and by szx/expandx/multi data ---

QString escapeText(const QString& s, bool forQuotedName) {
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        case '"':
            if (forQuotedName)
                out += QLatin1String("\\\"");
            else
                out += c;
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7F)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out;
}

// Undoes escapeText. With splitAtNul, "\0" ends an item of a multi-string list.
QStringList unescapeText(const QString& s, bool splitAtNul) {
    QStringList items;
    QString cur;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != u'\\' || i + 1 >= s.size()) {
            cur += c;
            continue;
        }
        const QChar n = s[++i];
        switch (n.unicode()) {
        case 'n':
            cur += u'\n';
            break;
        case 'r':
            cur += u'\r';
            break;
        case 't':
            cur += u'\t';
            break;
        case '0':
            if (splitAtNul) {
                items << cur;
                cur.clear();
            } else {
                cur += QChar(0);
            }
            break;
        case 'u': {
            bool ok = false;
            const QString hex = s.mid(i + 1, 4);
            const ushort code = hex.toUShort(&ok, 16);
            if (ok && hex.size() == 4) {
                cur += QChar(code);
                i += 4;
            } else {
                cur += QLatin1String("\\u");
            }
            break;
        }
        default:
            cur += n; // \\ and \" and anything else: the character itself
        }
    }
    items << cur;
    return items;
}

bool needsEscapes(const QString& s) {
    for (const QChar c : s) {
        if (c.unicode() < 0x20 && c != u'\t')
            return true;
        if (c.unicode() == 0x7F)
            return true;
    }
    return false;
}

QString nameText(const QString& name) {
    if (name.isEmpty())
        return QStringLiteral("@");
    bool quote = name.contains(u'=') || name.contains(u'"') || name.front().isSpace() || name.back().isSpace() ||
                 name.front() == u';' || name.front() == u'#' || name.front() == u'[' || name.front() == u'@' ||
                 needsEscapes(name) || name.contains(u'\t');
    if (!quote)
        return name;
    return u'"' + escapeText(name, true) + u'"';
}

QString hexBytes(const QByteArray& b) {
    QString out;
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (i)
            out += u',';
        out += QStringLiteral("%1").arg(uchar(b[i]), 2, 16, QLatin1Char('0'));
    }
    return out;
}

bool parseHexBytes(const QString& s, QByteArray& out) {
    out.clear();
    QString digits;
    for (const QChar c : s) {
        if (c == u',' || c.isSpace() || c == u'\\')
            continue;
        if (!isxdigit(c.toLatin1()))
            return false;
        digits += c;
    }
    if (digits.size() % 2)
        return false;
    out = QByteArray::fromHex(digits.toLatin1());
    return true;
}

// Data of a text, DWORD or multi-string type written as raw bytes (as a Windows export writes
// them, "hex(7):..."): the value of the type they name, or nothing when the bytes do not form one.
std::optional<QVariant> typedFromBytes(int type, const QByteArray& bytes) {
    if (type == REG_DWORD) {
        if (bytes.size() != 4)
            return std::nullopt;
        return QVariant::fromValue<quint32>(quint32(uchar(bytes[0])) | quint32(uchar(bytes[1])) << 8 |
                                            quint32(uchar(bytes[2])) << 16 | quint32(uchar(bytes[3])) << 24);
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ)
        return std::nullopt;
    if (bytes.size() % 2)
        return std::nullopt;
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    QStringList items = text.split(QChar(u'\0'));
    if (type != REG_MULTI_SZ)
        return QVariant(items.constFirst()); // up to the terminating NUL
    // Items up to the empty one that ends the list.
    const qsizetype end = items.indexOf(QString());
    if (end >= 0)
        items = items.mid(0, end);
    return QVariant(items);
}

QString dataText(const Value& v) {
    // Data of a text, DWORD or multi-string type that is still raw bytes is written back as it came.
    if (v.type != REG_BINARY && v.type != REG_NONE && v.data.typeId() == QMetaType::QByteArray)
        return QStringLiteral("hex(%1):").arg(v.type, 0, 16) + hexBytes(v.data.toByteArray());
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        const QString text = v.data.toString();
        const QString tag = v.type == REG_SZ ? QStringLiteral("sz") : QStringLiteral("expand");
        if (needsEscapes(text))
            return tag + QStringLiteral("x:") + escapeText(text, false);
        return tag + u':' + text;
    }
    case REG_DWORD:
        return QStringLiteral("dword:%1").arg(v.data.value<quint32>(), 8, 16, QLatin1Char('0'));
    case REG_BINARY:
        return QStringLiteral("hex:") + hexBytes(v.data.toByteArray());
    case REG_MULTI_SZ: {
        QStringList parts;
        for (const QString& s : v.data.toStringList())
            parts << escapeText(s, false);
        return QStringLiteral("multi:") + parts.join(QLatin1String("\\0"));
    }
    case REG_NONE:
        return QStringLiteral("none:") + hexBytes(v.data.toByteArray());
    default:
        return QStringLiteral("hex(%1):").arg(v.type, 0, 16) + hexBytes(v.data.toByteArray());
    }
}

// Reads the data part of a value line (after "=" and the blanks that follow it).
Value parseData(const QString& data) {
    Value v;
    const qsizetype colon = data.indexOf(u':');
    if (colon > 0) {
        const QString tag = data.left(colon).toLower();
        const QString rest = data.mid(colon + 1);
        if (tag == QLatin1String("sz") || tag == QLatin1String("expand")) {
            v.type = tag == QLatin1String("sz") ? REG_SZ : REG_EXPAND_SZ;
            v.data = rest;
            return v;
        }
        if (tag == QLatin1String("szx") || tag == QLatin1String("expandx")) {
            v.type = tag == QLatin1String("szx") ? REG_SZ : REG_EXPAND_SZ;
            v.data = unescapeText(rest, false).constFirst();
            return v;
        }
        if (tag == QLatin1String("dword")) {
            bool ok = false;
            const QString digits = rest.trimmed();
            const quint32 n = digits.toUInt(&ok, 16);
            if (ok && !digits.isEmpty() && digits.size() <= 8) {
                v.type = REG_DWORD;
                v.data = QVariant::fromValue<quint32>(n);
                return v;
            }
        }
        if (tag == QLatin1String("multi")) {
            v.type = REG_MULTI_SZ;
            v.data = rest.isEmpty() ? QStringList() : unescapeText(rest, true);
            return v;
        }
        QByteArray bytes;
        if (tag == QLatin1String("hex") && parseHexBytes(rest, bytes)) {
            v.type = REG_BINARY;
            v.data = bytes;
            return v;
        }
        if (tag == QLatin1String("none") && parseHexBytes(rest, bytes)) {
            v.type = REG_NONE;
            v.data = bytes;
            return v;
        }
        if (tag.startsWith(QLatin1String("hex(")) && tag.endsWith(u')') && parseHexBytes(rest, bytes)) {
            bool ok = false;
            const int type = tag.mid(4, tag.size() - 5).toInt(&ok, 16);
            if (ok) {
                v.type = type;
                v.data = typedFromBytes(type, bytes).value_or(QVariant(bytes));
                return v;
            }
        }
    }
    // No known tag: plain text as a person writes it.
    QString text = data;
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
        text = unescapeText(text.mid(1, text.size() - 2), false).constFirst();
    v.type = REG_SZ;
    v.data = text;
    return v;
}

// Splits a value line into its name and its data; false when the line holds no value.
bool parseValueLine(const QString& line, QString& name, QString& data) {
    qsizetype eq = -1;
    if (line.startsWith(u'"')) {
        qsizetype i = 1;
        for (; i < line.size(); ++i) {
            if (line[i] == u'\\') {
                ++i;
                continue;
            }
            if (line[i] == u'"')
                break;
        }
        if (i >= line.size())
            return false;
        name = unescapeText(line.mid(1, i - 1), false).constFirst();
        qsizetype j = i + 1;
        while (j < line.size() && (line[j] == u' ' || line[j] == u'\t'))
            ++j;
        if (j >= line.size() || line[j] != u'=')
            return false;
        eq = j;
    } else {
        eq = line.indexOf(u'=');
        if (eq <= 0)
            return false;
        name = line.left(eq).trimmed();
        if (name == QLatin1String("@"))
            name.clear();
    }
    qsizetype d = eq + 1;
    while (d < line.size() && (line[d] == u' ' || line[d] == u'\t'))
        ++d;
    data = line.mid(d);
    return true;
}

Value normalised(const Value& in) {
    Value v;
    v.name = in.name;
    v.type = in.type;
    switch (in.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        if (in.data.typeId() == QMetaType::QString) {
            v.data = in.data.toString();
        } else if (!vb::ResumeNext([&] { v.data = vb::CStr(in.data); })) {
            v.data = in.data.toString();
        }
        break;
    case REG_DWORD: {
        quint32 n = 0;
        if (in.data.typeId() == QMetaType::QString) {
            vb::ResumeNext([&] { n = quint32(qint64(vb::CDbl(in.data))); }); // a text that is no number: 0
        } else {
            n = quint32(in.data.toLongLong());
        }
        v.data = QVariant::fromValue<quint32>(n);
        break;
    }
    case REG_MULTI_SZ:
        v.data = in.data.toStringList();
        break;
    default:
        v.data = in.data.toByteArray();
        break;
    }
    return v;
}

} // namespace

struct RegistryStore::Impl {
    QString dir;
    std::array<RootData, 7> roots;

    QString filePath(Root r) const { return dir + u'/' + kRootNames[size_t(r)] + QStringLiteral(".ini"); }

    void load(Root r) {
        RootData& rd = roots[size_t(r)];
        rd = RootData();
        rd.loaded = true;
        const QString path = filePath(r);
        rd.stamp = stampOf(path);
        if (!rd.stamp.exists)
            return;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            rd.unreadable = true;
            return;
        }
        QString text = QString::fromUtf8(f.readAll());
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        Node* section = nullptr;
        for (QString line : text.split(u'\n')) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            const QString t = line.trimmed();
            if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
                continue;
            if (t.startsWith(u'[') && t.endsWith(u']')) {
                QStringList parts = splitPath(t.mid(1, t.size() - 2).trimmed());
                if (!parts.isEmpty() &&
                    (sameName(parts[0], kRootNames[size_t(r)]) || sameName(parts[0], kRootShortNames[size_t(r)])))
                    parts.removeFirst();
                section = &rd.tree;
                for (const QString& p : parts)
                    section = childCreate(*section, p);
                continue;
            }
            if (!section)
                continue;
            QString name, data;
            qsizetype lead = 0;
            while (lead < line.size() && (line[lead] == u' ' || line[lead] == u'\t'))
                ++lead;
            if (!parseValueLine(line.mid(lead), name, data))
                continue;
            Value v = parseData(data);
            v.name = name;
            const int i = section->valueIndex(name);
            if (i >= 0)
                section->values[i] = v;
            else
                section->values.append(v);
        }
    }

    static Node* childCreate(Node& parent, const QString& name) {
        if (Node* c = parent.child(name))
            return c;
        auto n = std::make_unique<Node>();
        n->name = name;
        parent.children.push_back(std::move(n));
        return parent.children.back().get();
    }

    // The root's tree, read again when the file changed on disk and nothing is waiting to be written.
    RootData& data(Root r) {
        RootData& rd = roots[size_t(r)];
        if (!rd.loaded || (!rd.dirty && !(stampOf(filePath(r)) == rd.stamp)))
            load(r);
        return rd;
    }

    Node* find(Root r, const QStringList& parts) {
        Node* n = &data(r).tree;
        for (const QString& p : parts) {
            n = n->child(p);
            if (!n)
                return nullptr;
        }
        return n;
    }

    // The key, made with its missing parents; nullptr for a name the file cannot hold.
    Node* ensureKey(Root r, const QStringList& parts) {
        for (const QString& p : parts) {
            if (p.contains(u'\n') || p.contains(u'\r') || p.contains(u']'))
                return nullptr;
        }
        Node* n = &data(r).tree;
        for (const QString& p : parts) {
            Node* c = n->child(p);
            if (!c) {
                c = childCreate(*n, p);
                roots[size_t(r)].dirty = true;
            }
            n = c;
        }
        return n;
    }

    static void writeNode(QString& out, const Node& n, const QString& path, bool isRoot) {
        if (!isRoot && (!n.values.isEmpty() || n.children.empty())) {
            out += u'[' + path + QStringLiteral("]\n");
            for (const Value& v : n.values)
                out += nameText(v.name) + u'=' + dataText(v) + u'\n';
            out += u'\n';
        }
        for (const auto& c : n.children)
            writeNode(out, *c, path + u'\\' + c->name, false);
    }

    bool saveRoot(Root r) {
        RootData& rd = roots[size_t(r)];
        if (!rd.loaded || !rd.dirty)
            return true;
        if (rd.unreadable)
            return false;
        if (!QDir().mkpath(dir))
            return false;
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QString text = QStringLiteral("; Tarvolin registry store: %1\n\n").arg(kRootNames[size_t(r)]);
        if (!rd.tree.values.isEmpty()) {
            text += u'[' + kRootNames[size_t(r)] + QStringLiteral("]\n");
            for (const Value& v : rd.tree.values)
                text += nameText(v.name) + u'=' + dataText(v) + u'\n';
            text += u'\n';
        }
        writeNode(text, rd.tree, kRootNames[size_t(r)], true);
        QSaveFile f(filePath(r));
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        f.write(text.toUtf8());
        if (!f.commit())
            return false;
        rd.dirty = false;
        rd.stamp = stampOf(filePath(r));
        return true;
    }

    // --- the keys the platform serves ---

    enum class Served { None, OdbcDrivers, SerialComm };

    static Served served(Root r, const QStringList& parts) {
        if (r != Root::LocalMachine)
            return Served::None;
        if (startsWithPath(parts, kOdbcDriversPath))
            return Served::OdbcDrivers;
        if (startsWithPath(parts, kSerialCommPath))
            return Served::SerialComm;
        return Served::None;
    }

    // True for the served keys themselves; below them nothing exists.
    static bool isServedKey(Root r, const QStringList& parts) {
        const Served s = served(r, parts);
        return (s == Served::OdbcDrivers && parts.size() == kOdbcDriversPath.size()) ||
               (s == Served::SerialComm && parts.size() == kSerialCommPath.size());
    }

    // The served key names that are direct children of parts.
    static QStringList servedChildren(Root r, const QStringList& parts) {
        QStringList out;
        if (r != Root::LocalMachine)
            return out;
        for (const QStringList* p : {&kOdbcDriversPath, &kSerialCommPath}) {
            if (p->size() > parts.size() && startsWithPath(*p, parts))
                out << p->at(parts.size());
        }
        return out;
    }

    QList<Value> servedValues(Served s) {
        QList<Value> out;
        if (s == Served::OdbcDrivers) {
            for (const QString& d : ado::Connection::InstalledDrivers())
                out.append(Value{d, REG_SZ, QStringLiteral("Installed")});
        } else if (s == Served::SerialComm) {
            if (Node* n = find(Root::LocalMachine, splitPath(QString::fromLatin1(kSerialCommMapKey)))) {
                for (const Value& v : n->values) {
                    if (v.type == REG_SZ || v.type == REG_EXPAND_SZ)
                        out.append(Value{v.name, REG_SZ, v.data.toString()});
                }
            }
        }
        return out;
    }
};

RegistryStore& RegistryStore::instance() {
    static RegistryStore store;
    return store;
}

RegistryStore::RegistryStore() : d(new Impl) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    d->dir = base + QStringLiteral("/Vesk/registry");
}

void RegistryStore::setDirectory(const QString& dir) {
    d->dir = QDir::cleanPath(dir);
    reload();
}

QString RegistryStore::directory() const {
    return d->dir;
}

void RegistryStore::reload() {
    for (RootData& rd : d->roots)
        rd = RootData();
}

bool RegistryStore::keyExists(Root root, const QString& path) const {
    const QStringList parts = splitPath(path);
    if (Impl::served(root, parts) != Impl::Served::None)
        return Impl::isServedKey(root, parts);
    if (d->find(root, parts))
        return true;
    // Ancestors of the served keys exist too.
    return !Impl::servedChildren(root, parts).isEmpty();
}

bool RegistryStore::createKey(Root root, const QString& path) {
    const QStringList parts = splitPath(path);
    if (Impl::served(root, parts) != Impl::Served::None)
        return Impl::isServedKey(root, parts); // exists already; nothing can be made below it
    if (d->find(root, parts))
        return true;
    if (!d->ensureKey(root, parts))
        return false;
    return d->saveRoot(root);
}

bool RegistryStore::deleteKey(Root root, const QString& path) {
    const QStringList parts = splitPath(path);
    if (parts.isEmpty() || Impl::served(root, parts) != Impl::Served::None)
        return false;
    Node* parent = d->find(root, parts.mid(0, parts.size() - 1));
    if (!parent)
        return false;
    auto& kids = parent->children;
    for (auto it = kids.begin(); it != kids.end(); ++it) {
        if (sameName((*it)->name, parts.back())) {
            kids.erase(it);
            d->roots[size_t(root)].dirty = true;
            return d->saveRoot(root);
        }
    }
    return false;
}

QStringList RegistryStore::subKeys(Root root, const QString& path) const {
    const QStringList parts = splitPath(path);
    QStringList out;
    if (Impl::served(root, parts) != Impl::Served::None)
        return out;
    if (Node* n = d->find(root, parts)) {
        for (const auto& c : n->children)
            out << c->name;
    }
    for (const QString& s : Impl::servedChildren(root, parts)) {
        if (!out.contains(s, Qt::CaseInsensitive))
            out << s;
    }
    return out;
}

QList<Value> RegistryStore::values(Root root, const QString& path) const {
    const QStringList parts = splitPath(path);
    const Impl::Served s = Impl::served(root, parts);
    if (s != Impl::Served::None)
        return Impl::isServedKey(root, parts) ? d->servedValues(s) : QList<Value>();
    if (Node* n = d->find(root, parts))
        return n->values;
    return {};
}

std::optional<Value> RegistryStore::value(Root root, const QString& path, const QString& name) const {
    for (const Value& v : values(root, path)) {
        if (sameName(v.name, name))
            return v;
    }
    return std::nullopt;
}

bool RegistryStore::setValue(Root root, const QString& path, const Value& v) {
    const QStringList parts = splitPath(path);
    if (Impl::served(root, parts) != Impl::Served::None)
        return false;
    Node* n = d->ensureKey(root, parts);
    if (!n)
        return false;
    Value nv = normalised(v);
    const int i = n->valueIndex(v.name);
    if (i >= 0) {
        nv.name = n->values[i].name; // the first spelling stays
        n->values[i] = nv;
    } else {
        n->values.append(nv);
    }
    d->roots[size_t(root)].dirty = true;
    return d->saveRoot(root);
}

bool RegistryStore::deleteValue(Root root, const QString& path, const QString& name) {
    const QStringList parts = splitPath(path);
    if (Impl::served(root, parts) != Impl::Served::None)
        return false;
    Node* n = d->find(root, parts);
    if (!n)
        return false;
    const int i = n->valueIndex(name);
    if (i < 0)
        return false;
    n->values.removeAt(i);
    d->roots[size_t(root)].dirty = true;
    return d->saveRoot(root);
}

bool RegistryStore::save() {
    bool ok = true;
    for (int r = 0; r < int(d->roots.size()); ++r)
        ok = d->saveRoot(Root(r)) && ok;
    return ok;
}

} // namespace registry
