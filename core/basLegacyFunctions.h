#pragma once
// Compatibility entry points, entity/dictionary adapters, the yyyymmdd date reader, and the
// literal translation (TraduceLiteral and cargarIdiomasLiterales).
#include "platform/Collections.h"
#include <QDateTime>

namespace basLegacyFunctions {
qint16 FuncionLegacyCero();
qint16 FuncionLegacyCero3(const Variant& a = {}, const Variant& b = {}, Variant* puntos = nullptr);
qint16 PideListboxSimpleStrings(const Variant& = {}, const Variant& = {}, const Variant& = {}, const Variant& = {});
qint32 FuncionLegacyStrings(const QString& = {}, const QString& = {});
Variant FuncionLegacyVacia(const Variant& = {}, const Variant& = {}, const Variant& = {});
Variant FuncionLegacyVariant(const Variant& = {});
std::shared_ptr<vb::Dictionary> GetDiccionario(const Variant& entidad); // raises 13/91 on a wrong value
vb::EntidadPtr NewCollection(const Variant& diccionario);               // raises 13 when not an object
QDateTime FechaDesdeYYYYMMDD(const Variant& v);
} // namespace basLegacyFunctions

// Literal translation.
void cargarIdiomasLiterales();
QString TraduceLiteral(const QString& strTexto, qint16 intIdioma = -1, bool blnForzarTraduccion = true,
                       bool blnUsarDocumento = false);
void resetTraduccionForTests();
