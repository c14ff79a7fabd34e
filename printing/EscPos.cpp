#include "printing/EscPos.h"

#include "platform/Cp1252.h"
#include <algorithm>

namespace escpos {

namespace {

enum : int { DLE = 16, ESC = 27, FS = 28, GS = 29 };

// Lengths are 64-bit: the largest a command can claim (255 images of 65535 x 65535 x 8 bytes) fits
// with room to spare, so no parameter bytes can make one wrap round to a negative or short length.
using Largo = qint64;

class Lector {
public:
    Lector(const QString& t, qsizetype p) : m_t(t), m_p(p), m_resto(t.size() - p) {}
    // The byte at offset k from the start of the command; -1 outside the text on either side.
    int operator()(Largo k) const { return k >= 0 && k < m_resto ? cp1252::byteFor(m_t.at(m_p + k)) : -1; }
    int b0(Largo k) const { return std::max(0, (*this)(k)); }
    // Little-endian 16-bit parameter at k (missing bytes read as 0).
    Largo w16(Largo k) const { return b0(k) + 256 * Largo(b0(k + 1)); }
    // Characters from the start of the command to the end of the text.
    Largo resto() const { return m_resto; }
    // Offset of the first NUL at or after k (the terminator of a variable list), or the end.
    Largo hastaNul(Largo k, Largo max) const {
        while (k < max && k < m_resto && (*this)(k) != 0)
            ++k;
        return k + 1;
    }

private:
    const QString& m_t;
    qsizetype m_p;
    Largo m_resto;
};

Largo longitudEsc(const Lector& b) {
    switch (b(1)) {
    case -1:
        return 1;
    case GS:
        return b(2) == 7 ? 6 : 4; // ESC GS BEL d t1 t2 (buzzer); ESC GS x n
    case '@':
    case '2':
    case '<':
    case 'L':
    case 'S':
    case 'i':
    case 'm':
    case 'o':
    case 12:
        return 2;
    case '$':
    case '\\':
        return 4;
    case 'B':
        return 4; // buzzer n t
    case 'c':
        return 4; // ESC c x n (paper sensors, panel keys, paper station)
    case 'p':
        return 5; // drawer pulse m t1 t2
    case 'W':
        return 10;
    case 'D':
        return b.hastaNul(2, 2 + 32);
    case '*': { // bit image m nL nH d1..dk
        const Largo columnas = b.w16(3);
        const int m = b(2);
        return 5 + columnas * ((m == 32 || m == 33) ? 3 : 1);
    }
    case '(':
        return 5 + b.w16(3);
    case '&': { // user-defined characters y c1 c2 [x d1..d(y*x)]...
        const Largo y = b.b0(2);
        Largo k = 5;
        for (int c = b.b0(3); c <= b.b0(4) && b(k) >= 0; ++c)
            k += 1 + y * b.b0(k);
        return k;
    }
    default:
        return 3; // ESC x n
    }
}

Largo longitudGs(const Lector& b) {
    switch (b(1)) {
    case -1:
        return 1;
    case ':':
        return 2;
    case '$':
    case 'L':
    case 'W':
    case '\\':
    case 'P':
        return 4;
    case '^':
        return 5;
    case 'V': {
        const int m = b(2);
        return (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) ? 4 : 3;
    }
    case '(':
    case '8':
        return 5 + b.w16(3);
    case '*':
        return 4 + Largo(b.b0(2)) * b.b0(3) * 8;
    case 'v':
        return 8 + b.w16(4) * b.w16(6);
    case 'k': {
        const int m = b(2);
        if (m >= 0 && m <= 6)
            return b.hastaNul(3, 3 + 255);
        return 4 + b.b0(3);
    }
    default:
        return 3; // GS x n
    }
}

Largo longitudFs(const Lector& b) {
    switch (b(1)) {
    case -1:
        return 1;
    case '&':
    case '.':
        return 2;
    case 'p':
    case 'S':
        return 4;
    case '2':
        return 4 + 72;
    case 'q': { // NV bit images: n, then per image xL xH yL yH data
        Largo k = 3;
        for (int i = 0; i < b.b0(2) && b(k) >= 0; ++i)
            k += 4 + b.w16(k) * b.w16(k + 2) * 8;
        return k;
    }
    default:
        return 3;
    }
}

} // namespace

qsizetype longitudComando(const QString& texto, qsizetype pos) {
    if (pos < 0 || pos >= texto.size())
        return 0;
    const Lector b(texto, pos);
    Largo largo = 0;
    switch (b(0)) {
    case ESC:
        largo = longitudEsc(b);
        break;
    case GS:
        largo = longitudGs(b);
        break;
    case FS:
        largo = longitudFs(b);
        break;
    case DLE:
        largo = b(1) == 4 || b(1) == 5 ? 3 : b(1) == 20 ? 5 : 2;
        break;
    default:
        return 0;
    }
    // A command that claims more than is left ends at the end of the text; every command moves on.
    return qsizetype(std::clamp<Largo>(largo, 1, b.resto()));
}

} // namespace escpos
