// clsJSON: the writer of values, entities, collections and dictionaries.
#include "clsJSON.h"

#include "clsStringBuilder.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Cp1252.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kProcedimiento = QStringLiteral("clsJSON.");

int idObjeto() {
    static const int id = qMetaTypeId<vb::ObjectPtr>();
    return id;
}

// The object a variant holds, looked at in place (no copy of the shared pointer).
const vb::Object* objetoDe(const Variant& v) {
    return static_cast<const vb::ObjectPtr*>(v.constData())->get();
}

// The kinds the writer tells apart; the classes are final, so the exact type decides.
enum class Clase { Ninguno, Diccionario, Entidad, Coleccion, ColeccionGenerica, Otro };

Clase claseDe(const vb::Object* o) {
    if (!o)
        return Clase::Ninguno;
    const std::type_info& t = typeid(*o);
    if (t == typeid(vb::Dictionary))
        return Clase::Diccionario;
    if (t == typeid(vb::entidadGenerica))
        return Clase::Entidad;
    if (t == typeid(vb::Collection))
        return Clase::Coleccion;
    if (t == typeid(vb::coleccionGenerica))
        return Clase::ColeccionGenerica;
    return Clase::Otro;
}

// A double as the writer puts it: "." as separator, up to 15 significant digits, VB's exponent form
// ("1E+20", "1E-05") outside 1e-4..1e15; -0 is "0".
void appendDouble(clsStringBuilder& sb, double d) {
    QChar* out = sb.beginWrite(32);
    if (d == 0) {
        *out++ = u'0';
        sb.commitWrite(out);
        return;
    }
    char buf[32];
    char* end;
    if (std::fabs(d) < 1e15 && d == std::trunc(d)) {
        end = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(d)).ptr;
    } else {
        end = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15).ptr;
    }
    for (const char* p = buf; p < end; ++p)
        *out++ = QChar(char16_t(*p == 'e' ? 'E' : *p));
    sb.commitWrite(out);
}

// Characters that leave the plain run: below 32, and those with an escape of their own. toUnicode
// also escapes the apostrophe and the braces; Encode escapes DEL and the slash.
constexpr std::array<bool, 128> tablaEscapes(bool unicode) {
    std::array<bool, 128> t{};
    for (int c = 0; c < 32; ++c)
        t[size_t(c)] = true;
    t['"'] = t['\\'] = true;
    if (unicode) {
        t['\''] = t['{'] = t['}'] = true;
    } else {
        t['/'] = t[127] = true;
    }
    return t;
}
constexpr std::array<bool, 128> kEscapaUnicode = tablaEscapes(true);
constexpr std::array<bool, 128> kEscapaEncode = tablaEscapes(false);

// The letter after the backslash for the characters that have one, or 0.
inline char letraEscape(char16_t c, bool unicode) {
    switch (c) {
    case 8:
        return 'b';
    case 9:
        return 't';
    case 10:
        return 'n';
    case 12:
        return 'f';
    case 13:
        return 'r';
    case u'"':
        return '"';
    case u'\\':
        return '\\';
    case u'\'':
        return unicode ? '\'' : 0;
    case u'/':
        return unicode ? 0 : '/';
    default:
        return 0;
    }
}

// Whether Windows-1252 holds the character; Latin-1 is answered without a table search.
inline bool enPaginaDeCodigos(char16_t c) {
    if (c >= 0xA0 && c <= 0xFF)
        return true;
    return cp1252::byteFor(QChar(c)) >= 0;
}

constexpr QStringView kComilla(u"\"");

// Backslash, u and the code as four upper-case hexadecimal digits.
inline QChar* escribirCodigo(QChar* out, char16_t u) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    out[0] = u'\\';
    out[1] = u'u';
    out[2] = kHex[(u >> 12) & 0xF];
    out[3] = kHex[(u >> 8) & 0xF];
    out[4] = kHex[(u >> 4) & 0xF];
    out[5] = kHex[u & 0xF];
    return out + 6;
}

