#include "Variant.h"
#include "Cp1252.h"
#include "VBError.h"
#include <QDate>
#include <QTime>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace vb {
namespace {

// A number taken out of a Variant: whole numbers keep all their bits.
struct Number {
    bool isInteger = false;
    qint64 i = 0;
    double d = 0;
    double asDouble() const { return isInteger ? double(i) : d; }
};

const QDate kOleEpoch(1899, 12, 30);

double dateToSerial(const QDateTime& dt) {
    const qint64 days = kOleEpoch.daysTo(dt.date());
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the fraction counts forwards from the day, as VB keeps it.
    return days >= 0 ? double(days) + frac : double(days) - frac;
}

QDateTime serialToDate(double serial) {
    if (!std::isfinite(serial) || serial < -657434.0 || serial >= 2958466.0)
        Raise(err::Overflow);
    const double whole = std::trunc(serial);
    const double frac = std::fabs(serial - whole);
    qint64 ms = qint64(std::llround(frac * 86400000.0));
    QDate d = kOleEpoch.addDays(qint64(whole));
    if (ms >= 86400000) {
        ms = 0;
        d = d.addDays(1);
    }
    return QDateTime(d, QTime::fromMSecsSinceStartOfDay(int(ms)));
}

bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Roughly the power of ten of a plain decimal text ("123.4e5" -> 8, "0.001" -> -2).
int decimalMagnitude(const QByteArray& ascii) {
    const qsizetype ePos = ascii.indexOf('e');
    const QByteArray mantissa = ePos < 0 ? ascii : ascii.left(ePos);
    const long long exponent = ePos < 0 ? 0 : ascii.mid(ePos + 1).toLongLong();
    const qsizetype point = mantissa.indexOf('.');
    const QByteArray whole = point < 0 ? mantissa : mantissa.left(point);
    const QByteArray frac = point < 0 ? QByteArray() : mantissa.mid(point + 1);
    long long mag = 0;
    qsizetype firstWhole = 0;
    while (firstWhole < whole.size() && whole[firstWhole] == '0')
        ++firstWhole;
    if (firstWhole < whole.size()) {
        mag = whole.size() - firstWhole;
    } else {
        qsizetype zeros = 0;
        while (zeros < frac.size() && frac[zeros] == '0')
            ++zeros;
        if (zeros == frac.size())
            return 0; // all zeros
        mag = -zeros;
    }
    mag += exponent;
    return int(std::clamp<long long>(mag, -100000, 100000));
}

// Reads a text as VB reads a number, without regional settings: optional sign, digits with one ".",
// an exponent with E or D, or &H / &O whole numbers. Returns false when the text is no number;
// sets overflow when it is one but does not fit a Double.
bool parseNumberText(const QString& text, Number& out, bool& overflow) {
    overflow = false;
    qsizetype b = 0, e = text.size();
    while (b < e && isSpace(text[b]))
        ++b;
    while (e > b && isSpace(text[e - 1]))
        --e;
    if (b == e)
        return false;
    const QString s = text.mid(b, e - b);
    if (s.size() >= 3 && s[0] == u'&' && (s[1].toUpper() == u'H' || s[1].toUpper() == u'O')) {
        const bool hex = s[1].toUpper() == u'H';
        const QString digits = s.mid(2);
        if (digits.size() > (hex ? 8 : 11))
            return false;
        bool ok = false;
        const quint64 v = digits.toULongLong(&ok, hex ? 16 : 8);
        if (!ok || v > 0xFFFFFFFFull)
            return false;
        out.isInteger = true;
        if (v <= 0xFFFF && digits.size() <= (hex ? 4 : 6))
            out.i = qint16(quint16(v)); // like the literal &HFFFF: an Integer
        else
            out.i = qint32(quint32(v));
        return true;
    }
    QByteArray ascii;
    ascii.reserve(s.size() + 1);
    qsizetype p = 0;
    bool negative = false;
    if (s[p] == u'+' || s[p] == u'-') {
        negative = s[p] == u'-';
        ++p;
    }
    int mantissaDigits = 0;
    bool sawPoint = false;
    for (; p < s.size(); ++p) {
        const QChar c = s[p];
        if (c >= u'0' && c <= u'9') {
            ascii.append(char(c.unicode()));
            ++mantissaDigits;
        } else if (c == u'.' && !sawPoint) {
            ascii.append('.');
            sawPoint = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (p < s.size() && (s[p].toUpper() == u'E' || s[p].toUpper() == u'D')) {
        ascii.append('e');
        ++p;
        if (p < s.size() && (s[p] == u'+' || s[p] == u'-'))
            ascii.append(char(s[p++].unicode()));
        int expDigits = 0;
        for (; p < s.size() && s[p] >= u'0' && s[p] <= u'9'; ++p, ++expDigits)
            ascii.append(char(s[p].unicode()));
        if (expDigits == 0)
            return false;
    }
    if (p != s.size())
        return false;
    if (!sawPoint && !ascii.contains('e') && ascii.size() <= 18) {
        out.isInteger = true;
        out.i = ascii.toLongLong();
        if (negative)
            out.i = -out.i;
        return true;
    }
    double d = 0;
    const auto res = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), d);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large does not fit; too small is zero.
        if (decimalMagnitude(ascii) > 0) {
            overflow = true;
            return true;
        }
        d = 0;
    } else if (res.ec != std::errc() || res.ptr != ascii.constData() + ascii.size()) {
        return false;
    }
    out.isInteger = false;
    out.d = negative ? -d : d;
    return true;
}

