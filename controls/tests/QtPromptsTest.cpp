#include "controls/QtPrompts.h"
#include "ControlsTest.h"
#include "controls/ctrBoton.h"

#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

using B = QMessageBox;

// Low bits: the buttons and their order; 16..64: the icon; 256, 512: the second or third button is the default.
TEST(QtPrompts, StyleGivesButtonsIconAndDefault) {
    const struct {
        int estilo;
        QList<B::StandardButton> botones;
        B::StandardButton escape, porDefecto;
        B::Icon icono;
    } casos[] = {
        {0, {B::Ok}, B::Ok, B::Ok, B::NoIcon},
        {1, {B::Ok, B::Cancel}, B::Cancel, B::Ok, B::NoIcon},
        {2, {B::Abort, B::Retry, B::Ignore}, B::NoButton, B::Abort, B::NoIcon},
        {3 + 512, {B::Yes, B::No, B::Cancel}, B::Cancel, B::Cancel, B::NoIcon},
        {4 + 256, {B::Yes, B::No}, B::NoButton, B::No, B::NoIcon},
        {4 + 512, {B::Yes, B::No}, B::NoButton, B::Yes, B::NoIcon}, // no third button: the first
        {5 + 16, {B::Retry, B::Cancel}, B::Cancel, B::Retry, B::Critical},
        {36, {B::Yes, B::No}, B::NoButton, B::Yes, B::Question}, // the main window's exit question
        {48, {B::Ok}, B::Ok, B::Ok, B::Warning},
        {52, {B::Yes, B::No}, B::NoButton, B::Yes, B::Warning},
        {64, {B::Ok}, B::Ok, B::Ok, B::Information},
        {68, {B::Yes, B::No}, B::NoButton, B::Yes, B::Information},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.estilo);
        const QtPrompts::Caja caja = QtPrompts::cajaParaEstilo(c.estilo);
        EXPECT_EQ(caja.botones, c.botones);
        EXPECT_EQ(caja.escape, c.escape);
        EXPECT_EQ(caja.porDefecto, c.porDefecto);
        EXPECT_EQ(caja.icono, c.icono);
    }
    const B::StandardButton respuestas[] = {B::Ok, B::Cancel, B::Abort, B::Retry, B::Ignore, B::Yes, B::No};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(QtPrompts::respuesta(respuestas[i]), i + 1); // vbOK = 1 ... vbNo = 7
}

class QtPromptsTest : public ControlsTest {};

TEST_F(QtPromptsTest, ShownBoxHasSpanishButtonsAndAnswersWithTheCodeOfTheOnePressed) {
    QtPrompts qt;
    QStringList textos;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton* b : box->buttons())
            textos << b->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(qt.messageBox("¿Deseas cerrar el programa?", 36, QString()), 7);
    textos.sort();
    EXPECT_EQ(textos, QStringList({"No", "Sí"}));
}

// A finger finds the buttons of a box: each is as big as the configuration dialog's touch buttons,
// and still answers with its own code. The input box's buttons too.
TEST_F(QtPromptsTest, BoxButtonsHaveTheSizeOfTheTouchButtons) {
    ctrBoton tactil;
    tactil.setTipoBoton(2);
    QtPrompts qt;
    QList<QSize> tamanos;
    const auto mide = [&tamanos](QWidget* caja, const char* pulsar) {
        ASSERT_NE(caja, nullptr);
        for (QPushButton* b : caja->findChildren<QPushButton*>()) {
            tamanos << b->size();
            if (b->text() == QString::fromUtf8(pulsar))
                QTimer::singleShot(0, b, &QPushButton::click);
        }
    };
    QTimer::singleShot(0, [&] { mide(QApplication::activeModalWidget(), "Cancelar"); });
    EXPECT_EQ(qt.messageBox("¿Guardar los cambios?", 3 + 32, QString()), prompts::vbCancel);
    QTimer::singleShot(0, [&] { mide(QApplication::activeModalWidget(), "Aceptar"); });
    QString valor = "1";
    EXPECT_TRUE(qt.inputBox("Número de TPV", QString(), valor));
    ASSERT_EQ(tamanos.size(), 5);
    for (const QSize& t : tamanos) {
        EXPECT_GE(t.width(), tactil.width());
        EXPECT_GE(t.height(), tactil.height());
    }
}

TEST_F(QtPromptsTest, UnknownFormAnswersZeroAndIsLogged) {
    QtPrompts qt;
    EXPECT_EQ(qt.showForm("frmNoExiste"), 0);
    EXPECT_TRUE(logContiene("frmNoExiste"));
    EXPECT_TRUE(prompts::formFactory("frmPassword")); // installing it registers the keypads
}

} // namespace
