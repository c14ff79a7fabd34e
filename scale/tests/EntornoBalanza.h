#pragma once
// What every scale test starts from: scripted prompts, the real keypad, a recording main window, the
// scale settings, the Spanish locale, a simulated scale on COM2 and, for the re-weighs, a connected core.
#include "controls/frmCalc.h"
#include "core/tests/ConnectedCore.h"
#include "scale/ScaleWindowsPort.h"
#include "scale/clsComm.h"
#include "testsupport/Simulador.h"
#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QtTest/QTest>

using Parametros = QList<QPair<QString, QString>>; // a later value of the same name wins

class EntornoBalanza : public ::testing::Test {
protected:
    prompts::ScriptedPrompts preguntas;
    RecordingMainWindow ventana;
    std::unique_ptr<Simulador> sim;
    std::unique_ptr<coretest::ConnectedCore> core;
    QTimer espera;

    void SetUp() override {
        testenv::reiniciaTodo();
        QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
        prompts::install(&preguntas);
        setNumericKeypad([](const QString& d, QString& v) { return frmCalc::Pedir(d, v); });
        setMainWindow(&ventana);
        gblnBalanzaActiva = false;
        frmPrincipalVars() = FrmPrincipalVars{};
        parametros({});
    }
    void TearDown() override {
        setNumericKeypad(nullptr);
        prompts::install(nullptr);
        QLocale::setDefault(QLocale::c());
        testenv::reiniciaTodo();
    }

    // Model 0 in request mode without manual entry, overridden by `p`.
    static void parametros(const Parametros& p) {
        const Parametros till{{"IpServidor", "127.0.0.1"}, {"Empresa", "1"}, {"Restaurante", "1"}, {"TPV", "1"}};
        for (const auto& [k, v] : till + parametrosBalanza() + p)
            coretest::escribeRegistro(k, v);
        objParametros().resetForTests();
        objParametros().GetParamReg();
        resetObjCommForTests();
    }
    static void esperado(const ResultadoPeso& r, const ResultadoPeso& e) {
        auto texto = [](const ResultadoPeso& x) { return QString("%1 %2 %3 ").arg(x.ok).arg(x.peso).arg(x.tipoError); };
        EXPECT_EQ(texto(r) + r.error, texto(e) + e.error);
    }
    // A new simulated scale plugged in under the device name `nombre` (a link to its pty), as a scale
    // unplugged and plugged back comes again under the same name.
    bool enchufaEn(const QString& nombre) {
        sim = std::make_unique<Simulador>();
        QFile::remove(nombre);
        return sim->arrancado() && QFile::link(sim->puerto(), nombre);
    }
    // A simulated scale of `modelo` on COM2, opened as the start-up opens it, in use.
    clsComm& balanza(int modelo, bool continuo, const Parametros& p = {}) {
        sim = std::make_unique<Simulador>();
        EXPECT_TRUE(sim->arrancado());
        apuntaCom(2, sim->puerto());
        parametros(
            Parametros{{"ModeloBalanza", QString::number(modelo)}, {"BalanzaModoContinuo", continuo ? "1" : "0"}} + p);
        EXPECT_TRUE(objComm().InitPuerto(2, modelo == 0 ? "9600,e,8,1" : "9600,n,8,1", 1));
        gblnBalanzaActiva = true;
        return objComm();
    }
    // One continuous tick that gets `datos` (a reply, or frames sent unasked).
    bool lee(const QByteArray& datos, bool pedido = true) {
        pedido ? sim->responde(datos) : sim->envia(datos);
        return objComm().commBalanzaContinuoOnComm(true);
    }
    static ResultadoPeso silencioso() { return objComm().getPeso(0, 0, {.blnSilent = true}); }
    QString peso() const { return ventana.labels[int(WeightLabel::Cantidad)]; }

    // A connected core whose till 3 has ticket 70: line 1 (2 x 0.5 kg at the rate's 9.99), line 2
    // (3 x 0.4 kg, own price 8.5, original 12); article 10 sells by weight, 11 does not.
    void conecta(const Parametros& extra = {}) {
        core.reset();
        coretest::ConnectedCoreOptions o;
        o.prefijo = "scale";
        o.parametros = parametrosBalanza() + extra;
        core = std::make_unique<coretest::ConnectedCore>(o);
        ASSERT_TRUE(core->ok());
        gblnLog = true; // messages to the (scripted) boxes, not to paper
        setMainWindow(&ventana);
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

    // Acts on the next modal window of class `clase` once it shows, as the person at the till would.
    void cuandoSeMuestre(const char* clase, std::function<void(QWidget*)> accion) {
        espera.disconnect();
        QObject::connect(&espera, &QTimer::timeout, [this, clase, accion] {
            QWidget* w = QApplication::activeModalWidget();
            if (w && w->inherits(clase) && w->isVisible()) {
                espera.stop();
                accion(w);
            }
        });
        espera.start(5);
    }
    // Types `teclas` on the keypad once it shows and presses Enter; notes its prompt and display.
    void teclea(const QString& teclas) {
        cuandoSeMuestre("frmCalc", [this, teclas](QWidget* w) {
            auto* f = static_cast<frmCalc*>(w);
            teclado = {f->strDescripcion, f->visor()};
            QTest::keyClicks(f, teclas);
            QTest::keyClick(f, Qt::Key_Return);
        });
    }
    QStringList teclado; // the prompt and the starting display of the last keypad shown

    // The texts of the message boxes (or the names of the forms) shown.
    QStringList mensajes(const QString& tipo = "messageBox") const {
        QStringList r;
        for (const auto& c : preguntas.calls)
            if (c.kind == tipo)
                r << c.text;
        return r;
    }
};
