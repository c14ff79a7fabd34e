#pragma once
// clsBoton: the button object that clsBotones.getBoton hands out. It has no members.
#include "platform/Variant.h"

class clsBoton final : public vb::Object {
public:
    QString typeName() const override { return QStringLiteral("clsBoton"); }
};
