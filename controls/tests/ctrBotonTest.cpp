#include "controls/ctrBoton.h"
#include "ControlsTest.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

namespace {

class ctrBotonTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        ctrBoton::setRelojMs([this] { return m_ahora; });
        m_ventana.resize(400, 300);
        m_boton = new ctrBoton(&m_ventana);
        m_boton->setCaption("Aceptar");
        m_ventana.show();
        connect();
    }
    void TearDown() override {
        ctrBoton::setRelojMs(nullptr);
        ControlsTest::TearDown();
    }
    void connect() {
        QObject::connect(m_boton, &ctrBoton::Click, [this] { ++clicks; });
        QObject::connect(m_boton, &ctrBoton::DblClick, [this] { ++dobles; });
        QObject::connect(m_boton, &ctrBoton::MouseDown, [this](int, int, double, double) { ++downs; });
        QObject::connect(m_boton, &ctrBoton::MouseUp, [this](int, int, double, double) { ++ups; });
    }

    qint64 m_ahora = 100000;
    QWidget m_ventana;
    ctrBoton* m_boton = nullptr;
    int clicks = 0, dobles = 0, downs = 0, ups = 0;
};

// ---------------------------------------------------------------- clicks and the guard

TEST_F(ctrBotonTest, TapGivesOneClickAndAReleaseOffTheButtonNone) {
    raton::toca(m_boton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    raton::pulsa(m_boton);
    raton::suelta(m_boton, QPoint(-20, -20));
    EXPECT_EQ(clicks, 1);
    // without the guard a release whose press was never seen is nothing
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(ctrBotonTest, DoubleTapGivesTwoClicksAndOneDblClick) {
    raton::dobleToque(m_boton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(dobles, 1);
}

TEST_F(ctrBotonTest, GuardGivesExactlyOneClickForShortAndLongPresses) {
    m_boton->setControlarMouseDownPending(true);
    ASSERT_TRUE(m_boton->pulsadorDelante());
    raton::toca(m_boton);
    EXPECT_EQ(clicks, 1);
    raton::pulsa(m_boton);
    m_ahora += 3500; // held longer than the guard's 3 s
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(ups, 2);
}

TEST_F(ctrBotonTest, GuardClicksOnAReleaseWhosePressWasLost) {
    m_boton->setControlarMouseDownPending(true);
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(downs, 0);
}

TEST_F(ctrBotonTest, GuardDropsTheLookOfASecondPressInsideItsWindowButStillClicksOnce) {
    m_boton->setControlarMouseDownPending(true);
    raton::pulsa(m_boton);
    m_ahora += 3500;
    raton::suelta(m_boton);
    ASSERT_EQ(clicks, 1);

    m_ahora += 1000; // inside the window after the guard's click
    raton::pulsa(m_boton);
    EXPECT_EQ(downs, 1);
    EXPECT_FALSE(m_boton->presionado());
    EXPECT_FALSE(m_boton->imagenHundida());
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 2);

    // the drop does not arm itself again: the next press is an ordinary one
    m_ahora += 500;
    raton::pulsa(m_boton);
    EXPECT_EQ(downs, 2);
    EXPECT_TRUE(m_boton->presionado());
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 3);
}

TEST_F(ctrBotonTest, GuardKeepsAPressAfterItsWindow) {
    m_boton->setControlarMouseDownPending(true);
    raton::suelta(m_boton); // a lost press: Click from the release
    m_ahora += 3001;
    raton::pulsa(m_boton);
    EXPECT_EQ(downs, 1);
    raton::suelta(m_boton);
    EXPECT_EQ(clicks, 2);
}

TEST_F(ctrBotonTest, MouseDownOffRaisesNoPressEventsAndNoLookButClicks) {
    m_boton->setMouseDown(false);
    raton::pulsa(m_boton);
    EXPECT_FALSE(m_boton->presionado());
    EXPECT_FALSE(m_boton->imagenHundida());
    raton::suelta(m_boton);
    EXPECT_EQ(downs + ups, 0);
    EXPECT_EQ(clicks, 1);
}

// ---------------------------------------------------------------- pressed look of the caption

TEST_F(ctrBotonTest, PressedCaptionMovesFromItsRestPositionOnce) {
    const QRect reposo = m_boton->rectCaptionTwips();
    m_boton->setPulsado(true);
    m_boton->setPulsado(true);
    EXPECT_EQ(m_boton->rectCaptionTwips().topLeft(), reposo.topLeft() + QPoint(30, 30));
    EXPECT_TRUE(m_boton->Pulsado());
    m_boton->setPulsado(false);
    EXPECT_EQ(m_boton->rectCaptionTwips().topLeft(), reposo.topLeft());
    // a mouse press changes the look but not the latched state
    raton::pulsa(m_boton);
    EXPECT_TRUE(m_boton->presionado());
    EXPECT_FALSE(m_boton->Pulsado());
    raton::suelta(m_boton);
}

TEST_F(ctrBotonTest, CaptionReturnsToItsNewLayoutAfterATypeChange) {
    m_boton->setTipoBoton(0);
    raton::toca(m_boton); // the first press saves a rest position
    ASSERT_EQ(m_boton->rectCaptionTwips().top(), 120);
    m_boton->setCaption("Caption de veinte ch"); // 20 characters: two lines, top 20
    ASSERT_EQ(m_boton->rectCaptionTwips().top(), 20);
    raton::pulsa(m_boton);
    EXPECT_EQ(m_boton->rectCaptionTwips().top(), 50);
    raton::suelta(m_boton);
    EXPECT_EQ(m_boton->rectCaptionTwips().top(), 20);
}

// ---------------------------------------------------------------- caption layout per type

TEST_F(ctrBotonTest, CaptionPlaceFollowsTypeCaptionLengthAndFontSize) {
    struct Caso {
        qint32 tipo;
        int largo;
        qint16 fontSize;
        int top, left, ancho;
    };
    const Caso casos[] = {
        {0, 19, 10, 120, 0, 2040},   {0, 20, 10, 20, 0, 2040},     {10, 19, 10, 120, 0, 2040},
        {1, 15, 10, 120, 0, 1845},   {11, 16, 10, 20, 0, 1845},    {2, 11, 10, 120, 120, 1155},
        {12, 12, 10, 20, 120, 1155}, {19, 11, 10, 120, 120, 1155}, {3, 30, 10, 0, 0, 780},
        {14, 5, 10, 50, 0, 1230},    {5, 10, 0, 180, 0, 1050},     {5, 11, 0, 80, 0, 1050},
        {15, 10, 12, 80, 0, 1050},   {6, 10, 10, 140, 0, 1035},    {16, 11, 10, 40, 0, 1035},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(testing::Message() << "type " << c.tipo << ", " << c.largo << " characters");
        ctrBoton b(&m_ventana);
        b.setFontSize(c.fontSize);
        b.setCaption(QString(c.largo, 'x'));
        b.setTipoBoton(c.tipo);
        EXPECT_EQ(b.rectCaptionTwips().top(), c.top);
        EXPECT_EQ(b.rectCaptionTwips().left(), c.left);
        EXPECT_EQ(b.rectCaptionTwips().width(), c.ancho);
    }
}

TEST_F(ctrBotonTest, TypeTwentyHidesTheCaptionAndLogsTheMissingFace) {
    m_boton->setColorEspecial(false);
    m_boton->setTipoBoton(20);
    EXPECT_FALSE(m_boton->captionVisible());
    EXPECT_EQ(m_boton->anchoTwips(), m_boton->imagen().width() * 15 + 10); // the old face stays
    EXPECT_TRUE(logContiene("ctrBoton.CargaImagen"));
    EXPECT_TRUE(m_prompts.calls.empty()); // logged, never a box
    m_boton->setTipoBoton(4);
    EXPECT_TRUE(m_boton->captionVisible());
}

TEST_F(ctrBotonTest, ColourTypeFiveTakesItsFixedSize) {
    ctrBoton b(&m_ventana);
    b.setColor("40,80,120");
    b.setTipoBoton(5);
    EXPECT_EQ(b.anchoTwips(), 1025);
    EXPECT_EQ(b.altoTwips(), 575);
}

// ---------------------------------------------------------------- faces

TEST_F(ctrBotonTest, EveryTypeOfTheTableHasItsBitmapExceptTheTwoTheProgramLacks) {
    for (qint32 t : {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18}) {
        SCOPED_TRACE(t);
        ctrBoton b(&m_ventana);
        b.setColorEspecial(false);
        b.setTipoBoton(t);
        EXPECT_FALSE(b.imagen().isNull());
        EXPECT_EQ(b.anchoTwips(), b.imagen().width() * 15 + 10);
    }
    EXPECT_FALSE(logContiene("CargaImagen"));
    ctrBoton b(&m_ventana);
    b.setColorEspecial(false);
    b.setTipoBoton(19);
    EXPECT_TRUE(logContiene("BOTON_MAPA_MESAS"));
}

TEST_F(ctrBotonTest, FaceFilesOfTheImagesFolderComeBeforeTheBitmap) {
    QTemporaryDir dir;
    QImage bmp(50, 30, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    ASSERT_TRUE(bmp.save(dir.filePath("img_4.bmp")));
    // a 40 x 20 GIF
    QByteArray gif("GIF89a");
    gif += QByteArray::fromHex("28001400800000000000ffffff2c0000000028001400000202440100") + ";";
    QFile f(dir.filePath("img_6.gif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(gif);
    f.close();

    ctrBoton b(&m_ventana);
    b.setCarpetaImagenes(dir.path());
    EXPECT_EQ(b.imagen().size(), QSize(50, 30));
    EXPECT_FALSE(b.superficieOpaca());
    b.setTipoBoton(6);
    EXPECT_EQ(b.imagen().size(), QSize(40, 20));
    EXPECT_FALSE(b.panelColorVisible()); // sized and coloured, but left hidden
    b.setTipoBoton(3);                   // no file: the bitmap
    EXPECT_EQ(b.imagen().size(), QSize(52, 20));
}

TEST_F(ctrBotonTest, UnloadableCustomPictureFallsBackInTheSameCall) {
    QTemporaryDir dir;
    QFile f(dir.filePath("roto.png"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("no es una imagen");
    f.close();
    m_boton->setMostrarDescripcion(false);
    m_boton->Picture(f.fileName());
    ASSERT_EQ(m_boton->ImagenPersonalizada(), f.fileName());
    m_boton->CargaImagen(4);
    EXPECT_TRUE(m_boton->ImagenPersonalizada().isEmpty());
    EXPECT_TRUE(m_boton->MostrarDescripcion());
    EXPECT_EQ(m_boton->textoCaption(), "Aceptar");
    EXPECT_FALSE(m_boton->imagen().isNull());
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(ctrBotonTest, ColourFacePaintsPanelAndSwapsTheBevelWhilePressed) {
    m_boton->setColor("10,20,30");
    EXPECT_TRUE(m_boton->panelColorVisible());
    EXPECT_EQ(m_boton->colorPanel(), QColor(10, 20, 30));
    EXPECT_FALSE(m_boton->imagenVisible());
    EXPECT_TRUE(m_boton->superficieOpaca());
    m_boton->setColor("1,2"); // not three parts: the panel keeps its colour
    EXPECT_EQ(m_boton->colorPanel(), QColor(10, 20, 30));
    m_boton->setColorFuente("rojo");
    EXPECT_EQ(m_boton->colorTexto(), QColor(255, 255, 255));
    EXPECT_TRUE(logContiene("ctrBoton.CambiaColorFuente"));
    EXPECT_TRUE(m_prompts.calls.empty());
    m_boton->setColor(QString()); // back to a picture face
    EXPECT_TRUE(m_boton->imagenVisible());
    EXPECT_FALSE(m_boton->panelColorVisible());
}

TEST_F(ctrBotonTest, HidingHidesTheWholeControlAlsoForAColourFace) {
    m_boton->setColor("0,128,0");
    EXPECT_TRUE(m_boton->Visible());
    PropertyBag bag;
    m_boton->WriteProperties(bag);
    EXPECT_FALSE(bag.contains("Visible"));
    m_boton->setVisible(false);
    EXPECT_FALSE(m_boton->isVisible());
    m_boton->WriteProperties(bag);
    EXPECT_FALSE(bag.read("visible", true).toBool());
}

// ---------------------------------------------------------------- saved settings

TEST_F(ctrBotonTest, SavedSettingsRoundTripWithTheirDefaults) {
    PropertyBag bag;
    m_boton->setTipoBoton(10);
    m_boton->setControlarMouseDownPending(true);
    m_boton->WriteProperties(bag);
    EXPECT_TRUE(bag.contains("ColorEspecial")); // a placed button starts with it on
    EXPECT_FALSE(bag.contains("Stretch"));
    EXPECT_TRUE(bag.contains("FontSize")); // its default is "", so it is always written

    ctrBoton b(&m_ventana);
    b.ReadProperties(bag);
    EXPECT_EQ(b.TipoBoton(), 10);
    EXPECT_EQ(b.Caption(), "Aceptar");
    EXPECT_TRUE(b.ColorEspecial());
    EXPECT_TRUE(b.ControlarMouseDownPending());

    PropertyBag vieja; // keys as the old windows saved them, in lower case
    vieja.set("tipoboton", 2);
    vieja.set("caption", "Otro");
    vieja.set("pulsado", true);
    ctrBoton c(&m_ventana);
    c.ReadProperties(vieja);
    EXPECT_EQ(c.TipoBoton(), 2);
    EXPECT_FALSE(c.ColorEspecial()); // a missing key reads as False
    EXPECT_TRUE(c.presionado());
    EXPECT_FALSE(c.Pulsado());
    EXPECT_FALSE(c.imagenHundida());
}

} // namespace
