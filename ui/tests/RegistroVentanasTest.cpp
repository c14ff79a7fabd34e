// The loaded windows as trigger rules reach them: each by its name, the first loaded first, gone once destroyed.
#include "ui/RegistroVentanas.h"
#include "ui/tests/UiTest.h"

#include "backoffice/frmComInternet.h"
#include "backoffice/ui/frmComInternetVentana.h"
#include "controls/frmCalc.h"
#include "controls/frmPassword.h"
#include "controls/frmTeclado.h"
#include "rules/clsBotones.h"
#include "scale/clsComm.h"
#include "server/frmComSocket.h"
#include "ui/frmComSocketVentana.h"
#include "ui/frmConfig.h"
#include "ui/frmPrincipal.h"
#include "ui/frmRecalcularPeso.h"

namespace {

using RegistroVentanasTest = uitest::UiTest;

QObject* ventanaDe(clsBotones& b, const char* nombre) {
    vb::LateBound& o = b.GetObjetoSingleton(QString::fromLatin1(nombre));
    if (auto* s = dynamic_cast<VentanaSinMiembros*>(&o))
        return s->ventana();
    return dynamic_cast<QObject*>(&o);
}

QString noEncontrado(clsBotones& b, const char* nombre) { // the error a name that finds nothing raises
    try {
        b.GetObjetoSingleton(QString::fromLatin1(nombre));
        return "found";
    } catch (const VBError& e) {
        return QString::number(e.number()) + ' ' + e.description();
    }
}

} // namespace

// Every window of the program, each layer's, with frmConfig open; the main window lists its own members.
TEST_F(RegistroVentanasTest, GetObjetoSingletonEncuentraCadaVentanaCargadaPorSuNombre) {
    RegistroVentanas::instancia().instala();
    clsBotones b;
    frmComInternet cliente; // no factory registered: no window of its own
    auto config = std::make_unique<frmConfig>();
    config->show();
    frmPrincipal principal(false);
    frmComSocketVentana socketVentana; // the socket form's window is not the form
    frmComSocket socket;               // without /instal, a form with no window
    frmRecalcularPeso recalcular(objComm());
    frmCalc calc;
    frmPassword password;
    frmTeclado teclado;
    frmComInternetVentana internet(cliente);
    const std::pair<const char*, QObject*> casos[] = {
        {"frmConfig", config.get()}, {"frmComSocket", &socket}, {"frmRecalcularPeso", &recalcular}, {"frmCalc", &calc},
        {"frmPassword", &password},  {"frmTeclado", &teclado},  {"frmComInternet", &internet},
    };
    EXPECT_EQ(socket.ventana(), nullptr);
    for (const auto& [nombre, ventana] : casos) {
        QObject* encontrada = nullptr;
        ASSERT_NO_THROW(encontrada = ventanaDe(b, nombre)) << nombre;
        EXPECT_EQ(encontrada, ventana) << nombre;
        EXPECT_FALSE(vb::HasMember(b.GetObjetoSingleton(nombre), "CargaValores")) << nombre; // nothing by name
    }
    // The main window is itself what a call by name reaches (its own name goes by its own road).
    const auto cargadas = RegistroVentanas::instancia().cargadas();
    ASSERT_FALSE(cargadas.isEmpty());
    EXPECT_EQ(cargadas.at(1), (QPair<QString, vb::LateBound*>("frmPrincipal", &principal)));
    EXPECT_EQ(noEncontrado(b, "frmconfig"), "1 Objeto 'frmconfig' no encontrado"); // case counts

    // Of two with one name the first loaded; once it is gone the other; then none.
    auto otra = std::make_unique<frmConfig>();
    EXPECT_EQ(ventanaDe(b, "frmConfig"), config.get());
    config.reset();
    EXPECT_EQ(ventanaDe(b, "frmConfig"), otra.get());
    otra.reset();
    EXPECT_EQ(noEncontrado(b, "frmConfig"), "1 Objeto 'frmConfig' no encontrado");
}
