// The serial scale's frames and the rule for where a reply ends. The first byte chooses:
//
// - below 0x80: it picks the model (0, 3, 5 or 7), the rest is one read of the port. Every weight
//   read is a finite number; a model 0 reading comes only from a reply that begins with "+" (not
//   "+N"); and the framed models (5: STX frames, 7: CR frames, when a CR ends a frame near the end of
//   the read) read the last frames only, so bytes before the last 26 never change the reading. The
//   same bytes arriving in pieces at any times never keep a read past its overall bound.
// - 0x80 and above: a valid frame of a model (0, an "other" one, 3, 5 or 7; request or continuous
//   mode; model 5 with any status) is built from the next bytes and arrives split in pieces, each
//   pause below the quiet bound. However it is split, the read gives the whole frame's weight when
//   the frame came in time, and no weight otherwise: never a part's. In request mode the whole road
//   runs (empty the line, write, wait, read) on a simulated line, and the line may first hold any
//   bytes of an earlier reply, which may go on arriving after the weighing began (a late reply): the
//   weight billed is still this reply's whole frame's or none, a stable one only from a frame that
//   says it is stable.
#include "scale/clsComm.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using clsCommTramas::Lectura;

// The wait between the request and the read.
constexpr qint64 kEsperaMs = 200;

[[noreturn]] void falla(const char* que, int modelo, const QByteArray& datos) {
    std::fprintf(stderr, "model %d: %s: %s\n", modelo, que, datos.toPercentEncoding().constData());
    std::abort();
}

bool iguales(const std::optional<Lectura>& a, const std::optional<Lectura>& b) {
    return a.has_value() == b.has_value() && (!a || (a->peso == b->peso && a->estable == b->estable));
}

// Bytes that reach the port at a time (ms on the line's clock).
struct Llegada {
    qint64 t;
    QByteArray bytes;
};

// A line on a clock of its own: bytes arrive at their times (ms since the weighing began; the reply's
// after the request was written), reads return what has arrived, waits move the clock.
struct LineaSimulada {
    std::vector<Llegada> llegadas;  // sorted by time
    std::vector<Llegada> respuesta; // times after the write
    qint64 t = 0;
    qint64 escrito = -1;
    qint64 ahora() const { return t; }
    bool colgada() const { return false; }
    QByteArray lee(int maxBytes, qint64 esperaMs) {
        if (llegadas.empty() || llegadas.front().t > t + esperaMs) {
            t += esperaMs;
            return {};
        }
        t = std::max(t, llegadas.front().t);
        QByteArray r;
        while (!llegadas.empty() && llegadas.front().t <= t && r.size() < maxBytes) {
            Llegada& l = llegadas.front();
            const qsizetype cabe = maxBytes - r.size();
            r += l.bytes.left(cabe);
            if (l.bytes.size() > cabe) {
                l.bytes.remove(0, cabe);
                break;
            }
            llegadas.erase(llegadas.begin());
        }
        return r;
    }
    bool escribe(const QByteArray&) {
        escrito = t;
        for (const Llegada& l : respuesta)
            llegadas.push_back({t + l.t, l.bytes});
        std::stable_sort(llegadas.begin(), llegadas.end(),
                         [](const Llegada& a, const Llegada& b) { return a.t < b.t; });
        return true;
    }
    void esperaRespuesta(qint64 ms) { t += ms; }
};

// A read of the line as clsComm::LeePuerto reads the port, on a clock of its own: what it gives
// (nothing when cut short).
std::optional<Lectura> lee(int modelo, const std::vector<Llegada>& llegadas, const QByteArray& todo) {
    LineaSimulada linea;
    linea.llegadas = llegadas;
    const clsCommTramas::LecturaLinea r = clsCommTramas::LeeRespuesta(linea, modelo);
    if (r.ms > clsCommTramas::kLecturaTotalMs)
        falla("a read went on past its overall bound", modelo, todo);
    if (r.cortada)
        return std::nullopt;
    return clsCommTramas::DecodificaContinuo(modelo, r.datos);
}

// Reads the fuzz input a byte at a time (0 once it is spent).
struct Bytes {
    const uint8_t* p;
    size_t n;
    size_t i = 0;
    unsigned siguiente() { return i < n ? p[i++] : 0; }
    unsigned dos() {
        const unsigned alto = siguiente();
        return alto << 8 | siguiente();
    }
    bool quedan() const { return i < n; }
};

