#include "controls/ctrBoton.h"
#include "ControlsTest.h"

#include <QFile>
#include <QImage>
#include <QSignalSpy>
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
    }
    void TearDown() override {
        ctrBoton::setRelojMs(nullptr);
        ControlsTest::TearDown();
    }
    int top() const { return m_boton->rectCaptionTwips().top(); }

    qint64 m_ahora = 100000;
    QWidget m_ventana;
    ctrBoton* m_boton = nullptr;
};

// Steps: t tap, p press, r release, o release off the button, d double tap, +N the clock moves N ms;
// then the counts of Click, MouseDown, MouseUp and DblClick, and P while the button looks pressed.
TEST_F(ctrBotonTest, ClicksAndPressEventsWithAndWithoutTheGuard) {
    const struct {
        bool guarda, mouseDown;
        std::vector<std::pair<const char*, const char*>> pasos;
    } casos[] = {
        // without the guard a release whose press was never seen, or off the button, is no click
        {false, true, {{"t", "1110-"}, {"p", "1210P"}, {"o", "1220-"}, {"r", "1230-"}}},
        {false, true, {{"d", "2221-"}}},                  // the second tap of a double tap clicks too
        {false, false, {{"p", "0000-"}, {"r", "1000-"}}}, // MouseDown off: no events, no look
        // the guard: exactly one click for short and long presses
        {true, true, {{"t", "1110-"}, {"p +3500 r", "2220-"}}},
        // a lost press still clicks; a press after the guard's 3 s is an ordinary one
        {true, true, {{"r", "1010-"}, {"+3001 p", "1110P"}, {"r", "2120-"}}},
        // a press inside the window after the guard's click loses its look but still clicks once; the
        // drop does not arm itself again
        {true,
         true,
         {{"p +3500 r", "1110-"}, {"+1000 p", "1110-"}, {"r", "2120-"}, {"+500 p", "2220P"}, {"r", "3230-"}}},
    };
    for (const auto& c : casos) {
        auto* b = new ctrBoton(&m_ventana);
        b->show();
        b->setControlarMouseDownPending(c.guarda);
        b->setMouseDown(c.mouseDown);
        QSignalSpy clicks(b, &ctrBoton::Click), downs(b, &ctrBoton::MouseDown), ups(b, &ctrBoton::MouseUp),
            dobles(b, &ctrBoton::DblClick);
        for (const auto& [pasos, esperado] : c.pasos) {
            for (const QString& p : QString(pasos).split(' ')) {
                if (p.startsWith('+'))
                    m_ahora += p.toLongLong();
                else if (p == "t")
                    raton::toca(b);
                else if (p == "p")
                    raton::pulsa(b);
                else if (p == "r")
                    raton::suelta(b);
                else if (p == "o")
                    raton::envia(b, QEvent::MouseButtonRelease, QPoint(-20, -20));
                else
                    raton::dobleToque(b);
            }
            EXPECT_EQ(b->imagenHundida(), b->presionado());
            QString estado;
            for (const QSignalSpy* s : {&clicks, &downs, &ups, &dobles})
                estado += QString::number(s->size());
            EXPECT_EQ((estado + (b->presionado() ? "P" : "-")).toStdString(), esperado)
                << c.guarda << c.mouseDown << " " << pasos;
        }
    }
}

TEST_F(ctrBotonTest, PressedCaptionMovesOnceAndReturnsToTheCurrentLayout) {
    m_boton->setTipoBoton(0);
    ASSERT_EQ(top(), 120);
    m_boton->setPulsado(true);
    m_boton->setPulsado(true);
    EXPECT_EQ(m_boton->rectCaptionTwips().topLeft(), QPoint(30, 150));
    m_boton->setPulsado(false);
    EXPECT_EQ(top(), 120);
    m_boton->setCaption("Caption de veinte ch"); // 20 characters: two lines, top 20
    ASSERT_EQ(top(), 20);
    raton::pulsa(m_boton);
    EXPECT_EQ(top(), 50);
    EXPECT_FALSE(m_boton->Pulsado()); // a mouse press changes the look but not the latched state
    raton::suelta(m_boton);
    EXPECT_EQ(top(), 20);
}

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

// ---------------------------------------------------------------- faces

