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

void reportar(const char* procedimiento, const VBError& err) {
    ControlErrores(kProcedimiento + QLatin1StringView(procedimiento), true, err);
}

// Counts the open levels of a parse or a write; one more than clsJSON::kMaxNivel is error 28.
class Nivel final {
public:
    explicit Nivel(int& nivel) : m_nivel(nivel) {
        if (m_nivel >= clsJSON::kMaxNivel)
            vb::Raise(vb::err::OutOfStack, QStringLiteral("Out of stack space"));
        ++m_nivel;
    }
    ~Nivel() { --m_nivel; }
    Nivel(const Nivel&) = delete;
    Nivel& operator=(const Nivel&) = delete;

private:
    int& m_nivel;
};

// VB's Mid and Right on a text whose position may already lie past its end.
QString medio(QStringView str, qsizetype from, qsizetype len) {
    if (from >= str.size())
        return QString();
    return str.mid(from, std::min(len, str.size() - from)).toString();
}

QString derecha(QStringView str, qsizetype len) {
    return (str.size() <= len ? str : str.right(len)).toString();
}

QString posicion(qsizetype index) {
    return QString::number(index + 1);
}

// ASCII-only case folding: the reader's letter tests never match other scripts.
inline char16_t minuscula(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c | 0x20) : c;
}

bool empiezaPor(QStringView str, qsizetype index, QLatin1StringView palabra) {
    if (index < 0 || str.size() - index < palabra.size())
        return false;
    for (qsizetype i = 0; i < palabra.size(); ++i)
        if (minuscula(str[index + i].unicode()) != char16_t(palabra[i].unicode()))
            return false;
    return true;
}

inline bool esCaracterNumero(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' || c == u'e' || c == u'E';
}