bool isBoolText(const QString& s, bool& value) {
    const QString t = s.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        value = true;
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        value = false;
        return true;
    }
    return false;
}

bool isObjectType(const Variant& v) {
    return v.metaType() == QMetaType::fromType<ObjectPtr>();
}

// The numeric value of a Variant for the conversions; raises 94 for Null, 13 for what is no number.
Number toNumber(const Variant& v) {
    Number n;
    if (!v.isValid())
        return Number{true, 0, 0};
    switch (v.typeId()) {
    case QMetaType::Nullptr:
        Raise(err::InvalidUseOfNull);
    case QMetaType::Bool:
        return Number{true, v.toBool() ? -1 : 0, 0};
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return Number{true, v.toLongLong(), 0};
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const quint64 u = v.toULongLong();
        if (u > quint64(std::numeric_limits<qint64>::max()))
            return Number{false, 0, double(u)};
        return Number{true, qint64(u), 0};
    }
    case QMetaType::Float:
        return Number{false, 0, double(v.value<float>())};
    case QMetaType::Double:
        return Number{false, 0, v.toDouble()};
    case QMetaType::QDateTime:
        return Number{false, 0, dateToSerial(v.toDateTime())};
    case QMetaType::QDate:
        return Number{false, 0, dateToSerial(QDateTime(v.toDate(), QTime(0, 0)))};
    case QMetaType::QTime:
        return Number{false, 0, dateToSerial(QDateTime(kOleEpoch, v.toTime()))};
    case QMetaType::QChar:
    case QMetaType::QString: {
        const QString s = v.toString();
        bool overflow = false;
        if (parseNumberText(s, n, overflow)) {
            if (overflow)
                Raise(err::Overflow);
            return n;
        }
        bool b = false;
        if (isBoolText(s, b))
            return Number{true, b ? -1 : 0, 0};
        Raise(err::TypeMismatch);
    }
    default:
        break;
    }
    if (isObjectType(v) && !v.value<ObjectPtr>())
        Raise(err::ObjectNotSet);
    Raise(err::TypeMismatch);
}

qint64 roundToWhole(const Number& n, qint64 lo, qint64 hi) {
    if (n.isInteger) {
        if (n.i < lo || n.i > hi)
            Raise(err::Overflow);
        return n.i;
    }
    if (!std::isfinite(n.d))
        Raise(err::Overflow);
    const double r = RoundHalfEven(n.d);
    if (r < double(lo) || r > double(hi))
        Raise(err::Overflow);
    return qint64(r);
}

QString doubleText(double d, int precision) {
    if (d == 0)
        return QStringLiteral("0"); // also for -0
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, precision);
    QString s = QString::fromLatin1(buf, res.ptr - buf);
    const qsizetype ePos = s.indexOf(u'e');
    if (ePos >= 0) {
        s[ePos] = u'E';
        // VB writes at least two exponent digits, like C's %G.
        QString exp = s.mid(ePos + 2);
        while (exp.size() < 2)
            exp.prepend(u'0');
        s = s.left(ePos + 2) + exp;
    }
    return s;
}

const QStringList& dateFormats() {
    static const QStringList f{
        QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"),
        QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"),
        QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("yyyy-MM-dd"),
        QStringLiteral("yyyy/MM/dd HH:mm:ss"),
        QStringLiteral("yyyy/MM/dd"),
        QStringLiteral("d/M/yyyy H:mm:ss"),
        QStringLiteral("d/M/yyyy H:mm"),
        QStringLiteral("d/M/yyyy"),
        QStringLiteral("d-M-yyyy H:mm:ss"),
        QStringLiteral("d-M-yyyy"),
        QStringLiteral("d/M/yy"),
    };
    return f;
}

