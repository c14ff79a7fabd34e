// Frame decoding on bytes, as the scales send them.
#include "scale/clsComm.h"
#include <QVariant>
#include <gtest/gtest.h>

using namespace clsCommTramas;

namespace {
QByteArray B(std::initializer_list<int> bytes) {
    QByteArray r;
    for (int b : bytes)
        r.append(char(b));
    return r;
}
} // namespace

TEST(Tramas, RequestBytesPerModel) {
    EXPECT_EQ(PeticionContinua(0), QByteArray("D\r\n"));
    EXPECT_EQ(PeticionContinua(3), QByteArray("p\r\n"));
    EXPECT_EQ(PeticionContinua(5), QByteArray());
    EXPECT_EQ(PeticionContinua(7), QByteArray("D\r\n"));
    EXPECT_EQ(PeticionContinua(9), QByteArray("D\r\n"));
    EXPECT_EQ(PeticionPesada(3), QByteArray("p\r\n"));
    EXPECT_EQ(PeticionPesada(5), QByteArray("D\r\n"));
    EXPECT_EQ(PeticionPesada(0), QByteArray("D\r\n"));
}

TEST(Tramas, StxFrameStableWeightAndDashes) {
    auto l = TramaSTX(B({0x02, 0x41, 0x20, 0x30, 0x30, 0x31, 0x2C, 0x32, 0x35, 0x30}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.25);
    EXPECT_EQ(l->estable, std::optional<bool>(true));

    l = TramaSTX(B({0x02, 0x21, 0x2D, 0x2D, 0x2D, 0x20, 0x2C, 0x30, 0x30, 0x30}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0);
    EXPECT_EQ(l->estable, std::optional<bool>(false));

    // Status "B" is stable too; any other status says nothing about stability.
    l = TramaSTX(QByteArray("\x02"
                            "B 012,005"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 12.005);
    EXPECT_EQ(l->estable, std::optional<bool>(true));
    l = TramaSTX(QByteArray("\x02"
                            "? 000,500"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0.5);
    EXPECT_FALSE(l->estable.has_value());
}

TEST(Tramas, StxTakesTheEarlierFrameWhenTheLastIsIncomplete) {
    const auto l =
        TramaSTX(B({0x78, 0x78, 0x02, 0x41, 0x20, 0x30, 0x30, 0x31, 0x2C, 0x32, 0x35, 0x30, 0x02, 0x42, 0x20, 0x30}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.25);
    EXPECT_EQ(l->estable, std::optional<bool>(true));

    // A stream of frames: the last complete one wins.
    const auto u = TramaSTX(QByteArray("\x02"
                                       "A 001,250"
                                       "\x02"
                                       "A 002,500"
                                       "\x02"
                                       "A 003,750"));
    ASSERT_TRUE(u);
    EXPECT_DOUBLE_EQ(u->peso, 3.75);
}

TEST(Tramas, StxWithoutAWholeFrameIsNoReading) {
    EXPECT_FALSE(TramaSTX(QByteArray("A 001,250xyz"))); // no STX at all
    EXPECT_FALSE(TramaSTX(QByteArray()));
    EXPECT_FALSE(TramaSTX(QByteArray("\x02"
                                     "A 001"))); // cut short, nothing before it
    // Frames 13 characters apart: the earlier frame cannot be found from the last STX.
    EXPECT_FALSE(TramaSTX(QByteArray("\x02"
                                     "A 001,250xyz"
                                     "\x02"
                                     "A 0")));
}

TEST(Tramas, CrFrameLastFrameErrorAndNegative) {
    auto l =
        TramaCR(B({0x30, 0x30, 0x30, 0x31, 0x2E, 0x32, 0x35, 0x0D, 0x30, 0x30, 0x30, 0x31, 0x2E, 0x33, 0x30, 0x0D}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.3);
    EXPECT_EQ(l->estable, std::optional<bool>(true));

    l = TramaCR(QByteArray("ERROR E\r"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0);
    EXPECT_EQ(l->estable, std::optional<bool>(false));

    l = TramaCR(B({0x30, 0x2D, 0x30, 0x30, 0x2E, 0x35, 0x30, 0x0D}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0);
    EXPECT_FALSE(l->estable.has_value());

    l = TramaCR(QByteArray("0002.50\r"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 2.5);
}

TEST(Tramas, CrFrameFallsBackToTheFrameBeforeAnIncompleteOne) {
    // The read ends inside a frame: the complete frame before it is used.
    auto l = TramaCR(QByteArray("0001.25\r0001.3"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.25);
    l = TramaCR(QByteArray("0001.10\r0001.25\r0001.3"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.25);
    // Noise before a frame that ends the read.
    l = TramaCR(QByteArray("xx0001.30\r"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.3);
}

TEST(Tramas, CrGarbageIsNoReading) {
    EXPECT_FALSE(TramaCR(QByteArray()));
    EXPECT_FALSE(TramaCR(QByteArray("0001.2")));
    EXPECT_FALSE(TramaCR(QByteArray("ABCDEFGHIJKL"))); // no CR anywhere
    EXPECT_FALSE(TramaCR(QByteArray("01.25\r0001")));  // nothing complete
    EXPECT_FALSE(TramaCR(QByteArray("1\r2\r3\r4\r5")));
}

TEST(Tramas, Model3ReplyDropsFirstAndLastFive) {
    auto l = RespuestaModelo3(B({0x20, 0x30, 0x2E, 0x33, 0x34, 0x35, 0x20, 0x6B, 0x67, 0x0D, 0x0A}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0.345);
    EXPECT_EQ(l->estable, std::optional<bool>(true));

    l = RespuestaModelo3(QByteArray(" 1,500 kg\r\n")); // a comma as the decimal point
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 1.5);

    l = RespuestaModelo3(QByteArray(" kg\r\n!")); // exactly six: nothing left, weight 0
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0);

    EXPECT_FALSE(RespuestaModelo3(QByteArray("kg\r\n"))); // too short to cut: no reading
    EXPECT_FALSE(RespuestaModelo3(QByteArray()));
}

TEST(Tramas, PlusSignReply) {
    auto l = RespuestaSignoMas(B({0x2B, 0x20, 0x20, 0x32, 0x2E, 0x35, 0x30, 0x30}));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 2.5);
    EXPECT_EQ(l->estable, std::optional<bool>(true));
    l = RespuestaSignoMas(QByteArray("+0000,750 kg\r\n"));
    ASSERT_TRUE(l);
    EXPECT_DOUBLE_EQ(l->peso, 0.75);

    EXPECT_FALSE(RespuestaSignoMas(QByteArray("+N  2.500")));
    EXPECT_FALSE(RespuestaSignoMas(QByteArray("-  2.500")));
    EXPECT_FALSE(RespuestaSignoMas(QByteArray(" +2.500")));
    EXPECT_FALSE(RespuestaSignoMas(QByteArray()));
}

TEST(Tramas, WeightTextValue) {
    EXPECT_DOUBLE_EQ(ValorPeso("  1,250kg"), 1.25);
    EXPECT_DOUBLE_EQ(ValorPeso("-  0.5"), -0.5);
    EXPECT_DOUBLE_EQ(ValorPeso("abc"), 0);
    EXPECT_DOUBLE_EQ(ValorPeso(""), 0);
}

TEST(Tramas, UnitPriceRule) {
    const QVariant nulo = QVariant::fromValue(nullptr);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 0.0, 0.0, 0), 9.99);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(nulo, nulo, nulo, 0), 0);
    // The line's own price when both it and the original are set.
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 0), 8.5);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 0.0, 0), 9.99);
    // Pizza shop: always the original price.
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 2), 10.0);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, nulo, nulo, 2), 0);
}
