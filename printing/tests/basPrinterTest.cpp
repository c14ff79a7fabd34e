// The printer module: output roads, translation, markup, cut, logo, beep, bit image, pagination, real CUPS jobs.
#include "PrinterFixture.h"
#include "core/Reg_class.h"
#include "core/basFuncionesComunes.h"
#include "platform/Cp1252.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "testsupport/CupsCapture.h"
#include "testsupport/Waits.h"
#include <QScopeGuard>
#include <functional>

using namespace printertest;
using namespace basPrinter;

namespace {

class basPrinterTest : public PrinterTest {
protected:
    void registraImpresora(int numero, const QString& nombre) {
        objReg().SetReg(gstrRutaRegistro + QStringLiteral("\\impresoras"), QString::number(numero), nombre);
    }
    void TearDown() override {
        objReg().DeleteKey(gstrRutaRegistro + QStringLiteral("\\impresoras"));
        PrinterTest::TearDown();
    }
    bool enLaTraza(const QString& texto) const { return !recordingMainWindow().grid.filter(texto).isEmpty(); }
};

QByteArray traduce(const QString& texto, bool esCocina = false) {
    return cp1252::encode(TraducirCaracteres(texto, esCocina));
}

// One call road each: parameters, action, every byte sent (the buffer's rest is sent at the end) as the golden
// files write bytes, the last job's printer, the messages.
struct Salida {
    const char* caso;
    const char* parametros;
    std::function<void()> accion;
    QString esperado;
    const char* impresora = "TICKETS";
    int mensajes = 0;
};

TEST_F(basPrinterTest, EachRoadSendsItsBytesToItsPrinter) {
    const QString crlf = QStringLiteral("{CR}{LF}"), corte = crlf.repeated(5) + "{GS}V{00}";
    const QString banda = QStringLiteral("{00}").repeated(64) + QStringLiteral("{FF}").repeated(128) +
                          QStringLiteral("{00}").repeated(64),
                  linea = "{ESC}*{00}{00}{01}" + banda + crlf;
    const auto pito = [this] {
        EmitirPito(trabajo, 0, QString());
        EXPECT_TRUE(salida.jobs.empty()); // the beep waits for the ticket's send
    };
    const auto corta = [this](const char* nombre) {
        return [=, this] {
            EXPECT_EQ(CortarPapel(trabajo, {.ImprimirLogoDespues = false, .NombreImpresora = QStringLiteral("TICKETS")})
                          .NombreImpresora,
                      QLatin1String(nombre));
        };
    };
    // One text of this many characters, then one more character: sent at once past the limit only.
    const auto limite = [this](int largo, bool envia) {
        return [=, this] {
            Imprimir(trabajo, QString(largo, QLatin1Char('x')), {.ConSalto = false});
            EXPECT_TRUE(salida.jobs.empty());
            Imprimir(trabajo, QStringLiteral("y"), {.ConSalto = false});
            EXPECT_EQ(salida.jobs.size(), envia ? 1u : 0u);
        };
    };
    const auto xs = [](int largo) { return QString(largo, QLatin1Char('x')) + "y"; };
    const auto marcas = [this](const char* texto) {
        return [=, this] { Imprimir(trabajo, sustituyeTagsHTML(QString::fromUtf8(texto)), {.ConSalto = false}); };
    };
    const Salida casos[] = {
        {"lines collect until the sending call, then one job", "",
         [this] {
             EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("uno")).salio());
             Imprimir(trabajo, QStringLiteral("dos"), {.ConSalto = false});
             EXPECT_TRUE(salida.jobs.empty());
             EXPECT_TRUE(Imprimir(trabajo, QStringLiteral("tres"), {.Enviar = true}).salio());
         },
         "uno{CR}{LF}dostres{CR}{LF}"},
        // An empty buffer makes no job (it would stay held) and counts as sent; invoice prefix before the euro page.
        {"invoice printer", "FuncFacturadora=1 CodigosEscTicketNormal=4",
         [this] {
             EXPECT_TRUE(Imprimir(trabajo, QString(), {.ConSalto = false, .Enviar = true}).salio());
             Imprimir(trabajo, QStringLiteral("5 €"), {.ConSalto = false, .Enviar = true});
         },
         "{ESC}c0{01}{ESC}t{13}5 {D5}"},
        {"no limit", "LongMaxTexto=0", limite(15000, true), xs(15000)},
        {"limit", "LongMaxTexto=10", limite(10, true), xs(10)},
        {"limit off", "LongMaxTexto=-1", limite(20000, false), xs(20000)},
        {"no limit on the Itos ticket printer", "FuncionamientoItos=1 LongMaxTexto=5", limite(10, false), xs(10)},
        {"failed send: reported, the call says so", "",
         [this] {
             salida.fail = true;
             EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("x"), {.Enviar = true}).salio());
             EXPECT_EQ(avisos.calls.back().style, prompts::vbInformation);
             EXPECT_TRUE(enLaTraza(QStringLiteral("No se ha podido imprimir en TICKETS")));
             salida.fail = false;
         },
         "", "TICKETS", 1},
        // The job's own sending call answers for a send the limit made before it, then starts afresh.
        {"failed send by the limit", "LongMaxTexto=3",
         [this] {
             salida.fail = true;
             EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("xxxx"), {.ConSalto = false}).ok);
             salida.fail = false;
             const ResultadoEnvio r = Imprimir(trabajo, QStringLiteral("y"), {.ConSalto = false, .Enviar = true});
             EXPECT_TRUE(r.blnEnviado);
             EXPECT_FALSE(r.ok);
             EXPECT_TRUE(r.error.contains(QStringLiteral("refused"))) << r.error.toStdString();
             EXPECT_TRUE(Imprimir(trabajo, QStringLiteral("z"), {.ConSalto = false, .Enviar = true}).salio());
         },
         "yz", "TICKETS", 1},
        {"markup and code words in any case", "",
         marcas("<B>x</b> prn_inineg y PRN_finNEG<U>a</U><DblAlt>b</dblalt><trialt>c</TRIALT><gig>1</gig><INV>2</inv>"),
         "{ESC}E{01}x{ESC}E{00} {ESC}E{01} y {ESC}E{00}{ESC}-{01}a{ESC}-{00}{GS}!{11}b{GS}!{00}{GS}!\"c{GS}!{00}"
         "{GS}!f1{GS}!{00}{GS}B{01}2{GS}B{00}"},
        {"commas and line breaks", "", marcas("uno&comma;dos&COMMA;a<br>b<BR>c"), "uno,dos,a{CR}{LF}b{CR}{LF}c"},
        // Once installed, the word wrap applies it.
        {"word wrap", "",
         [this] {
             InstalaServiciosImpresion();
             Imprimir(trabajo, basFuncionesComunes::AjustaTexto(42, QStringLiteral("<b>uno</b><br>dos &comma; tres")),
                      {.ConSalto = false});
         },
         "{ESC}E{01}uno{ESC}E{00}{CR}{LF}dos , tres"},
        {"Itos ticket printer: no translation", "FuncionamientoItos=1",
         [this] { Imprimir(trabajo, QStringLiteral("ñandú"), {.ConSalto = false}); }, "{F1}and{FA}"},
        {"Itos, other printers: limit and translation", "FuncionamientoItos=1 LongMaxTexto=5",
         [this] {
             registraImpresora(3, QStringLiteral("COCINA"));
             Imprimir(trabajo, QStringLiteral("ñandú!"), {.ConSalto = false, .idImpresora = 3});
         },
         "{A4}and{A3}!", "COCINA"},
        {"OPOS road wraps the payload", "UsarDriverOPOS=1 ImpresoraOPOS=tm-t88 ImpTicket=TM-T88",
         [this] { Imprimir(trabajo, QStringLiteral("A"), {.Enviar = true}); }, "{ESC}={01}A{CR}{LF}{CR}{LF}", "tm-t88"},
        // A spacing of 96 (`), bit-image data with accented codes, a beep of 237 (í) keep their bytes.
        {"command parameters untranslated", "EmitirPito=3 EmitirPitoOkiDispositivo=237",
         [&] {
             Imprimir(trabajo, CodigoImpresora({27, '3', 96}) + QStringLiteral("`á"), {.ConSalto = false});
             Imprimir(trabajo, CodigoImpresora({27, '*', 0, 3, 0, 0xE1, 0xED, 0xB4}), {.ConSalto = false});
             pito();
             Imprimir(trabajo, gCodigosPRN.PRN_ININEG + QStringLiteral("ñ"), {.ConSalto = false});
         },
         "{ESC}3`'{A0}{ESC}*{00}{03}{00}{E1}{ED}{B4}{ESC}{GS}{07}{ED}{02}{03}{ESC}E{01}{A4}"},
        {"initialisation: line spacing and print mode", "",
         [this] { InicializaImpresora(trabajo, 0, QString(), {.CambiarEspaciado = true}); },
         "{ESC}3{1E}{CR}{LF}{ESC}!{00}{CR}{LF}"},
        {"initialisation sent at once to the caller's printer", "",
         [this] { InicializaImpresora(trabajo, 0, QStringLiteral("BARRA"), {.Enviar = true}); }, "{ESC}!{00}{CR}{LF}",
         "BARRA"},
        // Never the command without its parameter.
        {"spacing that is no byte: skipped and reported", "EspacioEntreLineas=300",
         [this] { InicializaImpresora(trabajo, 0, QString(), {.CambiarEspaciado = true}); }, "{ESC}!{00}{CR}{LF}",
         "TICKETS", 1},
        {"no such font, no such width", "TipoLetraCocina=9 AnchoImpresoraCocina=7",
         [this] { EXPECT_EQ(EstableceLetraYAncho(trabajo, 0, QString(), true), 42); }, "{ESC}!{00}{CR}{LF}"},
        {"cut", "", corta("TICKETS"), corte},
        {"cut after the configured lines", "NumLineasAntesCortar=2 CodigosEscTicketNormal=2", corta("TICKETS"),
         crlf.repeated(3) + "{GS}V{01}@"},
        {"no cut", "NumLineasAntesCortar=2 CodigosEscTicketNormal=2 Cortar=0", corta("TICKETS"), crlf.repeated(3)},
        // The control tape takes the ticket uncut.
        {"control tape", "ImpCintaControl=CINTA",
         [&] {
             frmPrincipalVars().blnCintaControl = true;
             corta("TICKETS")();
         },
         crlf.repeated(5), "CINTA"},
        // Every beep type byte for byte (count before duration where a command takes both).
        {"beep 1: RS", "EmitirPito=1", pito, "{1E}"},
        {"beep 2: ESC o", "EmitirPito=2", pito, "{ESC}o"},
        {"beep 3: ESC GS BEL device, energy, delay", "EmitirPito=3", pito, "{ESC}{GS}{07}{01}{02}{03}"},
        {"beep 4: ESC B count 1, duration 3", "EmitirPito=4", pito, "{ESC}B{01}{03}"},
        {"beep 5: drawer pulse", "EmitirPito=5", pito, "{ESC}p{00}{FF}{FF}"},
        {"no such beep", "EmitirPito=6", pito, ""},
        {"beep parameter that is no byte", "EmitirPito=3 EmitirPitoOkiTiempoDelay=256", pito, "", "TICKETS", 1},
        {"bit image bands padded to the middle", "",
         [this] { ImprimeImagenBits(trabajo, QString(256, QChar(0xFF)), 16, 0, 24); },
         "{ESC}3{00}" + linea + linea + "{ESC}3{18}"},
        {"bit image that would never advance", "",
         [this] { ImprimeImagenBits(trabajo, QStringLiteral("abc"), 0, 0, 30); }, "", "TICKETS", 1},
        // Pagination counts lines, but a page without length never turns.
        {"pagination", "FuncFacturadora=1 FacturadoraMostrarMensajePapel=True BlancosCabecera=3",
         [this] {
             gEstadoImpresion.glngPaginarFacturadora = 1;
             Imprimir(trabajo, QStringLiteral("linea"), {.Enviar = true});
         },
         "{ESC}c0{04}linea{CR}{LF}"},
        {"new document: first sheet asked, top margin",
         "FacturadoraMostrarMensajePapel=True MargenSuperiorCabeceraFacturadora=3",
         [this] {
             ImprimeFacturadora(trabajo, QString(), {.blnNuevoDocumento = true});
             EXPECT_EQ(trabajo.Pagina, 1);
         },
         crlf.repeated(3), "TICKETS", 1},
        // Unattended the prompt prints nothing: it would become an error ticket on this very printer.
        {"new document unattended",
         "FacturadoraMostrarMensajePapel=True MargenSuperiorCabeceraFacturadora=3 MargenSuperiorClienteFacturadora=2",
         [this] {
             gblnParametrosCargados = true;
             InstalaServiciosImpresion();
             ImprimeFacturadora(trabajo, QString(), {.blnNuevoDocumento = true});
             EXPECT_TRUE(salida.jobs.empty());
         },
         crlf.repeated(2)},
    };
    for (const Salida& c : casos) {
        SCOPED_TRACE(c.caso);
        reinicia();
        pon(c.parametros);
        c.accion();
        Imprimir(trabajo, QString(), {.ConSalto = false, .Enviar = true});
        QByteArray todo;
        for (const auto& t : salida.jobs)
            todo += t.data;
        EXPECT_EQ(legible(todo), c.esperado);
        EXPECT_EQ(salida.jobs.empty() ? QString() : salida.jobs.back().printer,
                  c.esperado.isEmpty() ? QString() : QString::fromLatin1(c.impresora));
        EXPECT_EQ(mensajes(), c.mensajes);
        EXPECT_TRUE(buffer.isEmpty());
    }
}

