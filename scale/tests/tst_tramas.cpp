// Frame decoding on the bytes the scales send.
#include "scale/clsComm.h"
#include <gtest/gtest.h>

using namespace clsCommTramas;

namespace {
struct Caso {
    QByteArray datos;
    bool lectura;
    double peso = 0;
    int estable = -1; // -1: the frame says nothing about stability
};
void comprueba(std::optional<Lectura> (*decodifica)(const QByteArray&), std::initializer_list<Caso> casos) {
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.datos.toHex(' ').toStdString());
        const auto l = decodifica(k.datos);
        ASSERT_EQ(l.has_value(), k.lectura);
        if (!l)
            continue;
        EXPECT_DOUBLE_EQ(l->peso, k.peso);
        EXPECT_EQ(l->estable.has_value() ? int(*l->estable) : -1, k.estable);
    }
}
} // namespace

TEST(Tramas, RequestBytesPerModel) {
    EXPECT_EQ(PeticionContinua(0), "D\r\n");
    EXPECT_EQ(PeticionContinua(3), "p\r\n");
    EXPECT_EQ(PeticionContinua(5), "");
    EXPECT_EQ(PeticionContinua(7), "D\r\n");
    EXPECT_EQ(PeticionPesada(3), "p\r\n");
    EXPECT_EQ(PeticionPesada(5), "D\r\n");
}

TEST(Tramas, StxFrames) {
    comprueba(TramaSTX, {
                            {QByteArray::fromHex("0241203030312c323530"), true, 1.25, 1},
                            {QByteArray::fromHex("02212d2d2d202c303030"), true, 0, 0},
                            {"\x02"
                             "? 000,500",
                             true, 0.5, -1},
                            // The last frame is cut short: the one before it.
                            {QByteArray::fromHex("78780241203030312c32353002422030"), true, 1.25, 1},
                            {"\x02"
                             "A 001,250\x02"
                             "B 002,500\x02"
                             "A 003,750",
                             true, 3.75, 1},
                            {"A 001,250xyz", false}, // no STX: no frame
                            {"\x02"
                             "A 001",
                             false},
                            {"\x02"
                             "A 001,250xyz\x02"
                             "A 0",
                             false}, // 13 apart: the earlier frame is out of reach
                        });
}

TEST(Tramas, CrFrames) {
    comprueba(TramaCR, {
                           {QByteArray::fromHex("303030312e32350d303030312e33300d"), true, 1.3, 1},
                           {"ERROR E\r", true, 0, 0},
                           {QByteArray::fromHex("302d30302e35300d"), true, 0, -1},
                           // The read ends inside a frame: the complete one before it.
                           {"0001.25\r0001.3", true, 1.25, 1},
                           {"0001.10\r0001.25\r0001.3", true, 1.25, 1},
                           {"xx0001.30\r", true, 1.3, 1},
                           {"0001.2", false},
                           {"ABCDEFGHIJKL", false},
                           {"01.25\r0001", false},
                       });
}

TEST(Tramas, RepliesToARequest) {
    comprueba(RespuestaModelo3, {
                                    {QByteArray::fromHex("20302e333435206b670d0a"), true, 0.345, 1},
                                    {" 1,500 kg\r\n", true, 1.5, 1},
                                    {" kg\r\n!", true, 0, 1},
                                    {"kg\r\n", false}, // too short to cut
                                });
    comprueba(RespuestaSignoMas, {
                                     {QByteArray::fromHex("2b2020322e353030"), true, 2.5, 1},
                                     {"+0000,750 kg\r\n", true, 0.75, 1},
                                     {"+N  2.500", false},
                                     {"-  2.500", false},
                                     {"", false},
                                 });
}

TEST(Tramas, UnitPriceRule) {
    const QVariant nulo = QVariant::fromValue(nullptr);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 0.0, 0.0, 0), 9.99);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(nulo, nulo, nulo, 0), 0);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 0), 8.5);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 0.0, 0), 9.99);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 2), 10.0);
}
