#include "controls/frmTeclado.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"
#include "testsupport/TestEnv.h"

#include <QLineEdit>
#include <QPlainTextEdit>

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

// The text and the cursor after the keys, typed into a fresh keyboard holding `antes` with a selection.
TEST_F(frmTecladoTest, LayersAndEditingAtTheCursorOrTheSelection) {
    const struct {
        bool simbolos;
        const char* antes;
        int ancla, cursor;
        const char *teclas, *despues;
        int cursorDespues;
    } casos[] = {
        {false, "", 0, 0, "SHIFT|a|a|SHIFT|SHIFT|a", "Aaa", 3}, // SHIFT makes only the next key upper case
        {false, "", 0, 0, "MAY|a|.|,|<|1|ñ", "A:_>1Ñ", 6},      // the MAY lock also shifts the punctuation
        {false, "", 0, 0, "MAY|SHIFT|a|b|MAY|c", "ABc", 3},     // a one-shot key leaves the lock on
        {true, "", 0, 0, "MAY|2|6|0|CTRL|MAY|a", "@6=\\a", 5},  // CTRL with symbols does not arm the one-shot layer
        {false, "ab", 1, 1, "     |x", "a     xb", 7},          // the five-space key, inserted at the cursor
        {false, "abcd", 3, 1, "x", "axbcd", 2},                 // typing over a selection inserts at its start
        {false, "abcd", 0, 0, "RET", "abcd", 0},                // RET deletes back, or the selection
        {false, "abcd", 1, 3, "RET", "ad", 1},
    };
    for (const auto& k : casos) {
        m_f = std::make_unique<frmTeclado>();
        m_f->blnHabilitarSimbolos = k.simbolos;
        m_f->show();
        m_f->setTexto(k.antes);
        QTextCursor c = txt()->textCursor();
        c.setPosition(k.ancla);
        c.setPosition(k.cursor, QTextCursor::KeepAnchor);
        txt()->setTextCursor(c);
        teclas(QString::fromUtf8(k.teclas));
        EXPECT_EQ(texto(), QString::fromUtf8(k.despues)) << k.teclas;
        EXPECT_EQ(txt()->textCursor().position(), k.cursorDespues) << k.teclas;
        EXPECT_FALSE(txt()->textCursor().hasSelection());
        EXPECT_FALSE(hijo<ImagenTecla>("imgTecla0")->hundida());
        EXPECT_FALSE(hijo<ImagenTecla>("imgTecla1001")->hundida());
    }
    teclas("MAY");
    EXPECT_TRUE(hijo<ImagenTecla>("imgTecla1048")->hundida());
    EXPECT_EQ(m_f->tecla("a")->etiqueta(), "A"); // the faces show what the keys type
    ImagenTecla* a = m_f->tecla("a");            // a key held down stays sunk until it is let go
    QTest::mousePress(a, Qt::LeftButton);
    EXPECT_TRUE(a->hundida());
    QTest::mouseRelease(a, Qt::LeftButton);
    EXPECT_FALSE(a->hundida());
}

