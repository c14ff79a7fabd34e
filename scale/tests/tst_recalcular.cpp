// The re-weigh of a ticket line against real MariaDB rows, under a Spanish locale: the keypad road,
// the re-weigh window on the scale road, the VAT variants and the pizza-shop form of the update.
#include "EntornoBalanza.h"
#include "SimuladorBalanza.h"
#include "controls/ctrBoton.h"
#include "controls/frmCalc.h"
#include "core/tests/ConnectedCore.h"
#include "scale/frmRecalcularPeso.h"
#include <QLabel>
#include <QtTest/QTest>

namespace {

// One line of linticket as the database holds it: peso, precio, cantidad, ImporteConIva, PrBasCombi, marca.
QString fila(coretest::ConnectedCore& core, int linea) {
    return core.valor(QStringLiteral("select concat_ws('|', peso, precio, cantidad, ImporteConIva, PrBasCombi, marca) "
                                     "from linticket where idTPV=3 and idTicket=70 and idLinea=%1")
                          .arg(linea));
}

// Types `teclas` on the keyboard once the keypad shows, then Enter; notes its prompt and display.
void tecleaEnCalc(const QString& teclas, QString* descripcion = nullptr, QString* inicial = nullptr) {
    cuandoSeMuestre("frmCalc", [=](QWidget* w) {
        auto* f = static_cast<frmCalc*>(w);
        if (descripcion)
            *descripcion = f->strDescripcion;
        if (inicial)
            *inicial = f->visor();
        QTest::keyClicks(f, teclas);
        QTest::keyClick(f, Qt::Key_Return);
    });
}

} // namespace

class Recalcular : public EntornoBalanza {
protected:
    std::unique_ptr<coretest::ConnectedCore> core;

    bool conecta(const std::map<QString, QString>& extra = {}) {
        coretest::ConnectedCoreOptions o;
        o.prefijo = QStringLiteral("scale");
        for (const auto& [k, v] : valoresBalanza(extra))
            if (k != "IpServidor" && k != "Empresa" && k != "Restaurante" && k != "TPV")
                o.parametros.append({k, v});
        core = std::make_unique<coretest::ConnectedCore>(o);
        if (!core->ok())
            return false;
        gblnLog = true; // messages go to the (scripted) boxes, not to paper
        setMainWindow(&ventana);
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        return core->sql(QStringLiteral(
            "insert into articulo_generico values (10, ' Jamón ibérico ', 'S'), (11, 'Pan', 'N'), (12, 'Queso', null);"
            "insert into tarifas values (10, 1, 9.99), (10, 2, 7.50);"
            "insert into linticket (idTPV, idTicket, idLinea, idArticulo, cantidad, peso, precio, PrecioUnitario, "
            "  PrecioOriginal, Tarifa, ImporteConIva, PrBasCombi, marca, iva) values "
            "  (3, 70, 1, 10, 2, 0.5, 4.995, 0, 0, 1, 0, 0, 5, 10),"
            "  (3, 70, 2, 10, 3, 0.4, 0, 8.5, 12, 1, 0, 0, 5, 10),"
            "  (0, 0, 1, 10, 1, 0.1, 0.99, 0, 0, 1, 0, 0, 0, 10);"));
    }
    // Changes parameters of the connected till.
    static void parametros_(const std::map<QString, QString>& p) {
        for (const auto& [k, v] : p)
            objParametros().SetValor(k, Variant(v));
    }
    void TearDown() override {
        EntornoBalanza::TearDown();
        core.reset();
    }
};

TEST_F(Recalcular, KeypadRoadWritesWeightAndAmountWithTheLineVat) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta());
    QString descripcion, inicial;
    // "1.25" typed on the keyboard: read as one and a quarter whatever the locale.
    tecleaEnCalc(QStringLiteral("1.25"), &descripcion, &inicial);
    int recargas = 0;
    objComm().setRecargaTicket([&] { ++recargas; });

    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(descripcion, QStringLiteral("Introduzca el peso"));
    EXPECT_EQ(inicial, QStringLiteral("0,5"));
    EXPECT_TRUE(mensajes().isEmpty()) << mensajes().join('|').toStdString();
    // 1.25 kg x 9.99 = 12.4875 -> 12.49; with 10 % VAT, times the line's quantity 2.
    EXPECT_EQ(fila(*core, 1), QStringLiteral("1.250|12.4900|2.000|27.4780|27.4780|5"));
    EXPECT_EQ(recargas, 1);
    EXPECT_EQ(fila(*core, 2), QStringLiteral("0.400|0.0000|3.000|0.0000|0.0000|5")); // only that line
}

