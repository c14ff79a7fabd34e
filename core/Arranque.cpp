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
        glngEmpresa = p.leeAlArrancar(param::Empresa);
        glngRestaurante = p.leeAlArrancar(param::Restaurante);
        gintTPV = p.leeAlArrancar(param::TPV);
        gdtmFechaConexion = clock_seam::now();
    });
    if (blnCargarConfigTPV)
        AtrapaErrores(strProcedimiento, [&] { p.CargaParametrosDesdeServidor(); });
    AtrapaErrores(strProcedimiento, [&] { p.SetValor(param::PermitirVariosTPVSSimultaneamente.nombre, Variant(0)); });
    AtrapaErrores(strProcedimiento, [&] { gblnGrabarLogDetallado = p.leeAlArrancar(param::GrabarLogDetallado); });
    AtrapaErrores(strProcedimiento, [&] {
        gintIdioma = p.leeAlArrancar(param::Idioma);
        gintIdiomaSecundario = p.leeAlArrancar(param::IdiomaSecundario);
        if (gintIdiomaSecundario == 0)
            gintIdiomaSecundario = gintIdioma;
        gintIdiomaActual = gintIdioma;
        mainWindow().AnadirLog(QStringLiteral("Idioma: ") + QString::number(gintIdioma));
    });
    AtrapaErrores(strProcedimiento, [&] {
        gstrTextoIVA = p.lee(param::TextoIVA);
        gstrTextoCamarero = p.lee(param::TextoCamarero);
        gstrTextoMesa = p.lee(param::TextoMesa);
        gstrTextoVendedor = p.lee(param::TextoVendedor);
        gstrTextoDrovanto = p.lee(param::TextoDrovanto);
        gblnHayTextosPropios =
            !(gstrTextoIVA + gstrTextoCamarero + gstrTextoMesa + gstrTextoVendedor + gstrTextoDrovanto).isEmpty();
    });
}
