#include "platform/Variant.h"
#include "platform/Collections.h"
#include "platform/Cp1252.h"
#include "platform/VBError.h"
#include "testsupport/VBErrors.h"
#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>
#include <limits>

using namespace vb;

using testenv::errorOf;

namespace {

// Runs the body under a Spanish locale (decimal comma) in C and in Qt, then restores both.
struct SpanishLocale {
    std::string oldC;
    QLocale oldQt;
    bool active = false;
    SpanishLocale() {
        oldC = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"es_ES.UTF-8", "es_ES.utf8", "es_ES"}) {
            if (std::setlocale(LC_ALL, name)) {
                active = true;
                break;
            }
        }
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    }
    ~SpanishLocale() {
        std::setlocale(LC_ALL, oldC.c_str());
        QLocale::setDefault(oldQt);
    }
};

} // namespace

TEST(Variant, WholeNumbersRoundHalfToEvenAndOverflowIsError6) {
    EXPECT_EQ(CLng(2.5), 2);
    EXPECT_EQ(CLng(3.5), 4);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CLng(-3.5), -4);
    EXPECT_EQ(CLng(2.500001), 3);
    EXPECT_EQ(CInt(0.5), 0);
    EXPECT_EQ(CInt(1.5), 2);
    EXPECT_EQ(CInt(QString("  -7.5 ")), -8);
    EXPECT_EQ(CLng(QString("2147483647")), 2147483647);
    EXPECT_EQ(CLng(-2147483648.4), std::numeric_limits<qint32>::min());
    EXPECT_EQ(errorOf([] { CLng(2147483647.5); }), 6);
    EXPECT_EQ(errorOf([] { CLng(QVariant::fromValue<qint64>(1LL << 40)); }), 6);
    EXPECT_EQ(errorOf([] { CInt(32768); }), 6);
    EXPECT_EQ(CInt(-32768), -32768);
    EXPECT_EQ(errorOf([] { CInt(-32768.6); }), 6);
    EXPECT_EQ(errorOf([] { CLng(std::numeric_limits<double>::quiet_NaN()); }), 6);
    EXPECT_EQ(errorOf([] { CDbl(QString("1e400")); }), 6);
    EXPECT_EQ(CDbl(QString("1e-400")), 0.0);
}

TEST(Variant, TextsNullAndEmpty) {
    EXPECT_EQ(CLng(Variant()), 0);
    EXPECT_EQ(CStr(Variant()), QString());
    EXPECT_EQ(CDbl(QString("1.5")), 1.5);
    EXPECT_EQ(CDbl(QString(".5")), 0.5);
    EXPECT_EQ(CDbl(QString("1.5E3")), 1500.0);
    EXPECT_EQ(CDbl(QString("2D2")), 200.0);
    EXPECT_EQ(CLng(QString("&H1F")), 31);
    EXPECT_EQ(CInt(QString("&HFFFF")), -1);
    EXPECT_EQ(CLng(QString("&O17")), 15);
    EXPECT_EQ(CLng(QString("True")), -1);
    EXPECT_EQ(CInt(true), -1);
    EXPECT_TRUE(CBool(QString("true")));
    EXPECT_FALSE(CBool(QString("0")));
    EXPECT_TRUE(CBool(QString("-2.5")));
    for (const char* bad : {"", "abc", "1,5", "1.2.3", "12abc", "--1", "1e", "&HXYZ", "."})
        EXPECT_EQ(errorOf([&] { CDbl(QString(bad)); }), 13) << bad;
    EXPECT_EQ(errorOf([] { CBool(QString("yes")); }), 13);
    EXPECT_EQ(errorOf([] { CLng(Null()); }), 94);
    EXPECT_EQ(errorOf([] { CStr(Null()); }), 94);
    EXPECT_EQ(errorOf([] { CBool(Null()); }), 94);
    EXPECT_EQ(errorOf([] { CDate(Null()); }), 94);
    EXPECT_EQ(errorOf([] { CLng(Nothing()); }), 91);
    EXPECT_EQ(errorOf([] { CStr(FromObject(std::make_shared<Dictionary>())); }), 13);
}

TEST(Variant, NumbersToTextLikeVB) {
    EXPECT_EQ(CStr(1.5), "1.5");
    EXPECT_EQ(CStr(2.0), "2");
    EXPECT_EQ(CStr(1e20), "1E+20");
    EXPECT_EQ(CStr(1e15), "1E+15");
    EXPECT_EQ(CStr(1e14), "100000000000000");
    EXPECT_EQ(CStr(0.1 + 0.2), "0.3");
    EXPECT_EQ(CStr(0.0001), "0.0001");
    EXPECT_EQ(CStr(0.00001), "1E-05");
    EXPECT_EQ(CStr(-0.0), "0");
    EXPECT_EQ(CStr(-1234.5678), "-1234.5678");
    EXPECT_EQ(CStr(123456789012345678.0), "1.23456789012346E+17");
    EXPECT_EQ(CStr(1.1f), "1.1");
    EXPECT_EQ(CStr(true), "True");
    EXPECT_EQ(CStr(false), "False");
    EXPECT_EQ(CStr(QVariant::fromValue<qint16>(-5)), "-5");
    EXPECT_EQ(CStr(QDateTime(QDate(2024, 3, 7), QTime(9, 5, 0))), "07/03/2024 09:05:00");
    EXPECT_EQ(CStr(QDateTime(QDate(2024, 3, 7), QTime(0, 0))), "07/03/2024");
}

