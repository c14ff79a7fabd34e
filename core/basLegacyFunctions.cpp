// The compatibility entry points, the entity/dictionary adapters and the yyyymmdd date reader.
// The literal translation declared beside them lives in basComunPocketra.cpp.
#include "core/basLegacyFunctions.h"
#include "core/basGeneral.h"
#include "platform/Clock.h"
#include "platform/VBError.h"

#include <optional>

namespace basLegacyFunctions {

qint16 FuncionLegacyCero() {
    return 0;
}

qint16 FuncionLegacyCero3(const Variant&, const Variant&, Variant*) {
    return 0;
}

qint16 PideListboxSimpleStrings(const Variant&, const Variant&, const Variant&, const Variant&) {
    return 0;
}

qint32 FuncionLegacyStrings(const QString&, const QString&) {
    return 0;
}

Variant FuncionLegacyVacia(const Variant&, const Variant&, const Variant&) {
    return Variant();
}

Variant FuncionLegacyVariant(const Variant&) {
    return Variant();
}

std::shared_ptr<vb::Dictionary> GetDiccionario(const Variant& entidad) {
    if (!vb::IsObject(entidad))
        vb::Raise(vb::err::TypeMismatch);
    if (vb::IsNothing(entidad))
        vb::Raise(vb::err::ObjectNotSet);
    const auto e = vb::As<vb::entidadGenerica>(entidad);
    if (!e)
        vb::Raise(vb::err::TypeMismatch);
    return e->Diccionario();
}

vb::EntidadPtr NewCollection(const Variant& diccionario) {
    if (!vb::IsObject(diccionario))
        vb::Raise(vb::err::TypeMismatch);
    auto e = std::make_shared<vb::entidadGenerica>();
    if (vb::IsNothing(diccionario)) {
        e->setDiccionario(nullptr);
        return e;
    }
    const auto d = vb::As<vb::Dictionary>(diccionario);
    if (!d)
        vb::Raise(vb::err::TypeMismatch);
    e->setDiccionario(d);
    return e;
}

namespace {

// VB's DateSerial: a two-digit year is taken in the 1930-2029 window; months and days out of range roll
// over into the neighbouring months and years. Raises 5 outside the years 100 to 9999.
QDate dateSerial(int anio, int mes, int dia) {
    if (anio >= 0 && anio <= 29)
        anio += 2000;
    else if (anio >= 30 && anio <= 99)
        anio += 1900;
    const QDate d = QDate(anio, 1, 1).addMonths(mes - 1).addDays(dia - 1);
    if (!d.isValid() || d.year() < 100 || d.year() > 9999 || anio < 100 || anio > 9999)
        vb::Raise(vb::err::InvalidCall);
    return d;
}

} // namespace

QDateTime FechaDesdeYYYYMMDD(const Variant& v) {
    if (vb::IsNull(v) || !v.isValid() || !vb::IsNumeric(v))
        return gdtmFechaConexion;
    // A value that does not read as a date gives today.
    std::optional<QDateTime> fecha;
    vb::ResumeNext([&] {
        if (vb::CDbl(v) == 0) {
            fecha = gdtmFechaConexion;
            return;
        }
        const QString s = vb::Trim(vb::CStr(v));
        const int anio = vb::CInt(vb::Mid(s, 1, 4));
        const int mes = vb::CInt(vb::Mid(s, 5, 2));
        const int dia = vb::CInt(vb::Mid(s, 7, 2));
        fecha = QDateTime(dateSerial(anio, mes, dia), QTime(0, 0));
    });
    return fecha ? *fecha : clock_seam::now();
}

} // namespace basLegacyFunctions
