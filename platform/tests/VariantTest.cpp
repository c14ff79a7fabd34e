#include "platform/Variant.h"
#include "platform/Collections.h"
#include "testsupport/TestEnv.h"
#include "testsupport/VBErrors.h"
#include <QLocale>
#include <clocale>
#include <gtest/gtest.h>
#include <limits>

using namespace vb;

using testenv::errorOf;

namespace {

// Sets a locale in C and in Qt for its lifetime, then restores both.
struct ScopedLocale {
    std::string oldC = std::setlocale(LC_ALL, nullptr);
    QLocale oldQt;
    ScopedLocale(const char* c, const QLocale& qt) {
        std::setlocale(LC_ALL, c);
        QLocale::setDefault(qt);
    }
    ~ScopedLocale() {
        std::setlocale(LC_ALL, oldC.c_str());
        QLocale::setDefault(oldQt);
    }
};

template <auto F> Variant as(const Variant& v) {
    return QVariant::fromValue(F(v));
}

} // namespace

// One row per value: its type as VB names it, whether IsNumeric holds, and what CLng, CInt, CDbl,
// CBool, CStr and CDate make of it ("#n": run-time error n; nullptr: not checked). Whole numbers
// round half to even; out of range is error 6, Null 94, Nothing 91, a text that is no number 13.
// The Spanish locale (decimal comma) must change nothing.
TEST(Variant, ConversionsFollowVBRules) {
    const QDateTime date(QDate(2023, 3, 15), QTime(12, 0));
    const QDateTime day(QDate(2024, 3, 7), QTime(0, 0));
    const Variant huge = QVariant::fromValue<qint64>(1LL << 40);
    const Variant object = FromObject(std::make_shared<entidadGenerica>());
    struct Caso {
        Variant in;
        const char* typeName;
        int varType;
        bool numeric;
        std::array<const char*, 6> out;
    };
    const Caso casos[] = {
        {2.5, "Double", 5, true, {"2", "2", "2.5", "True", "2.5"}},
        {3.5, "Double", 5, true, {"4", "4", "3.5", "True", "3.5"}},
        {-3.5, "Double", 5, true, {"-4", "-4", "-3.5", "True", "-3.5"}},
        {2.500001, "Double", 5, true, {"3", "3"}},
        {2.0, "Double", 5, true, {"2", "2", "2", "True", "2"}},
        {-0.0, "Double", 5, true, {"0", "0", "0", "False", "0"}},
        {-2147483648.4, "Double", 5, true, {"-2147483648", "#6", "-2147483648.4", "True", "-2147483648.4"}},
        {2147483647.5, "Double", 5, true, {"#6", "#6", "2147483647.5", "True", "2147483647.5"}},
        {32767, "Long", 3, true, {"32767", "32767", "32767", "True", "32767"}},
        {32767.5, "Double", 5, true, {"32768", "#6"}},
        {32768, "Long", 3, true, {"32768", "#6", "32768", "True", "32768"}},
        {-32768, "Long", 3, true, {"-32768", "-32768", "-32768", "True", "-32768"}},
        {-32768.6, "Double", 5, true, {"-32769", "#6", "-32768.6", "True", "-32768.6"}},
        {QVariant::fromValue<qint16>(-5), "Integer", 2, true, {"-5", "-5", "-5", "True", "-5"}},
        {huge, "Decimal", 14, true, {"#6", "#6", "1099511627776", "True", "1099511627776"}},
        {std::numeric_limits<double>::quiet_NaN(), "Double", 5, true, {"#6", "#6"}},
        {1e15, "Double", 5, true, {"#6", "#6", "1E+15", "True", "1E+15"}},
        {1e14, "Double", 5, true, {"#6", "#6", "100000000000000", "True", "100000000000000"}},
        {0.1 + 0.2, "Double", 5, true, {"0", "0", "0.3", "True", "0.3"}},
        {0.0001, "Double", 5, true, {"0", "0", "0.0001", "True", "0.0001"}},
        {0.00001, "Double", 5, true, {"0", "0", "1E-05", "True", "1E-05"}},
        {1234567.25, "Double", 5, true, {"1234567", "#6", "1234567.25", "True", "1234567.25"}},
        {123456789012345678.0, "Double", 5, true, {"#6", "#6", "1.23456789012346E+17", "True", "1.23456789012346E+17"}},
        {1.1f, "Single", 4, true, {"1", "1", nullptr, "True", "1.1"}},
        {true, "Boolean", 11, true, {"-1", "-1", "-1", "True", "True"}},
        {false, "Boolean", 11, true, {"0", "0", "0", "False", "False"}},
        {Empty(), "Empty", 0, true, {"0", "0", "0", "False", ""}},
        {Null(), "Null", 1, false, {"#94", "#94", "#94", "#94", "#94", "#94"}},
        {Nothing(), "Nothing", 9, false, {"#91", "#91", "#91", "#91", "#91"}},
        {object, "entidadGenerica", 9, false, {nullptr, nullptr, nullptr, nullptr, "#13"}},
        {QByteArray("x"), "Byte()", 8209, false, {}},
        {date, "Date", 7, false, {"45000", "#6", "45000.5", nullptr, "15/03/2023 12:00:00"}},
        {day, "Date", 7, false, {"45358", nullptr, nullptr, nullptr, "07/03/2024"}},
        {QDateTime(day.date(), QTime(9, 5)),
         "Date",
         7,
         false,
         {nullptr, nullptr, nullptr, nullptr, "07/03/2024 09:05:00"}},
        {45000.5, "Double", 5, true, {"45000", "#6", "45000.5", "True", "45000.5", "15/03/2023 12:00:00"}},
        {-1.25, "Double", 5, true, {"-1", "-1", "-1.25", "True", "-1.25", "29/12/1899 06:00:00"}},
        {QString("2024-02-29 13:14:15"),
         "String",
         8,
         false,
         {"#13", "#13", "#13", "#13", nullptr, "29/02/2024 13:14:15"}},
        {QString("31/12/2023"), "String", 8, false, {"#13", "#13", "#13", "#13", nullptr, "31/12/2023"}},
        {QString("2024-13-01"), "String", 8, false, {"#13", "#13", "#13", "#13", nullptr, "#13"}},
        {QString("  -7.5 "), "String", 8, true, {"-8", "-8", "-7.5", "True", "  -7.5 "}},
        {QString("2147483647"), "String", 8, true, {"2147483647", "#6", "2147483647", "True"}},
        {QString("1e400"), "String", 8, false, {"#6", "#6", "#6", "#6"}},
        {QString("1e-400"), "String", 8, true, {"0", "0", "0", "False"}},
        {QString(" -1.5e3 "), "String", 8, true, {"-1500", "-1500", "-1500", "True"}},
        {QString(".5"), "String", 8, true, {"0", "0", "0.5", "True"}},
        {QString("3.25"), "String", 8, true, {"3", "3", "3.25", "True"}},
        {QString("-2.5"), "String", 8, true, {"-2", "-2", "-2.5", "True"}},
        {QString("2D2"), "String", 8, true, {"200", "200", "200", "True"}},
        {QString("&H1F"), "String", 8, true, {"31", "31", "31", "True"}},
        {QString("&HFFFF"), "String", 8, true, {nullptr, "-1"}},
        {QString("&O17"), "String", 8, true, {"15", "15", "15", "True"}},
        {QString("true"), "String", 8, false, {"-1", "-1", "-1", "True"}},
        {QString("yes"), "String", 8, false, {"#13", "#13", "#13", "#13", "yes", "#13"}},
        {QString(), "String", 8, false, {"#13", "#13", "#13", "#13", ""}},
    };
    for (bool spanish : {false, true}) {
        const ScopedLocale es(spanish ? "es_ES.UTF-8" : "C", spanish ? QLocale(QLocale::Spanish) : QLocale::c());
        const std::array conversions = {as<CLng>, as<CInt>, as<CDbl>, as<CBool>, as<CStr>, as<CDate>};
        for (const Caso& c : casos) {
            SCOPED_TRACE(c.in.toString().toStdString() + (spanish ? " (es)" : ""));
            EXPECT_EQ(TypeName(c.in), QString(c.typeName));
            EXPECT_EQ(VarType(c.in), c.varType);
            EXPECT_EQ(IsNumeric(c.in), c.numeric);
            for (size_t k = 0; k < conversions.size(); ++k) {
                QString out;
                if (const int error = errorOf([&] { out = CStr(conversions[k](c.in)); }))
                    out = QString("#%1").arg(error);
                if (c.out[k]) {
                    EXPECT_EQ(out, QString(c.out[k])) << "conversion " << k;
                }
            }
        }
        for (const char* bad : {"", "abc", "1,5", "3,5", "1.2.3", "12abc", "--1", "1e", "&HXYZ", "."})
            EXPECT_EQ(errorOf([&] { CDbl(QString(bad)); }), vb::err::TypeMismatch) << bad;
    }
    EXPECT_FALSE(IsNull(QString())); // a null QString is still a String
    EXPECT_TRUE(IsObject(Nothing()));
    EXPECT_TRUE(IsDate(QString("2024-01-01")));
    EXPECT_FALSE(IsDate(QString("2024-13-01")));
}

