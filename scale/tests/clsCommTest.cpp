// clsComm: the driver against a scale simulated on a pseudo-terminal, with the re-weigh of a ticket
// line on the keypad.
#include "EntornoBalanza.h"
#include "testsupport/Waits.h"

using namespace TipoErrorPeso;

const QString kPonga = "Ponga el producto sobre la balanza, por favor...";
const QString kPongaPesar = "Ponga el producto sobre la balanza para pesarlo, por favor...";
const QString kEstabilice = "Espere a que el peso se estabilice, por favor...";
const QString kNoComunica = "No es posible comunicar con la balanza. Compruebe que la balanza está encendida y "
                            "conectada al TPV e inténtelo de nuevo, por favor...";

using clsCommTest = EntornoBalanza;

TEST_F(clsCommTest, ContinuousTickOfEachModelAndOpeningTheMappedCom) {
    const struct {
        int modelo;
        QByteArray peticion, datos;
        QString peso;
    } casos[] = {
        {0, "D\r\n", "+  1.250\r\n", "1,250KG"},       {5, "", "xx\002A 001,250\002B 0", "1,250KG"}, // sends unasked
        {7, "D\r\n", "0001.25\r0001.30\r", "1,300KG"}, {9, "D\r\n", "+  2.500", "2,500KG"},
        {3, "p\r\n", " 0.345 kg\r\n", "0,345KG"},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.modelo);
        balanza(k.modelo, true, {{"TiempoBalanzaModoContinuo", "250"}});
        const termios linea = sim->ajustes(); // 9600 bauds, one stop bit, raw (a pty keeps no parity enable)
        EXPECT_EQ(cfgetospeed(&linea), B9600);
        EXPECT_EQ(linea.c_cflag & (PARODD | CMSPAR | CSTOPB), 0u);
        EXPECT_EQ(linea.c_lflag & ICANON, 0u);
        EXPECT_TRUE(lee(k.datos, !k.peticion.isEmpty()));
        EXPECT_EQ(sim->recibido(), k.peticion);
        EXPECT_EQ(peso(), k.peso);
        EXPECT_TRUE(ventana.scaleTimer);
        EXPECT_EQ(ventana.scaleInterval, 250);
    }
    // Model 3 from here: the same weight is not shown again; a reply too short to hold a weight is
    // no reading, and the next tick reads on.
    ventana.labels[int(WeightLabel::Cantidad)].clear();
    EXPECT_TRUE(lee(" 0.345 kg\r\n"));
    EXPECT_FALSE(lee("kg\r\n"));
    EXPECT_TRUE(peso().isEmpty());
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_EQ(sim->recibido(9), QByteArray("p\r\n").repeated(3));
    EXPECT_TRUE(mensajes().isEmpty());

    // Settings the port refuses: it is closed again, so the same device opens right after.
    ventana.scaleTimer = false;
    EXPECT_FALSE(objComm().InitPuerto(2, "9600,x,8,1", 1));
    EXPECT_FALSE(objComm().Activado());
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_TRUE(objComm().InitPuerto(2, "9600,n,8,1", 1));
    apuntaCom(4, "/nonexistent/tarvolin-scale");
    EXPECT_FALSE(objComm().InitPuerto(4, "9600,n,8,1", 1));
    EXPECT_EQ(mensajes().last(), "No se ha podido conectar con la balanza en el puerto COM 4.\r\n\r\n"
                                 "La balanza no funcionará mientras no se corrija el problema.");
    EXPECT_EQ(preguntas.calls.back().style, prompts::vbInformation);
}