TEST_F(basPrinterTest, PrinterNameFollowsItsPrecedence) {
    struct Fila {
        const char* caso;
        int numero;
        const char* registro; // name under \impresoras for the number
        const char* nombre;   // NombreImpresora
        bool secundariaParam, secundariaFlag, cinta;
        const char* impTicket;
        const char* esperado; // nullptr: dropped
    };
    const Fila tabla[] = {
        {"ticket printer", 0, "", "", false, false, false, "TICKETS", "TICKETS"},
        {"numbered printer", 4, "COCINA", "", false, false, false, "TICKETS", "COCINA"},
        {"number not registered", 7, "", "", false, false, false, "TICKETS", "DEFECTO"},
        {"name given beats number", 4, "COCINA", "BARRA", false, false, false, "TICKETS", "BARRA"},
        {"name given beats ImpTicket", 0, "", "BARRA", false, false, false, "TICKETS", "BARRA"},
        {"secondary needs both", 0, "", "BARRA", true, false, false, "TICKETS", "BARRA"},
        {"secondary printer", 0, "", "BARRA", true, true, false, "TICKETS", "SECUNDARIA"},
        {"control tape beats all", 0, "", "BARRA", true, true, true, "TICKETS", "CINTA"},
        {"all empty: default", 0, "", "", false, false, false, "", "DEFECTO"},
        {"registry NO IMPRIMIR", 5, "cocina no imprimir nunca", "BARRA", true, true, true, "TICKETS", nullptr},
        {"ImpTicket NO IMPRIMIR is a name", 0, "", "", false, false, false, "NO IMPRIMIR", "NO IMPRIMIR"},
    };
    gblnLog = true;
    salida.defaultName = QStringLiteral("DEFECTO");
    pon("ImpresoraSecundaria=SECUNDARIA ImpCintaControl=CINTA");
    for (const auto& f : tabla) {
        SCOPED_TRACE(f.caso);
        salida.jobs.clear();
        recordingMainWindow().grid.clear();
        registraImpresora(f.numero, QString::fromUtf8(f.registro));
        par("ImpTicket", QString::fromUtf8(f.impTicket));
        par("ImprImpSecundaria", f.secundariaParam ? "1" : "0");
        frmPrincipalVars().blnImpresoraSecundaria = f.secundariaFlag;
        frmPrincipalVars().blnCintaControl = f.cinta;
        const ResultadoEnvio envio =
            Imprimir(trabajo, QStringLiteral("hola"),
                     {.Enviar = true, .idImpresora = f.numero, .NombreImpresora = QString::fromUtf8(f.nombre)});
        EXPECT_EQ(envio.salio(), f.esperado != nullptr);
        EXPECT_EQ(envio.impresora, f.esperado ? QString::fromUtf8(f.esperado) : QString());
        EXPECT_EQ(salida.jobs.size(), f.esperado ? 1u : 0u);
        if (f.esperado) {
            EXPECT_EQ(salida.jobs[0].printer, QString::fromUtf8(f.esperado));
            EXPECT_TRUE(recordingMainWindow().grid.contains(QStringLiteral("Impreso en ") + f.esperado));
            EXPECT_TRUE(recordingMainWindow().grid.contains(QStringLiteral("hola\r\n")));
        } else { // dropped: neither sent nor logged
            EXPECT_FALSE(enLaTraza(QStringLiteral("Impreso en")));
        }
        EXPECT_TRUE(buffer.isEmpty());
    }
}

