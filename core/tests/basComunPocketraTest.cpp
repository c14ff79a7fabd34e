// Literal translation: own words, the idiomes lookup, the literals and the cache.
#include "core/tests/ConnectedCore.h"

namespace {

// Parameters loaded from the registry only: no connection, so no idiomes lookup.
class basComunPocketraTest : public coretest::RegistroTest {
protected:
    void SetUp() override {
        RegistroTest::SetUp();
        cargaRegistro();
        gintIdioma = gintIdiomaActual = gintIdiomaSecundario = 1;
    }
    void cargaRegistro() {
        coretest::resetCore();
        coretest::borraRegistro();
        for (const char* k : {"IpServidor", "Empresa", "Restaurante", "TPV"})
            coretest::escribeRegistro(k, "1");
        objParametros().GetParamReg();
        gblnParametrosCargados = true;
    }
};

TEST_F(basComunPocketraTest, OwnWordsReplaceInTheirCasesAndOrder) {
    gblnHayTextosPropios = true;
    gstrTextoMesa = "Table";
    gstrTextoCamarero = "Server";
    gstrTextoVendedor = "Agente";
    gstrTextoIVA = "VAT";
    gstrTextoDrovanto = "BackOffice";
    objParametros().SetValor("TextoTicket", "Factura");
    objParametros().SetValor("TextoSala", "Zona");
    // No IVA standing as a word in PRIVADO; once one stands, every IVA goes. Apostrophes become acute accents.
    const std::pair<const char*, const char*> casos[] = {
        {"Mesa: MESA mesas libres", "Table: TABLE tables libres"},
        {"CAMARERO: Camarero o camarero", "SERVER: Server o server"},
        {"Vendedores y vendedor a Drovanto", "Agentes y Agente a BackOffice"},
        {"PRIVADO", "PRIVADO"},
        {"IVAS IVA ", "VATS VAT"},
        {"Ticket", "Factura"},
        {"Tickee", "Tickee"},
        {"SALA", "ZONA"},
        {"Nuevo ticket y Tickets", "Nuevo factura y Facturas"},
        {"TICKETS PENDIENTES", "FACTURAS PENDIENTES"},
        {"Salas y mesas de sala ", "Zonas y tables de zona"},
        {" Pulse 'No' en la mesa ", "Pulse ´No´ en la table"}};
    for (const auto& [texto, esperado] : casos)
        EXPECT_EQ(TraduceLiteral(texto), esperado) << texto;
}

TEST_F(basComunPocketraTest, ALongTicketWordGivesDocumentoAndTheCacheKeepsBothResults) {
    objParametros().SetValor("TextoTicket", "Documento simplificado");
    EXPECT_EQ(TraduceLiteral("Ticket", -1, true, false), "Documento simplificado");
    EXPECT_EQ(TraduceLiteral("Ticket", -1, true, true), "Documento");
    EXPECT_EQ(TraduceLiteral("Ticket", -1, true, false), "Documento simplificado");

    // Missing own words are words not configured: nothing ends.
    cargaRegistro();
    EXPECT_EQ(TraduceLiteral("Sala y ticket"), "Sala y ticket");
}

class basComunPocketraIdiomasTest : public coretest::ConnectedCoreTest {
protected:
    basComunPocketraIdiomasTest()
        : ConnectedCoreTest("core_idi",
                            "insert into idiomes (idioma, `text`, traduccion) values "
                            "(2, 'Mesa:', 'Table:'), (1, 'Salir', 'Fuera'), (2, '100%', 'hundred percent'),"
                            "(2, '50 euros', 'WRONG'), (2, 'abc', 'WRONG'), (2, 'Nu<br>lo', NULL),"
                            "(3, 'Hola', 'Hello<br>World<BR>again<Br>x'), (2, 'it''s', 'es ''eso''');"
                            "insert into idiomas_literales (idioma, texto_original, texto_mostrar) values "
                            "(2, 'Salir', 'Exit'), (2, 'Salir', 'Quit'), (2, 'Mesa:', 'Board:'), (3, 'Salir', NULL);") {
    }
    void SetUp() override {
        ConnectedCoreTest::SetUp();
        if (!conectado())
            return;
        gintIdioma = gintIdiomaActual = 2;
        gintIdiomaSecundario = 3;
    }
};

TEST_F(basComunPocketraIdiomasTest, LookupsEscapeWildcardsFallBackToTheSecondLanguageAndAreCached) {
    EXPECT_EQ(TraduceLiteral("Mesa:"), "Table:");
    EXPECT_EQ(TraduceLiteral("mesa:"), "Table:"); // the table's collation decides the case
    EXPECT_EQ(TraduceLiteral("100%"), "hundred percent");
    EXPECT_EQ(TraduceLiteral("50%"), "50%"); // a wildcard in the text matches only itself
    EXPECT_EQ(TraduceLiteral("a_c"), "a_c");
    // The apostrophe is turned before the lookup and stays turned.
    EXPECT_EQ(TraduceLiteral("it's"), QStringLiteral("it\u00B4s"));
    // The secondary language, and "<br>" of a translated text turned into a space (two spellings).
    EXPECT_EQ(TraduceLiteral("Hola"), "Hello World again<Br>x");
    // A NULL translation keeps the text but still counts as translated.
    EXPECT_EQ(TraduceLiteral("Nu<br>lo"), "Nu lo");
    EXPECT_EQ(TraduceLiteral("uno<br>dos"), "uno<br>dos");
    // Language 1 is never looked up.
    EXPECT_EQ(TraduceLiteral("Salir", 1), "Salir");

    // Each text is looked up once per language and run.
    m_core->sql("update idiomes set traduccion = 'Changed'");
    EXPECT_EQ(TraduceLiteral("Mesa:"), "Table:");
    EXPECT_EQ(TraduceLiteral("100%"), "hundred percent");

    // No lookup while the second connection is closed.
    ConexionLocal().Close();
    EXPECT_EQ(TraduceLiteral("abc"), "abc");
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(basComunPocketraIdiomasTest, LiteralsLoadOnceFirstRowWinsAndAnswerBeforeTheTable) {
    cargarIdiomasLiterales();
    EXPECT_EQ(TraduceLiteral("Salir"), "Exit");
    EXPECT_EQ(TraduceLiteral("Mesa:"), "Board:");
    EXPECT_EQ(TraduceLiteral("Salir", 3), "");
    EXPECT_EQ(recordingMainWindow().grid.filter("basComunPocketra.cargarIdiomasLiterales").size(), 1);

    // Without the query helper (the first connection failed) the load reports and the program goes on.
    resetTraduccionForTests();
    DR.reset();
    recordingMainWindow().grid.clear();
    cargarIdiomasLiterales();
    EXPECT_EQ(recordingMainWindow().grid.filter("ERROR: basComunPocketra.cargarIdiomasLiterales: ").size(), 2);
    EXPECT_TRUE(frmPrincipalVars().blnConexionOk);
    EXPECT_EQ(TraduceLiteral("Salir"), "Salir");
}

// A print reads its labels with idiomes gone: no box opens on its road (the prompts seam fails the test
// if one does), the failure is told once for every label, on the screen's road (under /log) and on
// paper, and the labels are looked up again once the link is back.
class basComunPocketraSinTablaTest : public coretest::ConnectedCoreTest {
protected:
    basComunPocketraSinTablaTest() : ConnectedCoreTest("core_idf", "drop table idiomes;") {}
    void SetUp() override {
        ConnectedCoreTest::SetUp();
        if (!conectado())
            return;
        gintIdioma = gintIdiomaActual = gintIdiomaSecundario = 2;
        setErrorPrinter(&m_papel);
    }
    struct Papel final : ErrorPrinter {
        QStringList tickets;
        void printErrorLine(const QString&) override {}
        void printErrorTicket(const QString& m) override { tickets << m; }
    } m_papel;
};

TEST_F(basComunPocketraSinTablaTest, AFailedLookupIsToldOnceAndTriedAgainWhenTheLinkIsBack) {
    const QStringList etiquetas = {"Mesa:", "Sala:", "Camarero:", "PAXs:", QStringLiteral("Núm."), "Impresora"};
    for (const bool log : {true, false}) {
        SCOPED_TRACE(log ? "/log" : "unattended");
        gblnLog = log;
        ASSERT_TRUE(ConectaBBDD()); // a new link: lookups are tried again
        recordingMainWindow().grid.clear();
        m_papel.tickets.clear();
        {
            const SinDialogosModales impresion;
            for (int vez = 0; vez < 2; ++vez)
                for (const QString& e : etiquetas)
                    EXPECT_EQ(TraduceLiteral(e), e);
        }
        EXPECT_EQ(TraduceLiteral("Mesa:"), "Mesa:"); // outside the print, on the same link: not tried
        EXPECT_TRUE(m_prompts.calls.empty());
        const int dichos = int(recordingMainWindow().grid.filter("idiomes").size() + m_papel.tickets.size());
        EXPECT_EQ(dichos, 1) << recordingMainWindow().grid.join("\n").toStdString();
        EXPECT_EQ(m_papel.tickets.size(), log ? 0 : 1);
    }

    // The table is back and so is the link: a label that failed before is translated, not kept as it was.
    ASSERT_TRUE(m_core->sql("create table idiomes (idioma int not null, `text` varchar(255) not null, "
                            "traduccion text null, primary key (idioma, `text`));"
                            "insert into idiomes values (2, 'Mesa:', 'Table:');"));
    EXPECT_EQ(TraduceLiteral("Mesa:"), "Mesa:");
    ASSERT_TRUE(ConectaBBDD());
    EXPECT_EQ(TraduceLiteral("Mesa:"), "Table:");
}

} // namespace
