#include "printing/EscPos.h"

#include "platform/Cp1252.h"
#include <algorithm>

namespace escpos {

namespace {

enum : int { DLE = 16, ESC = 27, FS = 28, GS = 29 };

class Lector {
public:
    Lector(const QString& t, int p) : m_t(t), m_p(p) {}
    // The byte at offset k from the start of the command; -1 past the end.
    int operator()(int k) const {
        const int i = m_p + k;
        return i < m_t.size() ? cp1252::byteFor(m_t.at(i)) : -1;
    }
    int b0(int k) const { return std::max(0, (*this)(k)); }
    // Offset of the first NUL at or after k (the terminator of a variable list), or the end.
    int hastaNul(int k, int max) const {
        while (k < max && m_p + k < m_t.size() && (*this)(k) != 0)
            ++k;
        return k + 1;
    }

private:
    const QString& m_t;
    int m_p;
};

int longitudEsc(const Lector& b) {
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
        const int columnas = b.b0(3) + 256 * b.b0(4);
        const int m = b(2);
        return 5 + columnas * ((m == 32 || m == 33) ? 3 : 1);
    }
    case '(':
        return 5 + b.b0(3) + 256 * b.b0(4);
    case '&': { // user-defined characters y c1 c2 [x d1..d(y*x)]...
        const int y = b.b0(2);
        int k = 5;
        for (int c = b.b0(3); c <= b.b0(4) && b(k) >= 0; ++c)
            k += 1 + y * b.b0(k);
        return k;
    }
    default:
        return 3; // ESC x n
    }
}

int longitudGs(const Lector& b) {
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
        return 5 + b.b0(3) + 256 * b.b0(4);
    case '*':
        return 4 + b.b0(2) * b.b0(3) * 8;
    case 'v':
        return 8 + (b.b0(4) + 256 * b.b0(5)) * (b.b0(6) + 256 * b.b0(7));
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

int longitudFs(const Lector& b) {
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
        int k = 3;
        for (int i = 0; i < b.b0(2) && b(k) >= 0; ++i)
            k += 4 + (b.b0(k) + 256 * b.b0(k + 1)) * (b.b0(k + 2) + 256 * b.b0(k + 3)) * 8;
        return k;
    }
    default:
        return 3;
    }
}

} // namespace

int longitudComando(const QString& texto, int pos) {
    if (pos < 0 || pos >= texto.size())
        return 0;
    const Lector b(texto, pos);
    int largo = 0;
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
    return std::min<qsizetype>(largo, texto.size() - pos);
}

} // namespace escpos
