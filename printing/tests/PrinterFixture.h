#pragma once
// Shared set-up of the printer-layer tests: every parameter the layer reads, a recording printer
// output, scripted prompts, and helpers to write byte sequences.
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Printers.h"
#include "platform/Prompts.h"
#include "platform/Registry.h"
#include "printing/basPrinter.h"
#include "printing/clsImpresionPantalla.h"
#include "printing/tests/ParametrosSalida.h"
#include "testsupport/RecordingMainWindow.h"
#include "testsupport/RecordingOutput.h"
#include "testsupport/ScriptedPrompts.h"
#include <QByteArray>
#include <gtest/gtest.h>
#include <initializer_list>

namespace printertest {

inline QByteArray bytes(std::initializer_list<int> b) {
    QByteArray a;
    for (int x : b)
        a.append(char(x));
    return a;
}
inline QByteArray operator""_b(const char* s, size_t n) {
    return QByteArray(s, qsizetype(n));
}
inline QByteArray saltos(int n) {
    return QByteArray("\r\n").repeated(n);
}

inline void par(const QString& clave, const QString& valor) {
    objParametros().SetValor(clave, valor);
}

// The store is built from the application's registry key, as at start-up.
inline void parametrosPorDefecto() {
    auto& reg = registry::RegistryStore::instance();
    const QString clave = QStringLiteral("SOFTWARE\\Vesk\\Tarvolin");
    reg.deleteKey(registry::Root::CurrentUser, clave);
    auto pon = [&](const QString& k, const QString& v) {
        reg.setValue(registry::Root::CurrentUser, clave, registry::Value{k, registry::REG_SZ, v});
    };
    for (const char* k : {"IpServidor", "Empresa", "Restaurante", "TPV"})
        pon(QString::fromLatin1(k), QStringLiteral("1"));
    for (const auto& [k, v] : parametrosSalida())
        pon(k, v);
    objParametros().resetForTests();
    objParametros().GetParamReg();
}

class PrinterTest : public ::testing::Test {
protected:
    printers::RecordingOutput salida;
    prompts::ScriptedPrompts avisos;
    QString& buffer = basPrinter::gEstadoImpresion.mBufferImpresion.Texto;

    void SetUp() override {
        parametrosPorDefecto();
        printers::install(&salida);
        prompts::install(&avisos);
        gblnLog = false;
        gblnParametrosCargados = false; // message boxes, not error tickets, unless a test says otherwise
        frmPrincipalVars().blnImpresoraSecundaria = false;
        frmPrincipalVars().blnCintaControl = false;
        recordingMainWindow().grid.clear();
        objImpresionPantalla().Inicializa();
        basPrinter::resetForTests();
    }
    void TearDown() override {
        basPrinter::resetForTests();
        objImpresionPantalla().Inicializa();
        gblnParametrosCargados = false;
        printers::install(nullptr);
        prompts::install(nullptr);
    }

    // The one job sent so far.
    QByteArray unicoTrabajo() {
        EXPECT_EQ(salida.jobs.size(), 1u);
        return salida.jobs.empty() ? QByteArray() : salida.jobs.back().data;
    }
    int mensajes() const {
        int n = 0;
        for (const auto& c : avisos.calls)
            n += c.kind == QLatin1String("messageBox");
        return n;
    }
    // Sends the buffer as it stands (untranslated unless asked) and returns the job.
    QByteArray envia(bool traducir = false, bool esCocina = false) {
        salida.jobs.clear();
        basPrinter::Imprimir(QString(),
                             {.ConSalto = false, .Enviar = true, .Traducir = traducir, .EsCocina = esCocina});
        return salida.jobs.empty() ? QByteArray() : salida.jobs.back().data;
    }
};

} // namespace printertest