void arbitrarios(int modelo, const QByteArray& datos, const uint8_t* resto, size_t n) {
    const auto l = clsCommTramas::DecodificaContinuo(modelo, datos);
    if (l && !std::isfinite(l->peso))
        falla("a weight that is no finite number", modelo, datos);
    if (modelo == 0 && l && (!datos.startsWith('+') || datos.startsWith("+N")))
        falla("a reading from a reply that does not begin with \"+\"", modelo, datos);
    using clsCommTramas::Respuesta;
    const auto p = clsCommTramas::ClasificaPeticion(modelo, datos, false);
    if (p.respuesta == Respuesta::Peso || p.respuesta == Respuesta::NoEstable) {
        if (!std::isfinite(p.peso) || p.peso <= 0)
            falla("a request-mode weight that is no positive finite number", modelo, datos);
        if (!clsCommTramas::EmpiezaTrama(modelo, datos))
            falla("a request-mode weight from a reply that does not begin as its frames begin", modelo, datos);
    }
    // A model 7 read with no CR near its end takes its frame from the start of the read.
    if ((modelo == 5 || (modelo == 7 && datos.right(9).contains('\r'))) && datos.size() >= 26) {
        // What came before: garbage, and whole frames of the model.
        for (const QByteArray& antes : {QByteArray("\x02 0012.345\r\x02", 12), QByteArray("+0001.25\r"),
                                        QByteArray(40, '\x02'), QByteArray(40, '\r')})
            if (!iguales(clsCommTramas::DecodificaContinuo(modelo, antes + datos), l))
                falla("bytes before the last frames changed the reading", modelo, datos);
    }
    // The same bytes in pieces of 1 to 16 bytes, each after a pause of 0 to 2550 ms.
    std::vector<Llegada> llegadas;
    Bytes b{resto, n};
    qint64 t = 0;
    for (qsizetype k = 0; k < datos.size();) {
        const qsizetype largo = 1 + qsizetype(b.siguiente() % 16);
        t += qint64(b.siguiente()) * 10;
        llegadas.push_back({t, datos.mid(k, largo)});
        k += largo;
    }
    const auto r = lee(modelo, llegadas, datos);
    if (r && !std::isfinite(r->peso))
        falla("a weight read in pieces that is no finite number", modelo, datos);
}

// A valid frame of `modelo` built from the input, with the weight it says and whether it says it is
// stable (model 5's status: "A", "B" stable, "!" not, "?" undefined).
QByteArray trama(int modelo, Bytes& b, double& peso, char& estado) {
    estado = 'A';
    const unsigned kilos = b.dos() % 10000, milesimas = b.dos() % 1000;
    const unsigned variante = b.siguiente();
    QString t;
    switch (modelo) {
    case 3:
        peso = kilos % 1000 + milesimas / 1000.0;
        t = QStringLiteral("%1%2.%3 kg\r\n")
                .arg(variante % 2 ? QLatin1Char('+') : QLatin1Char(' '))
                .arg(kilos % 1000, 3, 10, QLatin1Char(' '))
                .arg(milesimas, 3, 10, QLatin1Char('0'));
        break;
    case 5:
        peso = kilos + milesimas / 1000.0;
        estado = "AB!?"[variante % 4];
        t = QStringLiteral("\x02%1%2,%3")
                .arg(QLatin1Char(estado))
                .arg(kilos, 4, 10, QLatin1Char(variante & 4 ? '0' : ' '))
                .arg(milesimas, 3, 10, QLatin1Char('0'));
        break;
    case 7:
        peso = kilos + (milesimas % 100) / 100.0;
        t = QStringLiteral("%1.%2\r").arg(kilos, 4, 10, QLatin1Char('0')).arg(milesimas % 100, 2, 10, QLatin1Char('0'));
        break;
    default: {
        static const char* const kFinales[] = {"\r\n", "\r", "\n", ""};
        peso = kilos + milesimas / 1000.0;
        t = QStringLiteral("+%1.%2%3%4")
                .arg(kilos, 6, 10, QLatin1Char(' '))
                .arg(milesimas, 3, 10, QLatin1Char('0'))
                .arg(variante & 4 ? QStringLiteral(" kg") : QString())
                .arg(QLatin1String(kFinales[variante % 4]));
    }
    }
    return t.toLatin1();
}

// What a request for the frame `entera` (weight `peso`, status `estado`) may bill: its own weight
// when stable, and when not stable or undefined never a weight.
void compruebaPeticion(int modelo, const clsCommTramas::Clasificada& c, double peso, char estado,
                       const QByteArray& todo) {
    using clsCommTramas::Respuesta;
    if (c.respuesta != Respuesta::Peso && c.respuesta != Respuesta::NoEstable)
        return;
    if (std::abs(c.peso - peso) > 1e-9)
        falla("a request billed a weight that is not its reply's whole frame's", modelo, todo);
    if (estado == '?')
        falla("a frame of a status the scale does not define gave a weight", modelo, todo);
    if ((c.respuesta == Respuesta::Peso) != (estado != '!'))
        falla(estado == '!' ? "a frame not stable gave a stable weight" : "a stable frame read as not stable", modelo,
              todo);
}

