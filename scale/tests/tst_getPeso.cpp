// getPeso against a simulated scale: the reasons and their order, request-mode replies, the silent
// form the request server uses, the questions of an interactive call, one exchange at a time.
#include "EntornoBalanza.h"
#include "SimuladorBalanza.h"
#include "controls/ctrBoton.h"
#include "scale/frmRecalcularPeso.h"
#include <QLabel>
#include <QTimer>

namespace {
const QString kPonga = QStringLiteral("Ponga el producto sobre la balanza, por favor...");
const QString kPongaPesar = QStringLiteral("Ponga el producto sobre la balanza para pesarlo, por favor...");
const QString kQuiteVuelva = QStringLiteral("Quite el producto y vuelva a colocarlo en la balanza, por favor...");
const QString kEstabilice = QStringLiteral("Espere a que el peso se estabilice, por favor...");
const QString kNoComunica = QStringLiteral("No es posible comunicar con la balanza. Compruebe que la balanza está "
                                           "encendida y conectada al TPV e inténtelo de nuevo, por favor...");
} // namespace

class GetPeso : public EntornoBalanza {
protected:
    std::unique_ptr<SimuladorBalanza> sim;

    // A scale of `modelo` on COM2, opened as the start-up does.
    clsComm& balanza(int modelo, bool continuo, std::map<QString, QString> extra = {}) {
        sim = std::make_unique<SimuladorBalanza>();
        EXPECT_TRUE(sim->arrancado()) << sim->error().toStdString();
        apuntaCom(2, sim->puertoDriver());
        extra["ModeloBalanza"] = QString::number(modelo);
        extra["BalanzaModoContinuo"] = continuo ? "1" : "0";
        parametros(extra);
        resetObjCommForTests();
        clsComm& c = objComm();
        EXPECT_TRUE(c.InitPuerto(2, modelo == 0 ? "9600,e,8,1" : "9600,n,8,1", 1));
        gblnBalanzaActiva = true;
        return c;
    }
    // One continuous tick that reads `datos` (a reply, or frames sent unasked for model 5).
    void lee(clsComm& c, const QByteArray& datos, bool pedido = true) {
        if (pedido)
            sim->encolaRespuesta(datos);
        else
            sim->envia(datos);
        EXPECT_TRUE(c.commBalanzaContinuoOnComm(true));
    }
};

TEST_F(GetPeso, ContinuousHandsOutEachWeightOnceAfterTheScaleWasEmptied) {
    clsComm& c = balanza(0, true);
    lee(c, "+  0.000\r\n");
    lee(c, "+  1.250\r\n");

    auto r = c.getPesoSilencioso();
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 1.25);
    EXPECT_EQ(r.error, QString());
    EXPECT_EQ(r.tipoError, 0);

    // Same product still on the scale: it must be taken off first.
    r = c.getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 1.25);
    EXPECT_EQ(r.error, kQuiteVuelva);
    EXPECT_EQ(r.tipoError, 1);

    lee(c, "+  0.000\r\n");
    r = c.getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 0);
    EXPECT_EQ(r.error, kPonga);
    EXPECT_EQ(r.tipoError, 3);

    lee(c, "+  0.800\r\n");
    r = c.getPesoSilencioso();
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 0.8);
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(GetPeso, ContinuousReasonsComeInTheirOrder) {
    clsComm& c = balanza(5, true);
    // Unstable weight after an empty scale: reason 2, with the current weight.
    lee(c,
        QByteArray("\x02"
                   "A ---,000"),
        false);
    lee(c,
        QByteArray("\x02"
                   "!  01,250"),
        false);
    auto r = c.getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.tipoError, 2);
    EXPECT_EQ(r.error, kEstabilice);
    EXPECT_DOUBLE_EQ(r.peso, 1.25);

    // Not taken off and unstable: taking it off is asked first.
    lee(c,
        QByteArray("\x02"
                   "A  01,250"),
        false);
    EXPECT_TRUE(c.getPesoSilencioso().ok);
    lee(c,
        QByteArray("\x02"
                   "!  02,000"),
        false);
    r = c.getPesoSilencioso();
    EXPECT_EQ(r.tipoError, 1);

    // A negative weight is no product, never a weight.
    lee(c,
        QByteArray("\x02"
                   "A  -0,500"),
        false);
    r = c.getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.tipoError, 3);
    EXPECT_EQ(r.error, kPonga);
}

