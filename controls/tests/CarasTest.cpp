#include "controls/Caras.h"
#include <gtest/gtest.h>

TEST(Caras, TrayIconsAndTheRoundFacesAreThere) {
    EXPECT_FALSE(caras::iconoBandeja(true).isNull());
    EXPECT_FALSE(caras::iconoBandeja(false).isNull());
    EXPECT_FALSE(caras::icono("CONECTADO").pixmap(32, 32).isNull());
    EXPECT_TRUE(caras::icono("OTRO").isNull());
    for (const char* n : {"BOTON_AC", "BOTON_ACDW", "BOTON_AO", "BOTON_AODW"}) // the faces by type: ctrBotonTest
        EXPECT_FALSE(caras::bitmapRecurso(n).isNull()) << n;
    EXPECT_TRUE(caras::bitmapRecurso("SKIN2022_FONDO").isNull());
}