// Each character is translated once, not chained: í->161 (the code of ¡, itself 173); € on the euro page->213
// (the code of Õ, 147). The kitchen or the normal code set chooses the euro page.
TEST_F(basPrinterTest, EachCharacterIsTranslatedOnceAndTheEuroPageFollowsTheCodeSet) {
    const QByteArray pagina = bytes({27, 't', 19}), en = "12,50 "_b + bytes({213}), sin = "12,50 "_b + bytes({238});
    const struct {
        const char *cocina, *normal;
        bool esCocina;
        QString texto;
        QByteArray esperado;
    } casos[] = {
        {"0", "0", false, QStringLiteral("CAÑA caña Az09ÿ"),
         "CA"_b + bytes({165}) + "A ca"_b + bytes({164}) + "a Az09\xff"_b},
        {"0", "4", false, QStringLiteral("¡í€Õ"), pagina + bytes({173, 161, 213, 147})},
        {"3", "0", true, QStringLiteral("12,50 €"), pagina + en},
        {"3", "0", false, QStringLiteral("12,50 €"), sin},
        {"0", "0", true, QStringLiteral("12,50 €"), sin},
        {"0", "4", false, QStringLiteral("12,50 €"), pagina + en},
        {"0", "4", true, QStringLiteral("12,50 €"), sin},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto.toStdString() + " " + c.cocina + c.normal + (c.esCocina ? " cocina" : ""));
        par("CodigosEscTicketCocina", c.cocina);
        par("CodigosEscTicketNormal", c.normal);
        EXPECT_EQ(traduce(c.texto, c.esCocina), c.esperado);
    }
}

