// The parameter store: the registry load, the till's configtpv overlay and the ends of the program.
#include "core/tests/ConnectedCore.h"

using coretest::escribeRegistro;

namespace {

class clsParametrosTest : public coretest::RegistroTest {
protected:
    void escribeBase() {
        for (const auto& [k, v] :
             {std::pair{"IpServidor", "127.0.0.1"}, {"Empresa", "1"}, {"Restaurante", "2"}, {"TPV", " 3 "}})
            escribeRegistro(k, v);
    }
    std::optional<registry::Value> enRegistro(const QString& nombre) {
        return registry::RegistryStore::instance().value(registry::Root::CurrentUser, coretest::kClaveTarvolin, nombre);
    }
};

TEST_F(clsParametrosTest, RegistryValuesComeBackTrimmedByAnySpellingAndFillTheSnapshot) {
    escribeBase();
    escribeRegistro("ImpTicket", "  COCINA 1  ");
    objParametros().GetParamReg();

    EXPECT_EQ(objParametros().getValor("tpv"), "3");
    EXPECT_EQ(objParametros().getValor("IMPTICKET"), "COCINA 1");
    EXPECT_EQ(objParametros().lee(param::Restaurante), 2);
    EXPECT_EQ(objParametros().getValor("NoExiste", true), "");
    // The snapshot that Lee_Valor answers from.
    EXPECT_EQ(objReg().Lee_Valor(gstrRutaRegistro, "ipservidor"), "127.0.0.1");
    EXPECT_TRUE(cajas().isEmpty());

    // A parameter the code asks for and the till lacks ends the program after its message.
    EXPECT_THROW(objParametros().getValor("ImpMesaTickCocina"), program::Ended);
    ASSERT_EQ(cajas().size(), 1);
    EXPECT_TRUE(cajas().at(0).startsWith(
        "El parámetro ImpMesaTickCocina no existe en la colección de parámetros. Esto normalmente es un error de la "
        "versión del programa.\r\nEl programa no arrancará. Es recomendable actualizar la versión del programa a la "
        "última disponible.\r\n\r\nERROR: "));
}

TEST_F(clsParametrosTest, UnusableConfigurationGoesToTheDialogAndEnds) {
    // No key at all: the information message (shown directly), the dialog, the end. A half-filled
    // configuration (TPV missing, Restaurante empty) reaches the dialog too instead of ending on the
    // missing-parameter message.
    const std::tuple<QList<QPair<QString, QString>>, const char*, int> casos[] = {
        {{},
         "No se puede acceder a los parámetros de configuración. Configura el programa y reinícialo para continuar",
         prompts::vbInformation},
        {{{"IpServidor", "127.0.0.1"}, {"Empresa", "1"}, {"Restaurante", ""}},
         "El programa no está correctamente configurado. Por favor, introduce los parámetros básicos de acceso al "
         "servidor",
         prompts::vbExclamation},
    };
    for (const auto& [registro, mensaje, estilo] : casos) {
        program::resetForTests();
        m_prompts.calls.clear();
        for (const auto& [k, v] : registro)
            escribeRegistro(k, v);
        EXPECT_THROW(objParametros().GetParamReg(), program::Ended);
        ASSERT_EQ(m_prompts.calls.size(), 2u);
        EXPECT_EQ(m_prompts.calls[0].text, QString::fromUtf8(mensaje));
        EXPECT_EQ(m_prompts.calls[0].style, estilo);
        EXPECT_EQ(m_prompts.calls[1].kind, "form");
        EXPECT_EQ(m_prompts.calls[1].text, "frmConfig");
    }
}

TEST_F(clsParametrosTest, SetValorUpdatesByAnySpellingAndWritesTextToTheRegistryFile) {
    // Before the load: nothing is written, and only debug speaks.
    for (bool debug : {false, true}) {
        gblnDebug = debug;
        objParametros().SetValor("Suelto", Variant(QStringLiteral("1")));
        EXPECT_FALSE(enRegistro("Suelto").has_value());
        EXPECT_EQ(cajas().size(), debug ? 1 : 0);
    }
    EXPECT_TRUE(cajas().at(0).startsWith("Se ha producido un error al grabar el valor del parámetro Suelto: "));
    gblnDebug = false;

    escribeBase();
    objParametros().GetParamReg();
    objParametros().SetValor("tpv", Variant(qint32(7)));
    objParametros().SetValor("NuevaClave", Variant(QStringLiteral(" x ")));
    EXPECT_EQ(objParametros().getValor("TPV"), "7");
    EXPECT_EQ(objParametros().getValor("nuevaclave"), "x");
    // Written through to the disk (as the Windows registry would be), under the stored spelling.
    registry::RegistryStore::instance().reload();
    const auto v = enRegistro("TPV");
    ASSERT_TRUE(v && enRegistro("NuevaClave"));
    EXPECT_EQ(QStringList({v->name, v->data.toString()}), QStringList({"TPV", "7"}));
    EXPECT_EQ(v->type, registry::REG_SZ);
}

TEST_F(clsParametrosTest, TillRowsOverrideTheRegistryExceptLocalKeysAndOtherTills) {
    TARVOLIN_REQUIRE_DATABASE();
    coretest::ConnectedCore core({.prefijo = "core_par",
                                  .parametros = {{"ImpTicket", "LOCAL"}, {"TextoSala", "Sala"}},
                                  .sqlInicial = {},
                                  .cargarConfigTPV = false});
    ASSERT_TRUE(core.ok());
    const QString ipLocal = objParametros().getValor("IpServidor");
    ASSERT_TRUE(core.sql("insert into configtpv (empresa, restaurante, tpv, clave, valor) values "
                         "(1, 1, 1, 'ImpTicket', 'COCINA'), (1, 1, 2, 'OtraTPV', 'x'), (2, 1, 1, 'OtraEmpresa', 'x'),"
                         "(1, 1, 1, 'ipservidor', '10.9.9.9'), (1, 1, 1, 'MysqlPassword', 'secreta'),"
                         "(1, 1, 1, 'UsuarioMysql', 'camarero'), (1, 1, 1, 'textosala', '  Zona  '),"
                         "(1, 1, 1, 'ClaveNula', NULL)"));

    objParametros().CargaParametrosDesdeServidor();

    EXPECT_EQ(objParametros().getValor("ImpTicket"), "COCINA");
    EXPECT_EQ(objParametros().getValor("UsuarioMysql"), "camarero");
    EXPECT_EQ(objParametros().getValor("IpServidor"), ipLocal); // local-only, whatever its case
    EXPECT_NE(objParametros().getValor("MysqlPassword"), "secreta");
    EXPECT_FALSE(objParametros().existe("OtraTPV"));
    EXPECT_FALSE(objParametros().existe("OtraEmpresa"));
    EXPECT_EQ(objParametros().getValor("TextoSala"), "Zona");
    EXPECT_EQ(objParametros().getValor("ClaveNula"), "");

    // The registry is the till's copy of the server's rows, under the store's spelling.
    EXPECT_EQ(enRegistro("ImpTicket")->data.toString(), "COCINA");
    EXPECT_EQ(QStringList({enRegistro("TextoSala")->name, enRegistro("TextoSala")->data.toString()}),
              QStringList({"TextoSala", "  Zona  "}));
    EXPECT_EQ(enRegistro("IpServidor")->data.toString(), ipLocal);
    EXPECT_TRUE(m_prompts.calls.empty());
}

} // namespace
