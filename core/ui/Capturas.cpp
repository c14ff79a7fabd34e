#include "core/ui/Capturas.h"

#include "core/basGeneral.h"
#include "core/ui/Main.h"
#include "core/ui/frmConfig.h"
#include "core/ui/frmPrincipal.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "server/clsSocketFront.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QTextStream>
#include <QTimer>
#include <memory>

namespace {

// The window's picture under a title bar of our own, as a desktop would frame it.
QImage conTitulo(QWidget& w) {
    const QPixmap cuerpo = w.grab();
    const int barra = 26;
    QImage img(cuerpo.width() + 2, cuerpo.height() + barra + 1, QImage::Format_ARGB32);
    img.fill(QColor(0x30, 0x34, 0x3a));
    QPainter p(&img);
    const QIcon icono = w.windowIcon();
    if (!icono.isNull())
        p.drawPixmap(6, 4, icono.pixmap(18, 18));
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(13);
    p.setFont(f);
    p.drawText(QRect(30, 0, img.width() - 36, barra), Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
    p.drawPixmap(1, barra, cuerpo);
    return img;
}

void guarda(QWidget& w, const QString& ruta) {
    const bool ok = conTitulo(w).save(ruta);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << ruta << Qt::endl;
}

void captura(const QString& carpeta) {
    QDir().mkpath(carpeta);
    frmPrincipal& frm = FrmPrincipal();
    frm.resize(900, 560);
    frm.showNormal();
    program::waitMs(300);
    guarda(frm, carpeta + QStringLiteral("/main-window.png"));

    frmConfig dlg(&frm);
    dlg.show();
    program::waitMs(300);
    guarda(dlg, carpeta + QStringLiteral("/config.png"));
    dlg.hide();
    program::End(0);
}

} // namespace

void ProgramaCapturas(const QString& carpeta) {
    // Once the service listens it gets two seconds for the requests of whoever drives the run,
    // so their lines are in the grid of the picture.
    const qint64 limite = clock_seam::tickMs() + 20000;
    auto escuchaDesde = std::make_shared<qint64>(-1);
    auto* reloj = new QTimer(QCoreApplication::instance());
    reloj->setInterval(200);
    QObject::connect(reloj, &QTimer::timeout, reloj, [reloj, carpeta, limite, escuchaDesde] {
        const qint64 ahora = clock_seam::tickMs();
        if (*escuchaDesde < 0 && SocketFront && SocketFront->SocketIniciado)
            *escuchaDesde = ahora;
        const bool listo = *escuchaDesde >= 0 && ahora - *escuchaDesde >= 2000;
        if (!listo && ahora < limite)
            return;
        reloj->stop();
        captura(carpeta);
    });
    reloj->start();
}
