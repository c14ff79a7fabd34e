#include "VBError.h"
#include "Program.h"
#include <QCoreApplication>
#include <exception>
#include <new>

VBError::VBError(qint32 number, QString description, QString source)
    : m_number(number), m_description(std::move(description)), m_source(std::move(source)) {
    m_what = QStringLiteral("Error %1: %2").arg(m_number).arg(m_description).toStdString();
}

namespace vb {

QString DefaultErrorText(qint32 number) {
    switch (number) {
    case 3:
        return QStringLiteral("Return without GoSub");
    case 5:
        return QStringLiteral("Invalid procedure call or argument");
    case 6:
        return QStringLiteral("Overflow");
    case 7:
        return QStringLiteral("Out of memory");
    case 9:
        return QStringLiteral("Subscript out of range");
    case 10:
        return QStringLiteral("This array is fixed or temporarily locked");
    case 11:
        return QStringLiteral("Division by zero");
    case 13:
        return QStringLiteral("Type mismatch");
    case 28:
        return QStringLiteral("Out of stack space");
    case 52:
        return QStringLiteral("Bad file name or number");
    case 53:
        return QStringLiteral("File not found");
    case 55:
        return QStringLiteral("File already open");
    case 57:
        return QStringLiteral("Device I/O error");
    case 58:
        return QStringLiteral("File already exists");
    case 61:
        return QStringLiteral("Disk full");
    case 62:
        return QStringLiteral("Input past end of file");
    case 70:
        return QStringLiteral("Permission denied");
    case 75:
        return QStringLiteral("Path/File access error");
    case 76:
        return QStringLiteral("Path not found");
    case 91:
        return QStringLiteral("Object variable or With block variable not set");
    case 92:
        return QStringLiteral("For loop not initialized");
    case 94:
        return QStringLiteral("Invalid use of Null");
    case 424:
        return QStringLiteral("Object required");
    case 429:
        return QStringLiteral("ActiveX component can't create object");
    case 438:
        return QStringLiteral("Object doesn't support this property or method");
    case 440:
        return QStringLiteral("Automation error");
    case 449:
        return QStringLiteral("Argument not optional");
    case 450:
        return QStringLiteral("Wrong number of arguments or invalid property assignment");
    case 457:
        return QStringLiteral("This key is already associated with an element of this collection");
    case 32811:
        return QStringLiteral("Method 'Remove' of object 'IDictionary' failed");
    case 3001:
        return QStringLiteral("Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
                              "one another.");
    case 3421:
        return QStringLiteral("Application uses a value of the wrong type for the current operation.");
    case 3021:
        return QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                              "requires a current record.");
    case 3265:
        return QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.");
    case 3704:
        return QStringLiteral("Operation is not allowed when the object is closed.");
    case 3705:
        return QStringLiteral("Operation is not allowed when the object is open.");
    case 3709:
        return QStringLiteral("The connection cannot be used to perform this operation. It is either closed or "
                              "invalid in this context.");
    case -2147217900:
        return QStringLiteral("Syntax error or access violation");
    case -2147217873:
        return QStringLiteral("Integrity constraint violation");
    case -2147217865:
        return QStringLiteral("Base table or view not found");
    case -2147217833:
        return QStringLiteral("String data, right truncation");
    case -2147467259:
        return QStringLiteral("Unspecified error");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

void Raise(qint32 number, const QString& description, const QString& source) {
    throw VBError(number, description.isEmpty() ? DefaultErrorText(number) : description,
                  source.isEmpty() ? QCoreApplication::applicationName() : source);
}

VBError CurrentError() {
    const QString source = QCoreApplication::applicationName();
    if (!std::current_exception())
        return VBError(err::InvalidCall, DefaultErrorText(err::InvalidCall), source);
    try {
        throw;
    } catch (const VBError& e) {
        return e;
    } catch (const program::Ended&) {
        // Ending the program is not an error: let it travel on to whoever leaves.
        throw;
    } catch (const std::bad_alloc&) {
        return VBError(err::OutOfMemory, DefaultErrorText(err::OutOfMemory), source);
    } catch (const std::exception& e) {
        const QString what = QString::fromLocal8Bit(e.what());
        return VBError(err::InvalidCall, what.isEmpty() ? DefaultErrorText(err::InvalidCall) : what, source);
    } catch (...) {
        return VBError(err::InvalidCall, DefaultErrorText(err::InvalidCall), source);
    }
}

} // namespace vb
