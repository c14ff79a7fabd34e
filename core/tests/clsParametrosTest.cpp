// The parameter store: the registry load, the till's configtpv overlay and the ends of the program.
#include "core/tests/ConnectedCore.h"
#include "testsupport/RecordingMainWindow.h"

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

    // A parameter the code asks for and the till lacks ends the program after its message.
    EXPECT_THROW(objParametros().getValor("ImpMesaTickCocina"), program::Ended);
    ASSERT_EQ(cajas().size(), 1);
    EXPECT_TRUE(cajas().at(0).startsWith(
        "El parámetro ImpMesaTickCocina no existe en la colección de parámetros. Esto normalmente es un error de la "
        "versión del programa.\r\nEl programa no arrancará. Es recomendable actualizar la versión del programa a la "
        "última disponible.\r\n\r\nERROR: "));
}

// Each key type's reading of a text and of a missing parameter; at start-up what does not convert is logged.
TEST_F(clsParametrosTest, KeysReadTheirTypeAndTheirMissingRule) {
    enum Tipo { Texto, TextoOpc, Numero, NumeroOpc, Entero, EnteroOpc, Entero16, Logico };
    struct Caso {
        Tipo tipo;
        const char* texto; // nullptr: the till lacks it
        bool alArrancar;
        const char* leido; // the value, "error N", or "fin" when the program ends; "+aviso" when logged
    };
    const Caso casos[] = {
        {Texto, "  a b  ", false, "a b"},
        {Texto, nullptr, false, "fin"},
        {TextoOpc, nullptr, false, ""},
        {Numero, "2,5", false, "2.5"},
        {Numero, "12abc", false, "12"},
        {Numero, "abc", false, "0"},
        {Numero, "abc", true, "0+aviso"},
        {Numero, "", true, "0"},
        {NumeroOpc, nullptr, false, "0"},
        {NumeroOpc, nullptr, true, "0"},
        {Numero, nullptr, true, "fin"},
        {Entero, "2.5", false, "2"},
        {Entero, "3.5", false, "4"},
        {Entero, "1e10", false, "error: Overflow"},
        {Entero, "1e10", true, "0+aviso"},
        {EnteroOpc, nullptr, false, "0"},
        {Entero16, "40000", false, "error: Overflow"},
        {Entero16, "40000", true, "0+aviso"},
        {Entero16, " 7 ", true, "7"},
        {Logico, "True", false, "1"},
        {Logico, "-1", false, "1"},
        {Logico, "0", false, "0"},
        {Logico, "abc", false, "error: Type mismatch"},
        {Logico, "", true, "0+aviso"},
        {Logico, nullptr, true, "fin"},
    };
    escribeBase();
    for (size_t i = 0; i < std::size(casos); ++i)
        if (casos[i].texto)
            escribeRegistro(QStringLiteral("Prueba%1").arg(i), casos[i].texto);
    objParametros().GetParamReg();
    RecordingMainWindow ventana;
    setMainWindow(&ventana);
    for (size_t i = 0; i < std::size(casos); ++i) {
        const Caso& c = casos[i];
        const QByteArray nombre = QStringLiteral("Prueba%1").arg(i).toLatin1();
        clsParametros& p = objParametros();
        auto lee = [&](auto clave) {
            return c.alArrancar ? QVariant::fromValue(p.leeAlArrancar(clave)) : QVariant::fromValue(p.lee(clave));
        };
        program::resetForTests();
        ventana.grid.clear();
        QString leido;
        try {
            const QVariant v = c.tipo == Texto       ? lee(param::Texto{nombre})
                               : c.tipo == TextoOpc  ? lee(param::TextoOpcional{nombre})
                               : c.tipo == Numero    ? lee(param::Numero{nombre})
                               : c.tipo == NumeroOpc ? lee(param::NumeroOpcional{nombre})
                               : c.tipo == Entero    ? lee(param::Entero{nombre})
                               : c.tipo == EnteroOpc ? lee(param::EnteroOpcional{nombre})
                               : c.tipo == Entero16  ? lee(param::Entero16{nombre})
                                                     : lee(param::Logico{nombre});
            leido = c.tipo == Logico ? QString::number(v.toBool()) : v.toString();
        } catch (const VBError& e) {
            leido = QStringLiteral("error: ") + e.description();
        } catch (const program::Ended&) {
            leido = QStringLiteral("fin");
        }
        if (ventana.grid.join('|').contains(QStringLiteral("El parámetro ") + nombre + " tiene un valor no válido"))
            leido += QStringLiteral("+aviso");
        EXPECT_EQ(leido, QString::fromUtf8(c.leido)) << "caso " << i << " '" << (c.texto ? c.texto : "(falta)") << "'";
    }
    setMainWindow(nullptr);
}

TEST_F(clsParametrosTest, UnusableConfigurationGoesToTheDialogAndEnds) {
    // No key at all, or a half-filled configuration (TPV missing, Restaurante empty): message, dialog, end.
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

// The installation's config rows named by the call, and only those: a key's quotes and backslashes
// cannot widen the list, a key in another case updates the stored spelling, NULL reads empty, and a
// name without a row changes nothing. No keys, no query; a query that fails is reported and keeps
// what was set.
TEST_F(clsParametrosTest, ImportedConfigRowsAreExactlyTheNamedOnes) {
    TARVOLIN_REQUIRE_DATABASE();
    coretest::ConnectedCore core({.prefijo = "core_imp",
                                  .parametros = {{"DelayImpresion", "100"}, {"LongMaxTexto", "0"}},
                                  .sqlInicial = {},
                                  .cargarConfigTPV = false});
    ASSERT_TRUE(core.ok());
    ASSERT_TRUE(core.sql("insert into config (clave, valor) values ('delayimpresion', ' 250 '), ('LongMaxTexto', 2000),"
                         "('Nula', NULL), ('O''Brien\\\\', 'comillas'), ('Otra', 'no pedida'), ('1', 'uno')"));
    objParametros().ImportarParametrosServidor(
        {"DelayImpresion", "LongMaxTexto", "Nula", "O'Brien\\", "SinFila", "x') or ('1'='1", "x' or clave like '%"});
    const std::pair<const char*, const char*> esperados[] = {
        {"DelayImpresion", "250"}, {"LongMaxTexto", "2000"}, {"Nula", ""}, {"O'Brien\\", "comillas"}};
    for (const auto& [clave, valor] : esperados) {
        EXPECT_EQ(objParametros().getValor(clave), valor) << clave;
        EXPECT_TRUE(enRegistro(clave).has_value()) << clave;
    }
    EXPECT_EQ(enRegistro("DelayImpresion")->name, "DelayImpresion");
    for (const char* ajena : {"Otra", "1", "SinFila"})
        EXPECT_FALSE(objParametros().existe(ajena)) << ajena;
    EXPECT_TRUE(recordingMainWindow().grid.filter("ERROR").isEmpty())
        << recordingMainWindow().grid.join("\n").toStdString();

    ASSERT_TRUE(core.sql("drop table config"));
    objParametros().ImportarParametrosServidor({});
    EXPECT_TRUE(recordingMainWindow().grid.filter("ERROR").isEmpty());
    objParametros().ImportarParametrosServidor({"LongMaxTexto"});
    EXPECT_EQ(recordingMainWindow().grid.filter("ERROR: clsParametros.ImportarParametrosServidor: ").size(), 2);
    EXPECT_EQ(objParametros().getValor("LongMaxTexto"), "2000");
    EXPECT_TRUE(m_prompts.calls.empty());
}

} // namespace
