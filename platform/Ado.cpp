#include "Ado.h"
#include "Clock.h"
#include "VBError.h"
#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QTime>
#include <cmath>
#include <set>
// clang-format off
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
// clang-format on

namespace ado {
namespace {

using vb::Raise;
namespace err = vb::err;

const QString kProviderSource = QStringLiteral("Microsoft OLE DB Provider for ODBC Drivers");
const QString kConnectionSource = QStringLiteral("ADODB.Connection");
const QString kRecordsetSource = QStringLiteral("ADODB.Recordset");
const QString kFieldsSource = QStringLiteral("ADODB.Fields");

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR is UTF-16");

// Every text crosses to the connector as UTF-8 bytes through the narrow calls, and the session reads
// and writes utf8mb4 (fixSession): the connector passes such bytes as they are. Its UTF-16 road
// converts them to the session's character set after the program escaped them (U+FF07 became a
// quote in a latin1 or sjis session), and it misreads a unit whose low byte is D8-DB (Ø Ù Ú Û 付),
// reading past the text.
SQLCHAR* narrow(const QByteArray& bytes) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(bytes.constData()));
}
QString fromNarrow(const SQLCHAR* p, qsizetype len) {
    return QString::fromUtf8(reinterpret_cast<const char*>(p), len);
}
QString fromWide(const SQLWCHAR* p, qsizetype len) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(p), len);
}

SQLHENV environment() {
    static SQLHENV env = [] {
        SQLHENV e = SQL_NULL_HENV;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e);
        SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return e;
    }();
    return env;
}

struct Diag {
    QString state;
    int native = 0;
    QString message;
};

QList<Diag> diagnostics(SQLSMALLINT type, SQLHANDLE h) {
    QList<Diag> out;
    if (!h)
        return out;
    for (SQLSMALLINT i = 1; i < 50; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLCHAR> msg(2048);
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(type, h, i, state, &native, msg.data(), SQLSMALLINT(msg.size()), &len);
        if (rc == SQL_SUCCESS_WITH_INFO && len >= SQLSMALLINT(msg.size())) {
            msg.resize(size_t(len) + 1);
            rc = SQLGetDiagRec(type, h, i, state, &native, msg.data(), SQLSMALLINT(msg.size()), &len);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        // The server's messages come in the session's character set, utf8mb4.
        out.append(Diag{fromNarrow(state, 5), int(native),
                        fromNarrow(msg.data(), std::min<qsizetype>(len, qsizetype(msg.size()) - 1))});
    }
    return out;
}

bool isLostLink(const Diag& d) {
    static const int natives[] = {2002, 2003, 2006, 2013, 2055, 5014, 1927, 4031};
    for (int n : natives) {
        if (d.native == n)
            return true;
    }
    return d.state.startsWith(QLatin1String("08")) || d.state == QLatin1String("HYT01");
}

qint32 numberFor(const Diag& d) {
    const QString& s = d.state;
    if (s.startsWith(QLatin1String("23")) || d.native == 1062)
        return err::AdoIntegrityViolation;
    if (s == QLatin1String("42S02") || s == QLatin1String("42S12") || s == QLatin1String("42S22") || d.native == 1146 ||
        d.native == 1054)
        return err::AdoUnknownObject;
    if (s == QLatin1String("22001") || s == QLatin1String("22003") || d.native == 1406 || d.native == 1264 ||
        d.native == 1265)
        return err::AdoTruncation;
    // A value of the wrong form (an invalid date, a text in a number column, an empty key): the
    // server's HY000 for some of them says nothing, their native numbers do.
    if (s.startsWith(QLatin1String("22")) || d.native == 1292 || d.native == 1366 || d.native == 1364 ||
        d.native == 1411)
        return err::AdoCantConvertValue;
    if (s.startsWith(QLatin1String("42")) || s.startsWith(QLatin1String("37")) || s == QLatin1String("21S01") ||
        s == QLatin1String("07002"))
        return err::AdoSyntaxError;
    return err::ProviderFailure;
}

bool connectionDead(SQLHDBC dbc) {
    if (!dbc)
        return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttr(dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

// Splits "A=1;B={x;y};C=2" into its keys (upper case) and values (trimmed, braces kept), in order.
QList<std::pair<QString, QString>> connectionPairs(const QString& cs) {
    QList<std::pair<QString, QString>> pairs;
    int depth = 0;
    QString cur;
    auto flush = [&] {
        const qsizetype eq = cur.indexOf(u'=');
        if (eq > 0)
            pairs.append({cur.left(eq).trimmed().toUpper(), cur.mid(eq + 1).trimmed()});
        cur.clear();
    };
    for (const QChar c : cs) {
        if (c == u'{')
            ++depth;
        else if (c == u'}' && depth > 0)
            --depth;
        if (c == u';' && depth == 0)
            flush();
        else
            cur += c;
    }
    flush();
    return pairs;
}

QStringList connectionKeys(const QString& cs) {
    QStringList keys;
    for (const auto& [key, value] : connectionPairs(cs))
        keys << key;
    return keys;
}

const QString kSessionCharset = QStringLiteral("utf8mb4");

class RecordsetImpl;

// What a Connection and its recordsets share: the handle and whether the link is up.
struct Core {
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool open = false;
    bool inTransaction = false;
    // The link was lost under a statement outside a transaction: the next statement opens it again.
    bool lost = false;
    qint64 lastUseMs = 0;         // monotonic time of the open or of the last statement that ran
    bool checkingSession = false; // running the statements that read and set the session's own settings
    std::set<RecordsetImpl*> recordsets;
    void closeHandles();
};

// Raises the error that the diagnostics describe; a lost link closes the connection first.
[[noreturn]] void raiseFailure(Core& core, const QList<Diag>& diags, bool lostHint = false) {
    const Diag first = diags.isEmpty() ? Diag{QStringLiteral("HY000"), 0, QString()} : diags.first();
    // The error names the diagnostic that tells a lost link, when one does.
    Diag which = first;
    bool lost = lostHint;
    for (const Diag& d : diags) {
        if (!lost && isLostLink(d)) {
            lost = true;
            which = d;
        }
    }
    if (!lost && core.open && connectionDead(core.dbc)) {
        lost = true;
        which.state = QStringLiteral("08S01");
    }
    if (lost) {
        // A transaction cut in half must not go on in auto-commit: then the connection stays closed.
        core.lost = !core.inTransaction;
        core.closeHandles();
    }
    const qint32 number = lost ? err::ProviderFailure : numberFor(first);
    throw VBError(number, first.message.isEmpty() ? vb::DefaultErrorText(number) : first.message, kProviderSource)
        .setProviderError(which.state, which.native);
}

[[noreturn]] void raiseStatementFailure(Core& core, SQLHSTMT& stmt) {
    QList<Diag> diags = diagnostics(SQL_HANDLE_STMT, stmt);
    if (diags.isEmpty())
        diags = diagnostics(SQL_HANDLE_DBC, core.dbc);
    // The statement goes before the connection may be closed.
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
    raiseFailure(core, diags);
}

// One round trip that finds out whether the link stands; a lost link closes the connection.
void probeLink(Core& core) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, core.dbc, &stmt))) {
        vb::ResumeNext([&] { raiseFailure(core, diagnostics(SQL_HANDLE_DBC, core.dbc)); });
        return;
    }
    const QByteArray sql = QByteArrayLiteral("DO 0");
    if (SQL_SUCCEEDED(SQLExecDirect(stmt, narrow(sql), SQLINTEGER(sql.size())))) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        core.lastUseMs = clock_seam::tickMs();
        return;
    }
    // Any other failure is left to the statement that follows.
    vb::ResumeNext([&] { raiseStatementFailure(core, stmt); });
}

