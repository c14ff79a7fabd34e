#pragma once
// In-process window tests: the core's state put back before and after each test, prompts answered
// in advance, and the application's registry key written through the registry store.
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "core/clsParametros.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "server/clsSocketFront.h"
#include "testsupport/ScriptedPrompts.h"
#include "ui/Main.h"

#include <QApplication>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace uitest {

inline const QString kClave = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin");

// Scripted answers, and forms answered by code of the test (the keyboard, the dialog itself).
class Respuestas final : public prompts::ScriptedPrompts {
public:
    std::map<QString, std::function<int()>> formularios;
    int showForm(const QString& name) override {
        if (auto it = formularios.find(name); it != formularios.end()) {
            calls.push_back({QStringLiteral("form"), name, QString(), 0});
            return it->second();
        }
        return ScriptedPrompts::showForm(name);
    }
    QStringList textos() const {
        QStringList r;
        for (const Call& c : calls)
            r << c.text;
        return r;
    }
};

// A control of a window by its object name (a failure when it is missing).
template <class T> T* hijo(const QObject& w, const char* nombre) {
    T* c = w.findChild<T*>(QLatin1String(nombre));
    EXPECT_TRUE(c) << nombre;
    return c;
}

inline void escribeRegistro(const QList<QPair<QString, QString>>& valores) {
    for (const auto& [nombre, valor] : valores)
        registry::RegistryStore::instance().setValue(registry::Root::CurrentUser, kClave,
                                                     registry::Value{nombre, registry::REG_SZ, valor});
}

inline std::optional<QString> leeRegistro(const QString& nombre) {
    const auto v = registry::RegistryStore::instance().value(registry::Root::CurrentUser, kClave, nombre);
    if (!v)
        return std::nullopt;
    return v->data.toString();
}

inline void reiniciaEstado() {
    SocketFront.reset();
    resetMainForTests();
    resetBasGeneralForTests();
    objParametros().resetForTests();
    resetTraduccionForTests();
    program::resetForTests();
    clock_seam::setNowSource(nullptr);
    registry::RegistryStore::instance().deleteKey(registry::Root::CurrentUser, kClave);
}

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        reiniciaEstado();
        prompts::install(&respuestas);
    }
    void TearDown() override {
        prompts::install(nullptr);
        reiniciaEstado();
    }
    Respuestas respuestas;
};

} // namespace uitest
