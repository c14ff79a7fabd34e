#pragma once
// JSON reader and writer of the request server.
//
// Reading: a tolerant recursive-descent reader. An object becomes a vb::Dictionary (insertion order,
// a repeated key is an error), an array a vb::Collection; strings are QString, every number a double
// (a number that runs to the very end of the text reads as Empty), true/false bool, null vb::Null().
// It skips comments and parentheses, takes keys without quotes or in apostrophes, literals in any
// case, and never stops at the first fault: it returns what it could read and keeps its complaints,
// one line each ending in CR LF, for GetParserErrors: the first kMaxQuejas of them, then one line
// that says how many more there were. Nesting is capped at kMaxNivel levels (error 28,
// "Out of stack space", ends every enclosing level).
//
// Writing: DictionaryToJson picks each value's form by its kind: double bare (with "." and up to 15
// significant digits whatever the locale), Boolean bare, date quoted as yyyy-MM-dd, every other
// scalar quoted text (whole numbers too); texts escaped by toUnicode. A value that cannot be written
// is reported and written as null.
//
// Entry points of the request server: parseIEntidad(request text) -> entity (or nullptr), and
// EntidadGenericaToJson(reply entity) -> reply text.
#include "platform/Ado.h"
#include "platform/Collections.h"
#include "platform/VBError.h"

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <memory>
#include <optional>

class clsStringBuilder;

// How RStoJSON writes a recordset.
struct OpcionesRS {
    bool blnAddRecordsYRecordCount = true; // inside the records wrapper with the count, else a bare array
    bool blnSoloPrimerRegistro = false;    // the first record's object alone, the recordset left on the next
};

// How the reader passes over what may stand before a value: blanks, parentheses and comments ("//" to
// the end of the line, "/* */"), one character at a time. The reader's skipping and the request
// framing's search for where an object starts both go through it, so they cannot read a comment
// differently.
class RellenoJSON final {
public:
    // True when the reader passes over `c` here; false at a character where something is read.
    bool salta(char16_t c) {
        switch (c) {
        case u'\r':
        case u'\n':
            if (!m_largo)
                m_barra = m_comentario = false;
            return true;
        case u'\t':
        case u' ':
        case u'(':
        case u')':
            return true;
        case u'/':
            if (m_largo) {
                if (m_barra)
                    m_largo = m_comentario = m_barra = false;
            } else if (m_barra) {
                m_comentario = true;
                m_barra = false;
            } else {
                m_barra = true;
                m_comentario = m_largo = false;
            }
            return true;
        case u'*':
            if (m_barra) {
                m_comentario = m_largo = true;
                m_barra = false;
            } else {
                m_barra = true;
            }
            return true;
        default:
            return m_comentario;
        }
    }
    // Inside a comment, or right after a "/" or "*" that may open one.
    bool enComentario() const { return m_comentario || m_barra; }
    // Where the object of a request starts, from `desde` on: the first "{" outside a comment, the
    // text before it being ignored (its characters read as the reader reads what precedes a value,
    // afresh after each one that is not passed over). -1 when there is none yet; the state carries
    // on with the next piece of the same text.
    template <class C> qsizetype inicioDeObjeto(const C* p, qsizetype desde, qsizetype n) {
        for (qsizetype i = desde; i < n; ++i) {
            const char16_t c = unidad(p[i]);
            if (salta(c))
                continue;
            if (c == u'{')
                return i;
            *this = RellenoJSON();
        }
        return -1;
    }

private:
    static char16_t unidad(char c) { return char16_t(uchar(c)); } // Windows-1252: the same for these characters
    static char16_t unidad(QChar c) { return c.unicode(); }
    bool m_barra = false; // a "/" or "*" read and not yet paired
    bool m_comentario = false;
    bool m_largo = false; // a /* ... */ comment
};

class clsJSON final {
public:
    static constexpr int kMaxNivel = 1000;   // deepest nesting the reader accepts
    static constexpr int kMaxExtracto = 200; // longest excerpt of the text in a complaint
    static constexpr int kMaxQuejas = 1000;  // complaint lines kept of one reading

    clsJSON();
    ~clsJSON();
    clsJSON(const clsJSON&) = delete;
    clsJSON& operator=(const clsJSON&) = delete;