// Writes text escaped into room for at least 6 characters per character of it.
template <bool kUnicode> QChar* escribirEscapado(QChar* out, const QChar* p, qsizetype n) {
    constexpr const std::array<bool, 128>& escapa = kUnicode ? kEscapaUnicode : kEscapaEncode;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i].unicode();
        if (c < 128 && !escapa[c]) {
            *out++ = QChar(c);
            continue;
        }
        if (const char e = letraEscape(c, kUnicode)) {
            out[0] = u'\\';
            out[1] = QChar(char16_t(e));
            out += 2;
            continue;
        }
        // toUnicode: characters outside the code page are written as its replacement, "?"; the
        // others by their UTF-16 code, so that the 27 letters of 0x80-0x9F (the euro among them)
        // read back right.
        if (kUnicode && c > 127 && !enPaginaDeCodigos(c)) {
            *out++ = u'?';
            continue;
        }
        out = escribirCodigo(out, c);
    }
    return out;
}

// Escaped text appended in pieces, so that a long text never asks for six times its size at once.
template <bool kUnicode>
void appendEscapado(clsStringBuilder& sb, QStringView text, QStringView antes = {}, QStringView despues = {}) {
    constexpr qsizetype kTrozo = 4096;
    const QChar* p = text.data();
    qsizetype n = text.size();
    QChar* out = sb.beginWrite(antes.size() + std::min(n, kTrozo) * 6 + despues.size());
    for (QChar c : antes)
        *out++ = c;
    while (n > kTrozo) {
        out = escribirEscapado<kUnicode>(out, p, kTrozo);
        p += kTrozo;
        n -= kTrozo;
        sb.commitWrite(out);
        out = sb.beginWrite(std::min(n, kTrozo) * 6 + despues.size());
    }
    out = escribirEscapado<kUnicode>(out, p, n);
    for (QChar c : despues)
        *out++ = c;
    sb.commitWrite(out);
}

void appendEntreComillas(clsStringBuilder& sb, QStringView text) {
    sb.Append(u'"');
    sb.Append(text);
    sb.Append(u'"');
}

// The text in double quotes; when `escapar`, escaped as toUnicode (kUnicode) or as Encode does.
template <bool kUnicode> void appendCitado(clsStringBuilder& sb, QStringView text, bool escapar) {
    if (escapar)
        appendEscapado<kUnicode>(sb, text, kComilla, kComilla);
    else
        appendEntreComillas(sb, text);
}

// One member or item written by `escribe`; when that raises a run-time error, what it wrote goes,
// null stands in its place, and the error is reported under `procedimiento`.
template <class Escribe> void escribeONull(clsStringBuilder& sb, const char* procedimiento, Escribe&& escribe) {
    const qint32 marca = sb.Length();
    vb::OnError(escribe, [&](const VBError& fallo) {
        sb.Remove(marca, sb.Length() - marca);
        sb.Append("null"_L1);
        ControlErrores(kProcedimiento + QLatin1StringView(procedimiento), true, fallo);
    });
}

// A public writing operation into a builder of its own: the text written, or "null" when it raises
// a run-time error (reported under `procedimiento`).
template <class Escribe> QString textoOReporta(const char* procedimiento, Escribe&& escribe) {
    clsStringBuilder sb;
    if (!AtrapaErrores(kProcedimiento + QLatin1StringView(procedimiento), [&] { escribe(sb); }))
        return QStringLiteral("null");
    return sb.toString();
}

} // namespace

QString clsJSON::textoDe(const Variant& v) {
    if (!v.isValid() || v.typeId() == QMetaType::Nullptr)
        return QString();
    return vb::CStr(v);
}

void clsJSON::appendParTexto(clsStringBuilder& sb, QStringView nombre, QStringView valor, bool escapar) {
    appendCitado<true>(sb, nombre, escapar);
    sb.Append(u':');
    appendCitado<true>(sb, valor, escapar);
}

void clsJSON::appendUnicode(clsStringBuilder& sb, QStringView text) {
    appendEscapado<true>(sb, text);
}

void clsJSON::appendEncoded(clsStringBuilder& sb, QStringView text) {
    appendEscapado<false>(sb, text);
}

QString clsJSON::toUnicode(const QString& text) {
    clsStringBuilder sb;
    appendUnicode(sb, text);
    return sb.toString();
}

QString clsJSON::Encode(const Variant& text) {
    clsStringBuilder sb;
    appendEncoded(sb, vb::CStr(text));
    return sb.toString();
}

// Inlined into its callers, so that nesting costs no more calls than the containers' own.
[[gnu::always_inline]] inline bool clsJSON::writeContenedor(clsStringBuilder& sb, const vb::Object* obj, bool uni,
                                                            int nivel) {
    switch (claseDe(obj)) {
    case Clase::Diccionario:
        writeDictionary(sb, static_cast<const vb::Dictionary*>(obj), uni, nivel);
        return true;
    case Clase::Entidad:
        writeEntity(sb, static_cast<const vb::entidadGenerica*>(obj), uni, nivel);
        return true;
    case Clase::Coleccion:
    case Clase::ColeccionGenerica:
        writeCollection(sb, *obj, uni, nivel);
        return true;
    default:
        return false;
    }
}

