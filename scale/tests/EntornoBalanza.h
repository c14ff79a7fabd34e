#pragma once
// What every scale test starts from: scripted prompts, the recording main window, a fresh scale
// object and the scale parameters in the registry store.
#include "controls/frmCalc.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "scale/clsComm.h"
#include <QApplication>
#include <QLocale>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <vector>

// Counts what the scale writes on the main window's display.
class VentanaContadora final : public RecordingMainWindow {
public:
    int escriturasCantidad = 0;
    void setWeightLabel(WeightLabel w, const QString& c, bool v) override {
        if (w == WeightLabel::Cantidad)
            ++escriturasCantidad;
        RecordingMainWindow::setWeightLabel(w, c, v);
    }
};

// Runs `accion` on the next modal window of class `clase` once it is shown (the way a person at
// the till would act on it).
inline std::vector<QPointer<QTimer>>& esperasDeVentana() {
    static std::vector<QPointer<QTimer>> v;
    return v;
}
inline void cuandoSeMuestre(const char* clase, std::function<void(QWidget*)> accion) {
    auto* t = new QTimer(qApp);
    esperasDeVentana().push_back(t);
    t->setInterval(5);
    QObject::connect(t, &QTimer::timeout, [t, clase, accion] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->inherits(clase) || !w->isVisible())
            return;
        t->stop();
        t->deleteLater();
        accion(w);
    });
    t->start();
}

// When the keypad shows: notes its prompt and initial display, puts `visor` on its display (as if
// typed) and presses Enter.
inline void respondeCalc(const QString& visor, QString* descripcion = nullptr, QString* inicial = nullptr) {
    cuandoSeMuestre("frmCalc", [=](QWidget* w) {
        auto* f = static_cast<frmCalc*>(w);
        if (descripcion)
            *descripcion = f->strDescripcion;
        if (inicial)
            *inicial = f->visor();
        f->setVisor(visor);
        QTest::keyClick(f, Qt::Key_Return);
    });
}

class EntornoBalanza : public ::testing::Test {
protected:
    prompts::ScriptedPrompts preguntas;
    VentanaContadora ventana;

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
        for (const QPointer<QTimer>& t : esperasDeVentana())
            delete t.data();
        esperasDeVentana().clear();
        resetObjCommForTests();
        setMainWindow(nullptr);
        prompts::install(nullptr);
        QLocale::setDefault(QLocale::c());
    }

    // The scale parameters (defaults: model 0, request mode, no manual entry), overridden by `p`,
    // written to the registry and loaded into the parameter store.
    static std::map<QString, QString> valoresBalanza(const std::map<QString, QString>& p) {
        std::map<QString, QString> v{{"IpServidor", "127.0.0.1"},
                                     {"Empresa", "1"},
                                     {"Restaurante", "1"},
                                     {"TPV", "1"},
                                     {"ModeloBalanza", "0"},
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
    static void parametros(const std::map<QString, QString>& p) {
        const std::map<QString, QString> v = valoresBalanza(p);
        auto& reg = registry::RegistryStore::instance();
        for (const auto& [k, val] : v)
            reg.setValue(registry::Root::CurrentUser, QStringLiteral("SOFTWARE\\Vesk\\Tarvolin"),
                         registry::Value{k, registry::REG_SZ, val});
        objParametros().resetForTests();
        objParametros().GetParamReg();
    }

    // COM<n> opens `dispositivo` (the registry's SERIALCOMM map).
    static void apuntaCom(int n, const QString& dispositivo);

    // The texts of the message boxes shown so far.
    QStringList mensajes() const {
        QStringList r;
        for (const auto& c : preguntas.calls)
            if (c.kind == QLatin1String("messageBox"))
                r << c.text;
        return r;
    }
    int estiloUltimoMensaje() const {
        for (auto it = preguntas.calls.rbegin(); it != preguntas.calls.rend(); ++it)
            if (it->kind == QLatin1String("messageBox"))
                return it->style;
        return -1;
    }
};
