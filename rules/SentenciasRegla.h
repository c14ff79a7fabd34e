#pragma once
// The statements of a rule's SQL text and the "$" variables that go into them.
//
// A rule SQL text is split into its statements before any value goes in, so the number of
// statements that run is the rule author's, never a value's. Then each variable is replaced in
// every place of a statement but its comments, by where it is written:
// - inside a text literal: a value from outside is escaped for that kind of literal, so the
//   database stores it as given and it can never close the literal;
// - anywhere else (unquoted, or a name): escaping cannot protect it, so a value from outside
//   must be a number, or numbers separated by commas, or the statement is refused.
// The program's own values (ticket numbers, dates, condition results) and the rule author's own
// texts (the condition parameters) go in as written. The text is read as the server reads it in
// the session's mode (Modo): whether a backslash escapes, whether "..." is a text or a name, and
// which executable comments (/*! ... */, /*M! ... */) run as code for the server's version.
#include <QList>
#include <QString>
#include <QStringList>

namespace SentenciasRegla {

enum class Origen {
    Regla, // the program's value or the rule author's text: as written
    Valor, // a value from outside (the caller, a message variable): escaped, or a number where unquoted
};

struct Variable {
    QString nombre; // with its "$"; an empty name replaces nothing
    QString valor;
    Origen origen = Origen::Valor;
};
using Variables = QList<Variable>;

// How the server reads a statement, from its session's sql_mode and its version.
struct Modo {
    bool barrasEscapan = true;          // a backslash escapes in a literal (no NO_BACKSLASH_ESCAPES)
    bool comillasDoblesNombran = false; // "..." is a name, not a text (ANSI_QUOTES)
    // The server's version as MariaDB numbers it (10.11.19 is 101119): it decides which versioned
    // executable comments run. 0: not known, and a statement holding one is uncertain.
    qint32 version = 0;
    static Modo deServidor(const QString& sqlMode, const QString& version);
};

// The kinds of stretch a statement is made of. Ejecutable is the opening ("/*!50100", "/*M!") or
// the closing "*/" of an executable comment that the server runs: code, as what lies between.
enum class Tramo { Codigo, Comillas, ComillasDobles, Nombre, Comentario, Ejecutable };
struct Pieza {
    Tramo tipo;
    qsizetype inicio; // of the whole stretch, delimiters included
    qsizetype fin;    // one past its end
    qsizetype abre;   // length of the opening delimiter ('/*' is 2)
    qsizetype cierra; // length of the closing delimiter; 0 when the text ends before it
};

// The stretches of a statement, in order, covering all of it, as the server in that mode reads it.
// ";" is code. `incierto` is set when the reading cannot be sure of the server's (an executable
// comment inside another, a versioned one when the version is not known).
QList<Pieza> trocea(const QString& sql, const Modo& modo = {}, bool* incierto = nullptr);

// The statements of sql, split at each ";" of its code (outside literals, names and comments: -- ,
// #, /* */). A piece with nothing but blanks and comments is left out; the others keep their text.
QStringList divide(const QString& sql, const Modo& modo = {});

// Replaces each variable in turn, each on the statement as the earlier ones left it. False when a
// value from outside would land unquoted and is not a number or a list of numbers, would go into an
// uncertain statement, or holds a NUL for a literal without backslash escapes: `rechazada` then holds that variable's
// name and the statement must not run.
bool sustituye(QString& sentencia, const Variables& variables, QString* rechazada = nullptr, const Modo& modo = {});

// The first statement of sql from `desde` on, as divide would give it, in *sentencia (empty when none
// is left); answers where the rest begins. For a text whose mode may change from one statement to
// the next: each is cut as the server, in the mode it then has, reads it.
qsizetype siguiente(const QString& sql, qsizetype desde, const Modo& modo, QString* sentencia);

// A number, or numbers separated by commas ("12", "-3.5", "1, 2,3"): what may go unquoted.
bool esListaDeNumeros(const QString& valor);

} // namespace SentenciasRegla
