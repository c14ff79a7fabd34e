// Cp1252: the Windows-1252 table both ways.
#include "platform/Cp1252.h"
#include <gtest/gtest.h>

TEST(Cp1252, EveryByteRoundTripsAndUnmappedCharactersBecomeOneReplacementEach) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = cp1252::decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(cp1252::encode(text), all);
    EXPECT_EQ(text[0x81], QChar(0x81)); // the holes of the high block pass through
    EXPECT_EQ(text[0x9F], QChar(0x178));
    EXPECT_EQ(cp1252::encode(QString::fromUtf8("€ñÁ—")), QByteArray("\x80\xF1\xC1\x97"));
    EXPECT_EQ(cp1252::byteFor(QChar(0x0160)), 0x8A);
    EXPECT_EQ(cp1252::byteFor(QChar(0x0100)), -1);
    EXPECT_EQ(cp1252::encode(QString::fromUtf8("a中b"), '?'), QByteArray("a?b"));
    EXPECT_EQ(cp1252::encode(QString::fromUtf8("x😀y"), '_'), QByteArray("x_y")); // a surrogate pair is one
}