struct Column {
    SQLSMALLINT sqlType = 0;
    bool isUnsigned = false;
};

int adoTypeFor(SQLSMALLINT sqlType, bool isUnsigned) {
    switch (sqlType) {
    case SQL_BIT:
        return adBoolean;
    case SQL_TINYINT:
        return isUnsigned ? adUnsignedTinyInt : adTinyInt;
    case SQL_SMALLINT:
        return isUnsigned ? adUnsignedSmallInt : adSmallInt;
    case SQL_INTEGER:
        return isUnsigned ? adUnsignedInt : adInteger;
    case SQL_BIGINT:
        return isUnsigned ? adUnsignedBigInt : adBigInt;
    case SQL_REAL:
        return adSingle;
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return adDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return adNumeric;
    case SQL_TYPE_DATE:
    case SQL_DATE:
        return adDBDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
        return adDBTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
        return adDBTimeStamp;
    case SQL_CHAR:
        return adChar;
    case SQL_VARCHAR:
        return adVarChar;
    case SQL_LONGVARCHAR:
        return adLongVarChar;
    case SQL_WCHAR:
        return adWChar;
    case SQL_WVARCHAR:
        return adVarWChar;
    case SQL_WLONGVARCHAR:
        return adLongVarWChar;
    case SQL_BINARY:
        return adBinary;
    case SQL_VARBINARY:
        return adVarBinary;
    case SQL_LONGVARBINARY:
        return adLongVarBinary;
    default:
        return adVarWChar;
    }
}

const QDate kOleEpoch(1899, 12, 30);

