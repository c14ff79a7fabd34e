// clsJSON: the reader, and the checks and conversions of a text (what it holds, a date, a Boolean).
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
    if (m_soloLimites || ++m_quejas > kMaxQuejas)
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
        m_cierre = false;
        m_errorPendiente.reset();
        AtrapaErrores(QStringLiteral("clsJSON.parseDictionary"), [&] { leido = parseObject(str, index); });
        m_finLectura = {index, m_cierre && !m_errorPendiente, bool(m_errorPendiente)};
        return leido;
    }
    m_finLectura = {};
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

qsizetype clsJSON::finDeObjeto(QStringView text) {
    clsJSON lector;
    lector.m_soloLimites = true;
    qsizetype index = 0;
    skipChar(text, index);
    if (index >= text.size() || text[index] != u'{')
        return kSinCerrar;
    bool anidado = false;
    vb::OnError([&] { lector.parseObject(text, index); },
                [&](const VBError& e) { anidado = e.number() == vb::err::OutOfStack; });
    if (lector.m_errorPendiente)
        anidado = anidado || lector.m_errorPendiente->number() == vb::err::OutOfStack;
    if (anidado)
        return kDemasiadoAnidado;
    return lector.m_cierre && !lector.m_errorPendiente ? index : kSinCerrar;
}

void clsJSON::skipChar(QStringView str, qsizetype& index) {
    const QChar* p = str.data();
    const qsizetype n = str.size();
    RellenoJSON relleno;
    while (index < n && relleno.salta(p[index].unicode()))
        ++index;
}

template <char16_t kCierre, class Antes, class Anade>
bool clsJSON::leeElementos(QStringView str, qsizetype& index, qsizetype ultima, Antes&& antes, Anade&& anade) {
    int atascos = 0;
    for (;;) {
        skipChar(str, index);
        if (index == ultima) {
            if (++atascos > 5)
                return m_cierre = false;
        } else {
            atascos = 0;
        }
        ultima = index;
        const bool dentro = index < str.size();
        if (dentro && str[index] == kCierre) {
            ++index;
            m_cierre = true;
            return false;
        }
        m_cierre = false;
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
        [&](Variant&& value) {
            if (!m_soloLimites)
                dic->Add(key, std::move(value));
        });
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
        str, index, index, [] {},
        [&](Variant&& value) {
            if (!m_soloLimites)
                col->Add(std::move(value));
        });
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
