#include "controls/frmPassword.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"
#include "core/basGeneral.h"

#include <QLabel>

namespace {

class frmPasswordTest : public KeypadTest<frmPassword> {
protected:
    void TearDown() override {
        KeypadTest::TearDown();
        gvarMapaTeclas.fill(QVariant());
    }
};

// The typed code after each step ("=" types on the keyboard, "*" is remapped to Enter), then OK when
// the code opened and "fuera" when the window closed; a closed window is shown again for the next step.
TEST_F(frmPasswordTest, CodeAfterEachKey) {
    gvarMapaTeclas['*'] = QVariantList{3, QString()};
    const struct {
        qint32 propio;
        qint16 tipo;
        std::vector<std::pair<const char*, const char*>> pasos;
    } casos[] = {
        {0, 0, {{"3 0 7 5", "3075"}, {"ENTER", "3075 OK fuera"}}}, // the fixed code
        // a leading zero stays on the touch keys and goes on the keyboard; both open
        {0, 0, {{"0 3 0 7 5", "03075"}, {"ENTER", "03075 OK fuera"}}},
        {0, 0, {{"=03075", "3075"}, {"=\r", "3075 OK fuera"}}},
        {0, 0, {{"=1.5", "1.5"}}}, // keyboard digits after the decimal key keep their value
        {0, 0, {{"1 2 3 4 5 6 7 8 9 1", "123456789"}, {"=2", "123456789"}}}, // the tenth digit is refused
        {0, 0, {{"3 0 7 5", "3075"}, {"=*", "3075 OK fuera"}}},
        {1234, 0, {{"3 0 7 5 ENTER", "3075 fuera"}, {"AC 1 2 3 4 ENTER", "1234 OK fuera"}}}, // its own code only
        // capture mode closes on the touch Enter without comparing; the keyboard's Enter still compares
        {0, 1, {{"3 0 7 5 ENTER", "3075 fuera"}, {"=\r", "3075 OK fuera"}}},
        // a trailing separator still matches
        {0,
         0,
         {{"RET", ""},
          {"3 0 7 5 DEC DEC", "3075,"},
          {"RET", "3075"},
          {"AC", ""},
          {"3 0 7 5 DEC ENTER", "3075, OK fuera"}}},
    };
    for (const auto& c : casos) {
        m_f = std::make_unique<frmPassword>();
        m_f->lngPassword = c.propio;
        m_f->intTipoForm = c.tipo;
        for (const auto& [accion, esperado] : c.pasos) {
            m_f->show();
            haz(accion);
            EXPECT_EQ((m_f->strPass + (m_f->blnOk ? " OK" : "") + (m_f->isVisible() ? "" : " fuera")).toStdString(),
                      esperado)
                << c.propio << " " << accion;
            EXPECT_EQ(hijo<QLabel>("lblVisor")->text(), QString(m_f->strPass.size(), '*'));
        }
    }
}

TEST_F(frmPasswordTest, PedirOpensOnlyWithTheRightCode) {
    for (const char* tags : {"3 0 7 5 ENTER", "1 1 1 1 ENTER"}) {
        alAbrir(tags);
        EXPECT_EQ(frmPassword::Pedir(), tags[0] == '3') << tags;
    }
}

} // namespace
