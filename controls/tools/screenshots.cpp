// Renders the keypads, the on-screen keyboard and the button faces to PNG files for the README:
//     controls_screenshots [output folder]     (default: docs/img of the source tree)
// Run it under Xvfb, or with QT_QPA_PLATFORM=offscreen.
#include "controls/Caras.h"
#include "controls/FotoVentana.h"
#include "controls/ImagenTecla.h"
#include "controls/ctrBoton.h"
#include "controls/frmCalc.h"
#include "controls/frmPassword.h"
#include "controls/frmTeclado.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>

namespace {

QImage botones() {
    QWidget hoja;
    hoja.setAutoFillBackground(true);
    QPalette pal = hoja.palette();
    pal.setColor(QPalette::Window, QColor(0xe8, 0xea, 0xed));
    hoja.setPalette(pal);
    struct Muestra {
        int tipo;
        const char* caption;
    };
    const Muestra muestras[] = {{10, "Configurar"}, {0, "Minimizar"}, {1, "Salir"},       {11, "Arqueo de caja"},
                                {2, "Aceptar"},     {12, "Cancelar"}, {3, "Modif."},      {13, "Modif."},
                                {4, "Aceptar"},     {5, "Azul"},      {15, "Azul claro"}, {6, "Otros"},
                                {16, "Otros"},      {17, "1024"},     {18, "1024"}};
    int x = 10, y = 10, alto = 0;
    for (const Muestra& m : muestras) {
        auto* b = new ctrBoton(&hoja);
        b->setTipoBoton(m.tipo);
        b->setCaption(QString::fromUtf8(m.caption));
        if (x + b->width() > 560) {
            x = 10;
            y += alto + 10;
            alto = 0;
        }
        b->move(x, y);
        x += b->width() + 10;
        alto = qMax(alto, b->height());
    }
    y += alto + 14;
    // colour faces, one of them held down
    x = 10;
    const char* colores[] = {"46,125,50", "198,40,40", "21,101,192"};
    const char* textos[] = {"Aceptar", "Cancelar", "Pulsado"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new ctrBoton(&hoja);
        b->setStretch(true);
        b->setTamanoTwips(1500, 600);
        b->setColor(QString::fromLatin1(colores[i]));
        b->setCaption(QString::fromUtf8(textos[i]));
        if (i == 2)
            b->setPulsado(true);
        b->move(x, y);
        x += b->width() + 10;
    }
    // the tray icons
    for (const char* nombre : {"SIN_CONEXION", "CONECTADO"}) {
        auto* l = new QLabel(&hoja);
        l->setPixmap(caras::icono(QString::fromLatin1(nombre)).pixmap(48, 48));
        l->setGeometry(x + 10, y - 4, 48, 48);
        x += 60;
    }
    hoja.resize(570, y + 56);
    return hoja.grab().toImage();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString carpeta = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(TARVOLIN_DOCS_IMG);
    QDir().mkpath(carpeta);
    bool ok = true;

    {
        frmCalc f;
        f.strDescripcion = QStringLiteral("Introduzca el peso");
        f.setVisor(QStringLiteral("1.25"));
        f.show();
        f.tecla("5")->setHundida(true);
        ok &= fotos::guarda(fotos::conTitulo(f, 24, 12), carpeta + "/keypad-calc.png");
    }
    {
        frmPassword f;
        f.show();
        f.strPass = QStringLiteral("307");
        f.findChild<QLabel*>(QStringLiteral("lblVisor"))->setText(QStringLiteral("***"));
        ok &= fotos::guarda(fotos::conTitulo(f, 24, 12), carpeta + "/keypad-password.png");
    }
    {
        frmTeclado f;
        f.setWindowTitle(QStringLiteral("IP del servidor MySQL:"));
        f.setTexto(QStringLiteral("192.168.1.20"));
        f.show();
        ok &= fotos::guarda(fotos::conTitulo(f, 24, 12), carpeta + "/keypad-teclado.png");
    }
    ok &= fotos::guarda(botones(), carpeta + "/keypad-botones.png");
    return ok ? 0 : 1;
}