TEST_F(GetPeso, StoppedContinuousReadingReportsTheCommunicationText) {
    clsComm& c = balanza(7, true);
    EXPECT_FALSE(c.commBalanzaContinuoOnComm(true)); // silent scale: reading stops
    ASSERT_FALSE(ventana.scaleTimer);
    preguntas.calls.clear();

    double peso = -1;
    QString error = QStringLiteral("previo");
    qint32 tipo = 7;
    EXPECT_FALSE(c.getPeso(0, 0, peso, false, false, true, &error, &tipo));
    EXPECT_EQ(error, kNoComunica);
    EXPECT_EQ(tipo, 7); // the kind is left as the caller passed it
    EXPECT_DOUBLE_EQ(peso, 0);
    EXPECT_TRUE(mensajes().isEmpty());

    // Interactive: Yes reads once more, which restarts the reading; the weight found is 0, so the
    // next question says so; No ends without the keypad (manual entry not allowed).
    sim->encolaRespuesta("0000.00\r");
    preguntas.answers = {prompts::vbYes, prompts::vbNo};
    EXPECT_FALSE(c.getPeso(0, 0, peso));
    ASSERT_EQ(mensajes(), (QStringList{kNoComunica, kPonga}));
    EXPECT_EQ(preguntas.calls[0].style, prompts::vbYesNo | prompts::vbExclamation);
    EXPECT_EQ(preguntas.calls[1].style, prompts::vbYesNo | prompts::vbInformation);
    EXPECT_TRUE(ventana.scaleTimer);
}

TEST_F(GetPeso, RequestModeRepliesOfEachModel) {
    struct Caso {
        int modelo;
        QByteArray respuesta;
        bool ok;
        double peso;
        QString error;
        qint32 tipo;
    };
    const Caso casos[] = {
        {0, "+  2.500\r\n", true, 2.5, {}, 0},         {3, " 0.345 kg\r\n", true, 0.345, {}, 0},
        {7, "0001.25\r", true, 1.25, {}, 0},           {9, "  1.500\r\n", true, 1.5, {}, 0},
        {0, "+  0.000\r\n", false, 0, kPonga, 3},      {0, "", false, 0, kPonga, 3}, // the scale does not answer
        {0, "+N      \r\n", false, 0, kPongaPesar, 3}, {3, "", false, 0, kPongaPesar, 3},
        {3, " kg\r\n!", false, 0, kPonga, 3}, // six characters: weight 0 is no product
        {0, "-  0.500\r\n", false, 0, kPonga, 3},
    };
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.modelo);
        SCOPED_TRACE(k.respuesta.toStdString());
        clsComm& c = balanza(k.modelo, false);
        sim->encolaRespuesta(k.respuesta);
        const auto r = c.getPesoSilencioso();
        EXPECT_EQ(sim->esperaRecibido(3), k.modelo == 3 ? QByteArray("p\r\n") : QByteArray("D\r\n"));
        EXPECT_EQ(r.ok, k.ok);
        EXPECT_DOUBLE_EQ(r.peso, k.peso);
        EXPECT_EQ(r.error, k.error);
        EXPECT_EQ(r.tipoError, k.tipo);
    }
    EXPECT_TRUE(mensajes().isEmpty());
}

TEST_F(GetPeso, SilentCallsShowNothingAndSayWhy) {
    // Scale not in use: nothing is read and no reason is given.
    parametros({});
    auto r = objComm().getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 0);
    EXPECT_EQ(r.error, QString());
    EXPECT_EQ(r.tipoError, 0);

    // In use, but its port never opened: the communication text.
    gblnBalanzaActiva = true;
    r = objComm().getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, kNoComunica);
    EXPECT_EQ(r.tipoError, 0);

    // Weigh-first settings in request mode: the reason in the reply, no message box or ticket.
    parametros({{"TipoFuncionamientoBalanza", "1"}});
    r = objComm().getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("El programa está configurado con un modo de funcionamiento que sólo es "
                                      "compatible con balanzas Epelsa y el modo contínuo."));
    // Weigh-first in continuous mode.
    parametros({{"TipoFuncionamientoBalanza", "1"}, {"BalanzaModoContinuo", "1"}});
    ventana.scaleTimer = true;
    r = objComm().getPesoSilencioso();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("La balanza debe estar configurada en modo ''Pesar primero y marcar después''"));
    EXPECT_TRUE(mensajes().isEmpty());

    // The interactive caller is told.
    parametros({{"TipoFuncionamientoBalanza", "1"}});
    double peso = 0;
    EXPECT_FALSE(objComm().getPeso(0, 0, peso));
    EXPECT_EQ(mensajes().size(), 1);
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbExclamation);
}