    // ---- Reading ----
    bool EsJson(const QString& text);
    bool EsJsonArray(const QString& text);
    bool EsJsonObject(const QString& text);
    QString GetParserErrors() const;
    // Empties the complaints and gives their memory back.
    void ClearParserErrors();
    bool TryParseColeccionGenerica(const QString& text, vb::ColeccionPtr& coleccion);
    bool TryParseObjeto(const QString& text, vb::EntidadPtr& objeto);
    bool TryParseColeccion(const QString& text, std::shared_ptr<vb::Collection>& coleccion);
    // A Dictionary, a Collection, or nullptr when the text starts with neither "{" nor "[".
    vb::ObjectPtr parse(const QString& text);
    QDateTime ParseFecha(const Variant& v);
    bool ParseBool(const Variant& v);
    // The object the text holds. A text that holds no object raises error 13 "El JSON no es un
    // objeto o un dictionary" to the caller.
    std::shared_ptr<vb::Dictionary> parseDictionary(const QString& text);
    // The request entity; nullptr (after reporting the failure) when the text holds no object.
    vb::EntidadPtr parseIEntidad(const QString& text);

    // Where the object that `text` opens (after blanks and comments) ends by this reader's own
    // grammar: the length up to and including its closing "}"; kSinCerrar when the text ends
    // first (or holds no object), kDemasiadoAnidado past kMaxNivel levels. The text is read as
    // parseDictionary reads it, with nothing kept: a repeated key, which ends a reading, does not
    // end this one. The request framing asks this, so that a request ends where the reader says.
    static constexpr qsizetype kSinCerrar = -1;
    static constexpr qsizetype kDemasiadoAnidado = -2;
    static qsizetype finDeObjeto(QStringView text);
    // How the last parseDictionary ended: where it stopped, whether on its object's closing "}",
    // and whether a run-time error ended it.
    struct FinLectura {
        qsizetype posicion = 0;
        bool cerrado = false;
        bool error = false;
    };
    FinLectura finUltimaLectura() const { return m_finLectura; }

    // ---- Writing ----
    QString toString(const Variant& value, bool bConvertToUnicode = true);
    QString Encode(const Variant& text);
    QString IEntidadToJson(const vb::EntidadPtr& e, bool bConvertToUnicode = true);
    QString EntidadGenericaToJson(const vb::EntidadPtr& e, bool bConvertToUnicode = true);
    QString CollectionToJson(const Variant& c, bool bConvertToUnicode = true);
    QString DictionaryToJson(const std::shared_ptr<vb::Dictionary>& d, bool bConvertToUnicode = true);
    QString StringToJSON(const QString& st, bool bConvertToUnicode = true);
    QString RStoJSON(ado::Recordset* rs, OpcionesRS opciones = {});
    QString toUnicode(const QString& text);

    // ---- The script language (clsJSONEval.cpp) ----
    // A script is a JSON array: texts are copied, command objects carried out ("alert", "input",
    // "switch", "set", "get", "if", "return"), any other command name written as a placeholder
    // "<%NAME(args)%>" for a later stage. Boxes go through the prompt seam. Run-time errors (a
    // value of the wrong kind where a command needs an object or a text) reach the caller.
    // One evaluation (an Eval, or an ExecCommand called from outside) builds at most
    // kMaxTextoScript characters in all, counting every piece appended at every level; beyond that
    // it raises VB's error 7 (out of memory).
    static constexpr qint32 kMaxAnidamiento = 40;
    static constexpr qint64 kMaxTextoScript = 16 * 1024 * 1024;
    QString Eval(const QString& sJSON);
    QString ExecCommand(const Variant& obj);
    // The script variables, kept across Eval calls (created on first use).
    std::shared_ptr<vb::Dictionary> dicVariables();

private:
    // Reader; `index` is 0-based here (complaints show it 1-based) and may pass the end of the text.
    std::shared_ptr<vb::Dictionary> parseObject(QStringView str, qsizetype& index);
    std::shared_ptr<vb::Collection> parseArray(QStringView str, qsizetype& index);
    Variant parseValue(QStringView str, qsizetype& index);
    QString parseString(QStringView str, qsizetype& index);
    Variant parseNumber(QStringView str, qsizetype& index);
    bool parseBoolean(QStringView str, qsizetype& index);
    Variant parseNull(QStringView str, qsizetype& index);
    QString parseKey(QStringView str, qsizetype& index);
    static void skipChar(QStringView str, qsizetype& index);
    // The members of an object or the items of an array, from just after the opening character:
    // antes() reads what comes before a value (an object's key), then the value read is handed to
    // anade(). Ends at kCierre, at the end of the text (with a complaint), after six rounds that
    // do not move, or at a run-time error: then true, with the error in m_errorPendiente for the
    // caller's complaint. `ultima` is where the last round started.
    template <char16_t kCierre, class Antes, class Anade>
    bool leeElementos(QStringView str, qsizetype& index, qsizetype ultima, Antes&& antes, Anade&& anade);
    // `linea` builds the complaint, only while there is room for it.
    template <class F> void queja(F&& linea);
    void empezarLectura();

