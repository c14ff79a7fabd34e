// The configuration dialog: what it shows and stores, the keyboard on a tap, a new opening after a cancel.
#include "ui/frmConfig.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "controls/frmTeclado.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

using uitest::leeRegistro;

namespace {

class frmConfigTest : public uitest::UiTest {};

QLineEdit* txt(const frmConfig& d, const char* nombre) {
    return uitest::hijo<QLineEdit>(d, nombre);
}
void pulsa(const frmConfig& d, const char* boton) {
    emit uitest::hijo<ctrBoton>(d, boton)->Click();
}

// Runs `f` on the modal dialog once its own event loop is running.
void enElDialogo(std::function<void(frmConfig&)> f) {
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<frmConfig*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        f(*d);
    });
}

} // namespace

// A first start asks for the basic settings, stores them and ends. A tap opens the keyboard with its
// caption, a cancel stores nothing, reopening shows what is stored; password and empty user kept as is.
TEST_F(frmConfigTest, LaPrimeraConfiguracionElTecladoCancelarYAceptar) {
    frmConfig::registrarFrmConfig();
    enElDialogo([](frmConfig& d) {
        EXPECT_TRUE(txt(d, "txtPasswordMySQL")->text().isEmpty());
        EXPECT_EQ(txt(d, "txtUsuarioMySQL")->text(), "root");
        const auto valores =
            uitest::valores("txtEmpresa=1|txtRestaurante=2|txtTPV=3|txtIpServidor=10.0.0.5|txtNombreBaseDatos=ventas");
        for (const auto& [t, v] : valores.asKeyValueRange()) {
            EXPECT_TRUE(txt(d, t.toLatin1())->text().isEmpty()) << t.toStdString();
            txt(d, t.toLatin1())->setText(v);
        }
        pulsa(d, "ctrAceptar");
    });
    EXPECT_THROW(objParametros().GetParamReg(), program::Ended);
    const auto guardado =
        uitest::valores("TPV=3|IpServidor=10.0.0.5|UsuarioMysql=root|MysqlPassword=0|NombreBBDDServidor=ventas");
    for (const auto& [clave, valor] : guardado.asKeyValueRange())
        EXPECT_EQ(leeRegistro(clave), valor) << clave.toStdString();
    EXPECT_TRUE(respuestas.textos().contains(
        "Parámetros grabados correctamente. Debes reiniciar el programa para que se apliquen los cambios"));

    program::resetForTests();
    uitest::escribeRegistro("MysqlPassword=1|UsuarioMysql=");
    objParametros().GetParamReg();
    QStringList captions;
    respuestas.formularios["frmTeclado"] = [&captions] {
        captions << frmTeclado::peticion().caption;
        frmTeclado::peticion().texto = "7";
        return captions.size() == 1 ? 1 : 0; // the second one is left with ESC
    };
    enElDialogo([&captions](frmConfig& d) {
        EXPECT_EQ(txt(d, "txtPasswordMySQL")->text(), "1");
        EXPECT_EQ(txt(d, "txtUsuarioMySQL")->text(), "root"); // empty shows as root
        const auto toca = [&d](const char* casilla) {
            QTest::mouseClick(txt(d, casilla), Qt::LeftButton);
            QCoreApplication::processEvents();
            return txt(d, casilla)->text();
        };
        EXPECT_EQ(toca("txtRestaurante"), "7");
        EXPECT_EQ(toca("txtIpServidor"), "10.0.0.5"); // cancelled: unchanged
        // The focus alone opens nothing, and the database name has no keyboard.
        txt(d, "txtTPV")->setFocus();
        toca("txtNombreBaseDatos");
        EXPECT_EQ(captions, (QStringList{"Restaurante:", "IP del servidor MySQL:"}));
        pulsa(d, "ctrCancelar");
    });
    EXPECT_EQ(respuestas.showForm("frmConfig"), 0);
    EXPECT_EQ(leeRegistro("Restaurante"), "2");

    enElDialogo([](frmConfig& d) {
        EXPECT_EQ(txt(d, "txtRestaurante")->text(), "2");
        txt(d, "txtUsuarioMySQL")->clear();
        pulsa(d, "ctrAceptar");
    });
    EXPECT_EQ(respuestas.showForm("frmConfig"), 1);
    EXPECT_EQ(leeRegistro("MysqlPassword"), "1");
    EXPECT_EQ(leeRegistro("UsuarioMysql"), "");
    EXPECT_EQ(objParametros().getValor("UsuarioMysql"), "");
    // A password stored as "0" shows empty.
    uitest::escribeRegistro("MysqlPassword=0");
    objParametros().GetParamReg();
    EXPECT_TRUE(txt(frmConfig(), "txtPasswordMySQL")->text().isEmpty());
}
