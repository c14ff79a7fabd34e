#include "server/CampoPeticion.h"

Variant campoPeticion(const vb::EntidadPtr& peticion, const QString& nombre) {
    const auto dic = peticion ? peticion->Diccionario() : nullptr;
    return dic && dic->Exists(nombre) ? dic->value(nombre) : Variant(QStringLiteral("#ERROR#"));
}