TEST(Variant, SpanishLocaleChangesNothing) {
    SpanishLocale es;
    EXPECT_EQ(CStr(1.5), "1.5");
    EXPECT_EQ(CStr(1234567.25), "1234567.25");
    EXPECT_EQ(CStr(1e20), "1E+20");
    EXPECT_EQ(CDbl(QString("3.25")), 3.25);
    EXPECT_EQ(CLng(QString("2.5")), 2);
    EXPECT_TRUE(IsNumeric(QString("3.5")));
    EXPECT_EQ(errorOf([] { CDbl(QString("3,5")); }), 13);
}

TEST(Variant, TypeNameVarTypeAndIsNumeric) {
    EXPECT_EQ(TypeName(Empty()), "Empty");
    EXPECT_EQ(TypeName(Null()), "Null");
    EXPECT_EQ(TypeName(QVariant::fromValue<qint16>(1)), "Integer");
    EXPECT_EQ(TypeName(qint32(1)), "Long");
    EXPECT_EQ(TypeName(1.0f), "Single");
    EXPECT_EQ(TypeName(1.0), "Double");
    EXPECT_EQ(TypeName(QString()), "String");
    EXPECT_EQ(TypeName(true), "Boolean");
    EXPECT_EQ(TypeName(QDateTime::currentDateTime()), "Date");
    EXPECT_EQ(TypeName(QByteArray("x")), "Byte()");
    EXPECT_EQ(TypeName(Nothing()), "Nothing");
    EXPECT_EQ(TypeName(FromObject(std::make_shared<entidadGenerica>())), "entidadGenerica");
    EXPECT_EQ(VarType(Empty()), 0);
    EXPECT_EQ(VarType(Null()), 1);
    EXPECT_EQ(VarType(QVariant::fromValue<qint16>(1)), 2);
    EXPECT_EQ(VarType(5), 3);
    EXPECT_EQ(VarType(QString("x")), 8);
    EXPECT_EQ(VarType(Nothing()), 9);
    EXPECT_EQ(VarType(QByteArray()), 8209);
    EXPECT_TRUE(IsNull(Null()));
    EXPECT_FALSE(IsNull(QString())); // a null QString is still a String
    EXPECT_FALSE(IsEmpty(Null()));
    EXPECT_TRUE(IsNothing(Nothing()));
    EXPECT_TRUE(IsObject(Nothing()));
    EXPECT_FALSE(IsObject(5));

    EXPECT_TRUE(IsNumeric(Empty()));
    EXPECT_FALSE(IsNumeric(Null()));
    EXPECT_TRUE(IsNumeric(true));
    EXPECT_TRUE(IsNumeric(QString(" -1.5e3 ")));
    EXPECT_TRUE(IsNumeric(QString("&HFF")));
    EXPECT_FALSE(IsNumeric(QString("True")));
    EXPECT_FALSE(IsNumeric(QString("")));
    EXPECT_FALSE(IsNumeric(QString("12a")));
    EXPECT_FALSE(IsNumeric(QDateTime::currentDateTime()));
}

TEST(Variant, SerialsAndTexts) {
    EXPECT_EQ(CDate(0.0), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
    EXPECT_EQ(CDate(45000.5), QDateTime(QDate(2023, 3, 15), QTime(12, 0)));
    EXPECT_EQ(CDate(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_DOUBLE_EQ(CDbl(QDateTime(QDate(2023, 3, 15), QTime(12, 0))), 45000.5);
    EXPECT_EQ(CDate(QString("2024-02-29 13:14:15")), QDateTime(QDate(2024, 2, 29), QTime(13, 14, 15)));
    EXPECT_EQ(CDate(QString("31/12/2023")), QDateTime(QDate(2023, 12, 31), QTime(0, 0)));
    EXPECT_TRUE(IsDate(QString("2024-01-01")));
    EXPECT_FALSE(IsDate(QString("2024-13-01")));
    EXPECT_EQ(errorOf([] { CDate(QString("mañana")); }), 13);
}

TEST(Variant, VBTextFunctions) {
    EXPECT_EQ(Chr(128), QChar(0x20AC));
    EXPECT_EQ(Chr(27), QChar(27));
    EXPECT_EQ(errorOf([] { Chr(256); }), 5);
    EXPECT_EQ(Asc(QChar(0x20AC)), 128);
    EXPECT_EQ(Asc(QChar(0x4E2D)), 63);
    EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Mid("abcdef", 5), "ef");
    EXPECT_EQ(Mid("abc", 10), "");
    EXPECT_EQ(errorOf([] { Mid("abc", 0); }), 5);
    EXPECT_EQ(Left("abc", 10), "abc");
    EXPECT_EQ(Right("abc", 2), "bc");
    EXPECT_EQ(errorOf([] { Left("abc", -1); }), 5);
    EXPECT_EQ(InStr("abcabc", "c"), 3);
    EXPECT_EQ(InStr("abcabc", "c", 4), 6);
    EXPECT_EQ(InStr("abcabc", "C", 1, Qt::CaseInsensitive), 3);
    EXPECT_EQ(InStr("abc", "x"), 0);
    EXPECT_EQ(InStr("", "x"), 0);
    EXPECT_EQ(InStr("abc", ""), 1);
    EXPECT_EQ(InStrRev("abcabc", "bc"), 5);
    EXPECT_EQ(InStrRev("abcabc", "bc", 5), 2);
    EXPECT_EQ(InStrRev("abcabc", "x"), 0);
    EXPECT_EQ(Trim("\t a b \n"), "\t a b \n");
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(LTrim("  a "), "a ");
    EXPECT_EQ(RTrim("  a "), "  a");
    EXPECT_EQ(Space(3), "   ");
    EXPECT_EQ(String(2, 'x'), "xx");
}