// "2024-05-06 07:08:09[.ffffff]", "2024-05-06" or "07:08:09": the zero date is Null.
Variant dateValue(const QString& text, SQLSMALLINT sqlType) {
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0000-00-00")))
        return vb::Null();
    if (sqlType == SQL_TYPE_TIME || sqlType == SQL_TIME) {
        const QTime tm = QTime::fromString(t.left(8), QStringLiteral("HH:mm:ss"));
        return tm.isValid() ? Variant(QDateTime(kOleEpoch, tm)) : Variant(t);
    }
    const QDate d = QDate::fromString(t.left(10), QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return vb::Null();
    QTime tm(0, 0);
    if (t.size() >= 19) {
        tm = QTime::fromString(t.mid(11, 8), QStringLiteral("HH:mm:ss"));
        if (!tm.isValid())
            tm = QTime(0, 0);
        if (t.size() > 20 && t[19] == u'.') {
            const QString frac = (t.mid(20, 3) + QStringLiteral("000")).left(3);
            tm = tm.addMSecs(frac.toInt());
        }
    }
    return QDateTime(d, tm);
}

class RecordsetImpl final : public Recordset {
public:
    RecordsetImpl(std::shared_ptr<Core> core, SQLHSTMT stmt) : m_core(std::move(core)), m_stmt(stmt) {
        if (m_stmt)
            m_core->recordsets.insert(this);
    }
    ~RecordsetImpl() override { Close(); }

    bool isEOF() const override {
        checkOpen();
        return m_eof;
    }
    bool isBOF() const override {
        checkOpen();
        return m_bof;
    }
    void MoveNext() override {
        checkOpen();
        if (m_eof)
            Raise(err::AdoNoCurrentRecord, {}, kRecordsetSource);
        fetch();
    }
    int FieldCount() const override {
        checkOpen();
        return int(m_fields.size());
    }
    const Field& Fields(int index0) const override {
        checkOpen();
        if (index0 < 0 || index0 >= int(m_fields.size()))
            Raise(err::AdoItemNotFound, {}, kFieldsSource);
        return m_fields[size_t(index0)];
    }
    const Field& Fields(const QString& name) const override {
        checkOpen();
        const int i = m_byName.value(name.toLower(), -1);
        if (i < 0)
            Raise(err::AdoItemNotFound, {}, kFieldsSource);
        return m_fields[size_t(i)];
    }
    void Close() override {
        if (m_stmt) {
            SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
            m_stmt = SQL_NULL_HSTMT;
        }
        m_core->recordsets.erase(this);
        m_open = false;
    }
    int State() const override { return m_open ? adStateOpen : adStateClosed; }

    // The connection went away: the statement handle goes with it.
    void detach() {
        if (m_stmt) {
            SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
            m_stmt = SQL_NULL_HSTMT;
        }
        m_open = false;
    }

    void describe() {
        SQLSMALLINT count = 0;
        SQLNumResultCols(m_stmt, &count);
        m_fields.resize(size_t(count));
        m_columns.resize(size_t(count));
        for (SQLSMALLINT c = 1; c <= count; ++c) {
            SQLCHAR name[1024] = {};
            SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            SQLDescribeCol(m_stmt, SQLUSMALLINT(c), name, 1024, &nameLen, &type, &size, &digits, &nullable);
            SQLLEN isUnsigned = SQL_FALSE;
            SQLColAttribute(m_stmt, SQLUSMALLINT(c), SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
            Field& f = m_fields[size_t(c - 1)];
            f.Name = fromNarrow(name, std::min<SQLSMALLINT>(nameLen, 1023));
            f.Type = adoTypeFor(type, isUnsigned == SQL_TRUE);
            f.DefinedSize = int(std::min<SQLULEN>(size, SQLULEN(INT_MAX)));
            f.NumericScale = digits;
            m_columns[size_t(c - 1)] = Column{type, isUnsigned == SQL_TRUE};
            const QString key = f.Name.toLower();
            if (!m_byName.contains(key))
                m_byName.insert(key, c - 1);
        }
    }

    void fetch() {
        const SQLRETURN rc = SQLFetch(m_stmt);
        if (rc == SQL_NO_DATA) {
            m_eof = true;
            for (Field& f : m_fields)
                f.Value = Variant();
            return;
        }
        if (!SQL_SUCCEEDED(rc))
            fail();
        m_eof = false;
        m_bof = false;
        for (size_t i = 0; i < m_fields.size(); ++i)
            m_fields[i].Value = readValue(SQLUSMALLINT(i + 1), m_columns[i]);
    }

    // A first fetch: an empty result is at BOF and EOF at once.
    void start() {
        m_bof = true;
        fetch();
        m_bof = m_eof;
    }

private:
    void checkOpen() const {
        if (!m_open)
            Raise(err::AdoObjectClosed, {}, kRecordsetSource);
    }

    [[noreturn]] void fail() {
        m_core->recordsets.erase(this);
        m_open = false;
        raiseStatementFailure(*m_core, m_stmt);
    }

    template <class T> bool getFixed(SQLUSMALLINT col, SQLSMALLINT cType, T& out) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(m_stmt, col, cType, &out, sizeof(T), &ind);
        if (!SQL_SUCCEEDED(rc))
            fail();
        return ind != SQL_NULL_DATA;
    }

    // A long value in pieces until the driver has no more: nothing added, nothing lost. Each piece
    // goes to add(data, count of T), `reserva` places of buf kept for the driver's terminating NUL.
    // False for NULL.
    template <class T, class Add>
    bool getPieces(SQLUSMALLINT col, SQLSMALLINT cType, std::vector<T>& buf, qsizetype reserva, Add&& add) {
        for (;;) {
            SQLLEN ind = 0;
            const SQLRETURN rc = SQLGetData(m_stmt, col, cType, buf.data(), SQLLEN(buf.size() * sizeof(T)), &ind);
            if (rc == SQL_NO_DATA)
                return true;
            if (!SQL_SUCCEEDED(rc))
                fail();
            if (ind == SQL_NULL_DATA)
                return false;
            const qsizetype room = qsizetype(buf.size()) - reserva;
            qsizetype got = room;
            if (ind != SQL_NO_TOTAL && ind / qsizetype(sizeof(T)) <= room)
                got = ind / qsizetype(sizeof(T));
            add(buf.data(), got);
            if (rc == SQL_SUCCESS)
                return true;
        }
    }

    // As the session's UTF-8 bytes, whole before they are decoded (a piece may end inside a character).
    bool getText(SQLUSMALLINT col, QString& out) {
        QByteArray bytes;
        std::vector<char> buf(8192);
        const bool valor = getPieces(col, SQL_C_CHAR, buf, 1, [&](const char* p, qsizetype n) { bytes.append(p, n); });
        out = QString::fromUtf8(bytes);
        return valor;
    }

    bool getBytes(SQLUSMALLINT col, QByteArray& out) {
        out.clear();
        std::vector<char> buf(8192);
        return getPieces(col, SQL_C_BINARY, buf, 0, [&](const char* p, qsizetype n) { out.append(p, n); });
    }

    Variant readValue(SQLUSMALLINT col, const Column& c) {
        switch (c.sqlType) {
        case SQL_BIT: {
            unsigned char b = 0;
            return getFixed(col, SQL_C_BIT, b) ? Variant(b != 0) : vb::Null();
        }
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER:
        case SQL_BIGINT: {
            if (c.sqlType == SQL_BIGINT && c.isUnsigned) {
                SQLUBIGINT u = 0;
                if (!getFixed(col, SQL_C_UBIGINT, u))
                    return vb::Null();
                return u <= SQLUBIGINT(std::numeric_limits<qint64>::max()) ? Variant(qint64(u))
                                                                           : QVariant::fromValue<quint64>(u);
            }
            SQLBIGINT v = 0;
            if (!getFixed(col, SQL_C_SBIGINT, v))
                return vb::Null();
            if (c.sqlType == SQL_TINYINT || (c.sqlType == SQL_SMALLINT && !c.isUnsigned))
                return QVariant::fromValue<qint16>(qint16(v));
            if (c.sqlType == SQL_SMALLINT || (c.sqlType == SQL_INTEGER && !c.isUnsigned))
                return QVariant::fromValue<qint32>(qint32(v));
            return QVariant::fromValue<qint64>(qint64(v));
        }
        case SQL_REAL: {
            float f = 0;
            return getFixed(col, SQL_C_FLOAT, f) ? Variant(f) : vb::Null();
        }
        case SQL_FLOAT:
        case SQL_DOUBLE: {
            double d = 0;
            return getFixed(col, SQL_C_DOUBLE, d) ? Variant(d) : vb::Null();
        }
        case SQL_DECIMAL:
        case SQL_NUMERIC: {
            QString t;
            if (!getText(col, t))
                return vb::Null();
            bool ok = false;
            const double d = t.trimmed().toDouble(&ok);
            return ok ? Variant(d) : Variant(t);
        }
        case SQL_TYPE_DATE:
        case SQL_DATE:
        case SQL_TYPE_TIME:
        case SQL_TIME:
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP: {
            QString t;
            if (!getText(col, t))
                return vb::Null();
            return dateValue(t, c.sqlType);
        }
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: {
            QByteArray b;
            return getBytes(col, b) ? Variant(b) : vb::Null();
        }
        default: {
            QString t;
            return getText(col, t) ? Variant(t) : vb::Null();
        }
        }
    }

    std::shared_ptr<Core> m_core;
    SQLHSTMT m_stmt;
    std::vector<Field> m_fields;
    std::vector<Column> m_columns;
    QHash<QString, int> m_byName;
    bool m_eof = true;
    bool m_bof = true;
    bool m_open = true;
};

void Core::closeHandles() {
    const std::set<RecordsetImpl*> live = recordsets;
    for (RecordsetImpl* rs : live)
        rs->detach();
    recordsets.clear();
    if (dbc && inTransaction)
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
    inTransaction = false;
    if (dbc) {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        dbc = SQL_NULL_HDBC;
    }
    open = false;
}

// Storage for bound parameters; it must stay put until the statement has run.
struct Param {
    QByteArray bytes;
    SQLBIGINT integer = 0;
    double real = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    SQL_TIME_STRUCT time{};
    SQLLEN ind = 0;
};

SQLRETURN bindParam(SQLHSTMT stmt, SQLUSMALLINT n, const Variant& v, Param& p) {
    auto bind = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER ptr,
                    SQLLEN bufLen) {
        return SQLBindParameter(stmt, n, SQL_PARAM_INPUT, cType, sqlType, size, digits, ptr, bufLen, &p.ind);
    };
    if (!v.isValid() || vb::IsNull(v)) {
        p.ind = SQL_NULL_DATA;
        return bind(SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0);
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        p.integer = v.toBool() ? 1 : 0;
        return bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.integer, 0);
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
        p.integer = v.toLongLong();
        return bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.integer, 0);
    case QMetaType::ULongLong:
        p.integer = SQLBIGINT(v.toULongLong());
        return bind(SQL_C_UBIGINT, SQL_BIGINT, 0, 0, &p.integer, 0);
    case QMetaType::Float:
    case QMetaType::Double:
        p.real = v.toDouble();
        // SQL has no infinity or NaN: the driver would write 0 in their place.
        if (!std::isfinite(p.real))
            Raise(err::AdoWrongType, QStringLiteral("Parameter %1 is not a finite number").arg(n), kConnectionSource);
        return bind(SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.real, 0);
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime dt = v.typeId() == QMetaType::QDate ? QDateTime(v.toDate(), QTime(0, 0)) : v.toDateTime();
        if (!dt.isValid()) {
            p.ind = SQL_NULL_DATA;
            return bind(SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr, 0);
        }
        p.timestamp.year = SQLSMALLINT(dt.date().year());
        p.timestamp.month = SQLUSMALLINT(dt.date().month());
        p.timestamp.day = SQLUSMALLINT(dt.date().day());
        p.timestamp.hour = SQLUSMALLINT(dt.time().hour());
        p.timestamp.minute = SQLUSMALLINT(dt.time().minute());
        p.timestamp.second = SQLUSMALLINT(dt.time().second());
        p.timestamp.fraction = 0;
        p.ind = sizeof(p.timestamp);
        return bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &p.timestamp, sizeof(p.timestamp));
    }
    case QMetaType::QTime: {
        const QTime t = v.toTime();
        p.time.hour = SQLUSMALLINT(t.hour());
        p.time.minute = SQLUSMALLINT(t.minute());
        p.time.second = SQLUSMALLINT(t.second());
        p.ind = sizeof(p.time);
        return bind(SQL_C_TYPE_TIME, SQL_TYPE_TIME, 8, 0, &p.time, sizeof(p.time));
    }
    case QMetaType::QChar:
    case QMetaType::QString: {
        // Its UTF-8 bytes with their exact length (no terminating NUL goes to the server): the
        // utf8mb4 session reads them as they are.
        p.bytes = v.toString().toUtf8();
        p.ind = SQLLEN(p.bytes.size());
        const SQLULEN size = SQLULEN(std::max<qsizetype>(p.bytes.size(), 1));
        return bind(SQL_C_CHAR, size > 8000 ? SQL_LONGVARCHAR : SQL_VARCHAR, size, 0, p.bytes.data(), p.ind);
    }
    case QMetaType::QByteArray: {
        p.bytes = v.toByteArray();
        p.bytes.detach();
        p.ind = SQLLEN(p.bytes.size());
        const SQLULEN size = SQLULEN(std::max<qsizetype>(p.bytes.size(), 1));
        return bind(SQL_C_BINARY, size > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY, size, 0, p.bytes.data(), p.ind);
    }
    default:
        Raise(err::AdoWrongType, {}, kConnectionSource);
    }
}