// Every key of the layout by its Index. The text keys, tapped in order in each layer; then each
// command key (both of a pair) tapped on "ab", and "c" after it unless it hid the window.
TEST_F(frmTecladoTest, EveryKeyInEachLayer) {
    const int deTexto[] = {1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029, 1030, 1032, 1012, 1013, 1014,
                           1033, 1015, 1016, 1017, 1018, 1019, 1020, 1034, 1035, 1036, 1011, 1037, 1038, 1039,
                           1041, 1040, 1042, 1,    1005, 1004, 1003, 1010, 1009, 1008, 1007, 1006, 1002, 1043};
    const struct {
        bool simbolos, may;
        const char* tecleado;
    } capas[] = {
        {false, false, "1234567890     qwertyuiopasdfghjklñ<zxcvbnm,. "},
        {true, false, "1234567890     qwertyuiopasdfghjklñ<zxcvbnm,. "},
        {false, true, "1234567890     QWERTYUIOPASDFGHJKLÑ>ZXCVBNM_: "},
        {true, true, "!@#$%6/()=     QWERTYUIOPASDFGHJKLÑ>ZXCVBNM_: "},
    };
    const struct {
        int indice;
        bool simbolos;
        const char* despues;
        bool visible, ok;
    } mandos[] = {
        {0, false, "abC", true, true},    {1001, false, "abC", true, true},  {1046, false, "abC", true, true},
        {1050, false, "abC", true, true}, {1046, true, "ab\\c", true, true}, {1050, true, "ab\\c", true, true},
        {1047, false, "c", true, true},   {1049, false, "c", true, true},    {1045, false, "ac", true, true},
        {1048, false, "abC", true, true}, {1044, false, "ab", false, true},  {1031, false, "ab", false, false},
    };
    auto nueva = [this](bool simbolos, const char* antes) {
        m_f = std::make_unique<frmTeclado>();
        m_f->blnHabilitarSimbolos = simbolos;
        m_f->show();
        m_f->setTexto(QString::fromUtf8(antes));
        txt()->moveCursor(QTextCursor::End);
    };
    auto toca = [this](int indice) {
        auto* k = hijo<ImagenTecla>(qPrintable(QStringLiteral("imgTecla%1").arg(indice)));
        ASSERT_NE(k, nullptr) << indice;
        raton::toca(k);
    };
    for (const auto& c : capas) {
        nueva(c.simbolos, "");
        if (c.may)
            toca(1048);
        for (int i : deTexto)
            toca(i);
        EXPECT_EQ(texto(), QString::fromUtf8(c.tecleado)) << c.simbolos << c.may;
    }
    for (const auto& m : mandos) {
        nueva(m.simbolos, "ab");
        toca(m.indice);
        EXPECT_EQ(m_f->isVisible(), m.visible) << m.indice;
        EXPECT_EQ(m_f->blnOk, m.ok) << m.indice;
        if (m.visible)
            toca(1003);
        EXPECT_EQ(texto(), QString::fromUtf8(m.despues)) << m.indice << " " << m.simbolos;
    }
}

TEST_F(frmTecladoTest, EnterAcceptsAltClearsEscapeCancels) {
    QTest::keyClicks(txt(), "abc");
    QTest::keyClick(txt(), Qt::Key_Return); // the physical Enter accepts and is not typed
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_EQ(texto(), "abc");
    m_f->show();
    teclas("MAY|ENTER"); // with upper case on, the touch Enter types a new line
    EXPECT_TRUE(m_f->isVisible());
    EXPECT_EQ(texto(), "abc\n");
    teclas("MAY|ENTER");
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_TRUE(m_f->blnOk);
    m_f->show();
    teclas("ALT");
    EXPECT_EQ(texto(), "");
    QTest::keyClick(txt(), Qt::Key_Escape); // the touch ESC cancels in the Pedir test
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());
}

// ---------------------------------------------------------------- modal use

TEST_F(frmTecladoTest, PedirReturnsTheEditedTextOnlyWhenAccepted) {
    QString texto = "1";
    for (const char* tags : {"2|ENTER", "ALT|ESC"}) {
        alAbrir(tags, [](frmTeclado* f) { EXPECT_EQ(f->windowTitle(), "Empresa:"); });
        EXPECT_EQ(frmTeclado::Pedir("Empresa:", texto), tags[0] == '2');
        EXPECT_EQ(texto, "12");
    }
}

TEST_F(frmTecladoTest, FieldOpensTheKeyboardOnATapNotOnFocus) {
    QString pedido;
    prompts::registerForm("frmTeclado", [&] {
        pedido = frmTeclado::peticion().caption + frmTeclado::peticion().texto;
        frmTeclado::peticion().texto = "tpv";
        return 1;
    });
    QWidget ventana;
    auto* campo = new QLineEdit("root", &ventana);
    frmTeclado::abrirAlTocar(campo, [] { return QStringLiteral("Usuario MySQL:"); });
    ventana.show();
    campo->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(pedido, "");
    QTest::mouseClick(campo, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(pedido, "Usuario MySQL:root");
    EXPECT_EQ(campo->text(), "tpv");
}

} // namespace
