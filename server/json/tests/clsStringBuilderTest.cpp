#include "server/json/clsStringBuilder.h"

#include "platform/VBError.h"
#include "testsupport/VBErrors.h"

#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace Qt::Literals::StringLiterals;
using testenv::errorOf;

TEST(clsStringBuilder, CapacityMovesByWholeChunks) {
    clsStringBuilder sb;
    sb.ChunkSize(10);
    sb.Append(u"ab"_s);
    sb.Insert(1, QString(35, u'-')); // longer than the spare room and a chunk: enough chunks at once
    EXPECT_EQ(sb.Capacity(), 40);
    sb.TheString(u"short"_s); // keeps the room until HeapMinimize
    sb.HeapMinimize();        // 35 spare: three chunks go, 5 stay
    EXPECT_EQ(sb.Capacity(), 10);
    sb.AppendNL(u"y");
    EXPECT_EQ(sb.toString(), u"shorty\r\n"_s);
    sb.TheString(QString()); // empties as Clear does
    EXPECT_EQ(sb.Capacity(), 0);
}

TEST(clsStringBuilder, BadArgumentsRaiseAndChangeNothing) {
    // The sizes are checked before anything is read or allocated, so a view that only claims a huge
    // length is enough to reach the 32-bit limits: overflow, never wrap-around.
    const char16_t buffer[4] = {};
    const auto enorme = [&](qsizetype n) {
        volatile qsizetype v = n; // a length the compiler cannot see through
        return QStringView(buffer, v);
    };
    clsStringBuilder sb, chunky;
    sb.Append(u">hello!"_s);
    chunky.ChunkSize(0x30000000); // the needed size fits, two whole chunks do not
    const std::tuple<const char*, std::function<void()>, int> casos[] = {
        {"chunk 0", [&] { sb.ChunkSize(0); }, vb::err::InvalidCall},
        {"negative chunk", [&] { sb.ChunkSize(-4); }, vb::err::InvalidCall},
        {"chunk twice beyond 32 bits", [&] { sb.ChunkSize(0x40000000); }, vb::err::Overflow},
        {"insert past the end", [&] { sb.Insert(sb.Length() + 1, u"x"); }, vb::err::SubscriptOutOfRange},
        {"insert before the start", [&] { sb.Insert(-1, u"x"); }, vb::err::SubscriptOutOfRange},
        {"remove past the end", [&] { sb.Remove(1, sb.Length()); }, vb::err::SubscriptOutOfRange},
        {"remove a negative length", [&] { sb.Remove(0, -1); }, vb::err::SubscriptOutOfRange},
        {"append beyond 32 bits", [&] { sb.Append(enorme(0x40000000)); }, vb::err::Overflow},
        {"insert beyond 32 bits", [&] { sb.Insert(1, enorme(0x7FFFFFFF)); }, vb::err::Overflow},
        {"two whole chunks beyond 32 bits", [&] { chunky.Append(enorme(0x30000001)); }, vb::err::Overflow},
    };
    for (const auto& [caso, f, error] : casos)
        EXPECT_EQ(errorOf(f), error) << caso;
    EXPECT_EQ(sb.toString(), u">hello!"_s);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    EXPECT_EQ(chunky.Capacity(), 0);
    sb.ChunkSize(0x3FFFFFFF); // the largest accepted
    EXPECT_EQ(sb.ChunkSize(), 0x3FFFFFFF);
}

TEST(clsStringBuilder, TextsAlreadyHandedOutNeverChange) {
    clsStringBuilder sb;
    sb.ChunkSize(3);
    QString expected;
    for (int i = 0; i < 2000; ++i) {
        const QString piece = QString::number(i) + u',';
        sb.Append(piece);
        expected += piece;
    }
    const QString first = sb.toString();
    EXPECT_EQ(first, expected);
    EXPECT_LT(sb.Capacity() - sb.Length(), 3);

    sb.Append(u'!');
    sb.Insert(0, u"<");
    sb.Insert(3, u"--");
    sb.Remove(1, 7);
    sb.Insert(sb.Length(), u"?"); // at Length: appends
    const QString second = sb.toString();
    sb.Append("end"_L1);
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, u'<' + expected.mid(5) + u"!?"_s);
    EXPECT_EQ(sb.toString(), second + u"end"_s);
}

TEST(clsStringBuilder, FindLooksOnlyAtTheUsedText) {
    clsStringBuilder sb;
    sb.Append(u"abcdefXYZ"_s);
    sb.Remove(6, 3); // "XYZ" stays behind in the spare part
    EXPECT_EQ(sb.Find(u"f"), 6);
    EXPECT_EQ(sb.Find(u"XYZ"), 0);
    EXPECT_EQ(sb.Find(u"fX"), 0); // would start inside and end outside
    EXPECT_EQ(sb.Find(u"CD"), 3); // text comparison by default
    EXPECT_EQ(sb.Find(u"CD", 1, Qt::CaseSensitive), 0);
    EXPECT_EQ(sb.Find(u"c", 4), 0);
    EXPECT_EQ(sb.Find(u"a", -7), 1);
}

} // namespace
