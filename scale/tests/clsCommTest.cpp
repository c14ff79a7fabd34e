// clsComm: frame decoding on the bytes the scales send, and the driver against a scale simulated on
// a pseudo-terminal: opening, the continuous tick of each model, getPeso's reasons, questions and
// keypad, one exchange at a time on the port, and the re-weigh of a ticket line on the keypad.
#include "EntornoBalanza.h"

using namespace clsCommTramas;

namespace {

const QString kPonga = "Ponga el producto sobre la balanza, por favor...";
const QString kPongaPesar = "Ponga el producto sobre la balanza para pesarlo, por favor...";
const QString kNoComunica = "No es posible comunicar con la balanza. Compruebe que la balanza está encendida y "
                            "conectada al TPV e inténtelo de nuevo, por favor...";

} // namespace

TEST(clsComm, FramesAndReplies) {
    using Decoder = std::optional<Lectura> (*)(const QByteArray&);
    const Decoder stx = TramaSTX, cr = TramaCR, m3 = RespuestaModelo3, mas = RespuestaSignoMas;
    const struct {
        Decoder decodifica;
        QByteArray datos;
        bool lectura;
        double peso = 0;
        int estable = -1; // -1: the frame says nothing about stability
    } casos[] = {
        {stx, "\002A 001,250", true, 1.25, 1},
        {stx, "\002!--- ,000", true, 0, 0},
        {stx, "\002? 000,500", true, 0.5, -1},
        {stx, "xx\002A 001,250\002B 0", true, 1.25, 1}, // the last one cut short: the one before
        {stx, "\002A 001,250\002B 002,500\002A 003,750", true, 3.75, 1},
        {stx, "A 001,250xyz", false}, // no STX: no frame
        {stx, "\002A 001", false},
        {stx, "\002A 001,250xyz\002A 0", false}, // 13 apart: the earlier frame is out of reach
        {cr, "0001.25\r0001.30\r", true, 1.3, 1},
        {cr, "ERROR E\r", true, 0, 0},
        {cr, "0-00.50\r", true, 0, -1},
        {cr, "0001.25\r0001.3", true, 1.25, 1}, // the read ends inside a frame: the one before
        {cr, "0001.10\r0001.25\r0001.3", true, 1.25, 1},
        {cr, "xx0001.30\r", true, 1.3, 1},
        {cr, "0001.2", false},
        {cr, "ABCDEFGHIJKL", false},
        {cr, "01.25\r0001", false},
        {m3, " 0.345 kg\r\n", true, 0.345, 1},
        {m3, " 1,500 kg\r\n", true, 1.5, 1},
        {m3, " kg\r\n!", true, 0, 1},
        {m3, "kg\r\n", false}, // too short to cut
        {mas, "+  2.500", true, 2.5, 1},
        {mas, "+0000,750 kg\r\n", true, 0.75, 1},
        {mas, "+N  2.500", false},
        {mas, "-  2.500", false},
        {mas, "", false},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.datos.toHex(' ').toStdString());
        const auto l = k.decodifica(k.datos);
        ASSERT_EQ(l.has_value(), k.lectura);
        if (l) {
            EXPECT_DOUBLE_EQ(l->peso, k.peso);
            EXPECT_EQ(l->estable.has_value() ? int(*l->estable) : -1, k.estable);
        }
    }
}

TEST(clsComm, UnitPriceOfALine) {
    const QVariant nulo = QVariant::fromValue(nullptr);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 0.0, 0.0, 0), 9.99);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(nulo, nulo, nulo, 0), 0);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 0), 8.5); // its own price when it and the original are set
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 0.0, 0), 9.99);
    EXPECT_DOUBLE_EQ(PrecioUnitarioLinea(9.99, 8.5, 10.0, 2), 10.0); // the pizza shop: the original
}

class clsCommTest : public EntornoBalanza {
protected:
    static ResultadoPeso silencioso() { return objComm().getPeso(0, 0, {.blnSilent = true}); }
    bool keypadMostrado() const {
        return std::any_of(preguntas.calls.begin(), preguntas.calls.end(), [](auto& c) { return c.kind == "form"; });
    }
};

