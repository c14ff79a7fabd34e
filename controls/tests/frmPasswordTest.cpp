#include "controls/frmPassword.h"
#include "ControlsTest.h"
#include "controls/ImagenTecla.h"
#include "core/basFuncionesComunes.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

namespace {

class frmPasswordTest : public KeypadTest<frmPassword> {
protected:
    void TearDown() override {
        KeypadTest::TearDown();
        frmPassword::mapaTeclas().fill(QVariant());
    }
    QString visor() const { return hijo<QLabel>("lblVisor")->text(); }
};

TEST_F(frmPasswordTest, FixedCodeOnTheTouchKeysOpens) {
    teclas("3 0 7 5");
    EXPECT_EQ(visor(), "****");
    teclas("ENTER");
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_FALSE(m_f->isVisible());
}

TEST_F(frmPasswordTest, LeadingZeroStaysOnTheTouchKeysAndGoesOnTheKeyboard) {
    teclas("0 3 0 7 5");
    EXPECT_EQ(m_f->strPass, "03075");
    EXPECT_EQ(visor(), "*****");
    teclas("ENTER");
    EXPECT_TRUE(m_f->blnOk);

    frmPassword otro;
    otro.show();
    for (QChar c : QString("03075"))
        QTest::keyClick(&otro, c.toLatin1());
    EXPECT_EQ(otro.strPass, "3075");
    QTest::keyClick(&otro, Qt::Key_Return);
    EXPECT_TRUE(otro.blnOk);
}

TEST_F(frmPasswordTest, KeyboardDigitsAfterTheDecimalKeyKeepTheirValue) {
    escribe("1.5");
    EXPECT_DOUBLE_EQ(basFuncionesComunes::ValNumero(m_f->strPass), 1.5);
    EXPECT_EQ(visor(), "***");
}

TEST_F(frmPasswordTest, OwnCodeReplacesTheFixedOne) {
    m_f->lngPassword = 1234;
    teclas("3 0 7 5 ENTER");
    EXPECT_FALSE(m_f->blnOk);
    m_f->show();
    teclas("AC 1 2 3 4 ENTER");
    EXPECT_TRUE(m_f->blnOk);
}

TEST_F(frmPasswordTest, CaptureModeClosesOnTouchEnterWithoutComparing) {
    m_f->intTipoForm = 1;
    teclas("3 0 7 5 ENTER");
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_FALSE(m_f->blnOk);
    EXPECT_EQ(m_f->strPass, "3075");
    m_f->show();
    QTest::keyClick(m_f.get(), Qt::Key_Enter); // the keyboard's Enter still compares
    EXPECT_TRUE(m_f->blnOk);
}

TEST_F(frmPasswordTest, RetAcAndDecimalKey) {
    teclas("RET");
    EXPECT_EQ(m_f->strPass, "");
    teclas("3 0 7 5 DEC DEC");
    EXPECT_EQ(m_f->strPass, "3075,");
    teclas("RET");
    EXPECT_EQ(m_f->strPass, "3075");
    teclas("DEC ENTER"); // a trailing separator still matches
    EXPECT_TRUE(m_f->blnOk);
    m_f->show();
    teclas("AC");
    EXPECT_EQ(m_f->strPass, "");
    EXPECT_EQ(visor(), "");
}

TEST_F(frmPasswordTest, TenthDigitIsRefused) {
    teclas("1 2 3 4 5 6 7 8 9 1");
    escribe("2");
    EXPECT_EQ(m_f->strPass, "123456789");
}

TEST_F(frmPasswordTest, RemappedKeyActsAsEnter) {
    frmPassword::mapaTeclas()['*'] = QVariantList{3, QString()};
    teclas("3 0 7 5");
    QTest::keyClick(m_f.get(), '*');
    EXPECT_FALSE(m_f->isVisible());
    EXPECT_TRUE(m_f->blnOk);
    EXPECT_EQ(m_f->strPass, "3075");
}

TEST_F(frmPasswordTest, PedirOpensOnlyWithTheRightCode) {
    auto teclea = [](const char* tags) {
        return [tags] {
            auto* f = qobject_cast<frmPassword*>(QApplication::activeModalWidget());
            ASSERT_NE(f, nullptr);
            for (const QString& t : QString(tags).split(' '))
                raton::toca(f->tecla(t));
        };
    };
    QTimer::singleShot(0, teclea("3 0 7 5 ENTER"));
    EXPECT_TRUE(frmPassword::Pedir());
    QTimer::singleShot(0, teclea("1 1 1 1 ENTER"));
    EXPECT_FALSE(frmPassword::Pedir());
}

} // namespace
