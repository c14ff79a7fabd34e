#include "ui/ParametrosSeguros.h"

#include "core/basFuncionesComunes.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Variant.h"

#include <cmath>
#include <limits>

namespace {

void avisaValor(const QString& clave, const QString& valor, const QString& tomado) {
    GrabaLog(QStringLiteral("El parámetro ") + clave + QStringLiteral(" tiene un valor no válido ('") + valor +
             QStringLiteral("'): se toma ") + tomado);
}

template <class T> T entero(const QString& clave) {
    const QString valor = objParametros().getValor(clave);
    const double n = vb::RoundHalfEven(basFuncionesComunes::ValNumero(valor));
    if (!std::isfinite(n) || n < double(std::numeric_limits<T>::min()) || n > double(std::numeric_limits<T>::max())) {
        avisaValor(clave, valor, QStringLiteral("0"));
        return 0;
    }
    return T(n);
}

} // namespace

bool ParametroLogico(const QString& strClave) {
    const QString valor = objParametros().getValor(strClave);
    try {
        return vb::CBool(Variant(valor));
    } catch (const program::Ended&) {
        throw;
    } catch (...) {
        avisaValor(strClave, valor, QStringLiteral("como falso"));
        return false;
    }
}

qint16 ParametroEntero16(const QString& strClave) {
    return entero<qint16>(strClave);
}

qint32 ParametroEntero32(const QString& strClave) {
    return entero<qint32>(strClave);
}
