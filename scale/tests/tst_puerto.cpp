// The driver on a real pseudo-terminal: opening, each model's request and weight in continuous
// mode, the display, and the empty-read stop.
#include "EntornoBalanza.h"

namespace {
const QString kNoConecta = "No se puede conectar con la balanza. Por favor, compruebe que la balanza está encendida y "
                           "conectada al TPV y reinicie el programa";
}

class Puerto : public EntornoBalanza {};

TEST_F(Puerto, OpeningTheMappedComOrTellingWhyNot) {
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

TEST_F(Puerto, ContinuousTickOfEachModel) {
    const struct {
        int modelo;
        QByteArray peticion, datos;
        double peso;
    } casos[] = {
        {0, "D\r\n", "+  1.250\r\n", 1.25},
        {3, "p\r\n", " 0.345 kg\r\n", 0.345},
        {5, "", QByteArray::fromHex("78780241203030312c32353002422030"), 1.25}, // sends unasked
        {7, "D\r\n", "0001.25\r0001.30\r", 1.3},
        {9, "D\r\n", "+  2.500", 2.5},
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

TEST_F(Puerto, DisplayShowsEachNewWeightOnceAndAGarbledReplyChangesNothing) {
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

TEST_F(Puerto, EleventhEmptyReadStopsTheTimerWithItsMessage) {
    clsComm& c = balanza(0, true);
    for (int i = 1; i <= 10; ++i) {
        EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
        EXPECT_TRUE(ventana.scaleTimer);
    }
    EXPECT_TRUE(mensajes().isEmpty());
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
    EXPECT_EQ(mensajes(), QStringList{kNoConecta});
    EXPECT_EQ(preguntas.calls.back().style, prompts::vbExclamation);
    EXPECT_EQ(sim->recibido(33), QByteArray("D\r\n").repeated(11));

    // Framed models stop at the first empty read.
    balanza(7, true);
    EXPECT_FALSE(objComm().commBalanzaContinuoOnComm(true));
    EXPECT_FALSE(ventana.scaleTimer);
}