// A prepared statement that the server refuses with an error of SQLSTATE class 01 (1265 "Data
// truncated" for "2,50" in a number column under a strict SQL mode) comes back from the connector as
// success with information, its row not written. The direct road reports the same refusal as an error:
// a server error number among the diagnostics makes this road report it too.
SQLRETURN refusedAsInfo(SQLHSTMT stmt, SQLRETURN rc) {
    if (rc != SQL_SUCCESS_WITH_INFO)
        return rc;
    for (const Diag& d : diagnostics(SQL_HANDLE_STMT, stmt)) {
        if (d.native != 0)
            return SQL_ERROR;
    }
    return rc;
}

// The SQL the program writes (its literals, escapes and "..." texts) is written for the server's
// usual reading: backslash escapes on, "..." a text, in utf8mb4. A server or an administrator may set
// a mode that reads it otherwise (NO_BACKSLASH_ESCAPES, ANSI_QUOTES, or a combination mode that
// brings ANSI_QUOTES back whenever it is set); every session leaves those out and keeps the rest. A
// server may also give the session another character set (one that ignores the client's, a CHARSET in
// the connection string, a default-character-set of a my.cnf the connector reads): in latin1 U+FF07
// would reach the server as a quote, in gbk or sjis a backslash joins the byte before it. The session
// reads and writes utf8mb4, or it does not open.
const char* const kCharsets[] = {"character_set_client", "character_set_connection", "character_set_results"};

