// basFuncionesComunes: text on paper: columns, alignment and word wrap after the print markup.
#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "platform/Prompts.h"
#include "platform/VBError.h"
#include <algorithm>
#include <vector>

namespace basFuncionesComunes {

namespace {

std::function<QString(const QString&)>& sustituyeTags() {
    static std::function<QString(const QString&)> f;
    return f;
}

} // namespace

qsizetype Columnas(const QString& texto) {
    qsizetype n = texto.size();
    for (qsizetype i = 0; i + 1 < texto.size(); ++i)
        if (texto.at(i).isHighSurrogate() && texto.at(i + 1).isLowSurrogate()) {
            --n;
            ++i;
        }
    return n;
}

QString IzquierdaColumnas(const QString& texto, qsizetype columnas) {
    qsizetype i = 0;
    for (qsizetype c = 0; c < columnas && i < texto.size(); ++c)
        i += texto.at(i).isHighSurrogate() && i + 1 < texto.size() && texto.at(i + 1).isLowSurrogate() ? 2 : 1;
    return texto.left(i);
}

QString AlineaTexto(const QString& texto, qint32 ancho, bool alinearIzquierda, bool recortar, const QString& relleno) {
    // A negative width fits the text to nothing.
    const qint32 w = std::max<qint32>(ancho, 0);
    QString s = recortar ? vb::Trim(texto) : texto;
    const qsizetype columnas = Columnas(s);
    if (columnas > w)
        return IzquierdaColumnas(s, w);
    const qsizetype falta = w - columnas;
    if (!relleno.isEmpty() && relleno != QLatin1String(" ")) {
        const QString r = relleno.repeated(falta);
        return alinearIzquierda ? s + r : r + s;
    }
    return alinearIzquierda ? s + QString(falta, QLatin1Char(' ')) : QString(falta, QLatin1Char(' ')) + s;
}

namespace {

// The text as characters: a surrogate pair is one character (one column on paper), any other code
// unit one of its own. Positions are 1-based; offset() gives where a character starts in the text.
class Caracteres {
public:
    explicit Caracteres(const QString& t) : m_t(t) {
        for (qsizetype i = 0; i + 1 < t.size(); ++i)
            if (t.at(i).isHighSurrogate() && t.at(i + 1).isLowSurrogate()) {
                m_inicio.reserve(size_t(t.size()) + 1);
                for (qsizetype j = 0; j < t.size(); ++j) {
                    m_inicio.push_back(j);
                    if (t.at(j).isHighSurrogate() && j + 1 < t.size() && t.at(j + 1).isLowSurrogate())
                        ++j;
                }
                m_inicio.push_back(t.size());
                break;
            }
    }
    qsizetype size() const { return m_inicio.empty() ? m_t.size() : qsizetype(m_inicio.size()) - 1; }
    bool es(qsizetype k, char c) const { return m_t.at(offset(k)) == QLatin1Char(c); }
    // Characters desde .. hasta - 1.
    QStringView trozo(qsizetype desde, qsizetype hasta) const {
        return QStringView(m_t).mid(offset(desde), offset(hasta) - offset(desde));
    }

private:
    qsizetype offset(qsizetype k) const { return m_inicio.empty() ? k - 1 : m_inicio[size_t(k - 1)]; }
    const QString& m_t;
    std::vector<qsizetype> m_inicio; // empty when every character is one code unit
};

} // namespace

// Each line looks for a line feed in its window, else breaks at the last blank of its window, else
// widens the window up to the next blank. The searches look back only as far as the line's start and
// forward only to the next blank, so every character is looked at a bounded number of times.
QString AjustaTexto(int ancho, QString& texto, int sangria) {
    QString resultado;
    vb::OnError(
        [&] {
            texto = aplicarSustituyeTags(texto);
            const Caracteres t(texto);
            const qsizetype largo = t.size();
            const qsizetype disponible = qsizetype(ancho) - sangria;
            const QString margen(std::max(sangria, 0), QLatin1Char(' '));
            // Whether the text holds a blank at or before a position: only the first blank tells.
            qsizetype primerEspacio = 0;
            for (qsizetype k = 1; k <= largo && primerEspacio == 0; ++k)
                if (t.es(k, ' '))
                    primerEspacio = k;
            // The last `c` in (desde, hasta], or 0.
            auto ultimoEntre = [&](char c, qsizetype desde, qsizetype hasta) -> qsizetype {
                for (qsizetype k = std::min(hasta, largo); k > desde; --k)
                    if (t.es(k, c))
                        return k;
                return 0;
            };
            qsizetype pos = 1, extra = 0;
            while (pos <= largo) {
                qsizetype fin;
                bool corteEnEspacio = false;
                if (pos + disponible > largo) {
                    fin = largo + 1;
                } else {
                    // A line feed in the window (a window reaching past the text has none).
                    const qsizetype w = pos + disponible + extra;
                    const qsizetype p = w <= largo ? ultimoEntre('\n', pos, w) : 0;
                    if (p > pos) {
                        fin = p + 1;
                    } else {
                        corteEnEspacio = true;
                        const qsizetype w0 = pos + disponible;
                        if (w0 < 1 || primerEspacio == 0 || primerEspacio > w0) {
                            // No blank up to the window's end: the rest is one line.
                            fin = largo + 1;
                            extra = 1;
                        } else if (const qsizetype s = ultimoEntre(' ', pos, w0); s > pos) {
                            fin = s;
                            extra = 1;
                        } else {
                            // The window widens one character at a time until it takes in the next blank.
                            qsizetype n = std::max(pos, w0) + 1;
                            while (n <= largo && !t.es(n, ' '))
                                ++n;
                            fin = n;
                            extra = n - w0 + 1;
                        }
                    }
                }
                resultado += margen;
                resultado += vb::Trim(t.trozo(pos, fin).toString());
                if (corteEnEspacio)
                    resultado += QLatin1String("\r\n");
                pos = fin;
            }
        },
        [](const VBError& e) { MensajeUsuario(e.description(), prompts::vbExclamation); });
    return resultado;
}

QString AjustaTexto(int ancho, const QString& texto, int sangria) {
    QString copia = texto;
    return AjustaTexto(ancho, copia, sangria);
}

void setSustituyeTags(std::function<QString(const QString&)> f) {
    sustituyeTags() = std::move(f);
}

QString aplicarSustituyeTags(const QString& texto) {
    const auto& f = sustituyeTags();
    return f ? f(texto) : texto;
}

} // namespace basFuncionesComunes
