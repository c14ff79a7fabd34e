// The re-weigh window's own rules: what Aceptar needs before it takes a weight.
#include "EntornoBalanza.h"
#include "controls/ctrBoton.h"
#include "scale/frmRecalcularPeso.h"
#include <QLabel>

class RecalcularPesoVentana : public EntornoBalanza {};

TEST_F(RecalcularPesoVentana, AcceptNeedsAStableWeight) {
    parametros({{"BalanzaModoContinuo", "1"}, {"TipoFuncionamientoBalanza", "1"}});
    ventana.scaleTimer = true;
    clsComm& c = objComm();
    frmRecalcularPeso f(c);
    EXPECT_TRUE(f.ctrCancelar->isHidden()); // weigh-first: it can only be accepted
    EXPECT_EQ(f.ctrAceptar->x(), f.ctrCancelar->x());

    f.setPrecio(9.99);
    f.ctrAceptar_Click();
    EXPECT_EQ(mensajes(), QStringList{QStringLiteral("Debe pesar el artículo para continuar.")});
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbExclamation);
    EXPECT_FALSE(f.blnOk);

    f.setPeso(1.25);
    EXPECT_EQ(f.lblPeso->text(), QStringLiteral("1.250KG"));
    EXPECT_EQ(f.lblPrecio->text(), QStringLiteral("9.99€"));
    EXPECT_EQ(f.lblImporte->text(), QStringLiteral("12.49€"));
    c.setEstadoParaPruebas(1.25, false, true);
    f.ctrAceptar_Click();
    EXPECT_EQ(mensajes().last(), QStringLiteral("Espere a que el peso se establice, por favor..."));
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbInformation);
    EXPECT_FALSE(f.blnOk);

    c.setEstadoParaPruebas(1.25, true, true);
    f.ctrAceptar_Click();
    EXPECT_TRUE(f.blnOk);
    EXPECT_DOUBLE_EQ(f.Importe(), 12.49);
}

TEST_F(RecalcularPesoVentana, StoppedReadingOffersTheKeypadAndKeepsTheWeightOnARefusal) {
    parametros({{"BalanzaModoContinuo", "1"}});
    ventana.scaleTimer = false;
    frmRecalcularPeso f(objComm());
    EXPECT_FALSE(f.ctrCancelar->isHidden());
    f.setPrecio(2);
    f.setPeso(0.5);

    // Yes: try the scale again later; nothing else happens.
    preguntas.answers = {prompts::vbYes};
    f.ctrAceptar_Click();
    EXPECT_EQ(preguntas.calls.back().style, prompts::vbYesNo | prompts::vbExclamation);
    EXPECT_FALSE(f.blnOk);

    // No: the keypad; a refused value leaves the window as it was.
    preguntas.answers = {prompts::vbNo};
    respondeCalc("1500");
    f.ctrAceptar_Click();
    EXPECT_EQ(mensajes().last(), QStringLiteral("No puedes introducir un peso superior a 1000 KG"));
    EXPECT_FALSE(f.blnOk);
    EXPECT_DOUBLE_EQ(f.Peso(), 0.5);
    EXPECT_EQ(f.lblPeso->text(), QStringLiteral("0.500KG"));

    preguntas.answers = {prompts::vbNo};
    respondeCalc("0.75");
    f.ctrAceptar_Click();
    EXPECT_TRUE(f.blnOk);
    EXPECT_DOUBLE_EQ(f.Peso(), 0.75);
    EXPECT_DOUBLE_EQ(f.Importe(), 1.5);
}
