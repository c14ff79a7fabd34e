#pragma once
// frmTeclado: the on-screen keyboard (Spanish layout with "ñ") for editing one text on a touch
// screen; the physical keyboard types into the same field.
//
// Use:
//     QString texto = txtEmpresa->text();
//     if (frmTeclado::Pedir(lblEmpresa->text(), texto)) txtEmpresa->setText(texto);
// Pedir goes through prompts::current().showForm("frmTeclado"), so tests answer it in advance (a
// test's own factory can write frmTeclado::peticion().texto). frmTeclado::abrirAlTocar wires a
// line edit so that a tap on it opens the keyboard (a tap, not the focus: tabbing through a form
// must not pop the keyboard up).
#include <QDialog>
#include <QMap>
#include <QString>
#include <functional>

class QLineEdit;
class QPlainTextEdit;
class ImagenTecla;
class MarcoTeclas;

class frmTeclado final : public QDialog {
    Q_OBJECT
public:
    explicit frmTeclado(QWidget* parent = nullptr);

    bool blnOk = true;                 // False only after ESC or Escape
    bool blnHabilitarSimbolos = false; // symbol layer on the digit keys; CTRL types "\"

    QString texto() const;
    void setTexto(const QString& texto);
    bool mayusculas() const { return m_bloqMayus || m_blnShiftPulsado; }

    ImagenTecla* tecla(const QString& tag) const; // the first key with that Tag

    struct Peticion {
        QString caption; // the window's caption: the field's label
        QString texto;   // the text to edit; the edited text after an accept
        bool blnHabilitarSimbolos = false;
        bool blnOk = false;
    };
    static Peticion& peticion();
    static bool Pedir(const QString& caption, QString& texto);
    static int mostrar();

    // A tap on the field opens the keyboard with the caption given and copies the text back on
    // acceptance.
    static void abrirAlTocar(QLineEdit* campo, std::function<QString()> caption);

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject* obj, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void onTeclaClick(int index);
    void hundeTecla(int index, bool hundida); // a key's image follows the mouse, the shift keys apart
    void InsertaTexto(const QString& s);
    void teclaBorrar();
    QString textoTecla(const QString& tag) const;
    void actualizaEtiquetas();
    void sueltaTeclasUnaVez();

    QPlainTextEdit* txtTexto = nullptr;
    bool m_bloqMayus = false;       // the MAY lock
    bool m_blnShiftPulsado = false; // SHIFT (or CTRL) armed for the next key
    bool m_centrado = false;
    MarcoTeclas* m_marco = nullptr;
    QMap<int, ImagenTecla*> m_teclas;
};
