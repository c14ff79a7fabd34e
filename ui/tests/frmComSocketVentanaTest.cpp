// The request server's window: the trace layout (installation switch), the informative one (cancel).
#include "ui/frmComSocketVentana.h"
#include "ui/tests/UiTest.h"

#include "controls/ctrBoton.h"
#include "server/SocketWindowPort.h"
#include "server/frmComSocket.h"
#include "testsupport/Waits.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

class frmComSocketVentanaTest : public uitest::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        setSocketWindowFactory([] { return std::make_unique<frmComSocketVentana>(); });
    }
    void TearDown() override {
        setSocketWindowFactory(nullptr);
        UiTest::TearDown();
    }
};

TEST_F(frmComSocketVentanaTest, TraceLayoutOnlyWithTheInstallationSwitch) {
    frmComSocket sinVentana;
    qint32 p = 0;
    ASSERT_TRUE(sinVentana.IniciaEscucha(p));
    EXPECT_EQ(sinVentana.ventana(), nullptr);

    gblnInstal = true;
    frmComSocket conVentana;
    p = 0;
    ASSERT_TRUE(conVentana.IniciaEscucha(p));
    QWidget* w = conVentana.ventana();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->findChild<QLabel*>("lblHostID")->text().startsWith("Host Id: "));
    EXPECT_TRUE(w->findChild<QLabel*>("lblAddress")->text().startsWith("Address: "));
    EXPECT_EQ(servertest::enHilo([p] { return uitest::pide(quint16(p), "{}"); }), "200 OK\r");
    // The trace lines without the seconds (from the first after it was made), the last one selected.
    auto* lista = w->findChild<QListWidget*>("List1");
    EXPECT_EQ(lista->item(0)->text(), "Listening to port: 0");
    for (const char* linea : {"Received: {} from 127.0.0.1(", "Sending: 200 OK\r to 127.0.0.1"})
        EXPECT_EQ(lista->findItems(linea, Qt::MatchStartsWith).size(), 1) << linea;
    EXPECT_EQ(lista->currentRow(), lista->count() - 1);
    EXPECT_TRUE(waits::until([&] { return conVentana.conexionesAbiertas() == 0; }, "the connection to close"));
    EXPECT_EQ(w->findChild<QLabel*>("lblConnections")->text(), "conexiones: 0");
}

TEST_F(frmComSocketVentanaTest, InformativeLayoutOpensOnTopCancelsHidesBackAndCopiesLines) {
    frmComSocket ventana;
    ventana.abrirFormularioInformativoUsuarioNoModalSiempreVisible();
    QWidget* w = ventana.ventana();
    ASSERT_NE(w, nullptr);
    auto* lista = w->findChild<QListWidget*>("List1");
    auto* texto = w->findChild<QPlainTextEdit*>("txtLabel");
    auto* etiqueta = w->findChild<QLabel*>("Label1");
    auto* boton = w->findChild<ctrBoton*>("btnSalir");
    const auto estado = [&] {
        return QVariantList{w->isVisible(),          bool(w->windowFlags() & Qt::WindowStaysOnTopHint),
                            lista->isHidden(),       etiqueta->isHidden(),
                            texto->geometry().top(), boton->Caption()};
    };
    EXPECT_EQ(estado(), (QVariantList{true, true, true, false, 8, "Cancelar"}));
    ventana.mostrarTexto("Imprimiendo...");
    ventana.mostrarTextoLabel("1 de 3");
    EXPECT_EQ(texto->toPlainText() + etiqueta->text(), "Imprimiendo...1 de 3");
    EXPECT_FALSE(ventana.blnCanceladoPorUsuario());
    emit boton->Click();
    EXPECT_TRUE(ventana.blnCanceladoPorUsuario());
    EXPECT_EQ(estado(), (QVariantList{false, false, false, true, 336, "Salir"}));
    lista->addItems({"uno", "dos"});
    emit lista->itemClicked(lista->item(1));
    EXPECT_EQ(texto->toPlainText(), "dos");
    ventana.abrirFormularioInformativoUsuarioNoModalSiempreVisible();
    EXPECT_FALSE(ventana.blnCanceladoPorUsuario());
    ventana.ocultarFormulario();
    EXPECT_EQ(estado(), (QVariantList{false, false, false, true, 336, "Salir"}));
}

} // namespace