inline int valorHex(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    c = minuscula(c);
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// The longest leading part of a text of the number alphabet that forms a decimal number (one
// optional sign, digits with one point, an optional exponent); 0 when there is none or it lies
// beyond the range of a double.
double valNumero(QStringView s) {
    char local[64];
    std::string grande;
    char* buf = local;
    if (s.size() > qsizetype(sizeof local)) {
        grande.resize(size_t(s.size()));
        buf = grande.data();
    }
    for (qsizetype i = 0; i < s.size(); ++i)
        buf[i] = char(s[i].unicode());
    const char* first = buf;
    const char* last = buf + s.size();
    if (first < last && *first == '+') {
        ++first;
        if (first < last && (*first == '+' || *first == '-'))
            return 0;
    }
    double value = 0;
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    if (res.ec != std::errc())
        return 0;
    return value;
}

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

// The first and last characters of the text once spaces, tabs and line ends are left aside.
std::pair<QChar, QChar> extremos(const QString& text) {
    auto blanco = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    qsizetype a = 0;
    qsizetype b = text.size() - 1;
    while (a <= b && blanco(text[a]))
        ++a;
    while (b >= a && blanco(text[b]))
        --b;
    if (a > b)
        return {QChar(), QChar()};
    return {text[a], text[b]};
}

bool esNull(const QString& text) {
    return text.compare("null"_L1, Qt::CaseInsensitive) == 0;
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
        reportar(procedimiento, fallo);
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

// The value's text by the program's standard conversion; Null and Empty give "".
QString textoDe(const Variant& v) {
    if (!v.isValid() || v.typeId() == QMetaType::Nullptr)
        return QString();
    return vb::CStr(v);
}

// "name":"value", both escaped as toUnicode when `escapar`.
void appendParTexto(clsStringBuilder& sb, QStringView nombre, QStringView valor, bool escapar) {
    appendCitado<true>(sb, nombre, escapar);
    sb.Append(u':');
    appendCitado<true>(sb, valor, escapar);
}

} // namespace

clsJSON::clsJSON() : m_sbCadena(std::make_unique<clsStringBuilder>()) {}
clsJSON::~clsJSON() = default;

// ======================================================================================== reading

bool clsJSON::EsJson(const QString& text) {
    bool es = false;
    AtrapaErrores(QStringLiteral("clsJSON.EsJson"), [&] {
        const auto [primero, ultimo] = extremos(text);
        es = (primero == u'{' && ultimo == u'}') || (primero == u'[' && ultimo == u']');
    });
    return es;
}

bool clsJSON::EsJsonArray(const QString& text) {
    bool es = false;
    AtrapaErrores(QStringLiteral("clsJSON.EsJsonArray"), [&] {
        const auto [primero, ultimo] = extremos(text);
        es = primero == u'[' && ultimo == u']';
    });
    return es;
}

bool clsJSON::EsJsonObject(const QString& text) {
    bool es = false;
    AtrapaErrores(QStringLiteral("clsJSON.EsJsonObject"), [&] {
        const auto [primero, ultimo] = extremos(text);
        es = primero == u'{' && ultimo == u'}';
    });
    return es;
}

bool clsJSON::TryParseColeccionGenerica(const QString& text, vb::ColeccionPtr& coleccion) {
    coleccion = std::make_shared<vb::coleccionGenerica>();
    bool ok = false;
    AtrapaErrores(QStringLiteral("clsJSON.TryParseColeccionGenerica"), [&] {
        if (esNull(text)) {
            ok = true;
            return;
        }
        if (!EsJsonArray(text))
            return;
        const auto lista = std::dynamic_pointer_cast<vb::Collection>(parse(text));
        if (!lista)
            vb::Raise(vb::err::ObjectNotSet);
        for (const Variant& item : lista->items())
            coleccion->Add(basLegacyFunctions::NewCollection(item));
        ok = true;
    });
    return ok;
}

bool clsJSON::TryParseObjeto(const QString& text, vb::EntidadPtr& objeto) {
    objeto = std::make_shared<vb::entidadGenerica>();
    bool ok = false;
    AtrapaErrores(QStringLiteral("clsJSON.TryParseObjeto"), [&] {
        if (esNull(text)) {
            ok = true;
            return;
        }
        if (!EsJsonObject(text))
            return;
        if (const auto dic = std::dynamic_pointer_cast<vb::Dictionary>(parse(text))) {
            objeto = basLegacyFunctions::NewCollection(vb::FromObject(dic));
            ok = true;
        }
    });
    return ok;
}

bool clsJSON::TryParseColeccion(const QString& text, std::shared_ptr<vb::Collection>& coleccion) {
    coleccion = std::make_shared<vb::Collection>();
    bool ok = false;
    AtrapaErrores(QStringLiteral("clsJSON.TryParseColeccion"), [&] {
        if (esNull(text)) {
            ok = true;
        } else if (EsJsonArray(text)) {
            coleccion = std::dynamic_pointer_cast<vb::Collection>(parse(text));
            ok = true;
        }
    });
    return ok;
}

void clsJSON::empezarLectura() {
    ClearParserErrors();
    m_errorPendiente.reset();
    m_nivel = 0;
}

void clsJSON::ClearParserErrors() {
    sParserErrors = QString();
    m_quejas = 0;
}

QString clsJSON::GetParserErrors() const {
    if (m_quejas <= kMaxQuejas)
        return sParserErrors;
    return sParserErrors + QStringLiteral("... y ") + QString::number(m_quejas - kMaxQuejas) +
           QStringLiteral(" quejas más\r\n");
}

template <class F> void clsJSON::queja(F&& linea) {
    if (++m_quejas > kMaxQuejas)
        return;
    sParserErrors += linea();
    sParserErrors += "\r\n"_L1;
}

vb::ObjectPtr clsJSON::parse(const QString& text) {
    empezarLectura();
    const QStringView str(text);
    qsizetype index = 0;
    vb::ObjectPtr leido;
    // Errors here end the reading with nothing read.
    vb::ResumeNext([&] {
        skipChar(str, index);
        if (index < str.size() && str[index] == u'{') {
            leido = parseObject(str, index);
        } else if (index < str.size() && str[index] == u'[') {
            leido = parseArray(str, index);
        } else {
            sParserErrors = QStringLiteral("Invalid JSON");
            m_quejas = 1;
        }
    });
    return leido;
}

QDateTime clsJSON::ParseFecha(const Variant& v) {
    QDateTime resultado(QDate(1899, 12, 30), QTime(0, 0));
    AtrapaErrores(QStringLiteral("clsJSON.ParseFecha"), [&] {
        if (vb::IsDate(v))
            resultado = vb::CDate(v);
        else if (vb::IsNumeric(v))
            resultado = basLegacyFunctions::FechaDesdeYYYYMMDD(v);
    });
    return resultado;
}

bool clsJSON::ParseBool(const Variant& v) {
    bool si = false;
    AtrapaErrores(QStringLiteral("clsJSON.ParseBool"), [&] {
        if (v.typeId() == QMetaType::Bool) {
            si = v.toBool();
        } else if (vb::IsNumeric(v)) {
            si = vb::CDbl(v) != 0;
        } else if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString();
            si = s.compare("true"_L1, Qt::CaseInsensitive) == 0 ||
                 s.compare("verdadero"_L1, Qt::CaseInsensitive) == 0 || s.compare("S"_L1, Qt::CaseInsensitive) == 0;
        }
    });
    return si;
}