void partida(unsigned selector, const uint8_t* resto, size_t n) {
    static const int kModelos[] = {0, 1, 3, 5, 7};
    const unsigned s = selector & 0x7F;
    const int modelo = kModelos[s % 5];
    const bool continuo = s / 5 % 2;
    const bool pendiente = s / 10 % 2; // the exchange before left a reply that may still come
    const bool conAntes = s / 20 % 2;  // bytes of an earlier reply on the line
    Bytes b{resto, n};
    double peso = 0;
    char estado = 'A';
    const QByteArray entera = trama(modelo, b, peso, estado);
    const auto esperada = lee(modelo, {{0, entera}}, entera);
    if (!esperada || std::abs(esperada->peso - peso) > 1e-9)
        falla("a whole frame does not read as the weight it says", modelo, entera);
    using clsCommTramas::Respuesta;
    const clsCommTramas::Clasificada entero = clsCommTramas::ClasificaPeticion(modelo, entera, false);
    compruebaPeticion(modelo, entero, peso, estado, entera);

    // Pieces: a length, then the pause before the next piece (below the quiet bound); the first piece
    // comes after a delay of up to 1275 ms (after the read began; in request mode after the wait).
    std::vector<Llegada> llegadas;
    qint64 t = qint64(b.siguiente()) * 5, finTrama = -1;
    QByteArray llegado;
    for (qsizetype k = 0; k < entera.size();) {
        const qsizetype largo = 1 + qsizetype(b.siguiente() % entera.size());
        llegadas.push_back({t, entera.mid(k, largo)});
        llegado += llegadas.back().bytes;
        if (finTrama < 0 && clsCommTramas::FinDeTrama(modelo, llegado))
            finTrama = t;
        k += largo;
        t += b.dos() % clsCommTramas::kSilencioMs;
    }
    const qint64 ultimo = llegadas.back().t;
    // In time: its frame end before the read's bound, or, with none, the quiet bound after its last
    // byte. Late: after it. Bytes that come at the very bound may or may not be read.
    const qint64 llega = finTrama >= 0 ? finTrama : ultimo + clsCommTramas::kSilencioMs;
    const bool aTiempo = llega < clsCommTramas::kLecturaTotalMs;
    if (continuo) {
        const auto leida = lee(modelo, llegadas, entera);
        if (llega == clsCommTramas::kLecturaTotalMs ? leida && !iguales(leida, esperada)
            : aTiempo                               ? !iguales(leida, esperada)
                                                    : leida.has_value())
            falla(aTiempo ? "a frame split in time did not read whole" : "a frame that came too late gave a weight",
                  modelo, entera);
        return;
    }

    // Request mode: the whole road. The reply's pieces come after the request and its wait.
    LineaSimulada linea;
    for (const Llegada& l : llegadas)
        linea.respuesta.push_back({l.t + kEsperaMs, l.bytes});
    QByteArray todo = entera;
    if (conAntes) {
        // An earlier reply: any bytes, in pieces less than the quiet bound apart, its first on the line
        // before the weighing began, or, after an exchange that left a reply pending (whose last byte
        // came before the weighing began), less than the quiet bound after it began.
        qint64 ta = (pendiente ? clsCommTramas::kSilencioMs - 1 : -1) - qint64(b.dos() % 3000);
        for (unsigned piezas = 1 + b.siguiente() % 8; piezas > 0 && b.quedan(); --piezas) {
            QByteArray pieza;
            for (unsigned largo = 1 + b.siguiente() % 24; largo > 0 && b.quedan(); --largo)
                pieza += char(b.siguiente());
            linea.llegadas.push_back({ta, pieza});
            todo = pieza + todo;
            ta += b.dos() % clsCommTramas::kSilencioMs;
        }
    }
    bool pendienteAhora = pendiente;
    const clsCommTramas::Intercambio r =
        clsCommTramas::PideYLee(linea, modelo, clsCommTramas::PeticionPesada(modelo), kEsperaMs, pendienteAhora);
    compruebaPeticion(modelo, r.clasificada, peso, estado, todo);
    if (r.lectura.ms > clsCommTramas::kLecturaTotalMs || r.msVaciado > clsCommTramas::kVaciadoTotalMs + 1)
        falla("a read or the emptying of the line went on past its bound", modelo, todo);
    // Nothing else on the line: the reply read in time is read whole, and only then.
    if (!conAntes && !pendiente && llega != clsCommTramas::kLecturaTotalMs) {
        const bool igual = r.clasificada.respuesta == entero.respuesta &&
                           (r.clasificada.respuesta == Respuesta::SinProducto ||
                            r.clasificada.respuesta == Respuesta::SinLectura || r.clasificada.peso == entero.peso);
        const bool facturado =
            r.clasificada.respuesta == Respuesta::Peso || r.clasificada.respuesta == Respuesta::NoEstable;
        if (aTiempo ? !igual : facturado)
            falla(aTiempo ? "a frame split in time did not read whole" : "a frame that came too late gave a reading",
                  modelo, entera);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    if (data[0] >= 0x80) {
        partida(data[0], data + 1, size - 1);
        return 0;
    }
    static const int kModelos[] = {0, 3, 5, 7};
    const int modelo = kModelos[data[0] % 4];
    // The read's bytes; a second copy of the input paces their arrival.
    const QByteArray datos(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    arbitrarios(modelo, datos, data + 1, size - 1);
    return 0;
}