TEST_F(basPrinterTest, CommandLengthsFromAnyParameterBytesEndInsideTheText) {
    const QByteArray fsq = bytes({28, 'q'});
    const struct {
        const char* caso;
        QByteArray entrada, esperado = {}; // none: the bytes go out as they came
    } casos[] = {
        // FS q with lengths whose product wraps a 32-bit count: it reached before the text and crashed.
        {"FS q int overflow", "Hola "_b + fsq + bytes({2, 1, '@', 1, '@'}) + "abc"},
        {"FS q 255 images", fsq + bytes({255, 255, 255, 255, 255, 0xF1})},
        {"GS v 0 65535 x 65535", bytes({29, 'v', '0', 0, 255, 255, 255, 255, 0xF1})},
        {"ESC & 256 characters", bytes({27, '&', 255, 0, 255, 255, 0xF1})},
        {"GS ( claims past the end", bytes({29, '(', 'k', 255, 255, 0xF1})},
        {"GS k with no NUL", bytes({29, 'k', 4, 'A', 0xF1})},
        {"ESC at the end", "\xf1"_b + bytes({27}), bytes({164, 27})},
        // Lengths that fit end where they say: the text after them is translated.
        {"FS q one image", fsq + bytes({1, 1, 0, 1, 0}) + QByteArray(9, '\xf1'),
         fsq + bytes({1, 1, 0, 1, 0}) + QByteArray(8, '\xf1') + bytes({164})},
        {"GS v one byte", bytes({29, 'v', '0', 0, 1, 0, 1, 0, 0xE1, 0xE1}),
         bytes({29, 'v', '0', 0, 1, 0, 1, 0, 0xE1, 160})},
    };
    for (const auto& c : casos) {
        const QByteArray esperado = c.esperado.isNull() ? c.entrada : c.esperado;
        for (bool cocina : {false, true}) {
            Imprimir(trabajo, cp1252::decode(c.entrada), {.ConSalto = false, .Enviar = true, .EsCocina = cocina});
            EXPECT_EQ(salida.jobs.back().data, esperado) << c.caso;
        }
        // Behind a character outside the basic plane (one "?") the scan is unchanged.
        EXPECT_EQ(traduce(QStringLiteral("\U0001F600") + cp1252::decode(c.entrada)), "?"_b + esperado) << c.caso;
    }
}

