#pragma once
// Framing of the request protocol, kept free of sockets so it can be checked (and fuzzed) on bytes.
//
// A connection's bytes are gathered by LectorPeticiones until they make a whole request: as soon as
// the braces of the first JSON object balance (strings and their escapes respected), or, for a text
// that holds no "{" (or whose object never closes), once the peer has been quiet for a while. The
// request ends at the closing brace: the bytes after it (a second request sent right behind the
// first on a kept connection) are kept as the start of the next one. Blanks (space, tab, CR, LF)
// right behind a whole request are dropped, whether they come with it or in later arrivals, so the
// requests are the same however the network splits the bytes.
//
// analizaPeticion then takes the persistence prefix off and cuts the text at the first "{";
// enmarcaRespuesta frames the handler's reply ("200 OK" and CR, "null", the end marker).
#include <QByteArray>
#include <QString>

namespace trama {

inline constexpr qsizetype kMaxPeticion = qsizetype(1) << 20; // a request over 1 MiB is refused
inline constexpr int kSilencioMs = 500;                       // quiet time that ends a text without "{"

inline const QString kPersistente = QStringLiteral("conexion_persistente");
inline const QString kPersistenteFin = QStringLiteral("conexion_persistente_end");
inline const QString kMarcaFin = QStringLiteral("--QUELLMARDEN-END-CONNECTION--");

class LectorPeticiones final {
public:
    enum class Estado {
        Vacio,      // nothing gathered
        Incompleta, // more bytes (or the quiet time) are needed
        Completa,   // a whole JSON request is gathered: take it with toma()
        Excedida    // more than kMaxPeticion bytes without a whole request
    };

    // Adds one arrival of bytes and says what the gathered text is now.
    Estado anade(const QByteArray& llegada);
    // What the gathered text is, without adding anything.
    Estado estado() { return anade({}); }
    // The whole request when there is one (Completa), else everything gathered (the text of a quiet
    // timeout). What followed the request stays, scanned anew: ask estado() for it. Taking a text
    // that is no whole request does not drop the blanks that follow it.
    QByteArray toma();
    bool vacio() const { return m_datos.isEmpty(); }
    qsizetype tamano() const { return m_datos.size(); }
    // The gathered text has opened an object that has not closed yet.
    bool objetoAbierto() const { return m_dentroObjeto && !m_completa; }

private:
    QByteArray m_datos;
    qsizetype m_escaneado = 0; // bytes of m_datos already seen by the brace scan
    qsizetype m_fin = 0;       // with m_completa: the length of the request, up to its closing brace
    int m_profundidad = 0;     // open braces of the first object (0 before its "{")
    bool m_dentroObjeto = false;
    bool m_enCadena = false;
    bool m_escape = false;
    bool m_completa = false;
    bool m_trasPeticion = false; // a whole request was taken and nothing but blanks has come since
};

// One request as the framing sees it.
struct PeticionRecibida {
    QString datos;         // the text handed to the handler: from the first "{", or all of it without one
    QString Tag;           // "", "conexion_persistente" or "conexion_persistente_end"
    bool marcaFin = false; // the reply ends with the end marker
    bool modoJson = false; // the text held a "{": the reply starts with "200 OK" and CR
};

// Takes the persistence prefix off (ignoring case, at the very start: first the 24-character one,
// then a 20-character one right behind it) and cuts the text at its first "{".
PeticionRecibida analizaPeticion(const QString& texto);

// The reply as it goes on the wire: "200 OK" CR and the reply in JSON mode; the reply, or "null"
// when it is empty, otherwise; then the end marker between two zero characters when asked.
QString enmarcaRespuesta(const PeticionRecibida& peticion, const QString& respuesta);

// A text as traces and error replies show it: at most `maximo` characters, then how many more there were.
QString extracto(const QString& texto, qsizetype maximo);

inline bool esPersistente(const QString& tag) {
    return tag.compare(kPersistente, Qt::CaseInsensitive) == 0 ||
           tag.compare(kPersistenteFin, Qt::CaseInsensitive) == 0;
}

} // namespace trama