TEST_F(ctrBotonTest, EveryTypeHasItsBitmapExceptTheTwoTheProgramLacks) {
    for (qint32 t : {0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 13, 14, 15, 16, 17, 18}) {
        SCOPED_TRACE(t);
        ctrBoton b(&m_ventana);
        b.setColorEspecial(false);
        b.setTipoBoton(t);
        EXPECT_FALSE(b.imagen().isNull());
    }
    EXPECT_FALSE(logContiene("CargaImagen"));
    m_boton->setColorEspecial(false);
    m_boton->setTipoBoton(19);
    EXPECT_TRUE(logContiene("BOTON_MAPA_MESAS"));
    m_boton->setTipoBoton(20); // hides the caption; the old face stays
    EXPECT_FALSE(m_boton->captionVisible());
    EXPECT_EQ(m_boton->anchoTwips(), m_boton->imagen().width() * 15 + 10);
    EXPECT_TRUE(m_prompts.calls.empty()); // logged, never a box
    m_boton->setTipoBoton(4);
    EXPECT_TRUE(m_boton->captionVisible());
}

TEST_F(ctrBotonTest, FaceFilesOfTheImagesFolderOrACustomPictureComeBeforeTheBitmap) {
    QTemporaryDir dir;
    auto archivo = [&](const char* nombre, const QByteArray& datos) {
        QFile f(dir.filePath(nombre));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(datos);
        return f.fileName();
    };
    QImage bmp(50, 30, QImage::Format_RGB32);
    bmp.fill(Qt::red);
    ASSERT_TRUE(bmp.save(dir.filePath("img_4.bmp")));
    archivo("img_6.gif",
            "GIF89a" + QByteArray::fromHex("28001400800000000000ffffff2c0000000028001400000202440100") + ";");

    m_boton->setCarpetaImagenes(dir.path());
    EXPECT_EQ(m_boton->imagen().size(), QSize(50, 30));
    EXPECT_FALSE(m_boton->superficieOpaca());
    m_boton->setTipoBoton(6);
    EXPECT_EQ(m_boton->imagen().size(), QSize(40, 20));
    EXPECT_FALSE(m_boton->panelColorVisible()); // sized and coloured, but left hidden
    m_boton->setTipoBoton(3);                   // no file: the bitmap
    EXPECT_EQ(m_boton->imagen().size(), QSize(52, 20));

    // a custom picture that does not load falls back in the same call
    m_boton->setMostrarDescripcion(false);
    m_boton->Picture(archivo("roto.png", "no es una imagen"));
    m_boton->CargaImagen(3);
    EXPECT_TRUE(m_boton->ImagenPersonalizada().isEmpty());
    EXPECT_TRUE(m_boton->MostrarDescripcion());
    EXPECT_EQ(m_boton->textoCaption(), "Aceptar");
    EXPECT_EQ(m_boton->imagen().size(), QSize(52, 20));
    EXPECT_TRUE(m_prompts.calls.empty());
}

TEST_F(ctrBotonTest, ColourFacePaintsPanelAndTakesItsSize) {
    m_boton->setColor("10,20,30");
    EXPECT_TRUE(m_boton->panelColorVisible());
    EXPECT_EQ(m_boton->colorPanel(), QColor(10, 20, 30));
    EXPECT_FALSE(m_boton->imagenVisible());
    EXPECT_TRUE(m_boton->superficieOpaca());
    m_boton->setColor("1,2"); // not three parts: the panel keeps its colour
    EXPECT_EQ(m_boton->colorPanel(), QColor(10, 20, 30));
    m_boton->setTipoBoton(5);
    EXPECT_EQ(QSize(m_boton->anchoTwips(), m_boton->altoTwips()), QSize(1025, 575));
    m_boton->setColorFuente("rojo");
    EXPECT_EQ(m_boton->colorTexto(), QColor(255, 255, 255));
    EXPECT_TRUE(logContiene("ctrBoton.CambiaColorFuente"));
    EXPECT_TRUE(m_prompts.calls.empty());
    m_boton->setColor(QString()); // back to a picture face
    EXPECT_TRUE(m_boton->imagenVisible());
    EXPECT_FALSE(m_boton->panelColorVisible());
}

TEST_F(ctrBotonTest, SavedSettingsRoundTripWithTheirDefaults) {
    PropertyBag bag;
    m_boton->setColor("0,128,0");
    m_boton->setTipoBoton(10);
    m_boton->setControlarMouseDownPending(true);
    m_boton->WriteProperties(bag);
    EXPECT_TRUE(bag.contains("ColorEspecial")); // a placed button starts with it on
    EXPECT_FALSE(bag.contains("Visible"));
    m_boton->setVisible(false); // hides the whole control, also for a colour face
    EXPECT_FALSE(m_boton->isVisible());
    m_boton->WriteProperties(bag);
    EXPECT_FALSE(bag.read("visible", true).toBool());

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
