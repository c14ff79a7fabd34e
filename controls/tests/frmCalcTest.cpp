#include "controls/frmCalc.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"
#include "controls/ctrBoton.h"

#include <QLabel>
#include <QLocale>
#include <QTest>
#include <QTimer>

namespace {

class frmCalcTest : public KeypadTest<frmCalc> {
protected:
    void TearDown() override {
        KeypadTest::TearDown();
        QLocale::setDefault(QLocale::c());
    }
    QString visor() const { return m_f->visor(); }
};

TEST_F(frmCalcTest, FirstDigitReplacesTheCallersValueAndEnterAccepts) {
    m_f->setVisor("1");
    teclas("2 5 ENTER");
    EXPECT_EQ(visor(), "25");
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());
}

TEST_F(frmCalcTest, LeadingZerosGoOnlyWhileNormalising) {
    teclas("1 AC 7"); // AC does not bring the first-key state back
    EXPECT_EQ(visor(), "7");
    frmCalc otro;
    otro.blnEliminaCerosIzquierda = false;
    otro.show();
    for (const char* t : {"1", "AC", "7"})
        raton::toca(otro.tecla(t));
    EXPECT_EQ(otro.visor(), "07");
}

TEST_F(frmCalcTest, ZerosAfterTheDecimalPointSurvive) {
    teclas("1 DEC 0");
    EXPECT_EQ(visor(), "1.0");
    teclas("5");
    EXPECT_EQ(visor(), "1.05");
    teclas("0 0");
    EXPECT_EQ(visor(), "1.0500");
    teclas("ENTER"); // the accepted number is in its short form
    EXPECT_EQ(visor(), "1.05");
}

TEST_F(frmCalcTest, DecimalKeyAddsOnePointAtMost) {
    teclas("DEC");
    EXPECT_EQ(visor(), "0.");
    teclas("DEC");
    EXPECT_EQ(visor(), "0.");
    teclas("AC 1 2 DEC");
    EXPECT_EQ(visor(), "12.");
    teclas("DEC"); // "12." has no fraction yet, but it has its point
    EXPECT_EQ(visor(), "12.");
    teclas("5 DEC");
    EXPECT_EQ(visor(), "12.5");
    escribe("."); // nor a comma from the keyboard
    EXPECT_EQ(visor(), "12.5");
}

TEST_F(frmCalcTest, KeyboardDecimalKeyStartsANumberWhenNothingWasTyped) {
    m_f->setVisor("1");
    escribe(",5");
    EXPECT_EQ(visor(), "0.5"); // not 1.5
}

TEST_F(frmCalcTest, DisplayHoldsAtMostMaxLongitudCharacters) {
    teclas("1 2 3 4 5 6 7 8");
    EXPECT_EQ(visor(), "12345678");
    teclas("9");
    escribe("9");
    EXPECT_EQ(visor(), "12345678");
    m_f->setMaxLongitud(3);
    teclas("AC 1 2 3 4");
    EXPECT_EQ(visor(), "123");
}

TEST_F(frmCalcTest, IntegersOnlyIgnoresEveryDecimalKey) {
    m_f->blnSoloEnteros = true;
    teclas("4 DEC");
    escribe(".,");
    EXPECT_EQ(visor(), "4");
}

TEST_F(frmCalcTest, MinusTogglesOnlyWhenAllowed) {
    teclas("2 5");
    escribe("-");
    EXPECT_EQ(visor(), "25");
    m_f->blnPermitirNegativo = true;
    escribe("-");
    EXPECT_EQ(visor(), "-25");
    escribe("-");
    EXPECT_EQ(visor(), "25");
}

TEST_F(frmCalcTest, BackspaceAndRetTreatALoneMinusDifferently) {
    m_f->blnPermitirNegativo = true;
    teclas("5");
    escribe("-");
    QTest::keyClick(m_f.get(), Qt::Key_Backspace);
    EXPECT_EQ(visor(), "0");
    escribe("5-");
    ASSERT_EQ(visor(), "-5");
    teclas("RET");
    EXPECT_EQ(visor(), "-");
    teclas("RET RET");
    EXPECT_EQ(visor(), "0");
}

TEST_F(frmCalcTest, BackspaceReadsTheNumberWhateverTheLocale) {
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    m_f->setVisor("1.25");
    QTest::keyClick(m_f.get(), Qt::Key_Backspace);
    EXPECT_EQ(visor(), "1,2");
    QTest::keyClick(m_f.get(), Qt::Key_Backspace);
    EXPECT_EQ(visor(), "1");
}

TEST_F(frmCalcTest, CancelAndTheEnterBlock) {
    teclas("3");
    raton::toca(hijo<ctrBoton>("ctrCancelar"));
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());

    m_f->show();
    m_f->blnIntroDesactivado = true;
    teclas("ENTER");
    QTest::keyClick(m_f.get(), Qt::Key_Return);
    raton::toca(hijo<ctrBoton>("ctrAceptar"));
    EXPECT_TRUE(m_f->isVisible());
    EXPECT_FALSE(m_f->blnOk);
    QTest::keyClick(m_f.get(), Qt::Key_Escape); // only Cancelar cancels
    EXPECT_TRUE(m_f->isVisible());

    m_f->blnIntroDesactivado = false;
    raton::toca(hijo<ctrBoton>("ctrAceptar"));
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_EQ(visor(), "3");
}

TEST_F(frmCalcTest, QuickDoubleTapTypesTwice) {
    teclas("AC");
    raton::dobleToque(m_f->tecla("4"));
    EXPECT_EQ(visor(), "44");
}

// ---------------------------------------------------------------- modal use

TEST_F(frmCalcTest, PedirShowsANewWindowEachTime) {
    int veces = 0;
    auto tecleaNueve = [&] {
        auto* f = qobject_cast<frmCalc*>(QApplication::activeModalWidget());
        ASSERT_NE(f, nullptr);
        ++veces;
        EXPECT_EQ(f->findChild<QLabel*>("lblDesc")->text(), "Peso");
        raton::toca(f->tecla("9"));
        raton::toca(f->tecla("ENTER"));
    };
    QString valor = "1";
    QTimer::singleShot(0, tecleaNueve);
    ASSERT_TRUE(frmCalc::Pedir("Peso", valor));
    EXPECT_EQ(valor, "9");

    // a second time starts afresh: the first digit replaces the value again
    QTimer::singleShot(0, tecleaNueve);
    ASSERT_TRUE(frmCalc::Pedir("Peso", valor));
    EXPECT_EQ(valor, "9");
    EXPECT_EQ(veces, 2);
}

TEST_F(frmCalcTest, PedirTakesAScriptedAnswer) {
    m_prompts.formAnswers["frmCalc"] = {0};
    QString valor = "2";
    EXPECT_FALSE(frmCalc::Pedir("Peso", valor));
    EXPECT_EQ(valor, "2");
    ASSERT_EQ(m_prompts.calls.size(), 1u);
    EXPECT_EQ(m_prompts.calls[0].text, "frmCalc");
}

} // namespace
