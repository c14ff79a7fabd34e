// clsCommTramas: the frame decoding of each model on the bytes the scales send, and the unit price of a
// ticket line.
#include "scale/clsCommTramas.h"

#include <gtest/gtest.h>

TEST(clsCommTramas, UnitPriceOfALine) {
    using clsCommTramas::PrecioUnitarioLinea;
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(QVariant::fromValue(nullptr), 0.0, 0.0, 0), 0); // no rate: Null
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 0.0, 0), 9.99); // its own price only beside an original one
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 0.0, 10.0, 0), 9.99);
}

// Each model's continuous decoder: a read that ends inside a frame gives the one before it, unless
// that one is out of reach. The reading: the weight, " A" stable, " !" unstable; "" none.
TEST(clsCommTramas, FramesOfEachModel) {
    const struct {
        int modelo;
        QByteArray datos;
        QString lectura;
    } casos[] = {
        {5, "\002!--- ,000", "0 !"},
        {5, "\002? 000,500", "0.5 !"}, // a status the scale does not define: not stable
        {5, "\002A 001,250\002B 002,500\002A 003,750", "3.75 A"},
        {5, "A 001,250xyz", ""},
        {5, "\002A 001", ""},
        {5, "\002A 001,250xyz\002A 0", ""},
        {7, "ERROR E\r", "0 !"},
        {7, "0-00.50\r", "0"},
        {7, "0001.10\r0001.25\r0001.3", "1.25 A"},
        {7, "xx0001.30\r", "1.3 A"},
        {7, "ABCDEFGHIJKL", ""},
        {7, "01.25\r0001", ""},
        {3, " 1,500 kg\r\n", "1.5 A"},
        {3, " kg\r\n!", ""}, // no number before the unit: no frame
        {3, " 0.345 kg\r\n 1.000 kg\r\n", "0.345 A"},
        {5, "\002B 002,500", "2.5 A"},
        {5, "\002A 0x2,500", ""},
        {7, "00x1.25\r", ""},
        {9, "+  2.", ""},
        {9, "+  1e5 kg", ""},
        {3, "kg\r\n", ""},
        {9, "+0000,750 kg\r\n", "0.75 A"},
        {0, "+N  2.500", ""},
        {9, "-  2.500", ""},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.datos.toHex(' ').toStdString());
        const auto l = clsCommTramas::DecodificaContinuo(k.modelo, k.datos);
        EXPECT_EQ(!l ? "" : QString::number(l->peso) + (!l->estable ? "" : *l->estable ? " A" : " !"), k.lectura);
    }
}