std::shared_ptr<vb::Dictionary> clsJSON::parseDictionary(const QString& text) {
    empezarLectura();
    const QStringView str(text);
    qsizetype index = 0;
    skipChar(str, index);
    if (index < str.size() && str[index] == u'{') {
        std::shared_ptr<vb::Dictionary> leido;
        AtrapaErrores(QStringLiteral("clsJSON.parseDictionary"), [&] { leido = parseObject(str, index); });
        return leido;
    }
    vb::Raise(vb::err::TypeMismatch, QStringLiteral("El JSON no es un objeto o un dictionary"),
              QStringLiteral("clsJSON.parseDictionary"));
}

vb::EntidadPtr clsJSON::parseIEntidad(const QString& text) {
    vb::EntidadPtr entidad;
    AtrapaErrores(QStringLiteral("clsJSON.parseIEntidad"), [&] {
        if (const auto dic = parseDictionary(text))
            entidad = basLegacyFunctions::NewCollection(vb::FromObject(dic));
    });
    return entidad;
}

void clsJSON::skipChar(QStringView str, qsizetype& index) {
    const QChar* p = str.data();
    const qsizetype n = str.size();
    bool barra = false; // a "/" or "*" read and not yet paired
    bool comentario = false;
    bool largo = false; // a /* ... */ comment
    for (; index < n; ++index) {
        switch (p[index].unicode()) {
        case u'\r':
        case u'\n':
            if (!largo) {
                barra = false;
                comentario = false;
            }
            break;
        case u'\t':
        case u' ':
        case u'(':
        case u')':
            break;
        case u'/':
            if (largo) {
                if (barra)
                    largo = comentario = barra = false;
            } else if (barra) {
                comentario = true;
                barra = false;
            } else {
                barra = true;
                comentario = largo = false;
            }
            break;
        case u'*':
            if (barra) {
                comentario = largo = true;
                barra = false;
            } else {
                barra = true;
            }
            break;
        default:
            if (!comentario)
                return;
        }
    }
}

template <char16_t kCierre, class Antes, class Anade>
bool clsJSON::leeElementos(QStringView str, qsizetype& index, qsizetype ultima, Antes&& antes, Anade&& anade) {
    int atascos = 0;
    for (;;) {
        skipChar(str, index);
        if (index == ultima) {
            if (++atascos > 5)
                return false;
        } else {
            atascos = 0;
        }
        ultima = index;
        const bool dentro = index < str.size();
        if (dentro && str[index] == kCierre) {
            ++index;
            return false;
        }
        if (dentro && str[index] == u',') {
            ++index;
            skipChar(str, index);
        } else if (!dentro) {
            queja([&] { return QString("Missing '"_L1) + QChar(kCierre) + "': "_L1 + derecha(str, 20); });
            return false;
        }
        antes();
        m_errorPendiente.reset();
        Variant value;
        const auto pendiente = [&](const VBError& e) { m_errorPendiente = e; };
        vb::OnError([&] { value = parseValue(str, index); }, pendiente);
        vb::OnError([&] { anade(std::move(value)); }, pendiente);
        if (m_errorPendiente)
            return true;
    }
}

std::shared_ptr<vb::Dictionary> clsJSON::parseObject(QStringView str, qsizetype& index) {
    Nivel nivel(m_nivel);
    auto dic = std::make_shared<vb::Dictionary>();
    const qsizetype inicio = index;
    skipChar(str, index);
    if (index >= str.size() || str[index] != u'{') {
        queja([&] {
            return "Invalid Object at position "_L1 + posicion(index) + " : "_L1 + medio(str, index, kMaxExtracto);
        });
        return dic;
    }
    ++index;
    QString key;
    const bool error = leeElementos<u'}'>(
        str, index, inicio, [&] { key = parseKey(str, index); },
        [&](Variant&& value) { dic->Add(key, std::move(value)); });
    if (error)
        queja([&] { return m_errorPendiente->description() + ": "_L1 + key.left(kMaxExtracto); });
    return dic;
}