// The session's sql_mode, then the character sets it reads and writes in.
QStringList sessionSettings(Connection& cn) {
    RecordsetPtr rs = cn.Execute(QStringLiteral("select @@SESSION.sql_mode, @@SESSION.character_set_client, "
                                                "@@SESSION.character_set_connection, @@SESSION.character_set_results"));
    QStringList values;
    for (int i = 0; i < 4; ++i)
        values << rs->Fields(i).Value.toString();
    return values;
}

// The first character set of the settings that is not utf8mb4, as "name value"; empty when none.
QString foreignCharset(const QStringList& settings) {
    for (int i = 0; i < 3; ++i)
        if (settings[i + 1].compare(kSessionCharset, Qt::CaseInsensitive) != 0)
            return QString::fromLatin1(kCharsets[i]) + u' ' +
                   (settings[i + 1].isEmpty() ? QStringLiteral("NULL") : settings[i + 1]);
    return QString();
}

// SET NAMES is refused by the connector; these three are what it sets.
void setUtf8mb4(Connection& cn) {
    cn.Execute(QStringLiteral("set session character_set_client = utf8mb4, character_set_connection = utf8mb4, "
                              "character_set_results = utf8mb4"));
}

[[noreturn]] void raiseForeign(const QString& foreign) {
    Raise(err::ProviderFailure, QStringLiteral("The session keeps %1: it must read and write utf8mb4").arg(foreign),
          kProviderSource);
}