TEST(Variant, VBTextFunctions) {
    EXPECT_EQ(Chr(128), QChar(0x20AC));
    EXPECT_EQ(Chr(27), QChar(27));
    EXPECT_EQ(Asc(QChar(0x20AC)), 128);
    EXPECT_EQ(Asc(QChar(0x4E2D)), 63);
    EXPECT_EQ(QStringList({Mid("abcdef", 2, 3), Mid("abcdef", 5), Mid("abc", 10), Left("abc", 10), Right("abc", 2),
                           Trim("\t a b \n"), Trim("  a b  "), LTrim("  a "), RTrim("  a "), Space(3), String(2, 'x')}),
              QStringList({"bcd", "ef", "", "abc", "bc", "\t a b \n", "a b", "a ", "  a", "   ", "xx"}));
    EXPECT_EQ(QList<int>({InStr("abcabc", "c"), InStr("abcabc", "c", 4), InStr("abcabc", "C", 1, Qt::CaseInsensitive),
                          InStr("abc", "x"), InStr("", "x"), InStr("abc", ""), InStrRev("abcabc", "bc"),
                          InStrRev("abcabc", "bc", 5), InStrRev("abcabc", "x")}),
              QList<int>({3, 6, 3, 0, 0, 1, 5, 2, 0}));
    for (auto f : {+[] { Chr(256); }, +[] { Mid("abc", 0); }, +[] { Left("abc", -1); }})
        EXPECT_EQ(errorOf(f), vb::err::InvalidCall);
}