TEST_F(basPrinterTest, LogoScriptBesideTheProgramRunsInItsFolderOnlyWithoutStoredOrEarlyLogo) {
    const QString carpeta = program::applicationDir();
    QDir().mkpath(carpeta);
    const QString marca = carpeta + "/logo_ran", guion = carpeta + "/imp_logo.sh";
    const auto limpia = [&] { QFile::remove(guion), QFile::remove(marca); };
    limpia();
    const auto alFinal = qScopeGuard(limpia);
    // Without the script nothing happens but the trace.
    ImprimeLogo(trabajo, true, 0, QString());
    EXPECT_TRUE(salida.jobs.empty());
    EXPECT_TRUE(recordingMainWindow().grid.back().endsWith(QStringLiteral("basPrinter.ImprimeLogo: ")));
    {
        QFile f(guion);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("pwd > logo_ran.tmp && mv logo_ran.tmp logo_ran\n"); // records where it ran, as its last act
    }
    par("ImpLogoAntes", "1");
    CortarPapel(trabajo);
    pon("ImpLogoAntes=0 NoImprimirLogo=1");
    CortarPapel(trabajo);
    EXPECT_FALSE(QFile::exists(marca));
    par("NoImprimirLogo", "0");
    salida.jobs.clear();
    CortarPapel(trabajo);
    EXPECT_TRUE(waits::until([&] { return QFile::exists(marca); }, "imp_logo.bat to leave its mark"));
    QFile f(marca);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QDir(QString::fromLocal8Bit(f.readAll()).trimmed()).canonicalPath(), QDir(carpeta).canonicalPath());
    ASSERT_EQ(salida.jobs.size(), 1u);
    EXPECT_EQ(salida.jobs[0].data, saltos(5) + bytes({29, 'V', 0})); // the script adds nothing
}

