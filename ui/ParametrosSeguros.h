#pragma once
// Parameter reads for the start-up that never stop it half-way: a value that does not convert is
// logged and read as false or 0, so every later step still runs. A parameter that does not exist
// still ends the program, as every reader of the store does.
#include <QString>

bool ParametroLogico(const QString& strClave);
qint16 ParametroEntero16(const QString& strClave);
qint32 ParametroEntero32(const QString& strClave);