TEST_F(clsCommTest, ContinuousWeighingGivesEachWeightOnceAndReasonsInOrder) {
    balanza(5, true);
    lee("\002A ---,000", false);
    // Not taken off (and unstable): taking it off comes first. A negative weight is no product.
    const std::pair<QByteArray, ResultadoPeso> pasos[] = {
        {"\002!  01,250", {false, 1.25, "Espere a que el peso se estabilice, por favor...", NoEstable}},
        {"\002A  01,250", {true, 1.25, "", Otro}},
        {"\002!  02,000",
         {false, 2.0, "Quite el producto y vuelva a colocarlo en la balanza, por favor...", QuitarProducto}},
        {"\002A  -0,500", {false, -0.5, kPonga, SinProducto}},
        {"\002O  03,000", {false, 3.0, kEstabilice, NoEstable}}, // a status the scale does not define
        {"\002A  00,800", {true, 0.8, "", Otro}},
    };
    for (const auto& [trama, resultado] : pasos) {
        SCOPED_TRACE(trama.toStdString());
        lee(trama, false);
        esperado(silencioso(), resultado);
    }
    EXPECT_TRUE(mensajes().isEmpty());
    // Framed models stop the continuous reading at the first empty read.
    EXPECT_FALSE(objComm().commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
}

TEST_F(clsCommTest, RequestModeRepliesOfEachModel) {
    const struct {
        int modelo;
        QByteArray respuesta;
        ResultadoPeso resultado;
    } casos[] = {
        {3, " 0.345 kg\r\n", {true, 0.345, "", Otro}},
        {9, "  1.500\r\n", {false, 0, kPongaPesar, SinProducto}}, // no "+": the tail of a reply, never a weight
        {9, "+  1.500\r\n", {true, 1.5, "", Otro}},
        {0, "345 kg\r\n", {false, 0, kPongaPesar, SinProducto}},
        {7, "0001.25\r", {true, 1.25, "", Otro}},
        {0, "", {false, 0, kPonga, SinProducto}},
        {0, "+N\r\n", {false, 0, kPongaPesar, SinProducto}},
        {3, "", {false, 0, kPongaPesar, SinProducto}},
        {3, " kg\r\n!", {false, 0, kPonga, SinProducto}},
        {3, " 0.000 kg\r\n", {false, 0, kPonga, SinProducto}}, // 0 kg is no weight for model 3 either
        {0, "-  0.500\r\n", {false, 0, kPonga, SinProducto}},
        // A frame's own status: not stable is answered as continuous mode answers it, a status the
        // scale does not define is no reading; "ERROR E" weighs 0, as in continuous mode.
        {5, "\002! 002,340", {false, 2.34, kEstabilice, NoEstable}},
        {5, "\002O 999,999", {false, 0, kPongaPesar, SinProducto}},
        {5, "\002A 002,340", {true, 2.34, "", Otro}},
        {5, "\002B 002,340\002! 003,000", {false, 3, kEstabilice, NoEstable}},
        {5, "2,340\002A 001,000", {false, 0, kPongaPesar, SinProducto}}, // begun before the request
        {7, "ERROR E\r", {false, 0, kPonga, SinProducto}},
        {7, "1.25\r0001.30\r", {false, 0, kPongaPesar, SinProducto}},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.respuesta.toStdString());
        balanza(k.modelo, false);
        sim->responde(k.respuesta);
        esperado(silencioso(), k.resultado);
        EXPECT_EQ(sim->recibido(3), k.modelo == 3 ? "p\r\n" : "D\r\n");
        // The re-weigh window's reading takes the same reply only when it is billed.
        sim->responde(k.respuesta);
        EXPECT_EQ(objComm().LeePesoPorPeticion(), k.resultado.ok ? std::optional(k.resultado.peso) : std::nullopt);
    }
}

// A till without the scale keys reads them as 0: a weighing or a tick, which once ended it, is answered.
TEST_F(clsCommTest, ATillWithoutTheScaleKeysIsNotEndedByAWeighing) {
    coretest::borraRegistro();
    parametros({});
    for (const char* clave : {"ModeloBalanza", "BalanzaModoContinuo", "TiempoBalanzaModoContinuo"})
        registry::RegistryStore::instance().deleteValue(registry::Root::CurrentUser, coretest::kClaveTarvolin, clave);
    objParametros().resetForTests();
    objParametros().GetParamReg();
    resetObjCommForTests();
    ASSERT_FALSE(objParametros().existe(param::ModeloBalanza.nombre));
    ResultadoPeso r;
    ASSERT_NO_THROW(r = silencioso());
    esperado(r, {false, 0, "", Otro});
    ASSERT_NO_THROW(objComm().commBalanzaContinuoOnComm(true));
}