TEST_F(GetPeso, OneExchangeAtATimeOnThePort) {
    clsComm& c = balanza(0, false);
    sim->encolaRespuesta("+  1.250\r\n");
    sim->encolaRespuesta("+  9.000\r\n");

    // A weight request and a timer tick that arrive while the first request waits for its reply.
    clsComm::ResultadoPeso anidado;
    bool tick = true;
    QTimer::singleShot(0, [&] {
        anidado = c.getPesoSilencioso();
        tick = c.commBalanzaContinuoOnComm(true);
    });
    const auto r = c.getPesoSilencioso();
    EXPECT_TRUE(r.ok);
    EXPECT_DOUBLE_EQ(r.peso, 1.25);
    EXPECT_FALSE(anidado.ok);
    EXPECT_EQ(anidado.error,
              QStringLiteral("La balanza está ocupada con otra pesada. Inténtelo de nuevo, por favor..."));
    EXPECT_FALSE(tick);
    EXPECT_EQ(sim->recibido(), QByteArray("D\r\n"));

    // Afterwards the port is free again.
    const auto r2 = c.getPesoSilencioso();
    EXPECT_TRUE(r2.ok);
    EXPECT_DOUBLE_EQ(r2.peso, 9.0);
}

TEST_F(GetPeso, ManualEntryKeepsOnlyWeightsUpToOneTonne) {
    // No scale in use: the keypad straight away.
    struct Caso {
        QString visor;
        bool ok;
        double peso;
        QString mensaje;
    };
    const Caso casos[] = {
        {"1000", true, 1000, {}},
        {"0.75", true, 0.75, {}},
        {"1000.001", false, 0, "No puedes introducir un peso superior a 1000 KG"},
        {"0", false, 0, "No puedes introducir un peso de 0 KG"},
        {"-2", false, 0, "No puedes introducir un peso negativo"},
    };
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.visor.toStdString());
        preguntas.calls.clear();
        QString descripcion, inicial;
        respondeCalc(k.visor, &descripcion, &inicial);
        double peso = -1;
        EXPECT_EQ(objComm().getPeso(0, 0, peso), k.ok);
        EXPECT_DOUBLE_EQ(peso, k.peso);
        EXPECT_EQ(descripcion, QStringLiteral("Introduzca el Peso        (en Kg.)"));
        EXPECT_EQ(inicial, QStringLiteral("1"));
        EXPECT_EQ(mensajes(), k.mensaje.isEmpty() ? QStringList{} : QStringList{k.mensaje});
    }
}

TEST_F(GetPeso, VolumeIsTypedWithoutAskingTheScale) {
    clsComm& c = balanza(0, false);
    QString descripcion;
    respondeCalc("2.5", &descripcion);
    double litros = 0;
    EXPECT_TRUE(c.getPeso(0, 0, litros, true));
    EXPECT_DOUBLE_EQ(litros, 2.5);
    EXPECT_EQ(descripcion, QStringLiteral("Introduzca el Volumen        (en litros)"));
    EXPECT_TRUE(sim->recibido().isEmpty());
}

TEST_F(GetPeso, ManualEntryForRefundsOnlyWhenTheSettingSaysSo) {
    clsComm& c = balanza(0, false, {{"PermitirEntradaPesoManual", "3"}});
    // A sale that cannot be weighed ends after the question, without the keypad.
    sim->encolaRespuesta("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    double peso = 0;
    EXPECT_FALSE(c.getPeso(0, 0, peso));
    EXPECT_EQ(mensajes(), QStringList{kPonga});
    for (const auto& k : preguntas.calls)
        EXPECT_NE(k.kind, QStringLiteral("form"));

    // A refund gets the keypad.
    sim->encolaRespuesta("+  0.000\r\n");
    preguntas.answers = {prompts::vbNo};
    respondeCalc("0.3");
    EXPECT_TRUE(c.getPeso(0, 0, peso, false, true));
    EXPECT_DOUBLE_EQ(peso, 0.3);
}

TEST_F(GetPeso, WeighFirstShowsTheLiveWeightInTheDialog) {
    clsComm& c = balanza(0, true, {{"TipoFuncionamientoBalanza", "1"}});
    lee(c, "+  0.000\r\n");
    sim->encolaRespuesta("+  0.600\r\n");
    const int escriturasAntes = ventana.escriturasCantidad;
    QString pesoMostrado;
    bool sinCancelar = false;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        auto* f = static_cast<frmRecalcularPeso*>(w);
        sinCancelar = f->ctrCancelar->isHidden();
        EXPECT_EQ(c.intDestinoPeso(), 1);
        c.commBalanzaContinuoOnComm(true); // the timer ticks while the dialog is open
        pesoMostrado = f->lblPeso->text();
        f->ctrAceptar_Click();
    });
    double peso = 0;
    EXPECT_TRUE(c.getPeso(10, 9.99, peso));
    EXPECT_DOUBLE_EQ(peso, 0.6);
    EXPECT_TRUE(sinCancelar);
    EXPECT_EQ(pesoMostrado, QStringLiteral("0.600KG"));
    EXPECT_EQ(ventana.escriturasCantidad, escriturasAntes); // the weight went to the dialog only
    EXPECT_EQ(c.intDestinoPeso(), 0);
    EXPECT_FALSE(c.blnPesoCero());
}