void fixSession(Connection& cn) {
    static const QStringList dropped = {QStringLiteral("NO_BACKSLASH_ESCAPES"),
                                        QStringLiteral("ANSI_QUOTES"),
                                        QStringLiteral("ANSI"),
                                        QStringLiteral("DB2"),
                                        QStringLiteral("MAXDB"),
                                        QStringLiteral("MSSQL"),
                                        QStringLiteral("ORACLE"),
                                        QStringLiteral("POSTGRESQL")};
    const QStringList before = sessionSettings(cn);
    const QStringList current = before[0].split(u',', Qt::SkipEmptyParts);
    QStringList kept;
    for (const QString& m : current)
        if (!dropped.contains(m.trimmed().toUpper()))
            kept << m.trimmed();
    const bool charsetSet = !foreignCharset(before).isEmpty();
    if (charsetSet)
        setUtf8mb4(cn);
    if (kept.size() != current.size())
        cn.Execute(QStringLiteral("set session sql_mode = ?"), nullptr, {kept.join(u',')});
    else if (!charsetSet)
        return;
    const QStringList after = sessionSettings(cn);
    for (const QString& m : after[0].split(u','))
        if (dropped.contains(m.trimmed().toUpper()))
            Raise(err::ProviderFailure, QStringLiteral("The session keeps sql_mode ") + m, kProviderSource);
    const QString foreign = foreignCharset(after);
    if (!foreign.isEmpty())
        raiseForeign(foreign);
}

// Whether a statement may change the session's character sets: it names them (SET character_set_...,
// SET CHARACTER SET, SET CHARSET, SET NAMES) or runs text of its own (EXECUTE, PREPARE, CALL).
bool mayChangeCharset(const QString& sql) {
    static const QRegularExpression words(QStringLiteral("CHARACTER|CHARSET|NAMES|EXECUTE|PREPARE|CALL"),
                                          QRegularExpression::CaseInsensitiveOption);
    return sql.contains(words);
}

// After such a statement: a session that no longer reads and writes utf8mb4 is put back. Answers what
// the statement had set ("name value"), empty when the session kept utf8mb4.
QString restoreCharset(Connection& cn) {
    const QString changed = foreignCharset(sessionSettings(cn));
    if (changed.isEmpty())
        return changed;
    setUtf8mb4(cn);
    const QString foreign = foreignCharset(sessionSettings(cn));
    if (!foreign.isEmpty())
        raiseForeign(foreign);
    return changed;
}

} // namespace

struct Connection::Impl {
    std::shared_ptr<Core> core = std::make_shared<Core>();
};

Connection::Connection() : d(std::make_unique<Impl>()) {}

Connection::~Connection() {
    Close();
}

