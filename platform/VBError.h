#pragma once
// A VB run-time error: number, description, source. Procedures that trap errors catch it and hand
// it to the central error handler. Numbers follow VB and ADO so the reconnect decision works
// unchanged: 5 invalid call, 6 overflow, 9 subscript, 13 type mismatch, 28 out of stack space,
// 91 object not set, 94 invalid use of Null, 424 object required, 438 no such member, 450 wrong
// arguments, 457 key already in collection; ADO 3021 no current record, 3265 item not found,
// 3704 object closed, 3709 connection unusable, -2147217900 syntax error, -2147217873 integrity
// (duplicate), -2147217865 unknown table/column, -2147217833 truncation, -2147217913 a value that does
// not convert, -2147467259 provider failure.
#include <QString>
#include <exception>
#include <string>
#include <utility>

class VBError : public std::exception {
public:
    VBError(qint32 number, QString description, QString source = {});
    qint32 number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& source() const { return m_source; }
    const char* what() const noexcept override { return m_what.c_str(); }
    // Behind a database error, the provider's SQLSTATE and native error number (ADO's Error.SQLState
    // and NativeError); empty and 0 for any other error.
    const QString& sqlState() const { return m_sqlState; }
    int nativeError() const { return m_nativeError; }
    VBError& setProviderError(const QString& sqlState, int nativeError) {
        m_sqlState = sqlState;
        m_nativeError = nativeError;
        return *this;
    }

private:
    qint32 m_number;
    QString m_description;
    QString m_source;
    QString m_sqlState;
    int m_nativeError = 0;
    std::string m_what;
};

namespace vb {

// The run-time error numbers the program raises or tests for, by VB's and ADO's own numbering (the
// error handler's reconnect decision and the callers' checks depend on these exact values).
namespace err {
inline constexpr qint32 ObjectNotFound = 1; // ours: a program object asked for by name is not there
inline constexpr qint32 InvalidCall = 5;
inline constexpr qint32 Overflow = 6;
inline constexpr qint32 OutOfMemory = 7;
inline constexpr qint32 SubscriptOutOfRange = 9;
inline constexpr qint32 TypeMismatch = 13;
inline constexpr qint32 OutOfStack = 28;
inline constexpr qint32 FileNotFound = 53;
inline constexpr qint32 PathFileAccess = 75;
inline constexpr qint32 PathNotFound = 76;
inline constexpr qint32 ObjectNotSet = 91;
inline constexpr qint32 InvalidUseOfNull = 94;
inline constexpr qint32 ObjectRequired = 424;
inline constexpr qint32 NoSuchMember = 438;
inline constexpr qint32 WrongArgumentCount = 450;
inline constexpr qint32 KeyAlreadyInCollection = 457;
inline constexpr qint32 PrinterError = 482;
inline constexpr qint32 DictionaryRemoveFailed = 32811;
// ADO
inline constexpr qint32 AdoNoCurrentRecord = 3021;
inline constexpr qint32 AdoItemNotFound = 3265;
inline constexpr qint32 AdoWrongType = 3421;
inline constexpr qint32 AdoObjectClosed = 3704;
inline constexpr qint32 AdoObjectOpen = 3705;
inline constexpr qint32 AdoConnectionUnusable = 3709;
inline constexpr qint32 AdoSyntaxError = -2147217900;
inline constexpr qint32 AdoIntegrityViolation = -2147217873;
inline constexpr qint32 AdoUnknownObject = -2147217865;
inline constexpr qint32 AdoTruncation = -2147217833;
inline constexpr qint32 AdoCantConvertValue = -2147217913; // 0x80040E07: a value of the wrong kind or form
inline constexpr qint32 AdoTransactionNotStarted = -2147168242;
inline constexpr qint32 AdoTransactionNested = -2147168237;
inline constexpr qint32 ObjectDisconnected = -2147417848; // RPC_E_DISCONNECTED
inline constexpr qint32 ProviderFailure = -2147467259;
// Winsock (the socket errors the request server reports and answers)
inline constexpr qint32 WinsockAccessDenied = 10013;
inline constexpr qint32 WinsockAddressInUse = 10048;
inline constexpr qint32 WinsockConnectionAborted = 10053;
inline constexpr qint32 WinsockConnectionReset = 10054;
inline constexpr qint32 WinsockNoBufferSpace = 10055;
inline constexpr qint32 WinsockTimedOut = 10060;
inline constexpr qint32 WinsockConnectionRefused = 10061;
inline constexpr qint32 WinsockHostNotFound = 11001;
} // namespace err

// Raises a run-time error; the description defaults to VB's text for the number, the source to the
// application's name (as VB's Err.Source is the project name).
[[noreturn]] void Raise(qint32 number, const QString& description = {}, const QString& source = {});
QString DefaultErrorText(qint32 number);
// The error being handled inside a catch block: a VBError as it is, any other exception mapped to
// a VBError (std::bad_alloc to 7 "Out of memory", others to 5 with their what()). Call only in a catch.
// program::Ended is not an error: CurrentError rethrows it so that ending the program is never swallowed.
VBError CurrentError();

// The one way to let a statement fail without stopping its caller (VB's "On Error" around one
// statement): runs f; a run-time error raised inside it (any exception but the end of the program,
// which travels on) is handed to report, and the caller goes on. True when f ran to its end.
template <class F, class R> bool OnError(F&& f, R&& report) {
    try {
        f();
        return true;
    } catch (...) {
        report(CurrentError());
        return false;
    }
}
// "On Error Resume Next" for one statement: an error inside f is dropped and the caller goes on.
template <class F> bool ResumeNext(F&& f) {
    return OnError(std::forward<F>(f), [](const VBError&) {});
}
} // namespace vb