[[gnu::always_inline]] inline void clsJSON::writeObjeto(clsStringBuilder& sb, const vb::Object* obj, bool uni,
                                                        int nivel) {
    if (!writeContenedor(sb, obj, uni, nivel))
        vb::Raise(obj ? vb::err::NoSuchMember : vb::err::ObjectNotSet);
}

void clsJSON::writeValue(clsStringBuilder& sb, const Variant& v, bool uni, int nivel) {
    const int t = v.typeId();
    if (t == idObjeto()) {
        if (!writeContenedor(sb, objetoDe(v), uni, nivel))
            appendEntreComillas(sb, vb::TypeName(v));
        return;
    }
    switch (t) {
    case QMetaType::UnknownType:
        return; // Empty writes nothing
    case QMetaType::Nullptr:
        sb.Append("null"_L1);
        return;
    case QMetaType::Bool:
        sb.Append(v.toBool() ? "true"_L1 : "false"_L1);
        return;
    case QMetaType::Double:
        appendDouble(sb, *static_cast<const double*>(v.constData()));
        return;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        appendEntreComillas(sb, vb::CStr(v));
        return;
    case QMetaType::QString:
        appendCitado<false>(sb, *static_cast<const QString*>(v.constData()), uni);
        return;
    case QMetaType::QVariantList:
        writeArray(sb, *static_cast<const QVariantList*>(v.constData()), uni, nivel);
        return;
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString& s : *static_cast<const QStringList*>(v.constData()))
            list.append(s);
        writeArray(sb, list, uni, nivel);
        return;
    }
    default: {
        QString s = vb::CStr(v);
        s.replace(u',', u'.');
        sb.Append(s);
    }
    }
}

void clsJSON::writeArray(clsStringBuilder& sb, const QVariantList& list, bool uni, int nivel) {
    Nivel guarda(nivel);
    sb.Append(u'[');
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i > 0)
            sb.Append(u',');
        // An element with no text of its own would leave the array unreadable.
        if (!list[i].isValid())
            sb.Append("null"_L1);
        else
            writeValue(sb, list[i], uni, nivel);
    }
    sb.Append(u']');
}

void clsJSON::writeScalarQuoted(clsStringBuilder& sb, const Variant& v, int t, bool uni) {
    const QString texto = t == QMetaType::QString ? *static_cast<const QString*>(v.constData()) : textoDe(v);
    // appendCitado spelt out: on the writer's busiest path the compiler makes leaner code of it so.
    if (uni) {
        appendEscapado<true>(sb, texto, kComilla, kComilla);
    } else {
        sb.Append(u'"');
        sb.Append(texto);
        sb.Append(u'"');
    }
}

void clsJSON::writeMember(clsStringBuilder& sb, const Variant& v, bool uni, int nivel) {
    const int t = v.typeId();
    if (t == idObjeto()) {
        writeObjeto(sb, objetoDe(v), uni, nivel);
        return;
    }
    switch (t) {
    case QMetaType::Double: {
        const double x = *static_cast<const double*>(v.constData());
        if (std::isfinite(x))
            appendDouble(sb, x);
        else
            sb.Append("null"_L1);
        return;
    }
    case QMetaType::Bool:
        sb.Append(v.toBool() ? "true"_L1 : "false"_L1);
        return;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime: {
        const QDateTime fecha = vb::CDate(v);
        appendEntreComillas(sb, fecha.isValid() ? fecha.date().toString(QStringLiteral("yyyy-MM-dd")) : QString());
        return;
    }
    default:
        writeScalarQuoted(sb, v, t, uni);
    }
}

