#pragma once
// What the tests need of the machine: the private MariaDB and cupsd that scripts/test starts
// (their addresses come in the environment), scratch databases, and the source tree.
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

// Readable texts in test failures.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace testenv {
QString sourceDir();
QString binaryDir();
// True when scripts/test (or the developer) exported TARVOLIN_DB_SOCKET and the server answers.
bool haveDatabase();
bool haveCups(); // CUPS_SERVER set and lpstat answers
// Under scripts/test (TARVOLIN_REQUIRE_SERVICES=1) a missing service fails the test instead of skipping it.
bool servicesRequired();
// Creates an empty database with a unique name (prefix + pid + counter), with db/schema.sql loaded when
// asked; returns its name.
QString createDatabase(const QString& prefix, bool loadSchema = true);
void dropDatabase(const QString& name);
// Runs SQL through the mariadb client on that database (empty name: none). False on error, with
// the client's error text in *error; the client's output (tab separated, no headers) in *output.
bool runSql(const QString& db, const QString& sql, QString* output = nullptr, QString* error = nullptr);
bool runSqlFile(const QString& db, const QString& path, QString* error = nullptr);
// The ODBC connection string for a test database, in the program's own form.
QString connectionString(const QString& db);
QString odbcDriverName(); // TARVOLIN_ODBC_DRIVER
int dbPort();
// Kills every other server connection on that database (from an admin session): simulates a lost link.
void killConnections(const QString& db);
} // namespace testenv

#define TARVOLIN_REQUIRE_DATABASE()                                                                                    \
    do {                                                                                                               \
        if (!testenv::haveDatabase()) {                                                                                \
            if (testenv::servicesRequired())                                                                           \
                FAIL() << "MariaDB is not reachable (TARVOLIN_DB_SOCKET)";                                             \
            GTEST_SKIP() << "no MariaDB: run through scripts/test";                                                    \
        }                                                                                                              \
    } while (0)

#define TARVOLIN_REQUIRE_CUPS()                                                                                        \
    do {                                                                                                               \
        if (!testenv::haveCups()) {                                                                                    \
            if (testenv::servicesRequired())                                                                           \
                FAIL() << "cupsd is not reachable (CUPS_SERVER)";                                                      \
            GTEST_SKIP() << "no cupsd: run through scripts/test";                                                      \
        }                                                                                                              \
    } while (0)
