#pragma once
// The commands a sync-text reply's caller runs before its tables are imported, checked before any of
// them runs. The whole reply is one transaction that a failure rolls back, so a command is taken only
// when it cannot end that transaction, cannot change a table the rollback would not bring back, and
// leaves the session reading later statements as before:
// - INSERT, REPLACE, UPDATE, DELETE, SELECT (not INTO a file), SET of user variables, CREATE and DROP
//   TEMPORARY TABLE (a temporary table made here is dropped after the reply);
// - TRUNCATE [TABLE] t [WAIT n | NOWAIT], run as a DELETE of every row inside the transaction (so it
//   keeps AUTO_INCREMENT), refused, as the server refuses a real TRUNCATE (error 1701), when another
//   table's foreign key references t: a DELETE would follow ON DELETE CASCADE into tables the reply
//   never names.
// A table the command names, directly or through a view, a trigger or a stored routine it reaches,
// that has no transactions (MyISAM, Aria...) refuses it. Every refusal raises before anything has run,
// naming the statement and its reason.
#include "platform/Ado.h"

#include <QString>
#include <QStringList>

namespace ComandosPrevios {

struct Comando {
    QString sql;      // what runs inside the transaction
    QString deshacer; // what runs after the reply, whatever its end ("" for nothing)
};

// The statements of `textos`, each checked against the database behind `cn`; raises on the first one
// refused ("Comando previo a la importación no admitido (reason): statement").
QList<Comando> prepara(const QStringList& textos, ado::Connection& cn);

// Raises when importing into `tabla` (of the connection's database) may change a table without
// transactions: through a trigger, or the views and routines that reaches.
void compruebaImportacion(const QString& tabla, ado::Connection& cn);

} // namespace ComandosPrevios