void clsJSON::writeDictionary(clsStringBuilder& sb, const vb::Dictionary* d, bool uni, int nivel) {
    if (!d) {
        sb.Append("null"_L1);
        return;
    }
    Nivel guarda(nivel);
    if (d->Count() == 0) {
        sb.Append("{}"_L1);
        return;
    }
    sb.Append(u'{');
    const QStringList& keys = d->Keys();
    for (int i = 0; i < d->Count(); ++i) {
        const QStringView antes = i > 0 ? QStringView(u",\"") : kComilla;
        // Keys are escaped as texts are (the original wrote them as they stand): a request's key may
        // hold a quote or a control character that would break the reply.
        if (uni) {
            appendEscapado<true>(sb, keys[i], antes, QStringView(u"\":"));
        } else {
            sb.Append(antes);
            sb.Append(keys[i]);
            sb.Append("\":"_L1);
        }
        escribeONull(sb, "DictionaryToJson", [&] { writeMember(sb, d->at(i), uni, nivel); });
    }
    sb.Append(u'}');
}

void clsJSON::writeCollection(clsStringBuilder& sb, const vb::Object& obj, bool uni, int nivel) {
    Nivel guarda(nivel);
    // The items as VB's For Each gives them: a dictionary yields its keys.
    std::vector<Variant> claves;
    const std::vector<Variant>* items = nullptr;
    const std::vector<vb::EntidadPtr>* entidades = nullptr;
    switch (claseDe(&obj)) {
    case Clase::Coleccion:
        items = &static_cast<const vb::Collection&>(obj).items();
        break;
    case Clase::ColeccionGenerica:
        entidades = &static_cast<const vb::coleccionGenerica&>(obj).items();
        break;
    case Clase::Diccionario:
        for (const QString& k : static_cast<const vb::Dictionary&>(obj).Keys())
            claves.emplace_back(k);
        items = &claves;
        break;
    default:
        vb::Raise(vb::err::NoSuchMember);
    }
    const size_t cuenta = items ? items->size() : entidades->size();
    if (cuenta == 0) {
        sb.Append("[]"_L1);
        return;
    }
    sb.Append(u'[');
    for (size_t i = 0; i < cuenta; ++i) {
        if (i > 0)
            sb.Append(u',');
        escribeONull(sb, "CollectionToJson", [&] {
            if (entidades)
                writeEntity(sb, (*entidades)[i].get(), uni, nivel);
            else
                writeItem(sb, (*items)[i], uni, nivel);
        });
    }
    sb.Append(u']');
}

void clsJSON::writeItem(clsStringBuilder& sb, const Variant& v, bool uni, int nivel) {
    const int t = v.typeId();
    if (t == idObjeto())
        writeObjeto(sb, objetoDe(v), uni, nivel);
    else
        writeScalarQuoted(sb, v, t, uni);
}

void clsJSON::writeEntity(clsStringBuilder& sb, const vb::entidadGenerica* e, bool uni, int nivel) {
    if (!e)
        vb::Raise(vb::err::ObjectNotSet);
    writeDictionary(sb, e->Diccionario().get(), uni, nivel);
}

QString clsJSON::toString(const Variant& value, bool bConvertToUnicode) {
    clsStringBuilder sb;
    AtrapaErrores(QStringLiteral("clsJSON.toString"), [&] { writeValue(sb, value, bConvertToUnicode, 0); });
    return sb.toString();
}

QString clsJSON::IEntidadToJson(const vb::EntidadPtr& e, bool bConvertToUnicode) {
    return textoOReporta("IEntidadToJson", [&](clsStringBuilder& sb) {
        if (!e)
            vb::Raise(vb::err::ObjectNotSet);
        writeDictionary(sb, basLegacyFunctions::GetDiccionario(vb::FromObject(e)).get(), bConvertToUnicode, 0);
    });
}

QString clsJSON::EntidadGenericaToJson(const vb::EntidadPtr& e, bool bConvertToUnicode) {
    return textoOReporta("EntidadGenericaToJson",
                         [&](clsStringBuilder& sb) { writeEntity(sb, e.get(), bConvertToUnicode, 0); });
}

QString clsJSON::CollectionToJson(const Variant& c, bool bConvertToUnicode) {
    return textoOReporta("CollectionToJson", [&](clsStringBuilder& sb) {
        if (!vb::IsObject(c))
            vb::Raise(vb::err::ObjectRequired);
        if (const vb::Object* obj = objetoDe(c))
            writeCollection(sb, *obj, bConvertToUnicode, 0);
        else
            sb.Append("null"_L1);
    });
}

QString clsJSON::DictionaryToJson(const std::shared_ptr<vb::Dictionary>& d, bool bConvertToUnicode) {
    return textoOReporta("DictionaryToJson",
                         [&](clsStringBuilder& sb) { writeDictionary(sb, d.get(), bConvertToUnicode, 0); });
}
