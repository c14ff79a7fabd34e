// The re-weigh window on a simulated scale: weigh-first following the live weight; a line's re-weigh.
#include "ui/frmRecalcularPeso.h"
#include "controls/ctrBoton.h"
#include "scale/tests/EntornoBalanza.h"
#include <QLabel>

class frmRecalcularPesoTest : public EntornoBalanza {
protected:
    void SetUp() override {
        EntornoBalanza::SetUp();
        setReweighWindowFactory([](clsComm& c) { return std::make_unique<frmRecalcularPeso>(c); });
    }
    void TearDown() override {
        setReweighWindowFactory(nullptr);
        EntornoBalanza::TearDown();
    }
    static QString texto(QWidget* w, const char* etiqueta) { return w->findChild<QLabel*>(etiqueta)->text(); }
    static void acepta(QWidget* w) { emit w->findChild<ctrBoton*>("ctrAceptar")->Click(); }
};

TEST_F(frmRecalcularPesoTest, WeighFirstDialogFollowsTheLiveWeight) {
    clsComm& c = balanza(0, true, {{"TipoFuncionamientoBalanza", "1"}});
    lee("+  0.000\r\n");
    ventana.labels[int(WeightLabel::Cantidad)].clear();
    QStringList vistos;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        EXPECT_TRUE(w->findChild<ctrBoton*>("ctrCancelar")->isHidden()); // it can only be accepted
        acepta(w);
        vistos << mensajes().last(); // nothing weighed yet
        lee("+  0.600\r\n");         // the timer ticks while the dialog is open
        vistos << texto(w, "lblPeso");
        acepta(w);
    });
    esperado(c.getPeso(10, 9.99), {true, 0.6, "", TipoErrorPeso::Otro});
    EXPECT_EQ(vistos, (QStringList{"Debe pesar el artículo para continuar.", "0,600KG"}));
    EXPECT_TRUE(peso().isEmpty()); // the weight went to the dialog only
    EXPECT_FALSE(c.blnPesoCero());
    lee("+  0.700\r\n"); // the next one goes to the main window again
    EXPECT_EQ(peso(), "0,700KG");
}

TEST_F(frmRecalcularPesoTest, ReweighShowsTheCallsLineAndAsksTheScaleOnAccept) {
    TARVOLIN_REQUIRE_DATABASE();
    conecta();
    balanza(0, false);
    sim->responde("+  1.250\r\n");
    QStringList vistos;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        vistos << texto(w, "lblDescripcionArticulo") << texto(w, "lblPrecio");
        acepta(w);
        vistos << texto(w, "lblPeso") << texto(w, "lblImporte");
    });
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(vistos, (QStringList{"Jamón ibérico:", "9,99€", "1,250KG", "12,49€"}));
    EXPECT_EQ(fila(1), "1.250|12.4900|2.000|27.4780|27.4780|5");
    // The main window's ticket context (till 0, ticket 0) is left alone.
    EXPECT_EQ(core->valor("select concat_ws('|', peso, precio) from linticket where idTPV=0"), "0.100|0.9900");
}

// With no scale in use the keypad re-weighs, and the line's weight before it is the last one read.
TEST_F(frmRecalcularPesoTest, KeypadReweighLeavesTheLinesWeightAsTheLastRead) {
    TARVOLIN_REQUIRE_DATABASE();
    conecta();
    teclea("1.25");
    objComm().RecalcularPeso(3, 70, 2, 10);
    EXPECT_EQ(fila(2), "1.250|10.6250|3.000|35.0625|35.0625|5"); // 1.25 x 8.5, not rounded
    QString visto;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        visto = texto(w, "lblPeso");
        emit w->findChild<ctrBoton*>("ctrCancelar")->Click();
    });
    EXPECT_FALSE(objComm().PesarArticulo(10, 9.99));
    EXPECT_EQ(visto, "0,400KG");
}
