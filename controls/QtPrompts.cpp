#include "controls/QtPrompts.h"

#include "controls/Formularios.h"
#include "controls/ctrBoton.h"
#include "core/basGeneral.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QPushButton>

namespace {
QString tituloPrograma(const QString& title) {
    return title.isEmpty() ? QStringLiteral("Tarvolin") : title;
}
bool hayPantalla() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}
} // namespace

QtPrompts::QtPrompts() {
    controls::registrarFormularios();
}

QtPrompts::Caja QtPrompts::cajaParaEstilo(int style) {
    using B = QMessageBox;
    Caja c;
    switch (style & 0x0F) {
    case prompts::vbOKCancel:
        c.botones = {B::Ok, B::Cancel};
        c.escape = B::Cancel;
        break;
    case prompts::vbAbortRetryIgnore:
        c.botones = {B::Abort, B::Retry, B::Ignore};
        break;
    case prompts::vbYesNoCancel:
        c.botones = {B::Yes, B::No, B::Cancel};
        c.escape = B::Cancel;
        break;
    case prompts::vbYesNo:
        c.botones = {B::Yes, B::No};
        break;
    case prompts::vbRetryCancel:
        c.botones = {B::Retry, B::Cancel};
        c.escape = B::Cancel;
        break;
    default:
        c.botones = {B::Ok};
        c.escape = B::Ok;
        break;
    }
    const int n = (style >> 8) & 0x03;
    c.porDefecto = c.botones.value(n < c.botones.size() ? n : 0);
    switch (style & 0x70) {
    case prompts::vbCritical:
        c.icono = B::Critical;
        break;
    case prompts::vbQuestion:
        c.icono = B::Question;
        break;
    case prompts::vbExclamation:
        c.icono = B::Warning;
        break;
    case prompts::vbInformation:
        c.icono = B::Information;
        break;
    default:
        c.icono = B::NoIcon;
        break;
    }
    return c;
}

int QtPrompts::respuesta(QMessageBox::StandardButton boton) {
    switch (boton) {
    case QMessageBox::Ok:
        return prompts::vbOK;
    case QMessageBox::Cancel:
        return prompts::vbCancel;
    case QMessageBox::Abort:
        return 3;
    case QMessageBox::Retry:
        return 4;
    case QMessageBox::Ignore:
        return 5;
    case QMessageBox::Yes:
        return prompts::vbYes;
    case QMessageBox::No:
        return prompts::vbNo;
    default:
        return 0;
    }
}

QString QtPrompts::textoBoton(QMessageBox::StandardButton boton) {
    switch (boton) {
    case QMessageBox::Ok:
        return QStringLiteral("Aceptar");
    case QMessageBox::Cancel:
        return QStringLiteral("Cancelar");
    case QMessageBox::Abort:
        return QStringLiteral("Anular");
    case QMessageBox::Retry:
        return QStringLiteral("Reintentar");
    case QMessageBox::Ignore:
        return QStringLiteral("Omitir");
    case QMessageBox::Yes:
        return QStringLiteral("Sí");
    case QMessageBox::No:
        return QStringLiteral("No");
    default:
        return {};
    }
}

QSize QtPrompts::tamanoBoton() {
    ctrBoton muestra;
    muestra.setTipoBoton(2);
    return muestra.size();
}

int QtPrompts::messageBox(const QString& text, int style, const QString& title) {
    const Caja c = cajaParaEstilo(style);
    if (!hayPantalla())
        return respuesta(c.porDefecto);
    QMessageBox box(c.icono, tituloPrograma(title), text, QMessageBox::NoButton, QApplication::activeWindow());
    const QSize tamano = tamanoBoton();
    for (QMessageBox::StandardButton b : c.botones) {
        QPushButton* boton = box.addButton(b);
        boton->setText(textoBoton(b));
        boton->setMinimumSize(tamano);
    }
    box.setDefaultButton(c.porDefecto);
    if (c.escape != QMessageBox::NoButton)
        box.setEscapeButton(c.escape);
    box.exec();
    const auto pulsado = box.standardButton(box.clickedButton());
    // closing a box that has no Cancel answers as its Escape button would
    return respuesta(pulsado != QMessageBox::NoButton ? pulsado
                                                      : (c.escape != QMessageBox::NoButton ? c.escape : c.porDefecto));
}

bool QtPrompts::inputBox(const QString& prompt, const QString& title, QString& value) {
    if (!hayPantalla())
        return false;
    QInputDialog dlg(QApplication::activeWindow());
    dlg.setWindowTitle(tituloPrograma(title));
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    dlg.setOkButtonText(QStringLiteral("Aceptar"));
    dlg.setCancelButtonText(QStringLiteral("Cancelar"));
    for (QPushButton* boton : dlg.findChildren<QPushButton*>())
        boton->setMinimumSize(tamanoBoton());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue();
    return true;
}

int QtPrompts::showForm(const QString& name) {
    if (auto f = prompts::formFactory(name))
        return f();
    GrabaLog(QStringLiteral("QtPrompts.showForm: no hay ningún formulario llamado %1").arg(name));
    return 0;
}
