// The driver on a real pseudo-terminal: opening, the request bytes of each model, continuous
// ticks with their weights and display, and the empty-read stop.
#include "EntornoBalanza.h"
#include "SimuladorBalanza.h"

namespace {
const QString kNoConecta =
    QStringLiteral("No se puede conectar con la balanza. Por favor, compruebe que la balanza está "
                   "encendida y conectada al TPV y reinicie el programa");
}

class Puerto : public EntornoBalanza {};

TEST_F(Puerto, InitPuertoOpensTheMappedComAndStartsTheContinuousTimer) {
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(3, sim.puertoDriver());
    parametros({{"BalanzaModoContinuo", "1"}, {"TiempoBalanzaModoContinuo", "300"}});

    clsComm& c = objComm();
    EXPECT_FALSE(c.Activado());
    EXPECT_TRUE(c.InitPuerto(3, "9600,e,8,1", 1));
    EXPECT_TRUE(c.Activado());
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_EQ(ventana.scaleInterval, 300);
    EXPECT_TRUE(mensajes().isEmpty());

    // Request mode: the port opens and no timer runs. (This kernel's pseudo-terminals refuse a
    // second parity change, so the reopening asks for none.)
    c.CierraPuerto();
    EXPECT_FALSE(c.Activado());
    ventana.scaleTimer = false;
    parametros({});
    EXPECT_TRUE(c.InitPuerto(3, "9600,n,8,1", 1)) << ventana.grid.join("\n").toStdString();
    EXPECT_TRUE(c.Activado());
    EXPECT_FALSE(ventana.scaleTimer);
}

TEST_F(Puerto, MissingDeviceAndRefusedSettingsLeaveThePortClosed) {
    parametros({{"BalanzaModoContinuo", "1"}});
    apuntaCom(4, QStringLiteral("/nonexistent/tarvolin-scale"));
    clsComm& c = objComm();
    EXPECT_FALSE(c.InitPuerto(4, "9600,n,8,1", 1));
    EXPECT_FALSE(c.Activado());
    EXPECT_FALSE(ventana.scaleTimer);
    ASSERT_EQ(mensajes().size(), 1);
    EXPECT_EQ(mensajes().last(), QStringLiteral("No se ha podido conectar con la balanza en el puerto COM 4.\r\n\r\n"
                                                "La balanza no funcionará mientras no se corrija el problema."));
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbInformation);

    // Settings the port refuses: the device is released, so a correct opening works right after.
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(5, sim.puertoDriver());
    EXPECT_FALSE(c.InitPuerto(5, "9600,x,8,1", 1));
    EXPECT_FALSE(c.Activado());
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_TRUE(
        mensajes().last().startsWith(QStringLiteral("No se ha podido conectar con la balanza en el puerto COM 5.")));
    EXPECT_TRUE(c.InitPuerto(5, "9600,n,8,1", 1));
    EXPECT_TRUE(c.Activado());
}

TEST_F(Puerto, ContinuousTickOfEachModelSendsItsRequestAndReadsTheWeight) {
    struct Caso {
        int modelo;
        QByteArray peticion; // what the driver must write
        QByteArray datos;    // what the scale answers (model 5: sends on its own)
        double peso;
    };
    const Caso casos[] = {
        {0, "D\r\n", "+  1.250\r\n", 1.25},
        {3, "p\r\n", " 0.345 kg\r\n", 0.345},
        {5, "",
         QByteArray("xx\x02"
                    "A 001,250\x02"
                    "B 0",
                    16),
         1.25},
        {7, "D\r\n", "0001.25\r0001.30\r", 1.3},
        {9, "D\r\n", "+  2.500", 2.5},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.modelo);
        SimuladorBalanza sim;
        ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
        apuntaCom(1, sim.puertoDriver());
        parametros({{"ModeloBalanza", QString::number(k.modelo)}, {"BalanzaModoContinuo", "1"}});
        resetObjCommForTests();
        ventana = VentanaContadora{};
        clsComm& c = objComm();
        EXPECT_EQ(c.strPeticion(), k.peticion);
        ASSERT_TRUE(c.InitPuerto(1, "9600,n,8,1", 1));
        if (k.peticion.isEmpty())
            sim.envia(k.datos);
        else
            sim.encolaRespuesta(k.datos);

        EXPECT_TRUE(c.commBalanzaContinuoOnComm(true));
        EXPECT_EQ(sim.recibido(), k.peticion);
        EXPECT_DOUBLE_EQ(c.dblUltimoPeso(), k.peso);
        EXPECT_TRUE(c.blnPesoEstable);
        EXPECT_TRUE(ventana.scaleTimer);
        EXPECT_EQ(ventana.labels[int(WeightLabel::Cantidad)], QString::number(k.peso, 'f', 3) + QStringLiteral("KG"));
        EXPECT_TRUE(mensajes().isEmpty());
    }
}