TEST_F(clsCommTest, SilentCallsShowNothingAndSayWhy) {
    gblnBalanzaActiva = true;
    esperado(silencioso(), {false, 0, kNoComunica, Otro}); // its port never opened
    parametros({{"TipoFuncionamientoBalanza", "1"}});
    esperado(silencioso(), {false, 0,
                            "El programa está configurado con un modo de funcionamiento que sólo es compatible con "
                            "balanzas Epelsa y el modo contínuo.",
                            Otro});
    // The eleventh empty read in a row stops the continuous reading.
    clsComm& c = balanza(0, true);
    for (int i = 1; i <= 10; ++i)
        EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_EQ(mensajes(), QStringList{"No se puede conectar con la balanza. Por favor, compruebe que la balanza está "
                                      "encendida y conectada al TPV y reinicie el programa"});
    EXPECT_EQ(sim->recibido(33), QByteArray("D\r\n").repeated(11));
    preguntas.calls.clear();
    esperado(silencioso(), {false, 0, kNoComunica, Otro});

    // Interactively, Yes reads once more (and restarts the reading); its weight 0 is asked about.
    sim->responde("+  0.000\r\n");
    preguntas.answers = {prompts::vbYes, prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_EQ(mensajes(), (QStringList{kNoComunica, kPonga}));
    EXPECT_EQ(preguntas.calls[0].style, prompts::vbYesNo | prompts::vbExclamation);
    EXPECT_EQ(preguntas.calls[1].style, prompts::vbYesNo | prompts::vbInformation);
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_TRUE(mensajes("form").isEmpty());
}

TEST_F(clsCommTest, OneExchangeAtATimeOnThePort) {
    clsComm& c = balanza(0, false);
    sim->responde("+  1.250\r\n");
    sim->responde("+  9.000\r\n");
    // A weight request and a timer tick arrive while the first request waits for its reply.
    ResultadoPeso anidado;
    bool tick = true;
    QTimer::singleShot(0, [&] {
        anidado = silencioso();
        tick = c.commBalanzaContinuoOnComm(true);
    });
    esperado(silencioso(), {true, 1.25, "", Otro});
    esperado(anidado, {false, 0, "La balanza está ocupada con otra pesada. Inténtelo de nuevo, por favor...", Otro});
    EXPECT_FALSE(tick);
    EXPECT_EQ(sim->recibido(), "D\r\n");
    esperado(silencioso(), {true, 9.0, "", Otro});
}

TEST_F(clsCommTest, ManualEntryUpToOneTonneVolumesAndRefunds) {
    teclea("1000"); // no scale in use: the keypad at once
    esperado(objComm().getPeso(0, 0), {true, 1000, "", Otro});
    EXPECT_EQ(teclado, (QStringList{"Introduzca el Peso        (en Kg.)", "1"}));
    teclea("0");
    esperado(objComm().getPeso(0, 0), {});
    EXPECT_EQ(mensajes(), QStringList{"No puedes introducir un peso de 0 KG"});

    // A volume is typed even with a scale in use, which is not asked.
    clsComm& c = balanza(0, false, {{"PermitirEntradaPesoManual", "3"}});
    teclea("2.5");
    esperado(c.getPeso(0, 0, {.blnPedirLitros = true}), {true, 2.5, "", Otro});
    EXPECT_EQ(teclado.value(0), "Introduzca el Volumen        (en litros)");
    EXPECT_TRUE(sim->recibido().isEmpty());

    // Setting 3 gives the keypad to refunds only.
    preguntas.calls.clear();
    preguntas.answers = {prompts::vbNo, prompts::vbNo}; // "put the product on": no
    sim->responde("+  0.000\r\n");
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_TRUE(mensajes("form").isEmpty());
    sim->responde("+  0.000\r\n");
    teclea("0.3");
    esperado(c.getPeso(0, 0, {.blnEsAbono = true}), {true, 0.3, "", Otro});
}

TEST_F(clsCommTest, RecalcularPesoOnTheKeypadWritesWeightAndAmountsOrRefuses) {
    TARVOLIN_REQUIRE_DATABASE();
    const struct {
        Parametros parametros;
        qint16 intIva;
        int linea;
        QString teclas, fila;
    } casos[] = {
        // 1.25 kg x 9.99 = 12.4875, not rounded, VAT added by the database (or included), times 2. Line 2:
        // its own price 8.5 beside the original 12, which the pizza shop takes for one unit, the mark cleared.
        {{}, 0, 1, "1.25", "1.250|12.4875|2.000|27.4725|27.4725|5"},
        {{}, 1, 1, "1.25", "1.250|12.4875|2.000|24.9750|24.9750|5"},
        {{}, 0, 2, "0.5", "0.500|4.2500|3.000|14.0250|14.0250|5"},
        {{{"FuncPizzeria", "2"}}, 0, 2, "0.5", "0.500|6.0000|1.000|6.6000|6.6000|0"},
        // No limits on the keypad: a weight over 1000 kg is written as typed, and 0 kg takes the second form
        // even in the pizza shop (units and mark kept).
        {{}, 0, 1, "1000.001", "1000.001|9990.0100|2.000|21978.0220|21978.0220|5"},
        {{{"FuncPizzeria", "2"}}, 0, 2, "0", "0.000|0.0000|3.000|0.0000|0.0000|5"},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.fila.toStdString());
        conecta(k.parametros);
        frmPrincipalVars().intIva = k.intIva;
        teclea(k.teclas);
        int recargas = 0;
        objComm().setRecargaTicket([&] { ++recargas; });
        objComm().RecalcularPeso(3, 70, k.linea, 10);
        EXPECT_EQ(teclado, (QStringList{"Introduzca el peso", k.linea == 1 ? "0,5" : "0,4"}));
        EXPECT_EQ(fila(k.linea), k.fila);
        EXPECT_EQ(recargas, 1);
    }
    // Refusals only tell the user (and no message came before): continuous mode, an article not sold by weight.
    objParametros().SetValor("BalanzaModoContinuo", "1");
    objComm().RecalcularPeso(3, 70, 1, 10);
    objParametros().SetValor("BalanzaModoContinuo", "0");
    objComm().RecalcularPeso(3, 70, 1, 11);
    EXPECT_EQ(mensajes(),
              (QStringList{"Esta opción no puede usarse si el programa está configurado con el modo contínuo de "
                           "captura de peso.",
                           "Esta opción sólo puede usarse con artículos de peso en venta."}));
    EXPECT_EQ(fila(1), "0.500|4.9950|2.000|0.0000|0.0000|5"); // line 1 untouched
}

