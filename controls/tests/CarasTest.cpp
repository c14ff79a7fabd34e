#include "controls/Caras.h"
#include <gtest/gtest.h>

TEST(Caras, TrayIconsAndEveryBitmapOfTheTableAreThere) {
    EXPECT_FALSE(caras::iconoBandeja(true).isNull());
    EXPECT_FALSE(caras::iconoBandeja(false).isNull());
    EXPECT_FALSE(caras::icono("CONECTADO").pixmap(32, 32).isNull());
    EXPECT_TRUE(caras::icono("OTRO").isNull());
    for (const char* n : {"BOTON_GIGANTEN", "BOTON_PEQUENO_ALARGADO", "BOTON_PRINCIPAL_OTROSN_1024", "BOTON_AC",
                          "BOTON_ACDW", "BOTON_AO", "BOTON_AODW"})
        EXPECT_FALSE(caras::bitmapRecurso(n).isNull()) << n;
    EXPECT_TRUE(caras::bitmapRecurso("BOTON_MAPA_MESAS").isNull());
    EXPECT_TRUE(caras::bitmapRecurso("SKIN2022_FONDO").isNull());
}
