#pragma once
// The one reader of a request's fields, for the dispatcher and for the queue that classifies its
// requests: a field by its name exactly as written (the generic entity would match any case). A
// missing field, or a request that holds no object, reads as the entity's "#ERROR#".
#include "platform/Collections.h"

#include <QString>

Variant campoPeticion(const vb::EntidadPtr& peticion, const QString& nombre);
