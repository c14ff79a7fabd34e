#include "controls/frmCalc.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"
#include "controls/ctrBoton.h"

#include <QLabel>
#include <QLocale>

namespace {

class frmCalcTest : public KeypadTest<frmCalc> {
protected:
    void TearDown() override {
        KeypadTest::TearDown();
        QLocale::setDefault(QLocale::c());
    }
};

// The display after each step: on-screen keys by Tag ("2 5"), typed keys after "=" ("=,5", "=\b" the
// Backspace key). The window's switches: E integers only, - negatives allowed, 0 leading zeros kept,
// 3 at most three characters, L a Spanish locale.
TEST_F(frmCalcTest, DisplayAfterEachKey) {
    const struct {
        const char *modo, *inicial;
        std::vector<std::pair<QString, QString>> pasos;
    } casos[] = {
        {"", "1", {{"2 5", "25"}, {"ENTER", "25"}}}, // the first digit replaces the caller's value
        {"", "0", {{"1 AC 7", "7"}}},                // AC does not bring the first-key state back
        {"0", "0", {{"1 AC 7", "07"}}},
        // Zeros after the decimal point survive; the accepted number is in its short form.
        {"", "0", {{"1 DEC 0", "1.0"}, {"5", "1.05"}, {"0 0", "1.0500"}, {"ENTER", "1.05"}}},
        // One point at most, also for "12." that has no fraction yet, nor from the keyboard.
        {"",
         "0",
         {{"DEC", "0."}, {"DEC", "0."}, {"AC 1 2 DEC", "12."}, {"DEC", "12."}, {"5 DEC", "12.5"}, {"=.", "12.5"}}},
        {"", "1", {{"=,5", "0.5"}}}, // the keyboard's decimal key starts a number when nothing was typed
        // The display reaches one character past MaxLongitud (8, or 3 here), digit or point alike.
        {"", "0", {{"1 2 3 4 5 6 7 8", "12345678"}, {"9", "123456789"}, {"1", "123456789"}, {"=9", "123456789"}}},
        {"", "0", {{"1 2 3 4 5 6 7 DEC", "1234567."}, {"=5", "1234567.5"}}},
        {"", "0", {{"1 2 3 4 5 6 7 8 DEC", "12345678."}, {"AC 1 2 3 4 5 6 7 8 9 DEC", "123456789"}}},
        {"3", "0", {{"1 2 3 4 5", "1234"}, {"=5", "1234"}}},
        {"E", "0", {{"4 DEC", "4"}, {"=.,", "4"}}},
        {"", "0", {{"2 5", "25"}, {"=-", "25"}}},
        {"-", "0", {{"2 5", "25"}, {"=-", "-25"}, {"=-", "25"}}},
        // Backspace and RET treat a lone minus differently.
        {"-", "0", {{"5", "5"}, {"=-", "-5"}, {"=\b", "0"}, {"=5-", "-5"}, {"RET", "-"}, {"RET RET", "0"}}},
        {"L", "1.25", {{"=\b", "1,2"}, {"=\b", "1"}}}, // Backspace reads the number whatever the locale
    };
    for (const auto& k : casos) {
        const QString modo = QString::fromLatin1(k.modo);
        QLocale::setDefault(modo.contains('L') ? QLocale(QLocale::Spanish, QLocale::Spain) : QLocale::c());
        m_f = std::make_unique<frmCalc>();
        m_f->blnSoloEnteros = modo.contains('E');
        m_f->blnPermitirNegativo = modo.contains('-');
        m_f->blnEliminaCerosIzquierda = !modo.contains('0');
        if (modo.contains('3'))
            m_f->setMaxLongitud(3);
        m_f->setVisor(k.inicial);
        m_f->show();
        for (const auto& [accion, visor] : k.pasos) {
            haz(accion);
            EXPECT_EQ(m_f->visor(), visor) << k.modo << " " << k.inicial << " " << accion.toStdString();
        }
    }
}

TEST_F(frmCalcTest, DoubleTapCancelAndTheEnterBlock) {
    raton::dobleToque(m_f->tecla("3")); // a quick double tap types twice
    EXPECT_EQ(m_f->visor(), "33");
    raton::toca(hijo<ctrBoton>("ctrCancelar"));
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());

    m_f->show();
    m_f->blnIntroDesactivado = true;
    teclas("ENTER");
    escribe("\r\x1b"); // nor does Escape cancel: only Cancelar does
    raton::toca(hijo<ctrBoton>("ctrAceptar"));
    EXPECT_TRUE(m_f->isVisible());
    EXPECT_FALSE(m_f->blnOk);

    m_f->blnIntroDesactivado = false;
    raton::toca(hijo<ctrBoton>("ctrAceptar"));
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_EQ(m_f->visor(), "33");
}

// ---------------------------------------------------------------- modal use

TEST_F(frmCalcTest, PedirShowsANewWindowEachTime) {
    QString valor = "1";
    for (int vez = 0; vez < 2; ++vez) { // the second time starts afresh: the first digit replaces the value
        alAbrir("9 ENTER", [](frmCalc* f) { EXPECT_EQ(f->findChild<QLabel*>("lblDesc")->text(), "Peso"); });
        ASSERT_TRUE(frmCalc::Pedir("Peso", valor));
        EXPECT_EQ(valor, "9");
    }
}

} // namespace
