#include "Cp1252.h"
#include <array>

namespace cp1252 {
namespace {

// The code page's 0x80..0x9F block; the five bytes it leaves undefined keep their C1 control.
constexpr char16_t kHighBlock[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> makeTable() {
    std::array<char16_t, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[size_t(i)] = (i >= 0x80 && i <= 0x9F) ? kHighBlock[i - 0x80] : char16_t(i);
    return t;
}

constexpr std::array<char16_t, 256> kToUnicode = makeTable();

} // namespace

QChar charFor(unsigned char byte) {
    return QChar(kToUnicode[byte]);
}

int byteFor(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i) {
        if (kHighBlock[i] == u)
            return 0x80 + i;
    }
    return -1;
}

QString decode(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* p = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        p[i] = QChar(kToUnicode[static_cast<unsigned char>(bytes[i])]);
    return out;
}

void encodeAppend(QByteArray& out, const QString& text, char replacement) {
    // Written into the buffer directly: the log encodes every line it writes.
    const qsizetype inicio = out.size();
    out.resize(inicio + text.size());
    char* d = out.data() + inicio;
    const QChar* c = text.constData();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = c[i].unicode();
        if (u < 0x80) {
            *d++ = char(u);
            continue;
        }
        // A character outside the basic plane is one character, written as one replacement.
        if (c[i].isHighSurrogate() && i + 1 < n && c[i + 1].isLowSurrogate()) {
            *d++ = replacement;
            ++i;
            continue;
        }
        const int b = byteFor(c[i]);
        *d++ = b < 0 ? replacement : char(b);
    }
    out.truncate(d - out.constData());
}

QByteArray encode(const QString& text, char replacement) {
    QByteArray out;
    encodeAppend(out, text, replacement);
    return out;
}

} // namespace cp1252