TEST_F(Recalcular, AmountsAlreadyWithVatLeaveTheFactorOut) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta());
    frmPrincipalVars().intIva = 1;
    tecleaEnCalc(QStringLiteral("1.25"));
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(fila(*core, 1), QStringLiteral("1.250|12.4900|2.000|24.9800|24.9800|5"));
}

TEST_F(Recalcular, PizzaShopChargesTheOriginalPriceForOneUnit) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta({{"FuncPizzeria", "2"}}));
    tecleaEnCalc(QStringLiteral("0.5"));
    objComm().RecalcularPeso(3, 70, 2, 10);
    // Original price 12 x 0.5 kg = 6; quantity 1 and the mark cleared.
    EXPECT_EQ(fila(*core, 2), QStringLiteral("0.500|6.0000|1.000|6.6000|6.6000|0"));
}

TEST_F(Recalcular, RefusedOrCancelledKeypadLeavesTheLine) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta());
    const QString antes = fila(*core, 1);

    tecleaEnCalc(QStringLiteral("1000.5"));
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(mensajes(), QStringList{QStringLiteral("No puedes introducir un peso superior a 1000 KG")});
    EXPECT_EQ(fila(*core, 1), antes);

    cuandoSeMuestre("frmCalc", [](QWidget* w) { emit static_cast<frmCalc*>(w)->ctrCancelar->Click(); });
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(fila(*core, 1), antes);
}

TEST_F(Recalcular, RefusedSettingsAndArticlesOnlyTellTheUser) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta({{"BalanzaModoContinuo", "1"}}));
    const QString antes = fila(*core, 1);
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(mensajes(), QStringList{QStringLiteral("Esta opción no puede usarse si el programa está configurado con "
                                                     "el modo contínuo de captura de peso.")});

    parametros_({{"BalanzaModoContinuo", "0"}});
    objComm().RecalcularPeso(3, 70, 1, 11);
    EXPECT_EQ(mensajes().last(), QStringLiteral("Esta opción sólo puede usarse si la última línea del ticket es un "
                                                "artículo de peso en venta."));
    parametros_({{"FuncPizzeria", "2"}});
    objComm().RecalcularPeso(3, 70, 1, 11);
    EXPECT_EQ(mensajes().last(), QStringLiteral("Esta opción sólo puede usarse con artículos de peso en venta."));
    EXPECT_EQ(estiloUltimoMensaje(), prompts::vbExclamation);
    EXPECT_EQ(fila(*core, 1), antes);
    for (const auto& c : preguntas.calls)
        EXPECT_NE(c.kind, QStringLiteral("form"));
}

TEST_F(Recalcular, ScaleRoadShowsTheCallsLineAndWeighsIt) {
    TARVOLIN_REQUIRE_DATABASE();
    ASSERT_TRUE(conecta());
    SimuladorBalanza sim;
    ASSERT_TRUE(sim.arrancado()) << sim.error().toStdString();
    apuntaCom(2, sim.puertoDriver());
    ASSERT_TRUE(objComm().InitPuerto(2, "9600,e,8,1", 1));
    gblnBalanzaActiva = true;
    sim.encolaRespuesta("+  1.250\r\n");

    QString articulo, precio, peso, importe;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        auto* f = static_cast<frmRecalcularPeso*>(w);
        articulo = f->lblDescripcionArticulo->text();
        precio = f->lblPrecio->text();
        f->ctrAceptar_Click(); // the scale is asked for the weight now
        peso = f->lblPeso->text();
        importe = f->lblImporte->text();
    });
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(articulo, QStringLiteral("Jamón ibérico:"));
    EXPECT_EQ(precio, QStringLiteral("9,99€"));
    EXPECT_EQ(peso, QStringLiteral("1,250KG"));
    EXPECT_EQ(importe, QStringLiteral("12,49€"));
    EXPECT_EQ(sim.recibido(), QByteArray("D\r\n"));
    EXPECT_EQ(fila(*core, 1), QStringLiteral("1.250|12.4900|2.000|27.4780|27.4780|5"));
    // The main window's ticket context (till 0, ticket 0) is not touched.
    EXPECT_EQ(core->valor("select concat_ws('|', peso, precio) from linticket where idTPV=0"),
              QStringLiteral("0.100|0.9900"));
}
