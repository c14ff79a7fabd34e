// basLegacyFunctions: the yyyymmdd date reader.
#include "core/basLegacyFunctions.h"
#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/Variant.h"
#include <gtest/gtest.h>

namespace {

TEST(basLegacyFunctions, YyyymmddReadsRollsOverAndFallsBack) {
    const QDateTime conexion(QDate(2023, 6, 1), QTime(8, 30)), ahora(QDate(2024, 2, 2), QTime(12, 0));
    const EstadoSesion previa = gSesion;
    gdtmFechaConexion = conexion;
    clock_seam::setNowSource([&] { return ahora; });
    using basLegacyFunctions::FechaDesdeYYYYMMDD;
    EXPECT_EQ(FechaDesdeYYYYMMDD(qint32(20240115)), QDateTime(QDate(2024, 1, 15), QTime(0, 0)));
    EXPECT_EQ(FechaDesdeYYYYMMDD(QStringLiteral(" 20241301 ")), QDateTime(QDate(2025, 1, 1), QTime(0, 0)));
    EXPECT_EQ(FechaDesdeYYYYMMDD(20240230.0), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
    for (const Variant& v : {Variant(qint32(0)), vb::Null(), Variant(), Variant(QStringLiteral("hoy"))})
        EXPECT_EQ(FechaDesdeYYYYMMDD(v), conexion);
    EXPECT_EQ(FechaDesdeYYYYMMDD(qint32(2024)), ahora); // too few digits
    clock_seam::setNowSource(nullptr);
    gSesion = previa;
}

} // namespace
