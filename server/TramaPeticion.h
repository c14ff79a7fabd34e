#pragma once
// Framing of the request protocol, kept free of sockets so it can be checked (and fuzzed) on bytes.
//
// A connection's bytes are gathered by LectorPeticiones until they make a whole request: as soon as
// the JSON reader (clsJSON::finDeObjeto, the reader's own grammar: strings in double quotes or
// apostrophes, comments, keys without quotes) says that the object opened by the first "{" has
// closed, or, for a text that holds no "{" (or whose object never closes), once the peer has been
// quiet for a while or has shut its side (revisa, then toma: the text is handed to the reader as
// it stands). The request ends at the closing brace: the bytes after it (a second request sent
// right behind the first on a kept connection) are kept as the start of the next one. Blanks
// (space, tab, CR, LF) right behind a whole request are dropped, whether they come with it or in
// later arrivals, so the requests are the same however the network splits the bytes.
//
// The reader is asked again only when a "}" has come since it was last asked and the text has
// grown by an eighth (or is short): a request dribbled a byte at a time costs a bounded multiple
// of its size. A request whose end came in a small last piece is found by revisa, which the quiet
// time calls; where it ends does not depend on when the reader is asked.
//
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
        Excedida,   // more than kMaxPeticion bytes without a whole request
        Anidada     // the object nests deeper than the reader reads (clsJSON::kMaxNivel)
    };
    static constexpr qsizetype kRevisionInmediata = 4096; // up to this size every "}" asks the reader

    // Adds one arrival of bytes and says what the gathered text is now.
    Estado anade(const QByteArray& llegada);
    // What the gathered text is, without adding anything.
    Estado estado() { return anade({}); }
    // The same, after asking the reader about every "}" that has come: what the quiet time and the
    // peer's end of data use before they hand the text over as it stands.
    Estado revisa();
    // The whole request when there is one (Completa), else everything gathered (the text of a quiet
    // timeout). What followed the request stays, scanned anew: ask estado() for it. Taking a text
    // that is no whole request does not drop the blanks that follow it.
    QByteArray toma();
    bool vacio() const { return m_datos.isEmpty(); }
    qsizetype tamano() const { return m_datos.size(); }
    // The gathered text has opened an object that has not closed yet.
    bool objetoAbierto() const { return m_inicio >= 0 && !m_completa; }

private:
    Estado resultado() const;
    QByteArray m_datos;
    qsizetype m_inicio = -1;   // the first "{" (-1: none yet)
    qsizetype m_buscado = 0;   // bytes searched for it
    qsizetype m_vistos = 0;    // bytes searched for a "}"
    qsizetype m_revisado = 0;  // the size of the text when the reader was last asked
    bool m_llaveNueva = false; // a "}" came since then
    qsizetype m_fin = 0;       // with m_completa: the length of the request, up to its closing brace
    bool m_completa = false;
    bool m_anidada = false;
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
