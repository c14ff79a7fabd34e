#include "ui/Capturas.h"

#include "controls/FotoVentana.h"
#include "controls/QtPrompts.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"
#include "platform/Clock.h"
#include "platform/Program.h"
#include "server/clsSocketFront.h"
#include "ui/Main.h"
#include "ui/frmConfig.h"
#include "ui/frmPrincipal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>
#include <memory>

namespace {

void guarda(QWidget& w, const QString& ruta) {
    fotos::guarda(fotos::conTitulo(w, 26, 13), ruta);
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

    // The exit question, in the box every message of the program uses; then No.
    QTimer::singleShot(300, &frm, [carpeta] {
        if (auto* caja = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            guarda(*caja, carpeta + QStringLiteral("/question.png"));
            caja->button(QMessageBox::No)->click();
        }
    });
    QtPrompts().messageBox(TraduceLiteral(QStringLiteral(
                               "¿Deseas cerrar el programa? No se imprimirá ningún ticket de la pantalla de cocina")),
                           prompts::vbYesNo | prompts::vbQuestion, QString());
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