// Raw jobs through the private cupsd to a TCP capture: every byte unchanged, one job a ticket, no name is the
// default printer (this process's LPDEST, not the shared server's), a missing queue reported once.
TEST_F(basPrinterTest, RawJobsReachTheCupsQueueUnchanged) {
    TARVOLIN_REQUIRE_CUPS();
    printers::install(nullptr); // the real libcups output
    testenv::ColaCaptura cola(QStringLiteral("tarvolin_prn"));
    ASSERT_TRUE(cola.creada);
    par("ImpTicket", cola.nombre);
    EXPECT_FALSE(Imprimir(trabajo, QStringLiteral("x"), {.Enviar = true, .NombreImpresora = cola.nombre + "_no_existe"})
                     .salio());
    EXPECT_EQ(mensajes(), 1);
    QString todos;
    QByteArray esperado;
    for (int b = 0; b < 256; ++b) {
        todos += vb::Chr(b);
        esperado.append(char(b));
    }
    EXPECT_TRUE(Imprimir(trabajo, todos, {.ConSalto = false, .Enviar = true, .Traducir = false}).salio());
    Imprimir(trabajo, gCodigosPRN.PRN_ININEG + QStringLiteral("Mesa 4") + gCodigosPRN.PRN_FINNEG);
    Imprimir(trabajo, QStringLiteral("2 Caña"));
    par("ImpTicket", "");
    const QByteArray antes = qgetenv("LPDEST");
    qputenv("LPDEST", cola.nombre.toUtf8());
    CortarPapel(trabajo, {.ImprimirLogoDespues = false});
    antes.isNull() ? qunsetenv("LPDEST") : qputenv("LPDEST", antes);
    ASSERT_TRUE(cola.captura.espera(2));
    const QByteArray ticket = bytes({27, 'E', 1}) + "Mesa 4"_b + bytes({27, 'E', 0}) + "\r\n2 Ca"_b + bytes({164}) +
                              "a\r\n"_b + saltos(5) + bytes({29, 'V', 0});
    auto recibidos = cola.captura.trabajos; // jobs may reach the capture in either order
    std::vector<QByteArray> esperados = {esperado, ticket};
    std::sort(recibidos.begin(), recibidos.end());
    std::sort(esperados.begin(), esperados.end());
    EXPECT_EQ(recibidos, esperados);
}

} // namespace