    // Writer: every public writing operation builds into one builder and passes it down.
    void writeValue(clsStringBuilder& sb, const Variant& value, bool uni, int nivel);
    // A dictionary, an entity or a collection; false, with nothing written, for any other object
    // (Nothing included).
    bool writeContenedor(clsStringBuilder& sb, const vb::Object* obj, bool uni, int nivel);
    // The same for a member or an item: Nothing is error 91, any other object error 438.
    void writeObjeto(clsStringBuilder& sb, const vb::Object* obj, bool uni, int nivel);
    void writeArray(clsStringBuilder& sb, const QVariantList& list, bool uni, int nivel);
    void writeDictionary(clsStringBuilder& sb, const vb::Dictionary* d, bool uni, int nivel);
    void writeMember(clsStringBuilder& sb, const Variant& v, bool uni, int nivel); // a dictionary's value
    void writeItem(clsStringBuilder& sb, const Variant& v, bool uni, int nivel);   // a list's item
    void writeScalarQuoted(clsStringBuilder& sb, const Variant& v, int type, bool uni);
    void writeCollection(clsStringBuilder& sb, const vb::Object& c, bool uni, int nivel);
    void writeEntity(clsStringBuilder& sb, const vb::entidadGenerica* e, bool uni, int nivel);
    void writeRecordsWrapper(clsStringBuilder& sb, QStringView records, qint64 count);
    static void appendUnicode(clsStringBuilder& sb, QStringView text);
    static void appendEncoded(clsStringBuilder& sb, QStringView text);
    // The value's text by the program's standard conversion; Null and Empty give "".
    static QString textoDe(const Variant& v);
    // "name":"value", both escaped as toUnicode when `escapar`.
    static void appendParTexto(clsStringBuilder& sb, QStringView nombre, QStringView valor, bool escapar);

    // Counts the open levels of a parse or a write; one more than kMaxNivel is error 28.
    class Nivel final {
    public:
        explicit Nivel(int& nivel) : m_nivel(nivel) {
            if (m_nivel >= kMaxNivel)
                vb::Raise(vb::err::OutOfStack, QStringLiteral("Out of stack space"));
            ++m_nivel;
        }
        ~Nivel() { --m_nivel; }
        Nivel(const Nivel&) = delete;
        Nivel& operator=(const Nivel&) = delete;

    private:
        int& m_nivel;
    };

    QString sParserErrors;
    qsizetype m_quejas = 0; // complaints of the current reading, kept or not
    // The run-time error of the current parse that has not been cleared yet: an error deep inside
    // ends every enclosing object and array, each adding its own complaint.
    std::optional<VBError> m_errorPendiente;
    int m_nivel = 0;            // open objects and arrays of the current parse (or levels of the current write)
    bool m_soloLimites = false; // finDeObjeto: read without keeping values or complaints
    bool m_cierre = false;      // the last object or array read ended on its closing character
    FinLectura m_finLectura;
    std::unique_ptr<clsStringBuilder> m_sbCadena; // collects strings that hold escapes

    // Script interpreter: one command object's members in order, into `sb`.
    void ejecutaComandos(clsStringBuilder& sb, vb::Dictionary& comandos);
    std::shared_ptr<vb::Dictionary> m_dicVariables;
    qint32 lngNivelAnidamiento = 0; // ExecCommand calls open on this instance
    // Appends `texto` within the evaluation's bound.
    void anade(clsStringBuilder& sb, const QString& texto);
    // Opens an evaluation (the outermost one starts the count afresh) for as long as it lives.
    [[nodiscard]] auto evaluacion();
    int m_evaluaciones = 0;       // Eval and ExecCommand calls open on this instance
    qint64 m_textoConstruido = 0; // characters appended by the outermost one so far
};