std::shared_ptr<vb::Collection> clsJSON::parseArray(QStringView str, qsizetype& index) {
    Nivel nivel(m_nivel);
    auto col = std::make_shared<vb::Collection>();
    skipChar(str, index);
    if (index >= str.size() || str[index] != u'[') {
        queja([&] { return "Invalid Array at position "_L1 + posicion(index) + " : "_L1 + medio(str, index, 20); });
        return col;
    }
    ++index;
    const bool error = leeElementos<u']'>(
        str, index, index, [] {}, [&](Variant&& value) { col->Add(std::move(value)); });
    if (error)
        queja([&] { return m_errorPendiente->description() + ": "_L1 + medio(str, index, 20); });
    return col;
}

Variant clsJSON::parseValue(QStringView str, qsizetype& index) {
    skipChar(str, index);
    if (index < str.size()) {
        switch (str[index].unicode()) {
        case u'{':
            return vb::FromObject(parseObject(str, index));
        case u'[':
            return vb::FromObject(parseArray(str, index));
        case u'"':
        case u'\'':
            return parseString(str, index);
        case u't':
        case u'T':
        case u'f':
        case u'F':
            return parseBoolean(str, index);
        case u'n':
        case u'N':
            return parseNull(str, index);
        default:
            break;
        }
    }
    return parseNumber(str, index);
}

QString clsJSON::parseString(QStringView str, qsizetype& index) {
    skipChar(str, index);
    const qsizetype n = str.size();
    if (index >= n)
        return QString();
    const QChar comilla = str[index];
    ++index;
    // Most strings hold no escapes: take them in one piece.
    const qsizetype inicio = index;
    while (index < n && str[index] != comilla && str[index] != u'\\')
        ++index;
    if (index >= n)
        return str.mid(inicio).toString();
    if (str[index] == comilla) {
        ++index;
        return str.mid(inicio, index - 1 - inicio).toString();
    }
    clsStringBuilder& sb = *m_sbCadena;
    sb.Remove(0, sb.Length()); // keeps its storage for the next string
    sb.Append(str.mid(inicio, index - inicio));
    while (index < n) {
        const QChar c = str[index];
        if (c == u'\\') {
            ++index;
            const char16_t letra = index < n ? minuscula(str[index].unicode()) : char16_t(0);
            switch (letra) {
            case u'"':
            case u'\\':
            case u'/':
            case u'\'':
                sb.Append(str[index]);
                ++index;
                break;
            case u'b':
                sb.Append(QChar(8)), ++index;
                break;
            case u'f':
                sb.Append(QChar(12)), ++index;
                break;
            case u'n':
                sb.Append(QChar(10)), ++index;
                break;
            case u'r':
                sb.Append(QChar(13)), ++index;
                break;
            case u't':
                sb.Append(QChar(9)), ++index;
                break;
            case u'u': {
                ++index;
                char16_t code = 0;
                for (qsizetype i = 0; i < 4 && index + i < n; ++i) {
                    const int d = valorHex(str[index + i].unicode());
                    if (d < 0)
                        break;
                    code = char16_t(code * 16 + d);
                }
                sb.Append(QChar(code));
                index += 4;
                break;
            }
            default:
                // An unknown escape drops the backslash; the letter is read as an ordinary character.
                break;
            }
        } else if (c == comilla) {
            ++index;
            return sb.view().toString();
        } else {
            const qsizetype tramo = index;
            while (index < n && str[index] != comilla && str[index] != u'\\')
                ++index;
            sb.Append(str.mid(tramo, index - tramo));
        }
    }
    return sb.view().toString();
}

Variant clsJSON::parseNumber(QStringView str, qsizetype& index) {
    skipChar(str, index);
    const qsizetype inicio = index;
    const qsizetype n = str.size();
    while (index < n && esCaracterNumero(str[index].unicode()))
        ++index;
    if (index >= n)
        return Variant();
    return Variant(valNumero(str.mid(inicio, index - inicio)));
}

bool clsJSON::parseBoolean(QStringView str, qsizetype& index) {
    skipChar(str, index);
    if (empiezaPor(str, index, "true"_L1)) {
        index += 4;
        return true;
    }
    if (empiezaPor(str, index, "false"_L1)) {
        index += 5;
        return false;
    }
    queja([&] {
        return "Invalid Boolean at position "_L1 + posicion(index) + " : "_L1 + medio(str, index, kMaxExtracto);
    });
    return false;
}