void Connection::Open(const QString& connectionString) {
    if (!connectionString.isEmpty())
        ConnectionString = connectionString;
    if (d->core->open)
        Raise(err::AdoObjectOpen, {}, kConnectionSource);

    // The connector refuses a string that ends in ";".
    QString cs = ConnectionString.trimmed();
    while (cs.endsWith(u';') || cs.endsWith(u' '))
        cs.chop(1);
    // A link that dies must not hang the program: bound the connect and every read and write.
    const int connectSeconds = ConnectionTimeout > 0 ? ConnectionTimeout : 15;
    const int ioSeconds = std::max(connectSeconds, CommandTimeout > 0 ? CommandTimeout : 0);
    const QStringList keys = connectionKeys(cs);
    if (!keys.contains(QLatin1String("CONN_TIMEOUT")))
        cs += QStringLiteral(";CONN_TIMEOUT=%1").arg(connectSeconds);
    if (!keys.contains(QLatin1String("READ_TIMEOUT")))
        cs += QStringLiteral(";READ_TIMEOUT=%1").arg(ioSeconds);
    if (!keys.contains(QLatin1String("WRITE_TIMEOUT")))
        cs += QStringLiteral(";WRITE_TIMEOUT=%1").arg(ioSeconds);
    // The handshake asks for utf8mb4, and the connector takes the last CHARSET it is given: one the
    // string brings (IpServidor may carry one) gives way to it. fixSession sees to the session itself.
    cs += QStringLiteral(";CHARSET=") + kSessionCharset;
    if (cs.startsWith(u';'))
        cs.remove(0, 1);

    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment(), &dbc)))
        Raise(err::ProviderFailure, QStringLiteral("Cannot allocate an ODBC connection handle"), kProviderSource);
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(connectSeconds)), 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(ioSeconds)), 0);
    SQLSMALLINT outLen = 0;
    const QByteArray csBytes = cs.toUtf8();
    const SQLRETURN rc = SQLDriverConnect(dbc, nullptr, narrow(csBytes), SQLSMALLINT(csBytes.size()), nullptr, 0,
                                          &outLen, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        const QList<Diag> diags = diagnostics(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        // Whatever stops the connect (no server, refused login, no such database) is a provider failure.
        const Diag first = diags.isEmpty() ? Diag{} : diags.first();
        const qint32 number = err::ProviderFailure;
        throw VBError(number, first.message.isEmpty() ? vb::DefaultErrorText(number) : first.message, kProviderSource)
            .setProviderError(first.state, first.native);
    }
    d->core->dbc = dbc;
    d->core->open = true;
    d->core->lost = false;
    d->core->lastUseMs = clock_seam::tickMs();
    try {
        d->core->checkingSession = true;
        fixSession(*this);
        d->core->checkingSession = false;
    } catch (...) {
        d->core->checkingSession = false;
        Close();
        throw;
    }
}

void Connection::Close() {
    d->core->lost = false;
    if (d->core->open || d->core->dbc)
        d->core->closeHandles();
}

int Connection::State() const {
    return d->core->open ? adStateOpen : adStateClosed;
}

RecordsetPtr Connection::Execute(const QString& sql, qint64* recordsAffected, const QList<Variant>& params) {
    Core& core = *d->core;
    // A link that may have gone while the connection was idle (the server's idle time-out, a
    // restart, a KILL) is asked first; a lost one is opened again once, before the statement.
    if (core.open && !core.inTransaction && clock_seam::tickMs() - core.lastUseMs > qint64(LinkCheckIdleMs))
        probeLink(core);
    if (!core.open && core.lost) {
        core.lost = false;
        Open();
    }
    if (!core.open)
        Raise(err::AdoConnectionUnusable, {}, kConnectionSource);
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, core.dbc, &stmt)))
        raiseFailure(core, diagnostics(SQL_HANDLE_DBC, core.dbc));

    std::vector<Param> store(size_t(params.size()));
    const QByteArray text = sql.toUtf8();
    SQLRETURN rc;
    if (params.isEmpty()) {
        rc = SQLExecDirect(stmt, narrow(text), SQLINTEGER(text.size()));
    } else {
        rc = refusedAsInfo(stmt, SQLPrepare(stmt, narrow(text), SQLINTEGER(text.size())));
        for (qsizetype i = 0; SQL_SUCCEEDED(rc) && i < params.size(); ++i) {
            try {
                rc = bindParam(stmt, SQLUSMALLINT(i + 1), params[i], store[size_t(i)]);
            } catch (...) {
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                throw;
            }
        }
        if (SQL_SUCCEEDED(rc))
            rc = refusedAsInfo(stmt, SQLExecute(stmt));
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
        raiseStatementFailure(core, stmt);
    core.lastUseMs = clock_seam::tickMs();

    SQLSMALLINT columns = 0;
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)))
        raiseStatementFailure(core, stmt);
    if (columns == 0) {
        SQLLEN count = 0;
        if (!SQL_SUCCEEDED(SQLRowCount(stmt, &count)))
            count = rc == SQL_NO_DATA ? 0 : -1;
        if (recordsAffected)
            *recordsAffected = count;
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        keepCharset(sql);
        return std::make_unique<RecordsetImpl>(d->core, SQLHSTMT(nullptr));
    }
    if (recordsAffected)
        *recordsAffected = -1;
    auto rs = std::make_unique<RecordsetImpl>(d->core, stmt);
    rs->describe();
    rs->start();
    keepCharset(sql);
    return rs;
}

