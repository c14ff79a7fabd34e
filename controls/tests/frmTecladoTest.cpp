#include "controls/frmTeclado.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

namespace {

// On-screen keys are separated by "|" (the space keys have blank Tags).
class frmTecladoTest : public KeypadTest<frmTeclado> {
protected:
    frmTecladoTest() : KeypadTest(QLatin1Char('|')) {}
    void TearDown() override {
        KeypadTest::TearDown();
        prompts::registerForm("frmTeclado", &frmTeclado::mostrar);
    }
    QString texto() const { return m_f->texto(); }
    QPlainTextEdit* txt() const { return hijo<QPlainTextEdit>("txtTexto"); }
};

TEST_F(frmTecladoTest, EnterAcceptsUnlessUpperCaseIsOnThenItTypesANewLine) {
    teclas("h|o|l|a|MAY|ENTER");
    EXPECT_TRUE(m_f->isVisible());
    EXPECT_EQ(texto(), "hola\n");
    teclas("MAY|ENTER");
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_TRUE(m_f->blnOk);
}

TEST_F(frmTecladoTest, ShiftMakesOnlyTheNextKeyUpperCase) {
    teclas("SHIFT|a|a");
    EXPECT_EQ(texto(), "Aa");
    teclas("SHIFT|SHIFT|a");
    EXPECT_EQ(texto(), "Aaa");
    EXPECT_FALSE(hijo<ImagenTecla>("imgTecla0")->hundida());
    EXPECT_FALSE(hijo<ImagenTecla>("imgTecla1001")->hundida());
}

TEST_F(frmTecladoTest, MayLockTypesUpperCaseAndShiftedPunctuation) {
    teclas("MAY|a|.|,|<|1|ñ");
    EXPECT_EQ(texto(), "A:_>1Ñ");
    EXPECT_EQ(m_f->tecla("a")->etiqueta(), "A"); // the faces show what the keys type
}

TEST_F(frmTecladoTest, OneShotKeyLeavesTheMayLockOn) {
    teclas("MAY|SHIFT|a|b");
    EXPECT_EQ(texto(), "AB");
    EXPECT_TRUE(hijo<ImagenTecla>("imgTecla1048")->hundida());
    teclas("MAY|c");
    EXPECT_EQ(texto(), "ABc");
    EXPECT_FALSE(hijo<ImagenTecla>("imgTecla1048")->hundida());
}

TEST_F(frmTecladoTest, SymbolLayer) {
    m_f->blnHabilitarSimbolos = true;
    teclas("MAY|2|6|0|CTRL");
    EXPECT_EQ(texto(), "@6=\\");
    teclas("MAY|a"); // CTRL with symbols did not arm the one-shot layer
    EXPECT_EQ(texto(), "@6=\\a");
}

TEST_F(frmTecladoTest, FiveSpaceKeyAndInsertionAtTheCursor) {
    m_f->setTexto("ab");
    QTextCursor c = txt()->textCursor();
    c.setPosition(1);
    txt()->setTextCursor(c);
    teclas("     |x");
    EXPECT_EQ(texto(), "a     xb");
    EXPECT_EQ(txt()->textCursor().position(), 7);
}

TEST_F(frmTecladoTest, TypingOverASelectionInsertsAtItsStart) {
    m_f->setTexto("abcd");
    QTextCursor c = txt()->textCursor();
    c.setPosition(3);
    c.setPosition(1, QTextCursor::KeepAnchor);
    txt()->setTextCursor(c);
    teclas("x");
    EXPECT_EQ(texto(), "axbcd");
    EXPECT_FALSE(txt()->textCursor().hasSelection());
}

TEST_F(frmTecladoTest, RetDeletesBackOrTheSelection) {
    m_f->setTexto("abcd");
    QTextCursor c = txt()->textCursor();
    c.setPosition(0);
    txt()->setTextCursor(c);
    teclas("RET");
    EXPECT_EQ(texto(), "abcd");
    c.setPosition(1);
    c.setPosition(3, QTextCursor::KeepAnchor);
    txt()->setTextCursor(c);
    teclas("RET");
    EXPECT_EQ(texto(), "ad");
    EXPECT_EQ(txt()->textCursor().position(), 1);
}

TEST_F(frmTecladoTest, AltClearsAndEscCancels) {
    m_f->setTexto("viejo");
    teclas("ALT");
    EXPECT_EQ(texto(), "");
    teclas("ESC");
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());
}

TEST_F(frmTecladoTest, PhysicalEnterAcceptsWithoutEatingCharactersAndEscapeCancels) {
    m_f->setTexto("abc");
    txt()->moveCursor(QTextCursor::End);
    QTest::keyClick(txt(), Qt::Key_Return);
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_EQ(texto(), "abc");

    m_f->show();
    QTest::keyClicks(txt(), "de");
    EXPECT_EQ(texto(), "abcde");
    QTest::keyClick(txt(), Qt::Key_Escape);
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());
}

// ---------------------------------------------------------------- modal use

TEST_F(frmTecladoTest, PedirReturnsTheEditedTextOnlyWhenAccepted) {
    auto pulsa = [](const char* tags) {
        return [tags] {
            auto* f = qobject_cast<frmTeclado*>(QApplication::activeModalWidget());
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(f->windowTitle(), "Empresa:");
            for (const QString& t : QString(tags).split('|'))
                raton::toca(f->tecla(t));
        };
    };
    QString texto = "1";
    QTimer::singleShot(0, pulsa("2|ENTER"));
    ASSERT_TRUE(frmTeclado::Pedir("Empresa:", texto));
    EXPECT_EQ(texto, "12");
    QTimer::singleShot(0, pulsa("ALT|ESC"));
    EXPECT_FALSE(frmTeclado::Pedir("Empresa:", texto));
    EXPECT_EQ(texto, "12");
}

TEST_F(frmTecladoTest, FieldOpensTheKeyboardOnATapNotOnFocus) {
    int abiertos = 0;
    prompts::registerForm("frmTeclado", [&] {
        ++abiertos;
        EXPECT_EQ(frmTeclado::peticion().caption, "Usuario MySQL:");
        EXPECT_EQ(frmTeclado::peticion().texto, "root");
        frmTeclado::peticion().texto = "tpv";
        return 1;
    });
    QWidget ventana;
    auto* campo = new QLineEdit("root", &ventana);
    frmTeclado::abrirAlTocar(campo, [] { return QStringLiteral("Usuario MySQL:"); });
    ventana.show();
    campo->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(abiertos, 0);
    QTest::mouseClick(campo, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(abiertos, 1);
    EXPECT_EQ(campo->text(), "tpv");
}

} // namespace