// The scale answers the next request in two parts with a pause of half a second between them, as a
// slow scale may; `resto` empty: one part. The pause is the scale's behaviour under test, not a wait.
struct RespuestaEnDosPartes {
    RespuestaEnDosPartes(Simulador& sim, QByteArray parte, QByteArray resto)
        : hilo([&sim, parte, resto, antes = sim.recibido().size()] {
              if (sim.recibido(int(antes) + 3).size() < antes + 3)
                  return; // no request came
              sim.envia(parte);
              if (resto.isEmpty())
                  return;
              std::this_thread::sleep_for(std::chrono::milliseconds(500));
              sim.envia(resto);
          }) {}
    ~RespuestaEnDosPartes() { hilo.join(); }
    std::thread hilo;
};

// A scale that never stops sending leaves no empty line for a request: none is written and no weight
// is billed; once it is quiet, the next request is answered.
TEST_F(clsCommTest, ALineThatNeverGoesQuietGetsNoRequest) {
    balanza(0, false);
    sim->enviaEnTrozos(QList<QByteArray>(12, "+  1.000 kg\r\n"), 100);
    ASSERT_TRUE(waits::until([&] { return sim->enCola() > 0; }, "the scale sending"));
    esperado(silencioso(), {false, 0, kPongaPesar, SinProducto});
    EXPECT_TRUE(sim->recibido().isEmpty());
    sim->responde("+  2.000 kg\r\n");
    esperado(silencioso(), {true, 2.0, "", Otro});
    EXPECT_EQ(sim->recibido(3), "D\r\n");
}

