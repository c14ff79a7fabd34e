#pragma once
// VB value rules on top of QVariant.
//  - Empty  = an invalid QVariant().
//  - Null   = a QVariant holding std::nullptr_t (vb::Null()); a database NULL reads as this.
//  - Objects (Dictionary, Collection, entidadGenerica, coleccionGenerica, ...) are held as
//    vb::ObjectPtr (std::shared_ptr<vb::Object>); a null ObjectPtr is VB's Nothing.
//  - Integer = qint16, Long = qint32, Single = float, Double = double, Date = QDateTime,
//    Boolean = bool, String = QString, Byte() = QByteArray. qint64 (a database BIGINT) and unsigned
//    32/64-bit values read as "Decimal", as a BIGINT reached VB through ADO; quint8 is "Byte".
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <memory>

using Variant = QVariant;

namespace vb {

class Object {
public:
    virtual ~Object() = default;
    // VB's TypeName of the object ("Dictionary", "Collection", "entidadGenerica", ...).
    virtual QString typeName() const = 0;
};
using ObjectPtr = std::shared_ptr<Object>;

Variant Empty();
Variant Null();
Variant Nothing();
Variant FromObject(ObjectPtr obj);

bool IsEmpty(const Variant& v);
bool IsNull(const Variant& v);
bool IsObject(const Variant& v);  // holds an ObjectPtr (also Nothing)
bool IsNothing(const Variant& v); // holds a null ObjectPtr
bool IsNumeric(const Variant& v); // VB IsNumeric: numbers, Booleans, and texts that read as a number
bool IsDate(const Variant& v);
ObjectPtr ToObject(const Variant& v); // null when not an object
template <class T> std::shared_ptr<T> As(const Variant& v) {
    return std::dynamic_pointer_cast<T>(ToObject(v));
}

// VB's TypeName: "Empty", "Null", "Integer", "Long", "Single", "Double", "Currency", "Date", "String",
// "Boolean", "Byte", "Byte()", "Decimal", "Nothing", or the object's own type name.
QString TypeName(const Variant& v);
// VB's VarType codes (0 Empty, 1 Null, 2 Integer, 3 Long, 4 Single, 5 Double, 7 Date, 8 String, 9 Object,
// 11 Boolean, 14 Decimal, 17 Byte, 8209 Byte()).
int VarType(const Variant& v);

// Conversions with VB's rules: numbers round half to even, overflow raises error 6, a text that is no
// number raises error 13, Null raises error 94 ("Invalid use of Null"). Texts are read locale-free
// ("1.5"), also "&H1F" and "True"/"False" where VB accepts them.
qint32 CLng(const Variant& v);
qint16 CInt(const Variant& v);
bool CBool(const Variant& v);
double CDbl(const Variant& v);
float CSng(const Variant& v);
// CStr: Boolean as "True"/"False", numbers with "." and no grouping, a Date as dd/mm/yyyy[ hh:mm:ss],
// Byte() decoded as Windows-1252.
QString CStr(const Variant& v);
QDateTime CDate(const Variant& v);
// Round half to even, as VB's CLng/CInt/Round do.
double RoundHalfEven(double x);

// VB's Chr/Asc over Windows-1252 (Chr(128) is the euro sign, Chr(27) ESC).
QChar Chr(int code);
int Asc(QChar c); // the Windows-1252 byte of c; '?' (63) when the code page has none
QString Space(int n);
QString String(int n, QChar c);
QString Left(const QString& s, int n);
QString Right(const QString& s, int n);
QString Mid(const QString& s, int start1, int len = -1); // 1-based like VB; len -1 = to the end
int InStr(const QString& s, const QString& find, int start1 = 1, Qt::CaseSensitivity cs = Qt::CaseSensitive);
int InStrRev(const QString& s, const QString& find, int start1 = -1);
QString Trim(const QString& s); // spaces only, not tabs or line ends
QString LTrim(const QString& s);
QString RTrim(const QString& s);

} // namespace vb

Q_DECLARE_METATYPE(vb::ObjectPtr)