TEST_F(Puerto, DisplayShowsAChangedWeightOnceInTheRegionalFormat) {
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(1, sim.puertoDriver());
    parametros({{"BalanzaModoContinuo", "1"}});
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    clsComm& c = objComm();
    ASSERT_TRUE(c.InitPuerto(1, "9600,e,8,1", 1));

    for (const char* r : {"+  1.250\r\n", "+  1.250\r\n", "+  0.000\r\n"})
        sim.encolaRespuesta(r);
    EXPECT_TRUE(c.commBalanzaContinuoOnComm(true));
    EXPECT_EQ(ventana.labels[int(WeightLabel::Cantidad)], QStringLiteral("1,250KG"));
    EXPECT_TRUE(ventana.labelVisible[int(WeightLabel::Cantidad)]);
    EXPECT_EQ(ventana.labels[int(WeightLabel::Descripcion)], QString());
    EXPECT_FALSE(ventana.labelVisible[int(WeightLabel::Cambio)]);
    EXPECT_EQ(ventana.labels[int(WeightLabel::Precio)], QStringLiteral("0,00"));
    EXPECT_FALSE(c.blnPesoCero());

    EXPECT_TRUE(c.commBalanzaContinuoOnComm(true)); // the same weight again
    EXPECT_EQ(ventana.escriturasCantidad, 1);

    EXPECT_TRUE(c.commBalanzaContinuoOnComm(true)); // taken off
    EXPECT_EQ(ventana.escriturasCantidad, 2);
    EXPECT_EQ(ventana.labels[int(WeightLabel::Cantidad)], QStringLiteral("0,000KG"));
    EXPECT_TRUE(c.blnPesoCero());
}

TEST_F(Puerto, AGarbledReplyIsNoReadingAndReadingGoesOn) {
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(1, sim.puertoDriver());
    parametros({{"ModeloBalanza", "3"}, {"BalanzaModoContinuo", "1"}});
    clsComm& c = objComm();
    ASSERT_TRUE(c.InitPuerto(1, "9600,n,8,1", 1));

    sim.encolaRespuesta("kg\r\n"); // too short to hold a weight
    sim.encolaRespuesta(" 2.000 kg\r\n");
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_TRUE(mensajes().isEmpty());
    EXPECT_EQ(c.intLecturasVacias(), 0);
    EXPECT_DOUBLE_EQ(c.dblUltimoPeso(), 0);

    EXPECT_TRUE(c.commBalanzaContinuoOnComm(true));
    EXPECT_DOUBLE_EQ(c.dblUltimoPeso(), 2.0);
    EXPECT_EQ(sim.recibido(), QByteArray("p\r\np\r\n"));
}

TEST_F(Puerto, EleventhEmptyReadStopsTheTimerWithItsMessage) {
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(1, sim.puertoDriver());
    parametros({{"ModeloBalanza", "0"}, {"BalanzaModoContinuo", "1"}});
    clsComm& c = objComm();
    ASSERT_TRUE(c.InitPuerto(1, "9600,e,8,1", 1));

    for (int i = 1; i <= 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
        EXPECT_TRUE(ventana.scaleTimer);
        EXPECT_EQ(c.intLecturasVacias(), i);
    }
    EXPECT_TRUE(mensajes().isEmpty());
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
    ASSERT_EQ(mensajes(), QStringList{kNoConecta});
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbExclamation);
    EXPECT_EQ(sim.esperaRecibido(33), QByteArray("D\r\n").repeated(11));
}

TEST_F(Puerto, FramedModelsStopAtTheFirstEmptyRead) {
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(1, sim.puertoDriver());
    parametros({{"ModeloBalanza", "7"}, {"BalanzaModoContinuo", "1"}});
    clsComm& c = objComm();
    ASSERT_TRUE(c.InitPuerto(1, "9600,n,8,1", 1));
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_EQ(mensajes(), QStringList{kNoConecta});
}
