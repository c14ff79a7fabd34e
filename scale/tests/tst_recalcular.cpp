// The re-weigh of a ticket line against real MariaDB rows under a Spanish locale: the keypad road
// with both VAT cases and the pizza-shop update, the re-weigh window on the scale road, refusals.
#include "EntornoBalanza.h"
#include "core/tests/ConnectedCore.h"
#include "scale/frmRecalcularPeso.h"
#include <QLabel>

class Recalcular : public EntornoBalanza {
protected:
    std::unique_ptr<coretest::ConnectedCore> core;

    void conecta(const Parametros& extra = {}) {
        coretest::ConnectedCoreOptions o;
        o.prefijo = "scale";
        for (const auto& [k, v] : valores(extra))
            o.parametros.append({k, v});
        core.reset();
        core = std::make_unique<coretest::ConnectedCore>(o);
        resetObjCommForTests();
        ASSERT_TRUE(core->ok());
        gblnLog = true; // messages to the (scripted) boxes, not to paper
        setMainWindow(&ventana);
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        core->sql("insert into articulo_generico values (10, ' Jamón ibérico ', 'S'), (11, 'Pan', 'N');"
                  "insert into tarifas values (10, 1, 9.99), (10, 2, 7.50);"
                  "insert into linticket (idTPV, idTicket, idLinea, idArticulo, cantidad, peso, precio, "
                  "  PrecioUnitario, PrecioOriginal, Tarifa, ImporteConIva, PrBasCombi, marca, iva) values "
                  "  (3, 70, 1, 10, 2, 0.5, 4.995, 0, 0, 1, 0, 0, 5, 10),"
                  "  (3, 70, 2, 10, 3, 0.4, 0, 8.5, 12, 1, 0, 0, 5, 10),"
                  "  (0, 0, 1, 10, 1, 0.1, 0.99, 0, 0, 2, 0, 0, 0, 10);");
    }
    // peso|precio|cantidad|ImporteConIva|PrBasCombi|marca of a line of ticket 70 on till 3.
    QString fila(int linea) {
        return core->valor(QStringLiteral("select concat_ws('|', peso, precio, cantidad, ImporteConIva, PrBasCombi, "
                                          "marca) from linticket where idTPV=3 and idTicket=70 and idLinea=%1")
                               .arg(linea));
    }
    void TearDown() override {
        EntornoBalanza::TearDown();
        core.reset();
    }
};

TEST_F(Recalcular, KeypadRoadWritesWeightAndAmounts) {
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

TEST_F(Recalcular, ScaleRoadShowsTheCallsLineAndWeighsIt) {
    TARVOLIN_REQUIRE_DATABASE();
    conecta();
    balanza(0, false);
    sim->responde("+  1.250\r\n");
    QStringList vistos;
    cuandoSeMuestre("frmRecalcularPeso", [&](QWidget* w) {
        auto* f = static_cast<frmRecalcularPeso*>(w);
        vistos << f->lblDescripcionArticulo->text() << f->lblPrecio->text();
        f->ctrAceptar_Click(); // asks the scale for the weight now
        vistos << f->lblPeso->text() << f->lblImporte->text();
    });
    objComm().RecalcularPeso(3, 70, 1, 10);
    EXPECT_EQ(vistos, (QStringList{"Jamón ibérico:", "9,99€", "1,250KG", "12,49€"}));
    EXPECT_EQ(fila(1), "1.250|12.4900|2.000|27.4780|27.4780|5");
    // The main window's ticket context (till 0, ticket 0) is left alone.
    EXPECT_EQ(core->valor("select concat_ws('|', peso, precio) from linticket where idTPV=0"), "0.100|0.9900");
}

TEST_F(Recalcular, RefusalsOnlyTellTheUser) {
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
