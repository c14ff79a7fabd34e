#pragma once
// A small ADO over the unixODBC API. Every text (statement, bound value, result, message) crosses to
// the connector as UTF-8 bytes through the narrow calls, and every session reads and writes utf8mb4,
// so the server reads the text the program wrote. Connection strings are ADO/ODBC ones
// ("DRIVER={...};SERVER=...;DATABASE=...;UID=...;PASSWORD=...;OPTION=..."). Errors raise VBError
// with ADO's numbers (see VBError.h): SQLSTATE 42000/1064 -> -2147217900, 23000/1062 duplicate ->
// -2147217873 keeping the driver's "Duplicate entry ..." text, 42S02/42S22 unknown table/column ->
// -2147217865, 22001/22003 too long or out of range -> -2147217833, any other value that does not
// convert (22xxx such as an invalid date 22007, a text in a number column 1366) -> -2147217913, a lost
// link (2002, 2006, 2013, 5014, SQLSTATE 08xxx or SQL_ATTR_CONNECTION_DEAD) -> -2147467259 and the
// connection's State turns to closed; using a closed connection -> 3709. The description is the
// driver's message; the source "Microsoft OLE DB Provider for ODBC Drivers"; the error's sqlState()
// and nativeError() are the driver's (for a lost link, those of the diagnostic that tells it).
#include "VBError.h"
#include "Variant.h"
#include <QList>
#include <QString>
#include <memory>
#include <vector>

namespace ado {

enum ObjectState { adStateClosed = 0, adStateOpen = 1 };

// ADO DataTypeEnum codes reported as a field's Type.
enum DataType {
    adEmpty = 0,
    adSmallInt = 2,
    adInteger = 3,
    adSingle = 4,
    adDouble = 5,
    adCurrency = 6,
    adDate = 7,
    adBoolean = 11,
    adDecimal = 14,
    adTinyInt = 16,
    adUnsignedTinyInt = 17,
    adUnsignedSmallInt = 18,
    adUnsignedInt = 19,
    adBigInt = 20,
    adUnsignedBigInt = 21,
    adBinary = 128,
    adChar = 129,
    adWChar = 130,
    adNumeric = 131,
    adDBDate = 133,
    adDBTime = 134,
    adDBTimeStamp = 135,
    adVarChar = 200,
    adLongVarChar = 201,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adVarBinary = 204,
    adLongVarBinary = 205
};

struct Field {
    QString Name;
    int Type = adEmpty; // declared SQL type mapped to ADO
    int DefinedSize = 0;
    int NumericScale = 0;
    Variant Value; // vb::Null() for NULL; Integer/Long/Double/Decimal as double/QString text/QDateTime...
};
// Value kinds: TINYINT/SMALLINT -> qint16 (signed TINYINT read correctly), INT -> qint32, BIGINT -> qint64,
// FLOAT -> float, DOUBLE -> double, DECIMAL/NUMERIC -> double, DATE/DATETIME/TIMESTAMP -> QDateTime
// (the zero date reads as Null), BIT/BOOL -> bool, text -> QString (never gains or loses a character),
// binary -> QByteArray.

// Forward-only, read-only rows. Fields are read ahead one row at a time; at EOF their values are Empty
// (names and types stay readable). A statement without rows gives an open recordset at BOF and EOF.
class Recordset {
public:
    virtual ~Recordset() = default;
    virtual bool isEOF() const = 0;
    virtual bool isBOF() const = 0; // true only before the first row of an empty result
    virtual void MoveNext() = 0;    // raises 3021 at EOF
    virtual int FieldCount() const = 0;
    virtual const Field& Fields(int index0) const = 0;          // raises 3265 when out of range
    virtual const Field& Fields(const QString& name) const = 0; // ignoring case; raises 3265
    virtual void Close() = 0;
    virtual int State() const = 0;
};
using RecordsetPtr = std::unique_ptr<Recordset>;

class Connection final {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString ConnectionString;
    int ConnectionTimeout = 15; // seconds for the connect (0 means 15, never unbounded)
    // The driver's read/write time-out is the larger of the two (added to the string unless it sets
    // CONN_TIMEOUT/READ_TIMEOUT/WRITE_TIMEOUT itself), so a dead link cannot hang a statement.
    int CommandTimeout = 30;
    // CheckLink asks the server only after the connection has been idle this long.
    int LinkCheckIdleMs = 5000;

    // Opens with the given string (or ConnectionString when empty; the given one is stored). The
    // session's sql_mode keeps the server's but for the modes that read the program's literals
    // otherwise (NO_BACKSLASH_ESCAPES, ANSI_QUOTES and the combinations that set it), and the session
    // reads and writes utf8mb4 (character_set_client, _connection and _results), whatever CHARSET the
    // string names or the server imposes: a session that cannot leave those modes or take utf8mb4
    // fails to open, with a description that names the setting it kept.
    void Open(const QString& connectionString = {});
    void Close();      // closing a closed connection does nothing
    int State() const; // adStateOpen or adStateClosed (a lost link reads closed)
    // Whether the link stands: when the connection has been idle for more than LinkCheckIdleMs, one
    // round trip to the server finds out (a server restart, its idle time-out or a KILL since the last
    // statement); a lost link closes the connection. False when the connection is closed.
    bool CheckLink();

    // Runs a statement. When the connection has been idle for more than LinkCheckIdleMs the link is
    // checked first (CheckLink); a link found lost then, or lost under the previous statement, is opened
    // again once with ConnectionString before this statement runs (not inside a transaction, which the
    // loss has rolled back: that connection stays closed). When that open fails its error is raised and
    // the connection stays closed. Values in params bind to "?" markers (text as its UTF-8 bytes with
    // their exact length; numbers, dates, Null). The result is a recordset (empty, with no fields, for a
    // statement without rows); recordsAffected receives the affected row count (-1 when the statement returns rows).
    // A statement that leaves the session in another character set (SET character_set_client, SET
    // CHARACTER SET, dynamic SQL that does) has it put back to utf8mb4 and fails with that reason
    // (-2147467259); a session that cannot be put back is closed.
    RecordsetPtr Execute(const QString& sql, qint64* recordsAffected = nullptr, const QList<Variant>& params = {});
    // The same, named as the code that opens a forward-only read-only recordset reads.
    RecordsetPtr OpenRecordset(const QString& sql, const QList<Variant>& params = {}) {
        return Execute(sql, nullptr, params);
    }

    // One transaction at a time: BeginTrans turns auto-commit off and answers the level (1); a second
    // BeginTrans raises -2147168237, CommitTrans or RollbackTrans without one -2147168242. Closing the
    // connection (or losing the link) rolls an open transaction back.
    long BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const;

    // Driver list as unixODBC sees it (SQLDrivers), without the "ODBC Drivers" section itself.
    static QStringList InstalledDrivers();

private:
    void keepCharset(const QString& sql);
    struct Impl;
    std::unique_ptr<Impl> d;
};

// True when the error says the link to the server is gone (SQLSTATE class 08, the server gone or the
// connection lost, killed or timed out), as against an error of the statement or of its values.
bool isLostLink(const VBError& e);

// The character set a connection string asks for (its last CHARSET=, as the connector reads it; empty
// when it names none). Open does not use it: the session reads and writes utf8mb4.
QString requestedCharset(const QString& connectionString);

} // namespace ado
