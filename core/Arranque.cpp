#include "core/Arranque.h"

#include "core/basGeneral.h"
#include "core/clsDR.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"

#include <QString>

void CargaParametrosRegistro() {
    objParametros().GetParamReg();
    gblnParametrosCargados = true;
}

void InicializaSesion(const QString& strProcedimiento, bool blnCargarConfigTPV) {
    clsParametros& p = objParametros();
    AtrapaErrores(strProcedimiento, [] {
        gblnProgramaInicializado = true;
        gblnConexionesInicializadas = true;
        DR = std::make_unique<clsDR>();
    });
    AtrapaErrores(strProcedimiento, [&] {
        glngEmpresa = p.getValorEntero32(param::Empresa);
        glngRestaurante = p.getValorEntero32(param::Restaurante);
        gintTPV = p.getValorEntero16(param::TPV);
        gdtmFechaConexion = clock_seam::now();
    });
    if (blnCargarConfigTPV)
        AtrapaErrores(strProcedimiento, [&] { p.CargaParametrosDesdeServidor(); });
    AtrapaErrores(strProcedimiento, [&] { p.SetValor(param::PermitirVariosTPVSSimultaneamente, Variant(0)); });
    AtrapaErrores(strProcedimiento, [&] { gblnGrabarLogDetallado = p.getValorLogico(param::GrabarLogDetallado); });
    AtrapaErrores(strProcedimiento, [&] {
        gintIdioma = p.getValorEntero16(param::Idioma);
        gintIdiomaSecundario = p.getValorEntero16(param::IdiomaSecundario);
        if (gintIdiomaSecundario == 0)
            gintIdiomaSecundario = gintIdioma;
        gintIdiomaActual = gintIdioma;
        mainWindow().AnadirLog(QStringLiteral("Idioma: ") + QString::number(gintIdioma));
    });
    AtrapaErrores(strProcedimiento, [&] {
        gstrTextoIVA = p.getValor(param::TextoIVA);
        gstrTextoCamarero = p.getValor(param::TextoCamarero);
        gstrTextoMesa = p.getValor(param::TextoMesa);
        gstrTextoVendedor = p.getValor(param::TextoVendedor);
        gstrTextoDrovanto = p.getValor(param::TextoDrovanto);
        gblnHayTextosPropios =
            !(gstrTextoIVA + gstrTextoCamarero + gstrTextoMesa + gstrTextoVendedor + gstrTextoDrovanto).isEmpty();
    });
}