// A negative model 3 reading is no weight; a reply with a pause inside is read whole, and so is one
// without a line end. Continuous rows read a zero first, so a weight may be handed out.
TEST_F(clsCommTest, RepliesAreReadToTheirLineEndAndTheirSign) {
    const struct {
        int modelo;
        bool continuo;
        QByteArray parte, resto;
        ResultadoPeso resultado;
    } casos[] = {
        {3, false, "-0.345 kg\r\n", "", {false, 0, kPonga, SinProducto}},
        {3, true, "-0.500 kg\r\n", "", {false, -0.5, kPonga, SinProducto}},
        {0, false, "+  2.", "500 kg\r\n", {true, 2.5, "", Otro}},
        {3, false, " 1.234 k", "g\r\n", {true, 1.234, "", Otro}},
        {7, false, "0001.", "25\r", {true, 1.25, "", Otro}},
        {0, true, "+  2.", "500\r\n", {true, 2.5, "", Otro}},
        {3, true, " 1.234 k", "g\r\n", {true, 1.234, "", Otro}},
        // No line end at all: read whole once the line is quiet.
        {0, false, "+  2.500", "", {true, 2.5, "", Otro}},
        {0, true, "+  2.500", "", {true, 2.5, "", Otro}},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE((k.parte + "|" + k.resto).toStdString());
        balanza(k.modelo, k.continuo);
        if (k.continuo) {
            ASSERT_TRUE(lee(k.modelo == 3 ? " 0.000 kg\r\n" : "+  0.000\r\n"));
        }
        {
            RespuestaEnDosPartes respuesta(*sim, k.parte, k.resto);
            if (k.continuo)
                objComm().commBalanzaContinuoOnComm(true);
            esperado(silencioso(), k.resultado);
        }
        EXPECT_TRUE(mensajes().isEmpty());
    }
}

// Unplugged in request mode: told once in the log, answered as a port that cannot be reached, and
// opened again by the first request after it comes back under the same name.
TEST_F(clsCommTest, AScaleUnpluggedIsToldOnceAndOpenedAgainWhenItComesBack) {
    QTemporaryDir dir;
    const QString nombre = dir.path() + "/balanza";
    auto enchufa = [&] { return enchufaEn(nombre); };
    ASSERT_TRUE(enchufa());
    apuntaCom(2, nombre);
    ASSERT_TRUE(objComm().InitPuerto(2, "9600,e,8,1", 1));
    gblnBalanzaActiva = true;
    sim->responde("+  1.250\r\n");
    esperado(silencioso(), {true, 1.25, "", Otro});

    sim.reset(); // the far end closes: the line hangs up
    esperado(silencioso(), {false, 0, kNoComunica, Otro});
    esperado(silencioso(), {false, 0, kNoComunica, Otro});
    EXPECT_EQ(ventana.grid.filter("se ha desconectado").size(), 1) << ventana.grid.join('\n').toStdString();
    EXPECT_TRUE(objComm().Activado());

    ASSERT_TRUE(enchufa());
    sim->responde("+  2.000\r\n");
    esperado(silencioso(), {true, 2.0, "", Otro});
    EXPECT_EQ(sim->recibido(3), "D\r\n");
    EXPECT_EQ(ventana.grid.filter("vuelve a estar conectada").size(), 1);
    EXPECT_TRUE(mensajes().isEmpty());
}