TEST_F(clsCommTest, OpeningTheMappedComOrTellingWhyNot) {
    clsComm& c = balanza(0, true, {{"TiempoBalanzaModoContinuo", "250"}});
    EXPECT_TRUE(c.Activado());
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_EQ(ventana.scaleInterval, 250);

    // Settings the port refuses: it is closed again, so the same device opens right after.
    ventana.scaleTimer = false;
    EXPECT_FALSE(c.InitPuerto(2, "9600,x,8,1", 1));
    EXPECT_FALSE(c.Activado());
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_TRUE(c.InitPuerto(2, "9600,n,8,1", 1));

    apuntaCom(4, "/nonexistent/tarvolin-scale");
    EXPECT_FALSE(c.InitPuerto(4, "9600,n,8,1", 1));
    EXPECT_FALSE(c.Activado());
    EXPECT_EQ(mensajes().last(), "No se ha podido conectar con la balanza en el puerto COM 4.\r\n\r\n"
                                 "La balanza no funcionará mientras no se corrija el problema.");
    EXPECT_EQ(preguntas.calls.back().style, prompts::vbInformation);
}

TEST_F(clsCommTest, ContinuousTickOfEachModel) {
    const struct {
        int modelo;
        QByteArray peticion, datos;
        double peso;
    } casos[] = {
        {0, "D\r\n", "+  1.250\r\n", 1.25},      {3, "p\r\n", " 0.345 kg\r\n", 0.345},
        {5, "", "xx\002A 001,250\002B 0", 1.25}, // sends unasked
        {7, "D\r\n", "0001.25\r0001.30\r", 1.3}, {9, "D\r\n", "+  2.500", 2.5},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.modelo);
        clsComm& c = balanza(k.modelo, true);
        EXPECT_TRUE(lee(k.datos, !k.peticion.isEmpty()));
        EXPECT_EQ(sim->recibido(), k.peticion);
        EXPECT_DOUBLE_EQ(c.dblUltimoPeso(), k.peso);
        EXPECT_TRUE(c.blnPesoEstable);
        EXPECT_TRUE(ventana.scaleTimer);
        EXPECT_EQ(ventana.peso(), QString::number(k.peso, 'f', 3) + "KG");
    }
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(clsCommTest, DisplayShowsEachNewWeightOnceAndAGarbledReplyChangesNothing) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    clsComm& c = balanza(3, true);
    EXPECT_TRUE(lee(" 1.250 kg\r\n"));
    EXPECT_EQ(ventana.peso(), "1,250KG");
    EXPECT_EQ(ventana.labels[int(WeightLabel::Precio)], "0,00");
    EXPECT_FALSE(ventana.labelVisible[int(WeightLabel::Cambio)]);
    EXPECT_TRUE(lee(" 1.250 kg\r\n"));
    EXPECT_EQ(ventana.pesosMostrados, 1);

    EXPECT_FALSE(lee("kg\r\n")); // too short to hold a weight: the next tick reads on
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_TRUE(lee(" 0.000 kg\r\n"));
    EXPECT_EQ(ventana.peso(), "0,000KG");
    EXPECT_TRUE(c.blnPesoCero());
    EXPECT_EQ(sim->recibido(), QByteArray("p\r\n").repeated(4));
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(clsCommTest, EleventhEmptyReadStopsTheTimerWithItsMessage) {
    clsComm& c = balanza(0, true);
    for (int i = 1; i <= 10; ++i)
        EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_TRUE(mensajes().isEmpty());
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_EQ(mensajes(), QStringList{"No se puede conectar con la balanza. Por favor, compruebe que la balanza está "
                                      "encendida y conectada al TPV y reinicie el programa"});
    EXPECT_EQ(preguntas.calls.back().style, prompts::vbExclamation);
    EXPECT_EQ(sim->recibido(33), QByteArray("D\r\n").repeated(11));

    // Framed models stop at the first empty read.
    balanza(7, true);
    EXPECT_FALSE(objComm().commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
}

TEST_F(clsCommTest, ContinuousWeighingGivesEachWeightOnceAndReasonsInOrder) {
    balanza(5, true);
    lee("\002A ---,000", false);
    lee("\002!  01,250", false);
    esperado(silencioso(), false, 1.25, "Espere a que el peso se estabilice, por favor...", 2);
    lee("\002A  01,250", false);
    esperado(silencioso(), true, 1.25, "", 0);
    // Not taken off (and unstable): taking it off comes first.
    lee("\002!  02,000", false);
    esperado(silencioso(), false, 2.0, "Quite el producto y vuelva a colocarlo en la balanza, por favor...", 1);
    lee("\002A  -0,500", false); // a negative weight is no product
    esperado(silencioso(), false, -0.5, kPonga, 3);
    lee("\002A  00,800", false);
    esperado(silencioso(), true, 0.8, "", 0);
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(clsCommTest, RequestModeRepliesOfEachModel) {
    const struct {
        int modelo;
        QByteArray respuesta;
        bool ok;
        double peso;
        QString error;
        int tipo;
    } casos[] = {
        {0, "+  2.500\r\n", true, 2.5, "", 0},    {3, " 0.345 kg\r\n", true, 0.345, "", 0},
        {7, "0001.25\r", true, 1.25, "", 0},      {9, "  1.500\r\n", true, 1.5, "", 0},
        {0, "+  0.000\r\n", false, 0, kPonga, 3}, {0, "", false, 0, kPonga, 3},
        {0, "+N\r\n", false, 0, kPongaPesar, 3},  {3, "", false, 0, kPongaPesar, 3},
        {3, " kg\r\n!", false, 0, kPonga, 3},     {0, "-  0.500\r\n", false, 0, kPonga, 3},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.respuesta.toStdString());
        balanza(k.modelo, false);
        sim->responde(k.respuesta);
        esperado(silencioso(), k.ok, k.peso, k.error, k.tipo);
        EXPECT_EQ(sim->recibido(3), k.modelo == 3 ? "p\r\n" : "D\r\n");
    }
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(clsCommTest, SilentCallsShowNothingAndSayWhy) {
    esperado(silencioso(), false, 0, "", 0); // scale not in use
    gblnBalanzaActiva = true;
    esperado(silencioso(), false, 0, kNoComunica, 0); // its port never opened
    parametros({{"TipoFuncionamientoBalanza", "1"}});
    esperado(silencioso(), false, 0,
             "El programa está configurado con un modo de funcionamiento que sólo es compatible con balanzas "
             "Epelsa y el modo contínuo.",
             0);
    EXPECT_TRUE(mensajes().isEmpty());
    clsComm& c = balanza(7, true); // continuous reading stopped
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    preguntas.calls.clear();
    esperado(silencioso(), false, 0, kNoComunica, 0);

    // Interactively, Yes reads once more (and restarts the reading); its weight 0 is asked about.
    sim->responde("0000.00\r");
    preguntas.answers = {prompts::vbYes, prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_EQ(mensajes(), (QStringList{kNoComunica, kPonga}));
    EXPECT_EQ(preguntas.calls[0].style, prompts::vbYesNo | prompts::vbExclamation);
    EXPECT_EQ(preguntas.calls[1].style, prompts::vbYesNo | prompts::vbInformation);
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_FALSE(keypadMostrado());
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
    esperado(silencioso(), true, 1.25, "", 0);
    esperado(anidado, false, 0, "La balanza está ocupada con otra pesada. Inténtelo de nuevo, por favor...", 0);
    EXPECT_FALSE(tick);
    EXPECT_EQ(sim->recibido(), "D\r\n");
    esperado(silencioso(), true, 9.0, "", 0);
}

TEST_F(clsCommTest, ManualEntryAcceptsOnlyUpToOneTonne) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    const struct {
        QString teclas;
        bool ok;
        double peso;
        QString mensaje;
    } casos[] = {{"1000", true, 1000, ""},
                 {"0.75", true, 0.75, ""},
                 {"1000.001", false, 0, "No puedes introducir un peso superior a 1000 KG"},
                 {"0", false, 0, "No puedes introducir un peso de 0 KG"}};
    for (const auto& k : casos) {
        SCOPED_TRACE(k.teclas.toStdString());
        preguntas.calls.clear();
        QString descripcion, inicial;
        teclea(k.teclas, &descripcion, &inicial);
        esperado(objComm().getPeso(0, 0), k.ok, k.peso, "", 0); // no scale in use: the keypad at once
        EXPECT_EQ(descripcion, "Introduzca el Peso        (en Kg.)");
        EXPECT_EQ(inicial, "1");
        EXPECT_EQ(mensajes(), k.mensaje.isEmpty() ? QStringList{} : QStringList{k.mensaje});
    }
    // A volume is typed even with a scale in use, which is not asked.
    balanza(0, false);
    QString descripcion;
    teclea("2.5", &descripcion);
    esperado(objComm().getPeso(0, 0, {.blnPedirLitros = true}), true, 2.5, "", 0);
    EXPECT_EQ(descripcion, "Introduzca el Volumen        (en litros)");
    EXPECT_TRUE(sim->recibido().isEmpty());
}

TEST_F(clsCommTest, Setting3GivesTheKeypadToRefundsOnly) {
    clsComm& c = balanza(0, false, {{"PermitirEntradaPesoManual", "3"}});
    sim->responde("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_FALSE(keypadMostrado());

    sim->responde("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    teclea("0.3");
    esperado(c.getPeso(0, 0, {.blnEsAbono = true}), true, 0.3, "", 0);
}

TEST_F(clsCommTest, RecalcularPesoOnTheKeypadWritesWeightAndAmounts) {
    TARVOLIN_REQUIRE_DATABASE();
    const struct {
        Parametros parametros;
        qint16 intIva;
        int linea;
        QString teclas, fila;
    } casos[] = {
        // 1.25 kg x 9.99 = 12.4875 -> 12.49; 10 % VAT added by the database, times the quantity 2.
        {{}, 0, 1, "1.25", "1.250|12.4900|2.000|27.4780|27.4780|5"},
        // Amounts that already include VAT.
        {{}, 1, 1, "1.25", "1.250|12.4900|2.000|24.9800|24.9800|5"},
        // Pizza shop: the original price 12 for one unit, the mark cleared.
        {{{"FuncPizzeria", "2"}}, 0, 2, "0.5", "0.500|6.0000|1.000|6.6000|6.6000|0"},
    };
    for (const auto& k : casos) {
        SCOPED_TRACE(k.fila.toStdString());
        conecta(k.parametros);
        frmPrincipalVars().intIva = k.intIva;
        QString descripcion, inicial;
        teclea(k.teclas, &descripcion, &inicial);
        int recargas = 0;
        objComm().setRecargaTicket([&] { ++recargas; });
        objComm().RecalcularPeso(3, 70, k.linea, 10);
        EXPECT_EQ(descripcion, "Introduzca el peso");
        EXPECT_EQ(inicial, k.linea == 1 ? "0,5" : "0,4");
        EXPECT_EQ(fila(k.linea), k.fila);
        EXPECT_EQ(recargas, 1);
        EXPECT_TRUE(mensajes().isEmpty());
    }
    EXPECT_EQ(fila(1), "0.500|4.9950|2.000|0.0000|0.0000|5"); // the other line is untouched
}

TEST_F(clsCommTest, RecalcularPesoRefusalsOnlyTellTheUser) {
    TARVOLIN_REQUIRE_DATABASE();
    conecta({{"BalanzaModoContinuo", "1"}});
    const QString antes = fila(1);
    objComm().RecalcularPeso(3, 70, 1, 10);
    objParametros().SetValor("BalanzaModoContinuo", "0");
    objComm().RecalcularPeso(3, 70, 1, 11); // an article not sold by weight
    objParametros().SetValor("FuncPizzeria", "2");
    objComm().RecalcularPeso(3, 70, 1, 11);
    teclea("1000.5");
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(mensajes(),
              (QStringList{"Esta opción no puede usarse si el programa está configurado con el modo contínuo de "
                           "captura de peso.",
                           "Esta opción sólo puede usarse si la última línea del ticket es un artículo de peso en "
                           "venta.",
                           "Esta opción sólo puede usarse con artículos de peso en venta.",
                           "No puedes introducir un peso superior a 1000 KG"}));
    EXPECT_EQ(fila(1), antes);
}