Variant clsJSON::parseNull(QStringView str, qsizetype& index) {
    skipChar(str, index);
    if (empiezaPor(str, index, "null"_L1)) {
        index += 4;
        return vb::Null();
    }
    queja([&] {
        return "Invalid null value at position "_L1 + posicion(index) + " : "_L1 + medio(str, index, kMaxExtracto);
    });
    return Variant();
}

QString clsJSON::parseKey(QStringView str, qsizetype& index) {
    skipChar(str, index);
    const qsizetype n = str.size();
    QString key;
    bool comillas = false;
    bool apostrofes = false;
    while (index < n) {
        const char16_t c = str[index].unicode();
        switch (c) {
        case u'"':
        case u'\'': {
            bool& abierta = c == u'"' ? comillas : apostrofes;
            abierta = !abierta;
            ++index;
            if (!abierta) {
                skipChar(str, index);
                if (index >= n || str[index] != u':') {
                    queja([&] {
                        return "Invalid Key at position "_L1 + posicion(index) + " : "_L1 + key.left(kMaxExtracto);
                    });
                    return key;
                }
            }
            break;
        }
        case u':':
            ++index;
            if (!comillas && !apostrofes)
                return key;
            key += u':';
            break;
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ':
            ++index;
            break;
        default: {
            const qsizetype tramo = index;
            for (++index; index < n; ++index) {
                const char16_t d = str[index].unicode();
                if (d == u'"' || d == u'\'' || d == u':' || d == u'\r' || d == u'\n' || d == u'\t' || d == u' ')
                    break;
            }
            if (key.isEmpty())
                key = str.mid(tramo, index - tramo).toString();
            else
                key += str.mid(tramo, index - tramo);
        }
        }
    }
    return key;
}

// ======================================================================================== writing

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

void clsJSON::writeRecordsWrapper(clsStringBuilder& sb, QStringView records, qint64 count) {
    sb.Append("( {\"Records\": [\r\n"_L1);
    sb.Append(records);
    sb.Append("\r\n], \"RecordCount\":\""_L1);
    sb.Append(QString::number(count));
    sb.Append("\" } )"_L1);
}

QString clsJSON::StringToJSON(const QString& st, bool bConvertToUnicode) {
    if (st.isEmpty())
        return QStringLiteral("null");
    clsStringBuilder sb;
    const QStringList filas = st.split(u'|');
    for (const QString& fila : filas) {
        const QStringList campos = fila.isEmpty() ? QStringList() : fila.split(u'~');
        if (campos.size() % 2 != 0)
            vb::Raise(vb::err::SubscriptOutOfRange);
        if (sb.Length() > 0)
            sb.Append(",\r\n"_L1);
        sb.Append(u'{');
        for (qsizetype i = 0; i < campos.size(); i += 2) {
            if (i > 0)
                sb.Append(u',');
            appendParTexto(sb, campos[i], campos[i + 1], bConvertToUnicode);
        }
        sb.Append(u'}');
    }
    clsStringBuilder salida;
    writeRecordsWrapper(salida, sb.view(), filas.size());
    return salida.toString();
}

QString clsJSON::RStoJSON(ado::Recordset* rs, OpcionesRS opciones) {
    // Any error gives an empty text.
    QString texto;
    vb::ResumeNext([&] {
        if (!rs)
            vb::Raise(vb::err::ObjectNotSet);
        if (rs->State() != ado::adStateOpen || rs->isBOF() || rs->isEOF()) {
            texto = QStringLiteral("null");
            return;
        }
        clsStringBuilder sb;
        qint64 cuenta = 0;
        while (!rs->isBOF() && !rs->isEOF()) {
            ++cuenta;
            if (sb.Length() > 0)
                sb.Append(",\r\n"_L1);
            sb.Append(u'{');
            for (int i = 0; i < rs->FieldCount(); ++i) {
                const ado::Field& campo = rs->Fields(i);
                if (i > 0)
                    sb.Append(u',');
                appendParTexto(sb, campo.Name, textoDe(campo.Value), true);
            }
            sb.Append(u'}');
            rs->MoveNext();
            if (opciones.blnSoloPrimerRegistro) {
                texto = sb.toString();
                return;
            }
        }
        clsStringBuilder salida;
        if (opciones.blnAddRecordsYRecordCount) {
            writeRecordsWrapper(salida, sb.view(), cuenta);
        } else {
            salida.Append("[\r\n"_L1);
            salida.Append(sb.view());
            salida.Append("\r\n]"_L1);
        }
        texto = salida.toString();
    });
    return texto;
}
