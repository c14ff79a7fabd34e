// Cut, logo, beep, bit image and the invoice-printer pagination.
#include "PrinterFixture.h"
#include "platform/Program.h"
#include <QDir>
#include <QFile>

using namespace printertest;
using namespace basPrinter;

namespace {

class Control : public PrinterTest {};

QByteArray saltos(int n) {
    QByteArray a;
    for (int i = 0; i < n; ++i)
        a += "\r\n";
    return a;
}

TEST_F(Control, CutFeedsTheConfiguredLinesThenCutsAndSends) {
    Imprimir(QStringLiteral("comanda"));
    CortarPapel({.ImprimirLogoDespues = false});
    EXPECT_EQ(unicoTrabajo(), "comanda\r\n"_b + saltos(5) + bytes({29, 'V', 0}));

    salida.jobs.clear();
    par("NumLineasAntesCortar", "2");
    par("CodigosEscTicketNormal", "2");
    CortarPapel({.ImprimirLogoDespues = false});
    EXPECT_EQ(unicoTrabajo(), saltos(3) + bytes({29, 'V', 1, '@'}));

    salida.jobs.clear();
    par("Cortar", "0");
    CortarPapel({.ImprimirLogoDespues = false});
    EXPECT_EQ(unicoTrabajo(), saltos(3));
}

TEST_F(Control, SecondaryPrinterTakesTheTicketUncutAndTheCallerLearnsItsName) {
    par("ImprImpSecundaria", "1");
    par("ImpresoraSecundaria", "SEGUNDA");
    frmPrincipalVars().blnImpresoraSecundaria = true;
    QString nombre = QStringLiteral("PRIMERA");
    nombre = CortarPapel({.ImprimirLogoDespues = false, .NombreImpresora = nombre});
    EXPECT_EQ(nombre, QStringLiteral("SEGUNDA"));
    EXPECT_EQ(unicoTrabajo(), saltos(5));
    EXPECT_EQ(salida.jobs.back().printer, QStringLiteral("SEGUNDA"));

    salida.jobs.clear();
    frmPrincipalVars().blnImpresoraSecundaria = false;
    frmPrincipalVars().blnCintaControl = true;
    par("ImpCintaControl", "CINTA");
    CortarPapel({.ImprimirLogoDespues = false});
    EXPECT_EQ(unicoTrabajo(), saltos(5));
}

TEST_F(Control, WhileCapturingTheCutOnlyHandsOverTheBuffer) {
    objImpresionPantalla().setDevolverTextoEnLugarDeImprimir(true);
    Imprimir(QStringLiteral("texto"));
    CortarPapel();
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(objImpresionPantalla().textoCapturado(), QStringLiteral("texto\r\n"));
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(Control, StoredLogoCommandDependsOnThePrinterModel) {
    par("LogoEnImpresora", "1");
    ImprimeLogo(false, 0, QString());
    par("ModeloImpresoraTickets", "2");
    ImprimeLogo(true, 0, QString());
    EXPECT_EQ(unicoTrabajo(), bytes({28, 'p', 1, 0, 13, 10, 29, '(', 'L', 6, 0, 48, 69, 32, 32, 1, 1, 13, 10}));
}

class LogoScript : public Control {
protected:
    QString carpeta;
    void SetUp() override {
        Control::SetUp();
        carpeta = program::applicationDir();
        QDir().mkpath(carpeta);
        QFile::remove(carpeta + "/logo_ran");
    }
    void TearDown() override {
        QFile::remove(carpeta + "/imp_logo.sh");
        QFile::remove(carpeta + "/logo_ran");
        Control::TearDown();
    }
    void escribeScript() {
        QFile f(carpeta + "/imp_logo.sh");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // Records where it ran, as its last act.
        f.write("pwd > logo_ran.tmp && mv logo_ran.tmp logo_ran\n");
    }
    bool corrio() {
        program::waitWhile([&] { return !QFile::exists(carpeta + "/logo_ran"); }, 20000);
        return QFile::exists(carpeta + "/logo_ran");
    }
};

TEST_F(LogoScript, ScriptBesideTheProgramRunsInItsFolderAndAddsNothing) {
    escribeScript();
    ImprimeLogo(false, 0, QString());
    ASSERT_TRUE(corrio());
    QFile f(carpeta + "/logo_ran");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QDir(QString::fromLocal8Bit(f.readAll()).trimmed()).canonicalPath(), QDir(carpeta).canonicalPath());
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(LogoScript, CutStartsTheLogoForTheNextTicketOnlyWithoutStoredOrEarlyLogo) {
    escribeScript();
    par("ImpLogoAntes", "1");
    CortarPapel();
    par("ImpLogoAntes", "0");
    par("NoImprimirLogo", "1");
    CortarPapel();
    EXPECT_FALSE(QFile::exists(carpeta + "/logo_ran"));
    par("NoImprimirLogo", "0");
    CortarPapel();
    EXPECT_TRUE(corrio());
}

TEST_F(LogoScript, WithoutTheScriptNothingHappensButTheTrace) {
    ImprimeLogo(true, 0, QString());
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
    ASSERT_FALSE(recordingMainWindow().grid.isEmpty());
    EXPECT_TRUE(recordingMainWindow().grid.back().endsWith(QStringLiteral("basPrinter.ImprimeLogo: ")));
}

TEST_F(Control, EveryBeepKindAddsItsCommandUntranslated) {
    const std::pair<const char*, QByteArray> tabla[] = {
        {"0", {}},
        {"1", bytes({30})},
        {"2", bytes({27, 'o'})},
        {"3", bytes({27, 29, 7, 1, 2, 3})},
        {"4", bytes({27, 'B', 1, 3})},
        {"5", bytes({27, 'p', 0, 255, 255})},
        {"6", {}},
    };
    for (const auto& [tipo, orden] : tabla) {
        par("EmitirPito", tipo);
        EmitirPito(0, QString());
        EXPECT_TRUE(salida.jobs.empty()) << tipo; // the beep waits for the ticket's send
        EXPECT_EQ(envia(true), orden) << tipo;
        salida.jobs.clear();
    }
}

TEST_F(Control, BeepWithAParameterThatIsNoByteAddsNothing) {
    par("EmitirPito", "3");
    par("EmitirPitoOkiTiempoDelay", "256");
    EmitirPito(0, QString());
    EXPECT_EQ(mensajes(), 1);
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(Control, BitImageBandsArePaddedToTheMiddle) {
    ImprimeImagenBits(QString(256, QChar(0xFF)), 16, 0, 24);
    QByteArray banda = QByteArray(64, 0) + QByteArray(128, char(0xFF)) + QByteArray(64, 0);
    QByteArray linea = bytes({27, '*', 0, 0, 1}) + banda + "\r\n"_b;
    EXPECT_EQ(envia(true), bytes({27, '3', 0}) + linea + linea + bytes({27, '3', 24}));

    ImprimeImagenBits(QString(300, QLatin1Char('U')), 32, 0, 30);
    EXPECT_EQ(envia(), bytes({27, '3', 0}) + bytes({27, '*', 0, 0, 1}) + QByteArray(256, 'U') + "\r\n"_b +
                           bytes({27, '*', 0, 44, 0}) + QByteArray(44, 'U') + "\r\n"_b + bytes({27, '3', 30}));
}

TEST_F(Control, KitchenRuleIsOneBandOfTheWholeData) {
    ImprimeImagenBits(QString(257, QLatin1Char('@')), 256, 0, 30);
    EXPECT_EQ(envia(), bytes({27, '3', 0, 27, '*', 0, 1, 1}) + QByteArray(257, '@') + "\r\n"_b + bytes({27, '3', 30}));
}

TEST_F(Control, BitImageEdgeCases) {
    ImprimeImagenBits(QString(), 16, 0, 30);
    EXPECT_EQ(envia(), bytes({27, '3', 0, 27, '3', 30}));
    ImprimeImagenBits(QStringLiteral("abc"), 0, 0, 30); // would never advance
    EXPECT_EQ(mensajes(), 1);
    EXPECT_TRUE(gEstadoImpresion.mBufferImpresion.Texto.isEmpty());
}

TEST_F(Control, PaginationWithoutPageLengthEndsAtOnce) {
    par("FuncFacturadora", "1");
    par("NumLinPagFacturadora", "0");
    par("BlancosCabecera", "3");
    par("FacturadoraMostrarMensajePapel", "True");
    gEstadoImpresion.glngPaginarFacturadora = 1;
    Imprimir(QStringLiteral("linea"), {.Enviar = true});
    EXPECT_EQ(unicoTrabajo(), bytes({27, 'c', '0', 4}) + "linea\r\n"_b);
    EXPECT_EQ(mensajes(), 0);
}

TEST_F(Control, PaginationWithPageLengthCountsButNeverFills) {
    par("FuncFacturadora", "1");
    par("NumLinPagFacturadora", "2");
    par("FacturadoraMostrarMensajePapel", "True");
    gEstadoImpresion.glngPaginarFacturadora = 1;
    for (int i = 0; i < 5; ++i)
        Imprimir(QStringLiteral("linea"));
    CortarPapel({.ImprimirLogoDespues = false});
    EXPECT_EQ(unicoTrabajo(),
              bytes({27, 'c', '0', 4}) + QByteArray("linea\r\n").repeated(5) + saltos(5) + bytes({29, 'V', 0}));
    EXPECT_EQ(gEstadoImpresion.mBufferImpresion.LineasPagina, 0);
    EXPECT_EQ(mensajes(), 0);
}

TEST_F(Control, NewDocumentAsksForTheFirstSheetAndPrintsTheTopMargin) {
    par("FacturadoraMostrarMensajePapel", "True");
    par("MargenSuperiorCabeceraFacturadora", "3");
    ImprimeFacturadora(QString(), {.blnNuevoDocumento = true});
    EXPECT_EQ(mensajes(), 1);
    EXPECT_EQ(gEstadoImpresion.mBufferImpresion.Pagina, 1);
    EXPECT_EQ(envia(), saltos(3));
}

TEST_F(Control, UnattendedPaperPromptPrintsNothing) {
    // Nobody is at the till: the prompt would become an error ticket on this very printer.
    gblnParametrosCargados = true;
    InstalaServiciosImpresion();
    par("FacturadoraMostrarMensajePapel", "True");
    par("MargenSuperiorClienteFacturadora", "2");
    ImprimeFacturadora(QString(), {.blnNuevoDocumento = true});
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_EQ(envia(), saltos(2));
}

} // namespace
