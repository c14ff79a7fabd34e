#include "controls/QtPrompts.h"
#include "ControlsTest.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

namespace {

using B = QMessageBox;

TEST(QtPrompts, LowBitsGiveTheButtonsAndTheirOrder) {
    const struct {
        int estilo;
        QList<B::StandardButton> botones;
        B::StandardButton escape;
    } casos[] = {
        {0, {B::Ok}, B::Ok},
        {1, {B::Ok, B::Cancel}, B::Cancel},
        {2, {B::Abort, B::Retry, B::Ignore}, B::NoButton},
        {3, {B::Yes, B::No, B::Cancel}, B::Cancel},
        {4, {B::Yes, B::No}, B::NoButton},
        {5, {B::Retry, B::Cancel}, B::Cancel},
        {36, {B::Yes, B::No}, B::NoButton}, // the main window's exit question
        {68, {B::Yes, B::No}, B::NoButton},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.estilo);
        const QtPrompts::Caja caja = QtPrompts::cajaParaEstilo(c.estilo);
        EXPECT_EQ(caja.botones, c.botones);
        EXPECT_EQ(caja.escape, c.escape);
        EXPECT_EQ(caja.porDefecto, c.botones.first());
    }
}

TEST(QtPrompts, IconBitsAndDefaultButton) {
    EXPECT_EQ(QtPrompts::cajaParaEstilo(0).icono, B::NoIcon);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(16).icono, B::Critical);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(36).icono, B::Question);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(48).icono, B::Warning);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(52).icono, B::Warning);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(64).icono, B::Information);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(4 + 256).porDefecto, B::No);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(3 + 512).porDefecto, B::Cancel);
    EXPECT_EQ(QtPrompts::cajaParaEstilo(4 + 512).porDefecto, B::Yes); // no third button: the first
}

TEST(QtPrompts, AnswerCodes) {
    EXPECT_EQ(QtPrompts::respuesta(B::Ok), 1);
    EXPECT_EQ(QtPrompts::respuesta(B::Cancel), 2);
    EXPECT_EQ(QtPrompts::respuesta(B::Abort), 3);
    EXPECT_EQ(QtPrompts::respuesta(B::Retry), 4);
    EXPECT_EQ(QtPrompts::respuesta(B::Ignore), 5);
    EXPECT_EQ(QtPrompts::respuesta(B::Yes), 6);
    EXPECT_EQ(QtPrompts::respuesta(B::No), 7);
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

TEST_F(QtPromptsTest, UnknownFormAnswersZeroAndIsLogged) {
    QtPrompts qt;
    EXPECT_EQ(qt.showForm("frmNoExiste"), 0);
    EXPECT_TRUE(logContiene("frmNoExiste"));
    EXPECT_TRUE(prompts::formFactory("frmPassword")); // installing it registers the keypads
}

} // namespace
