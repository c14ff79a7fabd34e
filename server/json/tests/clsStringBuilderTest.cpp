#include "server/json/clsStringBuilder.h"

#include "platform/VBError.h"
#include "testsupport/VBErrors.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using testenv::errorOf;

TEST(clsStringBuilder, GrowsAndShrinksByWholeChunks) {
    clsStringBuilder sb;
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), 0);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    EXPECT_TRUE(sb.toString().isEmpty());

    sb.Append(QStringView(u"abc"));
    EXPECT_EQ(sb.Capacity(), 8192);
    EXPECT_EQ(sb.Length(), 3);

    clsStringBuilder big;
    big.Append(QString(10000, u'x'));
    EXPECT_EQ(big.Capacity(), 16384);
    EXPECT_EQ(big.toString(), QString(10000, u'x'));

    clsStringBuilder small;
    small.ChunkSize(100);
    small.Append(QString(250, u'y'));
    EXPECT_EQ(small.Capacity(), 300);

    clsStringBuilder whole; // TheString keeps the room until HeapMinimize, Clear frees it
    whole.ChunkSize(10);
    whole.TheString(QString(45, u'z'));
    EXPECT_EQ(whole.Capacity(), 50);
    whole.TheString(QStringLiteral("short"));
    EXPECT_EQ(whole.toString(), QStringLiteral("short"));
    EXPECT_EQ(whole.Capacity(), 50); // not shrunk

    whole.HeapMinimize(); // 45 spare: four chunks go, 5 stay
    EXPECT_EQ(whole.Capacity(), 10);
    EXPECT_LE(whole.Capacity() - whole.Length(), whole.ChunkSize());
    EXPECT_EQ(whole.toString(), QStringLiteral("short"));

    whole.TheString(QString());
    EXPECT_EQ(whole.Capacity(), 0);
    EXPECT_EQ(whole.Length(), 0);

    whole.Append(QStringView(u"x"));
    whole.AppendNL(QStringView(u"y"));
    EXPECT_EQ(whole.toString(), QStringLiteral("xy\r\n"));
    whole.Clear();
    EXPECT_EQ(whole.Capacity(), 0);
    EXPECT_TRUE(whole.toString().isEmpty());

    clsStringBuilder bad; // bad chunk sizes are refused
    EXPECT_EQ(errorOf([&] { bad.ChunkSize(0); }), 5);
    EXPECT_EQ(errorOf([&] { bad.ChunkSize(-4); }), 5);
    EXPECT_EQ(errorOf([&] { bad.ChunkSize(0x40000000); }), 6); // twice that is beyond 32 bits
    EXPECT_EQ(bad.ChunkSize(), 8192);
    bad.ChunkSize(0x3FFFFFFF);
    EXPECT_EQ(bad.ChunkSize(), 0x3FFFFFFF);
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
    sb.Insert(0, QStringView(u"<"));
    sb.Remove(1, 5);
    const QString second = sb.toString();
    sb.Append(QLatin1StringView("end"));
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, u'<' + expected.mid(5) + u'!');
    EXPECT_EQ(sb.toString(), second + QStringLiteral("end"));
}

TEST(clsStringBuilder, InsertAndRemoveStayInsideTheUsedText) {
    clsStringBuilder sb;
    sb.Append(QStringView(u"hello"));
    sb.Insert(5, QStringView(u"!")); // at Length: appends
    EXPECT_EQ(sb.toString(), QStringLiteral("hello!"));
    sb.Insert(0, QStringView(u">"));
    sb.Insert(3, QStringView(u"--"));
    EXPECT_EQ(sb.toString(), QStringLiteral(">he--llo!"));

    EXPECT_EQ(errorOf([&] { sb.Insert(sb.Length() + 1, QStringView(u"x")); }), 9);
    EXPECT_EQ(errorOf([&] { sb.Insert(-1, QStringView(u"x")); }), 9);
    EXPECT_EQ(sb.toString(), QStringLiteral(">he--llo!"));

    sb.Remove(3, 2);
    EXPECT_EQ(sb.toString(), QStringLiteral(">hello!"));
    EXPECT_EQ(errorOf([&] { sb.Remove(1, sb.Length()); }), 9);
    EXPECT_EQ(errorOf([&] { sb.Remove(0, -1); }), 9);
    EXPECT_EQ(sb.toString(), QStringLiteral(">hello!"));

    clsStringBuilder chunks; // an insert longer than the spare room and a chunk grows by enough chunks
    chunks.ChunkSize(10);
    chunks.Append(QStringView(u"ab"));
    chunks.Insert(1, QString(35, u'-'));
    EXPECT_EQ(chunks.Capacity(), 40);
    EXPECT_EQ(chunks.toString(), u'a' + QString(35, u'-') + u'b');

    const qint32 capacity = sb.Capacity();
    sb.Remove(0, sb.Length());
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), capacity);
    EXPECT_TRUE(sb.toString().isEmpty());
}

TEST(clsStringBuilder, FindLooksOnlyAtTheUsedText) {
    clsStringBuilder sb;
    sb.Append(QStringView(u"abcdefXYZ"));
    sb.Remove(6, 3); // "XYZ" stays behind in the spare part
    EXPECT_EQ(sb.Find(QStringView(u"f")), 6);
    EXPECT_EQ(sb.Find(QStringView(u"XYZ")), 0);
    EXPECT_EQ(sb.Find(QStringView(u"fX")), 0); // would start inside and end outside
    EXPECT_EQ(sb.Find(QStringView(u"CD")), 3); // text comparison by default
    EXPECT_EQ(sb.Find(QStringView(u"CD"), 1, Qt::CaseSensitive), 0);
    EXPECT_EQ(sb.Find(QStringView(u"c"), 4), 0);
    EXPECT_EQ(sb.Find(QStringView(u"a"), -7), 1);
}

// A length the compiler cannot see through.
qsizetype claimed(qsizetype n) {
    volatile qsizetype v = n;
    return v;
}

TEST(clsStringBuilder, GrowthBeyondThe32BitRangeIsOverflowNotWrapAround) {
    // The sizes are checked before anything is read or allocated, so a view that only claims a huge
    // length is enough to reach the limits.
    const std::vector<char16_t> buffer(4, u'a');
    const char16_t* little = buffer.data();
    clsStringBuilder sb;
    sb.Append(QStringView(u"ok"));
    EXPECT_EQ(errorOf([&] { sb.Append(QStringView(little, claimed(0x40000000))); }), 6);
    EXPECT_EQ(errorOf([&] { sb.Insert(1, QStringView(little, claimed(0x7FFFFFFF))); }), 6);

    clsStringBuilder chunky;
    chunky.ChunkSize(0x30000000); // the needed size fits, two whole chunks do not
    EXPECT_EQ(errorOf([&] { chunky.Append(QStringView(little, claimed(0x30000001))); }), 6);
    EXPECT_EQ(chunky.Capacity(), 0);
    EXPECT_EQ(sb.toString(), QStringLiteral("ok"));
}

} // namespace
