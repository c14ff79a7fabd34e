// basFuncionesComunes: reading numbers and values, binary text, the clock's seconds and the waits.
// The masks, the SQL literals, the text layout and the HTML live in basFuncionesComunes_*.cpp.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/VBError.h"
#include <QFile>
#include <algorithm>
#include <cmath>

namespace basFuncionesComunes {

namespace {

// Empty, Null, objects and arrays have no text of their own.
bool legibleComoTexto(const Variant& v) {
    switch (vb::VarType(v)) {
    case 0:    // Empty
    case 1:    // Null
    case 9:    // object
    case 8204: // arrays and every other kind
        return false;
    default:
        return true;
    }
}

} // namespace

double ValNumero(const QString& texto) {
    QString s = texto;
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    qsizetype i = 0;
    const qsizetype n = s.size();
    auto cifra = [&](qsizetype k) { return k < n && s[k] >= QLatin1Char('0') && s[k] <= QLatin1Char('9'); };
    while (i < n && (s[i] == QLatin1Char(' ') || s[i] == QLatin1Char('\t') || s[i] == QLatin1Char('\r') ||
                     s[i] == QLatin1Char('\n')))
        ++i;
    // sign, digits with at most one point, then an exponent when digits follow it
    QString numero;
    if (i < n && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        numero += s[i++];
    QString entero, fraccion;
    while (cifra(i))
        entero += s[i++];
    if (i < n && s[i] == QLatin1Char('.')) {
        ++i;
        while (cifra(i))
            fraccion += s[i++];
    }
    if (entero.isEmpty() && fraccion.isEmpty())
        return 0;
    numero += (entero.isEmpty() ? QStringLiteral("0") : entero) + QLatin1Char('.') +
              (fraccion.isEmpty() ? QStringLiteral("0") : fraccion);
    if (i < n && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponente = QStringLiteral("e");
        if (j < n && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            exponente += s[j++];
        const qsizetype antes = j;
        while (cifra(j))
            exponente += s[j++];
        if (j > antes)
            numero += exponente;
    }
    bool ok = false;
    const double d = QLocale::c().toDouble(numero, &ok);
    if (!ok || !std::isfinite(d))
        return 0;
    return d;
}

Variant VarToStr(const Variant& v, const Variant& defecto, bool decodificarBinario) {
    Variant valor = defecto;
    vb::ResumeNext([&] {
        const Variant x = decodificarBinario ? BinaryToString(v) : v;
        if (!x.isValid() || vb::IsNull(x) || !legibleComoTexto(x))
            return;
        if (x.typeId() == QMetaType::QString && x.toString() == QLatin1String("#ERROR#"))
            return;
        valor = x;
    });
    return valor;
}

namespace {

// The test of esBinaryString: raw bytes, or a text whose first (up to three) characters are all "?".
bool pareceBinario(const Variant& v) {
    if (vb::IsObject(v))
        return false;
    if (v.typeId() == QMetaType::QByteArray)
        return true; // raw bytes from the driver
    if (v.typeId() != QMetaType::QString)
        return false;
    const QString s = v.toString();
    const qsizetype n = std::min<qsizetype>(s.size(), 3);
    if (n == 0)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (s[i] != QLatin1Char('?'))
            return false;
    return true;
}

} // namespace

bool esBinaryString(const Variant& v) {
    bool binario = false;
    AtrapaErrores(QStringLiteral("basFunc.esBinaryString"), [&] { binario = pareceBinario(v); });
    return binario;
}

namespace {

// The conversion of BinaryToString.
Variant textoDeBinario(const Variant& v) {
    if (!esBinaryString(v))
        return v;
    if (v.typeId() == QMetaType::QByteArray)
        return cp1252::decode(v.toByteArray());
    const QString s = v.toString();
    QString r;
    r.reserve(s.size());
    for (QChar c : s)
        r += cp1252::charFor(static_cast<unsigned char>(c.unicode() & 0xFF));
    return r;
}

} // namespace

Variant BinaryToString(const Variant& v) {
    Variant texto = v;
    AtrapaErrores(QStringLiteral("basFunc.BinaryToString"), [&] { texto = textoDeBinario(v); });
    return texto;
}

float Segundos() {
    return float(clock_seam::secondsSinceMidnight());
}

QString TextoSegundos(int decimales) {
    if (decimales >= 0)
        return QString::number(clock_seam::secondsSinceMidnight(), 'f', decimales);
    // The log puts it on most lines, many of them in the same hundredth: the last text is kept.
    thread_local float ultimo = -1;
    thread_local QString texto;
    const float s = Segundos();
    if (s != ultimo || texto.isEmpty()) {
        texto = vb::CStr(Variant(s));
        ultimo = s;
    }
    return texto;
}

void Espera(qint64 milisegundos) {
    if (milisegundos <= 0)
        return;
    program::waitMs(milisegundos);
}

bool EjecutandoEnIDE() {
    // Run from the development environment means here: under a debugger (a tracer attached to us).
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    while (!f.atEnd()) {
        const QByteArray linea = f.readLine();
        if (linea.startsWith("TracerPid:"))
            return linea.mid(10).trimmed().toLongLong() != 0;
    }
    return false;
}

} // namespace basFuncionesComunes
