// getPeso against a simulated scale: its reasons and their order, request-mode replies, the silent
// contract of the request server, the interactive questions and keypad, one exchange at a time.
#include "EntornoBalanza.h"
#include "controls/ctrBoton.h"
#include "scale/frmRecalcularPeso.h"
#include <QLabel>

namespace {
const QString kPonga = "Ponga el producto sobre la balanza, por favor...";
const QString kPongaPesar = "Ponga el producto sobre la balanza para pesarlo, por favor...";
const QString kNoComunica = "No es posible comunicar con la balanza. Compruebe que la balanza está encendida y "
                            "conectada al TPV e inténtelo de nuevo, por favor...";
} // namespace

class GetPeso : public EntornoBalanza {
protected:
    void esperado(const ResultadoPeso& r, bool ok, double peso, const QString& error, int tipo) {
        EXPECT_EQ(r.ok, ok);
        EXPECT_DOUBLE_EQ(r.peso, peso);
        EXPECT_EQ(r.error, error);
        EXPECT_EQ(r.tipoError, tipo);
    }
};

TEST_F(GetPeso, ContinuousGivesEachWeightOnceAndReasonsInOrder) {
    clsComm& c = balanza(5, true);
    lee("\x02"
        "A ---,000",
        false);
    lee("\x02"
        "!  01,250",
        false);
    esperado(c.getPeso(0, 0, {.blnSilent = true}), false, 1.25, "Espere a que el peso se estabilice, por favor...", 2);
    lee("\x02"
        "A  01,250",
        false);
    esperado(c.getPeso(0, 0, {.blnSilent = true}), true, 1.25, "", 0);
    // Not taken off (and unstable): taking it off comes first.
    lee("\x02"
        "!  02,000",
        false);
    esperado(c.getPeso(0, 0, {.blnSilent = true}), false, 2.0,
             "Quite el producto y vuelva a colocarlo en la balanza, por favor...", 1);
    // A negative weight is no product.
    lee("\x02"
        "A  -0,500",
        false);
    esperado(c.getPeso(0, 0, {.blnSilent = true}), false, -0.5, kPonga, 3);
    lee("\x02"
        "A  00,800",
        false);
    esperado(c.getPeso(0, 0, {.blnSilent = true}), true, 0.8, "", 0);
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(GetPeso, RequestModeRepliesOfEachModel) {
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
        SCOPED_TRACE(k.modelo);
        SCOPED_TRACE(k.respuesta.toStdString());
        clsComm& c = balanza(k.modelo, false);
        sim->responde(k.respuesta);
        esperado(c.getPeso(0, 0, {.blnSilent = true}), k.ok, k.peso, k.error, k.tipo);
        EXPECT_EQ(sim->recibido(3), k.modelo == 3 ? "p\r\n" : "D\r\n");
    }
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(GetPeso, SilentCallsShowNothingAndSayWhy) {
    esperado(objComm().getPeso(0, 0, {.blnSilent = true}), false, 0, "", 0); // scale not in use
    gblnBalanzaActiva = true;
    esperado(objComm().getPeso(0, 0, {.blnSilent = true}), false, 0, kNoComunica, 0); // its port never opened
    parametros({{"TipoFuncionamientoBalanza", "1"}});
    esperado(objComm().getPeso(0, 0, {.blnSilent = true}), false, 0,
             "El programa está configurado con un modo de funcionamiento que sólo es compatible con balanzas "
             "Epelsa y el modo contínuo.",
             0);
    EXPECT_TRUE(mensajes().isEmpty());

    // Continuous reading stopped.
    clsComm& c = balanza(7, true);
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true));
    esperado(c.getPeso(0, 0, {.blnSilent = true}), false, 0, kNoComunica, 0);
    // Interactively, Yes reads once more (and restarts the reading); its weight 0 is asked about.
    preguntas.calls.clear();
    sim->responde("0000.00\r");
    preguntas.answers = {prompts::vbYes, prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_EQ(mensajes(), (QStringList{kNoComunica, kPonga}));
    EXPECT_EQ(preguntas.calls[0].style, prompts::vbYesNo | prompts::vbExclamation);
    EXPECT_EQ(preguntas.calls[1].style, prompts::vbYesNo | prompts::vbInformation);
    EXPECT_TRUE(ventana.scaleTimer);
    EXPECT_FALSE(keypadMostrado());
}

