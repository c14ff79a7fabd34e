#pragma once
// What every scale test starts from: scripted prompts, a main window that counts the weight shown,
// a fresh scale object, the scale parameters in the registry, and a simulated scale on COM2.
#include "Simulador.h"
#include "controls/frmCalc.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "scale/clsComm.h"
#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <gtest/gtest.h>
#include <map>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

class VentanaContadora final : public RecordingMainWindow {
public:
    int pesosMostrados = 0;
    void setWeightLabel(WeightLabel w, const QString& c, bool v) override {
        pesosMostrados += w == WeightLabel::Cantidad;
        RecordingMainWindow::setWeightLabel(w, c, v);
    }
    QString peso() const { return labels[int(WeightLabel::Cantidad)]; }
};

using Parametros = std::map<QString, QString>;

class EntornoBalanza : public ::testing::Test {
protected:
    prompts::ScriptedPrompts preguntas;
    VentanaContadora ventana;
    std::unique_ptr<Simulador> sim;
    QPointer<QTimer> espera;

    void SetUp() override {
        QLocale::setDefault(QLocale::c());
        prompts::install(&preguntas);
        setMainWindow(&ventana);
        gblnBalanzaActiva = false;
        frmPrincipalVars() = FrmPrincipalVars{};
        parametros({});
        resetObjCommForTests();
    }
    void TearDown() override {
        delete espera.data();
        resetObjCommForTests();
        setMainWindow(nullptr);
        prompts::install(nullptr);
        QLocale::setDefault(QLocale::c());
    }

    // Model 0 in request mode without manual entry, overridden by `p`.
    static Parametros valores(const Parametros& p) {
        Parametros v{{"ModeloBalanza", "0"},
                     {"BalanzaModoContinuo", "0"},
                     {"TiempoBalanzaModoContinuo", "300"},
                     {"TipoFuncionamientoBalanza", "0"},
                     {"PermitirEntradaPesoManual", "0"},
                     {"PosicionImporteDisplay", "0"},
                     {"FuncPizzeria", "0"}};
        for (const auto& [k, val] : p)
            v[k] = val;
        return v;
    }
    static void parametros(const Parametros& p) {
        Parametros v = valores(p);
        v.insert({{"IpServidor", "127.0.0.1"}, {"Empresa", "1"}, {"Restaurante", "1"}, {"TPV", "1"}});
        for (const auto& [k, val] : v)
            registry::RegistryStore::instance().setValue(registry::Root::CurrentUser, "SOFTWARE\\Vesk\\Tarvolin",
                                                         {k, registry::REG_SZ, val});
        objParametros().resetForTests();
        objParametros().GetParamReg();
    }
    // COM<n> is `dispositivo` in the registry's serial map.
    static void apuntaCom(int n, const QString& dispositivo) {
        auto& reg = registry::RegistryStore::instance();
        const QString clave = registry::kSerialCommMapKey, com = QStringLiteral("COM%1").arg(n);
        for (const registry::Value& v : reg.values(registry::Root::LocalMachine, clave))
            if (v.data.toString() == com)
                reg.deleteValue(registry::Root::LocalMachine, clave, v.name);
        reg.setValue(registry::Root::LocalMachine, clave, {dispositivo, registry::REG_SZ, com});
    }
    // A simulated scale of `modelo` on COM2, opened as the start-up does, in use.
    clsComm& balanza(int modelo, bool continuo, Parametros p = {}) {
        sim = std::make_unique<Simulador>();
        EXPECT_TRUE(sim->arrancado());
        apuntaCom(2, sim->puerto());
        p["ModeloBalanza"] = QString::number(modelo);
        p["BalanzaModoContinuo"] = continuo ? "1" : "0";
        parametros(p);
        resetObjCommForTests();
        EXPECT_TRUE(objComm().InitPuerto(2, modelo == 0 ? "9600,e,8,1" : "9600,n,8,1", 1));
        gblnBalanzaActiva = true;
        return objComm();
    }
    // One continuous tick that gets `datos` (a reply, or frames sent unasked).
    bool lee(const QByteArray& datos, bool pedido = true) {
        pedido ? sim->responde(datos) : sim->envia(datos);
        return objComm().commBalanzaContinuoOnComm(true);
    }

    // Acts on the next modal window of class `clase` once it shows, as the person at the till would.
    void cuandoSeMuestre(const char* clase, std::function<void(QWidget*)> accion) {
        delete espera.data();
        espera = new QTimer(qApp);
        QObject::connect(espera, &QTimer::timeout, [t = espera.data(), clase, accion] {
            QWidget* w = QApplication::activeModalWidget();
            if (w && w->inherits(clase) && w->isVisible()) {
                t->stop();
                accion(w);
            }
        });
        espera->start(5);
    }
    // Types `teclas` on the keypad once it shows and presses Enter; notes its prompt and display.
    void teclea(const QString& teclas, QString* descripcion = nullptr, QString* inicial = nullptr) {
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

    QStringList mensajes() const {
        QStringList r;
        for (const auto& c : preguntas.calls)
            if (c.kind == "messageBox")
                r << c.text;
        return r;
    }
    bool keypadMostrado() const {
        return std::any_of(preguntas.calls.begin(), preguntas.calls.end(), [](auto& c) { return c.kind == "form"; });
    }
};