bool parseDateText(const QString& text, QDateTime& out) {
    const QString s = text.trimmed();
    if (s.isEmpty())
        return false;
    for (const QString& f : dateFormats()) {
        QDateTime dt = QDateTime::fromString(s, f);
        if (dt.isValid()) {
            if (f == QLatin1String("d/M/yy") && dt.date().year() < 1930)
                dt = dt.addYears(100); // two-digit years 30..99 are 19xx, 00..29 are 20xx
            out = dt;
            return true;
        }
    }
    for (const char* f : {"H:mm:ss", "H:mm"}) {
        const QTime t = QTime::fromString(s, QLatin1String(f));
        if (t.isValid()) {
            out = QDateTime(kOleEpoch, t);
            return true;
        }
    }
    return false;
}

} // namespace

Variant Empty() {
    return Variant();
}
Variant Null() {
    return QVariant::fromValue(nullptr);
}
Variant Nothing() {
    return QVariant::fromValue(ObjectPtr());
}
Variant FromObject(ObjectPtr obj) {
    return QVariant::fromValue(std::move(obj));
}

bool IsEmpty(const Variant& v) {
    return !v.isValid();
}
bool IsNull(const Variant& v) {
    return v.typeId() == QMetaType::Nullptr;
}
bool IsObject(const Variant& v) {
    return isObjectType(v);
}
bool IsNothing(const Variant& v) {
    return isObjectType(v) && !v.value<ObjectPtr>();
}

ObjectPtr ToObject(const Variant& v) {
    return isObjectType(v) ? v.value<ObjectPtr>() : ObjectPtr();
}

bool IsNumeric(const Variant& v) {
    switch (VarType(v)) {
    case 0:  // Empty
    case 2:  // Integer
    case 3:  // Long
    case 4:  // Single
    case 5:  // Double
    case 11: // Boolean
    case 14: // Decimal
    case 17: // Byte
        return true;
    case 8: { // String
        Number n;
        bool overflow = false;
        return parseNumberText(v.toString(), n, overflow) && !overflow;
    }
    default:
        return false;
    }
}

bool IsDate(const Variant& v) {
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().isValid();
    case QMetaType::QDate:
        return v.toDate().isValid();
    case QMetaType::QTime:
        return v.toTime().isValid();
    case QMetaType::QString: {
        QDateTime dt;
        return parseDateText(v.toString(), dt);
    }
    default:
        return false;
    }
}

QString TypeName(const Variant& v) {
    if (isObjectType(v)) {
        const ObjectPtr o = v.value<ObjectPtr>();
        return o ? o->typeName() : QStringLiteral("Nothing");
    }
    switch (VarType(v)) {
    case 0:
        return QStringLiteral("Empty");
    case 1:
        return QStringLiteral("Null");
    case 2:
        return QStringLiteral("Integer");
    case 3:
        return QStringLiteral("Long");
    case 4:
        return QStringLiteral("Single");
    case 5:
        return QStringLiteral("Double");
    case 7:
        return QStringLiteral("Date");
    case 8:
        return QStringLiteral("String");
    case 11:
        return QStringLiteral("Boolean");
    case 14:
        return QStringLiteral("Decimal");
    case 17:
        return QStringLiteral("Byte");
    case 8209:
        return QStringLiteral("Byte()");
    default:
        return QStringLiteral("Variant()");
    }
}

int VarType(const Variant& v) {
    if (!v.isValid())
        return 0;
    switch (v.typeId()) {
    case QMetaType::Nullptr:
        return 1;
    case QMetaType::Bool:
        return 11;
    case QMetaType::UChar:
        return 17;
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
        return 2;
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::Long:
        return 3;
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return 14;
    case QMetaType::Float:
        return 4;
    case QMetaType::Double:
        return 5;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
    case QMetaType::QTime:
        return 7;
    case QMetaType::QChar:
    case QMetaType::QString:
        return 8;
    case QMetaType::QByteArray:
        return 8209;
    default:
        break;
    }
    if (isObjectType(v))
        return 9;
    return 8204; // an array of Variants
}

