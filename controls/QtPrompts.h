#pragma once
// The production answer to every message box, input box and modal form: Qt dialogs.
// Install it once the QApplication exists:
//     static QtPrompts qtPrompts;  prompts::install(&qtPrompts);
// Installing it also registers the keypad forms (controls::registrarFormularios).
#include "platform/Prompts.h"

#include <QList>
#include <QMessageBox>

class QtPrompts final : public prompts::UserPrompts {
public:
    QtPrompts();

    int messageBox(const QString& text, int style, const QString& title) override;
    bool inputBox(const QString& prompt, const QString& title, QString& value) override;
    int showForm(const QString& name) override;

    // What a message-box style asks for: the buttons in order (low bits 0-5), the default button
    // (256: second, 512: third), the button Escape stands for, and the icon (16, 32, 48, 64).
    struct Caja {
        QList<QMessageBox::StandardButton> botones;
        QMessageBox::StandardButton porDefecto = QMessageBox::NoButton;
        QMessageBox::StandardButton escape = QMessageBox::NoButton;
        QMessageBox::Icon icono = QMessageBox::NoIcon;
    };
    static Caja cajaParaEstilo(int style);
    // The answer code of a button: OK 1, Cancel 2, Abort 3, Retry 4, Ignore 5, Yes 6, No 7.
    static int respuesta(QMessageBox::StandardButton boton);
    static QString textoBoton(QMessageBox::StandardButton boton);
    // The least size of a box's buttons: that of the program's own answer buttons on a touch screen
    // (the configuration dialog's Aceptar and Cancelar), so a finger finds them.
    static QSize tamanoBoton();
};
