// The configuration dialog: what it shows, what it stores, the keyboard on a tap, and a new
// opening after a cancel.
#include "ui/frmConfig.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "controls/frmTeclado.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using uitest::UiTest;

namespace {

class frmConfigTest : public UiTest {
protected:
    void cargaBase(const QList<QPair<QString, QString>>& extra = {}) {
        uitest::escribeRegistro({{QStringLiteral("IpServidor"), QStringLiteral("10.0.0.5")},
                                 {QStringLiteral("Empresa"), QStringLiteral("1")},
                                 {QStringLiteral("Restaurante"), QStringLiteral("2")},
                                 {QStringLiteral("TPV"), QStringLiteral("3")},
                                 {QStringLiteral("UsuarioMysql"), QStringLiteral("caja")},
                                 {QStringLiteral("MysqlPassword"), QStringLiteral("0")},
                                 {QStringLiteral("NombreBBDDServidor"), QStringLiteral("ventas")}});
        uitest::escribeRegistro(extra);
        objParametros().GetParamReg();
    }
};

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

TEST_F(frmConfigTest, LaPrimeraConfiguracionSinValoresGuardaLoBasico) {
    // No registry key at all: the store asks for the base settings, then the program ends.
    respuestas.formularios[QStringLiteral("frmConfig")] = [] {
        frmConfig d;
        for (QLineEdit* t : {txt(d, "txtEmpresa"), txt(d, "txtRestaurante"), txt(d, "txtTPV"), txt(d, "txtIpServidor"),
                             txt(d, "txtPasswordMySQL"), txt(d, "txtNombreBaseDatos")})
            EXPECT_TRUE(t->text().isEmpty());
        EXPECT_EQ(txt(d, "txtUsuarioMySQL")->text(), QStringLiteral("root"));
        txt(d, "txtEmpresa")->setText(QStringLiteral("1"));
        txt(d, "txtRestaurante")->setText(QStringLiteral("1"));
        txt(d, "txtTPV")->setText(QStringLiteral("4"));
        txt(d, "txtIpServidor")->setText(QStringLiteral("192.168.1.10"));
        txt(d, "txtNombreBaseDatos")->setText(QStringLiteral("Drovanto"));
        pulsa(d, "ctrAceptar");
        EXPECT_EQ(d.result(), QDialog::Accepted);
        return 1;
    };
    EXPECT_THROW(objParametros().GetParamReg(), program::Ended);

    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("TPV")), QStringLiteral("4"));
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("IpServidor")), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("UsuarioMysql")), QStringLiteral("root"));
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("MysqlPassword")), QStringLiteral("0"));
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("NombreBBDDServidor")), QStringLiteral("Drovanto"));
    EXPECT_TRUE(respuestas.textos().contains(QStringLiteral(
        "Parámetros grabados correctamente. Debes reiniciar el programa para que se apliquen los cambios")));
}

TEST_F(frmConfigTest, MuestraYGuardaLaContrasenaYElUsuarioTalCual) {
    cargaBase({{QStringLiteral("MysqlPassword"), QStringLiteral("1")}, {QStringLiteral("UsuarioMysql"), QString()}});
    frmConfig d;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("TPV Configuración:"));
    EXPECT_EQ(txt(d, "txtPasswordMySQL")->text(), QStringLiteral("1"));
    EXPECT_EQ(txt(d, "txtUsuarioMySQL")->text(), QStringLiteral("root")); // empty shows as root
    EXPECT_EQ(txt(d, "txtTPV")->text(), QStringLiteral("3"));
    EXPECT_EQ(txt(d, "txtNombreBaseDatos")->text(), QStringLiteral("ventas"));

    txt(d, "txtUsuarioMySQL")->clear();
    pulsa(d, "ctrAceptar");
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("MysqlPassword")), QStringLiteral("1"));
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("UsuarioMysql")), QString());
    EXPECT_EQ(objParametros().getValor(QStringLiteral("UsuarioMysql")), QString());
}

TEST_F(frmConfigTest, CancelarNoGuardaYLaSiguienteAperturaMuestraLoGuardado) {
    cargaBase();
    frmConfig::registrarFrmConfig();
    enElDialogo([](frmConfig& d) {
        EXPECT_EQ(txt(d, "txtRestaurante")->text(), QStringLiteral("2"));
        txt(d, "txtRestaurante")->setText(QStringLiteral("99"));
        pulsa(d, "ctrCancelar");
    });
    EXPECT_EQ(respuestas.showForm(QStringLiteral("frmConfig")), 0);
    EXPECT_EQ(uitest::leeRegistro(QStringLiteral("Restaurante")), QStringLiteral("2"));

    QString vistoLaSegundaVez;
    enElDialogo([&vistoLaSegundaVez](frmConfig& d) {
        vistoLaSegundaVez = txt(d, "txtRestaurante")->text();
        pulsa(d, "ctrAceptar");
    });
    EXPECT_EQ(respuestas.showForm(QStringLiteral("frmConfig")), 1);
    EXPECT_EQ(vistoLaSegundaVez, QStringLiteral("2"));
}

TEST_F(frmConfigTest, UnToqueEnUnaCasillaAbreElTecladoConSuEtiqueta) {
    cargaBase();
    frmConfig d;
    d.show();
    QStringList captions;
    std::deque<std::optional<QString>> tecleos = {QStringLiteral("7"), std::nullopt};
    respuestas.formularios[QStringLiteral("frmTeclado")] = [&] {
        captions << frmTeclado::peticion().caption;
        const std::optional<QString> t = tecleos.front();
        tecleos.pop_front();
        if (!t)
            return 0; // ESC
        frmTeclado::peticion().texto = *t;
        return 1;
    };

    QTest::mouseClick(txt(d, "txtRestaurante"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(txt(d, "txtRestaurante")->text(), QStringLiteral("7"));

    QTest::mouseClick(txt(d, "txtIpServidor"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(txt(d, "txtIpServidor")->text(), QStringLiteral("10.0.0.5")); // cancelled: unchanged
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Restaurante:"), QStringLiteral("IP del servidor MySQL:")}));

    // The focus alone opens nothing, and the database name has no keyboard.
    txt(d, "txtTPV")->setFocus();
    QTest::mouseClick(txt(d, "txtNombreBaseDatos"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(captions.size(), 2);
}