// A statement that may have changed the session's character sets has its session put back to utf8mb4
// before anything else runs in it, and fails with that reason: the text that follows it is read as the
// program wrote it. A session that cannot be put back is closed.
void Connection::keepCharset(const QString& sql) {
    Core& core = *d->core;
    if (core.checkingSession || !core.open || !mayChangeCharset(sql))
        return;
    QString changed;
    core.checkingSession = true;
    try {
        changed = restoreCharset(*this);
        core.checkingSession = false;
    } catch (...) {
        core.checkingSession = false;
        Close();
        throw;
    }
    if (!changed.isEmpty())
        Raise(err::ProviderFailure,
              QStringLiteral("The statement set the session's %1; it reads and writes utf8mb4 again").arg(changed),
              kProviderSource);
}

namespace {

void setAutoCommit(Core& core, bool on) {
    const SQLRETURN rc = SQLSetConnectAttr(
        core.dbc, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(SQLULEN(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc))
        raiseFailure(core, diagnostics(SQL_HANDLE_DBC, core.dbc));
}

void endTransaction(Core& core, SQLSMALLINT completion) {
    if (!core.open)
        Raise(err::AdoConnectionUnusable, {}, kConnectionSource);
    if (!core.inTransaction)
        Raise(vb::err::AdoTransactionNotStarted, QStringLiteral("No transaction is active."), kProviderSource);
    core.inTransaction = false;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, core.dbc, completion);
    if (!SQL_SUCCEEDED(rc)) {
        const QList<Diag> diags = diagnostics(SQL_HANDLE_DBC, core.dbc);
        // Whatever the commit left behind is undone; the connection goes back to auto-commit.
        SQLEndTran(SQL_HANDLE_DBC, core.dbc, SQL_ROLLBACK);
        SQLSetConnectAttr(core.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_AUTOCOMMIT_ON)),
                          SQL_IS_UINTEGER);
        raiseFailure(core, diags);
    }
    setAutoCommit(core, true);
}
} // namespace

long Connection::BeginTrans() {
    Core& core = *d->core;
    if (!core.open)
        Raise(err::AdoConnectionUnusable, {}, kConnectionSource);
    if (core.inTransaction)
        Raise(vb::err::AdoTransactionNested, QStringLiteral("Only one transaction can be active on this session."),
              kProviderSource);
    setAutoCommit(core, false);
    core.inTransaction = true;
    return 1;
}

void Connection::CommitTrans() {
    endTransaction(*d->core, SQL_COMMIT);
}

void Connection::RollbackTrans() {
    endTransaction(*d->core, SQL_ROLLBACK);
}

bool Connection::InTransaction() const {
    return d->core->open && d->core->inTransaction;
}

bool Connection::CheckLink() {
    Core& core = *d->core;
    if (!core.open)
        return false;
    if (clock_seam::tickMs() - core.lastUseMs <= qint64(LinkCheckIdleMs))
        return true;
    probeLink(core);
    return core.open;
}

bool isLostLink(const VBError& e) {
    return isLostLink(Diag{e.sqlState(), e.nativeError(), QString()});
}

QString requestedCharset(const QString& connectionString) {
    QString charset;
    for (const auto& [key, value] : connectionPairs(connectionString))
        if (key == QLatin1String("CHARSET"))
            charset = value.startsWith(u'{') && value.endsWith(u'}') ? value.mid(1, value.size() - 2) : value;
    return charset;
}

QStringList Connection::InstalledDrivers() {
    QStringList out;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLWCHAR desc[512] = {};
        SQLWCHAR attrs[2048] = {};
        SQLSMALLINT descLen = 0, attrLen = 0;
        const SQLRETURN rc = SQLDriversW(environment(), direction, desc, 512, &descLen, attrs, 2048, &attrLen);
        if (!SQL_SUCCEEDED(rc))
            break;
        direction = SQL_FETCH_NEXT;
        const QString name = fromWide(desc, std::min<SQLSMALLINT>(descLen, 511));
        if (name.compare(QLatin1String("ODBC Drivers"), Qt::CaseInsensitive) != 0 && !name.isEmpty())
            out << name;
    }
    return out;
}

} // namespace ado