// The windows come from the layer above: without them registered nothing is shown, and the weigh-first
// dialog and the keypad read as cancelled.
TEST_F(clsCommTest, WithoutRegisteredWindowsTheDialogsReadAsCancelled) {
    clsComm& c = balanza(0, true, {{"TipoFuncionamientoBalanza", "1"}});
    lee("+  0.000\r\n");
    esperado(c.getPeso(10, 9.99), {false, 0, "", Otro});
    setNumericKeypad(nullptr);
    EXPECT_FALSE(c.PidePesoTeclado("Introduzca el peso", "1"));
    EXPECT_TRUE(preguntas.calls.empty());
}

// Every model and mode gives a whole frame's weight or none; continuous reads a zero first to hand one out
// (model 5's zero frame is unstable, so its weight counts only by the "B" of the frame read). A reply
// belongs to the request it follows: bytes on the line before it, and a late reply to the request
// before, never answer it.
class ReglaDeLectura : public EntornoBalanza, public ::testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(ReglaDeLectura, EachReplyGivesTheWholeFramesWeightOrNone) {
    const auto [modelo, continuo] = GetParam();
    const struct {
        QByteArray cero, trama, sinFin, negativa, otra;
        double peso, pesoSinFin; // the whole frame's, and the frame's without its line end (0: none)
        double pesoOtra = 12.345;
    } m = modelo == 3
              ? decltype(m){" 0.000 kg\r\n", " 1.250 kg\r\n", " 1.250 kg", "-1.250 kg\r\n", " 12.345 kg\r\n", 1.25, 0}
          : modelo == 5 ? decltype(m){"\002! 000,000",
                                      "\002B 001,250",
                                      "\002B 001,250",
                                      "\002A  -1,250",
                                      "\002A 012,345",
                                      1.25,
                                      1.25}
          : modelo == 7 ? decltype(m){"0000.00\r", "0001.25\r", "0001.25", "0-01.25\r", "0012.34\r", 1.25, 0, 12.34}
                        : decltype(m){"+  0.000 kg\r\n",
                                      "+  12.000 kg\r\n",
                                      "+  12.000 kg",
                                      "-  12.000 kg\r\n",
                                      "+  12.345 kg\r\n",
                                      12,
                                      12};
    // A reply that came late to the request before this one: in `trozos`, `pausaMs` apart, the first
    // `retrasoMs` after that request.
    struct Tardia {
        QList<QByteArray> trozos;
        int pausaMs = 0, retrasoMs = 0;
    };
    struct Fila {
        QString que;
        QList<QByteArray> trozos;
        int pausaMs;
        double peso;
        QByteArray antes = {}; // on the line before the request
        Tardia tardia = {};
    };
    QList<Fila> filas{{"whole", {m.trama}, 0, m.peso}};
    // Split once at every byte, with a pause of half the quiet bound; then every byte apart, in time.
    QList<QByteArray> bytes, otraBytes;
    for (qsizetype k = 1; k < m.trama.size(); ++k)
        filas << Fila{QString("split at %1").arg(k), {m.trama.left(k), m.trama.mid(k)}, 300, m.peso};
    for (const char b : m.trama)
        bytes << QByteArray(1, b);
    for (const char b : m.otra)
        otraBytes << QByteArray(1, b);
    const qsizetype mitad = m.otra.size() / 2;
    filas << Fila{"every byte 50 ms apart", bytes, 50, m.peso} << Fila{"no line end", {m.sinFin}, 0, m.pesoSinFin}
          << Fila{"line end only", {"\r\n"}, 0, 0} << Fila{"garbage", {"#?\xff\x01zz\r\n"}, 0, 0}
          << Fila{"negative", {m.negativa}, 0, 0} << Fila{"a stale reply on the line", {m.trama}, 0, m.peso, m.otra}
          << Fila{"a reply's start on the line", {m.trama}, 0, m.peso, m.otra.left(mitad)}
          << Fila{"a reply's tail on the line", {m.trama}, 0, m.peso, m.otra.mid(mitad)}
          << Fila{"a reply straddling two requests",
                  {m.trama},
                  0,
                  m.peso,
                  {},
                  {{m.otra.left(mitad), m.otra.mid(mitad)}, 400, 1100}}
          << Fila{"a late reply, a byte a ms", {m.trama}, 0, m.peso, {}, {otraBytes, 1, 1225}}
          << Fila{"a whole reply after its read", {m.trama}, 0, m.peso, {}, {{m.otra}, 0, 1300}}
          << Fila{"empty", {""}, 0, 0} // still coming when the read's time is spent: cut short, no weight
          << Fila{"every byte 250 ms apart", bytes, 250, 0};
    balanza(modelo, continuo);
    const bool pedido = modelo != 5 || !continuo; // model 5 sends unasked in continuous mode
    for (const Fila& f : filas) {
        // Continuous mode writes no request of its own to be answered late, and model 5 none at all.
        if (continuo && (!f.tardia.trozos.isEmpty() || (!pedido && !f.antes.isEmpty())))
            continue;
        SCOPED_TRACE(QString("%1 %2").arg(continuo ? "continuous" : "request", f.que).toStdString());
        if (continuo) {
            ASSERT_TRUE(lee(m.cero, pedido));
        }
        if (!f.tardia.trozos.isEmpty()) {
            sim->respondeEnTrozos(f.tardia.trozos, f.tardia.pausaMs, f.tardia.retrasoMs);
            // Its own whole reply, or none: which one depends on the scale's timing.
            const ResultadoPeso previa = silencioso();
            EXPECT_EQ(previa.ok ? previa.peso : m.pesoOtra, m.pesoOtra);
        }
        if (!f.antes.isEmpty()) {
            sim->envia(f.antes);
            ASSERT_TRUE(waits::until([&] { return sim->enCola() >= f.antes.size(); }, "the bytes on the line"));
        }
        pedido ? sim->respondeEnTrozos(f.trozos, f.pausaMs) : sim->enviaEnTrozos(f.trozos, f.pausaMs);
        if (continuo)
            objComm().commBalanzaContinuoOnComm(true);
        const ResultadoPeso r = silencioso();
        EXPECT_EQ(r.ok ? r.peso : 0, f.peso) << r.error.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Modelos, ReglaDeLectura,
                         ::testing::Combine(::testing::Values(0, 1, 3, 5, 7), ::testing::Bool()));

// Unplugged in continuous mode the ticks stop; once it is back, "Sí" to the question opens it again.
TEST_F(clsCommTest, AnsweringYesAfterAnUnplugInContinuousModeOpensThePortAgain) {
    QTemporaryDir dir;
    const QString nombre = dir.path() + "/balanza";
    ASSERT_TRUE(enchufaEn(nombre));
    apuntaCom(2, nombre);
    parametros({{"BalanzaModoContinuo", "1"}});
    ASSERT_TRUE(objComm().InitPuerto(2, "9600,e,8,1", 1));
    gblnBalanzaActiva = true;
    ASSERT_TRUE(lee("+  0.000\r\n"));

    sim.reset();
    for (int i = 0; i <= 10 && ventana.scaleTimer; ++i)
        objComm().commBalanzaContinuoOnComm(true);
    ASSERT_FALSE(ventana.scaleTimer);
    EXPECT_EQ(mensajes(), QStringList{"No se puede conectar con la balanza. Por favor, compruebe que la balanza está "
                                      "encendida y conectada al TPV y reinicie el programa"});
    EXPECT_EQ(ventana.grid.filter("se ha desconectado").size(), 1) << ventana.grid.join('\n').toStdString();

    ASSERT_TRUE(enchufaEn(nombre));
    sim->responde("+  1.250\r\n");
    preguntas.calls.clear();
    preguntas.answers = {prompts::vbYes, prompts::vbNo};
    esperado(objComm().getPeso(0, 0), {true, 1.25, "", Otro});
    EXPECT_EQ(mensajes(), QStringList{kNoComunica});
    EXPECT_EQ(sim->recibido(3), "D\r\n");
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_EQ(ventana.grid.filter("vuelve a estar conectada").size(), 1);
}
