#pragma once
// How the server reads an SQL text: its literals, names, comments and executable comments, and the
// statements it is made of, in the session's mode. What puts values into SQL text or judges a
// statement by its words reads it here, so it reads it as the server does.
#include <QList>
#include <QString>
#include <QStringList>

namespace LexicoSQL {

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
// ";" is code. Comments are read as the server reads them: "--" before a blank or a control character
// (DEL too); "#" and "--" ones up to a line feed or a NUL; a versioned comment the server
// skips holds one "/* */" inside it. `incierto` is set when the reading cannot be sure of the server's
// (an executable comment inside another, a versioned one when the version is not known, a ";" inside
// an executable comment, a NUL anywhere).
QList<Pieza> trocea(const QString& sql, const Modo& modo = {}, bool* incierto = nullptr);

// The statements of sql, split at each ";" of its code (outside literals, names, comments (-- , #,
// /* */) and executable comments). A piece with nothing but blanks and comments is left out; the others keep their
// text.
QStringList divide(const QString& sql, const Modo& modo = {});

// The first statement of sql from `desde` on, as divide would give it, in *sentencia (null when none
// is left); answers where the rest begins. For a text whose mode may change from one statement to
// the next: each is cut as the server, in the mode it then has, reads it.
qsizetype siguiente(const QString& sql, qsizetype desde, const Modo& modo, QString* sentencia);

// The words of a statement's code, in order, upper-cased (names, literals and comments left out):
// "TRUNCATE", "TABLE", ... for "truncate table `a`".
QStringList palabras(const QString& sentencia, const Modo& modo = {});

// The text a literal's body (its quotes left out) holds as the server reads it in that mode: the
// doubled quote as one and, where a backslash escapes, its escapes ("\%" and "\_" keep the backslash).
QString valorLiteral(QStringView cuerpo, QChar comilla, const Modo& modo = {});

// The statement with each comment as one blank: what the server runs, literals and names as written.
QString sinComentarios(const QString& sentencia, const Modo& modo = {});

} // namespace LexicoSQL
