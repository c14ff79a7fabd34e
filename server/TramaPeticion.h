#pragma once
// Framing of the request protocol, kept free of sockets so it can be checked (and fuzzed) on bytes.
//
// A connection's bytes are gathered by LectorPeticiones until they make a whole request. A request
// starts where the JSON reader starts reading it: at the first "{" outside a comment (what comes
// before is ignored, as it always was; a "{" inside a leading comment is no start). It is whole as
// soon as the reader (clsJSON::finDeObjeto, the reader's own grammar: strings in double quotes or
// apostrophes, comments, keys without quotes) says that this object has closed, and only then: a
// pause of the peer never ends an object, however long (the connection's time bound closes it
// unanswered). What ends without the reader is a text that holds no object (and is more than a
// prefix, blanks and comments): once the peer has been quiet for kSilencioMs, or at the peer's end of data (which also
// hands over an unclosed object as it stands). The request ends at the closing brace: the bytes after it (a second
// request sent right behind the first on a kept connection) are kept as the start of the next one. Blanks (space, tab,
// CR, LF) right behind a whole request are dropped, whether they come with it or in later arrivals, so the requests are
// the same however the network splits the bytes.
//
// The reader is asked on the arrival that brings a "}", so the end is found when its byte comes.
// Past kRevisionInmediata bytes the asking keeps to a budget, kCostePorByte times the size of the
// text, so a peer that sends a "}" in every byte of a large request costs a bounded multiple of
// it; a "}" the budget left unasked is asked about by revisa, which the connection's sweep calls
// once the peer pauses. Where a request ends never depends on when the reader is asked.
//
#include "server/json/clsJSON.h"

#include <QByteArray>
#include <QString>

namespace trama {

inline constexpr qsizetype kMaxPeticion = qsizetype(1) << 20; // a request over 1 MiB is refused
inline constexpr int kSilencioMs = 500;                       // quiet time that ends a text holding no object

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
    static constexpr qsizetype kCostePorByte = 32;        // then the reader reads at most this per byte

    // Adds one arrival of bytes and says what the gathered text is now.
    Estado anade(const QByteArray& llegada);
    // What the gathered text is, without adding anything.
    Estado estado() { return anade({}); }
    // The same, after asking the reader about every "}" that has come, whatever the budget: for
    // the pause of a peer, and for the peer's end of data before the text is handed over as it stands.
    Estado revisa();
    // A "}" has come that the reader has not been asked about (the budget held it back).
    bool revisionPendiente() const { return m_llaveNueva && m_inicio >= 0 && !m_completa && !m_anidada; }
    // The whole request when there is one (Completa), else everything gathered (the text of a quiet
    // timeout or of the peer's end). What followed the request stays, scanned anew: ask estado() for
    // it. Taking a text that is no whole request does not drop the blanks that follow it.
    QByteArray toma();
    bool vacio() const { return m_desde == m_datos.size(); }
    qsizetype tamano() const { return m_datos.size() - m_desde; }
    // The gathered text holds the start of an object: no pause ends it, only its closing brace
    // (or the peer's end of data).
    bool conObjeto() const { return m_inicio >= 0; }
    // Characters the reader has read for the request being gathered, past kRevisionInmediata.
    qsizetype costeLectura() const { return m_coste; }
    // What a pause of the peer hands over as it stands: a text that holds no object, does not end
    // inside a comment, and is more than a persistence prefix (or the start of one) followed by
    // blanks and comments: the object may still follow all of those.
    bool terminaConPausa() const { return !vacio() && m_inicio < 0 && !m_relleno.enComentario() && !soloRelleno(); }

private:
    Estado resultado() const;
    bool soloRelleno() const;
    QByteArray m_datos; // from m_desde on: the text gathered (what comes before was taken)
    qsizetype m_desde = 0;
    RellenoJSON m_relleno;     // how the search for the start has read the comments so far
    qsizetype m_inicio = -1;   // where the object starts (-1: not yet)
    qsizetype m_buscado = 0;   // bytes searched for it
    qsizetype m_vistos = 0;    // bytes searched for a "}"
    qsizetype m_coste = 0;     // characters the reader has read past kRevisionInmediata
    bool m_llaveNueva = false; // a "}" came since the reader was last asked
    qsizetype m_fin = 0;       // with m_completa: the length of the request, up to its closing brace
    bool m_completa = false;
    bool m_anidada = false;
    bool m_trasPeticion = false; // a whole request was taken and nothing but blanks has come since
};

// One request as the framing sees it.
struct PeticionRecibida {
    QString datos;         // the text handed to the handler: from where its object starts, or all of it without one
    QString Tag;           // "", "conexion_persistente" or "conexion_persistente_end"
    bool marcaFin = false; // the reply ends with the end marker
    bool modoJson = false; // the text held an object: the reply starts with "200 OK" and CR
};

// Takes the persistence prefix off (ignoring case, at the very start: first the 24-character one,
// then a 20-character one right behind it) and cuts the text where its object starts, as the framing does.
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
