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
#include "core/LexicoSQL.h"

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

// How the server reads the text (core/LexicoSQL.h).
using LexicoSQL::divide;
using LexicoSQL::Modo;
using LexicoSQL::Pieza;
using LexicoSQL::siguiente;
using LexicoSQL::Tramo;
using LexicoSQL::trocea;

// Why a value from outside was refused.
enum class Rechazo {
    SinComillas, // it would land unquoted and is not a number or a list of numbers
    Incierta,    // the statement's reading is uncertain (an executable comment not read for sure, a NUL)
    NulSinBarras // it holds a NUL for a literal without backslash escapes
};
// The reason as the log line gives it, after the variable's name.
QString textoRechazo(Rechazo motivo);

// Replaces each variable in turn, each on the statement as the earlier ones left it. False when a
// value from outside would land unquoted and is not a number or a list of numbers, would go into an
// uncertain statement, or holds a NUL for a literal without backslash escapes: `rechazada` then
// holds that variable's name, `motivo` the reason, and the statement must not run.
bool sustituye(QString& sentencia, const Variables& variables, QString* rechazada = nullptr, const Modo& modo = {},
               Rechazo* motivo = nullptr);

// A number, or numbers separated by commas ("12", "-3.5", "1, 2,3"): what may go unquoted.
bool esListaDeNumeros(const QString& valor);

} // namespace SentenciasRegla