double RoundHalfEven(double x) {
    if (!std::isfinite(x))
        return x;
    const double f = std::floor(x);
    const double diff = x - f;
    if (diff < 0.5)
        return f;
    if (diff > 0.5)
        return f + 1;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

qint32 CLng(const Variant& v) {
    return qint32(roundToWhole(toNumber(v), std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

qint16 CInt(const Variant& v) {
    return qint16(roundToWhole(toNumber(v), std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

double CDbl(const Variant& v) {
    return toNumber(v).asDouble();
}

float CSng(const Variant& v) {
    const double d = CDbl(v);
    if (std::isfinite(d) && std::fabs(d) > double(std::numeric_limits<float>::max()))
        Raise(err::Overflow);
    return float(d);
}

bool CBool(const Variant& v) {
    if (v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QChar) {
        bool b = false;
        if (isBoolText(v.toString(), b))
            return b;
    }
    const Number n = toNumber(v);
    return n.isInteger ? n.i != 0 : n.d != 0;
}

QString CStr(const Variant& v) {
    if (!v.isValid())
        return QString();
    switch (v.typeId()) {
    case QMetaType::Nullptr:
        Raise(err::InvalidUseOfNull);
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QString::number(v.toLongLong());
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        return QString::number(v.toULongLong());
    case QMetaType::Float:
        return doubleText(double(v.value<float>()), 7);
    case QMetaType::Double:
        return doubleText(v.toDouble(), 15);
    case QMetaType::QDate:
    case QMetaType::QTime:
    case QMetaType::QDateTime: {
        const QDateTime dt = CDate(v);
        const bool noTime = dt.time().msecsSinceStartOfDay() == 0;
        if (dt.date() == kOleEpoch && !noTime)
            return dt.time().toString(QStringLiteral("HH:mm:ss"));
        if (noTime)
            return dt.date().toString(QStringLiteral("dd/MM/yyyy"));
        return dt.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    case QMetaType::QChar:
    case QMetaType::QString:
        return v.toString();
    case QMetaType::QByteArray:
        return cp1252::decode(v.toByteArray());
    default:
        break;
    }
    if (isObjectType(v) && !v.value<ObjectPtr>())
        Raise(err::ObjectNotSet);
    Raise(err::TypeMismatch);
}

QDateTime CDate(const Variant& v) {
    switch (v.typeId()) {
    case QMetaType::Nullptr:
        Raise(err::InvalidUseOfNull);
    case QMetaType::QDateTime:
        return v.toDateTime();
    case QMetaType::QDate:
        return QDateTime(v.toDate(), QTime(0, 0));
    case QMetaType::QTime:
        return QDateTime(kOleEpoch, v.toTime());
    case QMetaType::QString: {
        QDateTime dt;
        if (parseDateText(v.toString(), dt))
            return dt;
        Number n;
        bool overflow = false;
        if (parseNumberText(v.toString(), n, overflow) && !overflow)
            return serialToDate(n.asDouble());
        Raise(err::TypeMismatch);
    }
    default:
        break;
    }
    return serialToDate(toNumber(v).asDouble());
}

QChar Chr(int code) {
    if (code < 0 || code > 255)
        Raise(err::InvalidCall);
    return cp1252::charFor(static_cast<unsigned char>(code));
}

int Asc(QChar c) {
    const int b = cp1252::byteFor(c);
    return b < 0 ? 63 : b;
}

QString Space(int n) {
    if (n < 0)
        Raise(err::InvalidCall);
    return QString(n, u' ');
}

QString String(int n, QChar c) {
    if (n < 0)
        Raise(err::InvalidCall);
    return QString(n, c);
}

QString Left(const QString& s, int n) {
    if (n < 0)
        Raise(err::InvalidCall);
    return s.left(n);
}

QString Right(const QString& s, int n) {
    if (n < 0)
        Raise(err::InvalidCall);
    return s.right(n);
}

QString Mid(const QString& s, int start1, int len) {
    if (start1 < 1 || len < -1)
        Raise(err::InvalidCall);
    if (start1 > s.size())
        return QString();
    return len < 0 ? s.mid(start1 - 1) : s.mid(start1 - 1, len);
}

int InStr(const QString& s, const QString& find, int start1, Qt::CaseSensitivity cs) {
    if (start1 < 1)
        Raise(err::InvalidCall);
    if (s.isEmpty() || start1 > s.size())
        return 0;
    if (find.isEmpty())
        return start1;
    return int(s.indexOf(find, start1 - 1, cs)) + 1;
}

int InStrRev(const QString& s, const QString& find, int start1) {
    if (start1 == 0 || start1 < -1)
        Raise(err::InvalidCall);
    const int start = start1 == -1 ? int(s.size()) : start1;
    if (start > s.size())
        return 0;
    if (find.isEmpty())
        return start;
    const int from = start - int(find.size());
    if (from < 0)
        return 0;
    return int(s.lastIndexOf(find, from)) + 1;
}

QString LTrim(const QString& s) {
    qsizetype b = 0;
    while (b < s.size() && s[b] == u' ')
        ++b;
    return s.mid(b);
}

QString RTrim(const QString& s) {
    qsizetype e = s.size();
    while (e > 0 && s[e - 1] == u' ')
        --e;
    return s.left(e);
}

QString Trim(const QString& s) {
    return LTrim(RTrim(s));
}

} // namespace vb