TEST_F(GetPeso, OneExchangeAtATimeOnThePort) {
    clsComm& c = balanza(0, false);
    sim->responde("+  1.250\r\n");
    sim->responde("+  9.000\r\n");
    // A weight request and a timer tick arrive while the first request waits for its reply.
    ResultadoPeso anidado;
    bool tick = true;
    QTimer::singleShot(0, [&] {
        anidado = c.getPeso(0, 0, {.blnSilent = true});
        tick = c.commBalanzaContinuoOnComm(true);
    });
    esperado(c.getPeso(0, 0, {.blnSilent = true}), true, 1.25, "", 0);
    esperado(anidado, false, 0, "La balanza está ocupada con otra pesada. Inténtelo de nuevo, por favor...", 0);
    EXPECT_FALSE(tick);
    EXPECT_EQ(sim->recibido(), "D\r\n");
    esperado(c.getPeso(0, 0, {.blnSilent = true}), true, 9.0, "", 0);
}

TEST_F(GetPeso, ManualEntryAcceptsOnlyUpToOneTonne) {
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
        const ResultadoPeso r = objComm().getPeso(0, 0); // no scale in use: the keypad at once
        EXPECT_EQ(r.ok, k.ok);
        EXPECT_DOUBLE_EQ(r.peso, k.peso);
        EXPECT_EQ(descripcion, "Introduzca el Peso        (en Kg.)");
        EXPECT_EQ(inicial, "1");
        EXPECT_EQ(mensajes(), k.mensaje.isEmpty() ? QStringList{} : QStringList{k.mensaje});
    }
    // A volume is typed even with a scale in use, which is not asked.
    balanza(0, false);
    QString descripcion;
    teclea("2.5", &descripcion);
    const ResultadoPeso litros = objComm().getPeso(0, 0, {.blnPedirLitros = true});
    EXPECT_TRUE(litros.ok);
    EXPECT_DOUBLE_EQ(litros.peso, 2.5);
    EXPECT_EQ(descripcion, "Introduzca el Volumen        (en litros)");
    EXPECT_TRUE(sim->recibido().isEmpty());
}

TEST_F(GetPeso, Setting3GivesTheKeypadToRefundsOnly) {
    clsComm& c = balanza(0, false, {{"PermitirEntradaPesoManual", "3"}});
    sim->responde("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0).ok);
    EXPECT_FALSE(keypadMostrado());

    sim->responde("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    teclea("0.3");
    const ResultadoPeso abono = c.getPeso(0, 0, {.blnEsAbono = true});
    EXPECT_TRUE(abono.ok);
    EXPECT_DOUBLE_EQ(abono.peso, 0.3);
}

TEST_F(GetPeso, WeighFirstDialogFollowsTheLiveWeight) {
    clsComm& c = balanza(0, true, {{"TipoFuncionamientoBalanza", "1"}});
    lee("+  0.000\r\n");
    const int mostrados = ventana.pesosMostrados;
    QStringList vistos;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        auto* f = static_cast<frmRecalcularPeso*>(w);
        EXPECT_TRUE(f->ctrCancelar->isHidden()); // it can only be accepted
        f->ctrAceptar_Click();
        vistos << mensajes().last(); // nothing weighed yet
        lee("+  0.600\r\n");         // the timer ticks while the dialog is open
        vistos << f->lblPeso->text();
        f->ctrAceptar_Click();
    });
    const ResultadoPeso r = c.getPeso(10, 9.99);
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 0.6);
    EXPECT_EQ(vistos, (QStringList{"Debe pesar el artículo para continuar.", "0.600KG"}));
    EXPECT_EQ(ventana.pesosMostrados, mostrados); // the weight went to the dialog only
    EXPECT_EQ(c.intDestinoPeso(), 0);
    EXPECT_FALSE(c.blnPesoCero());
}
