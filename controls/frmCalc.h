#pragma once
// frmCalc: the numeric keypad for one number (the scale's manual weight, the re-weigh of a line).
//
// Simplest use:
//     QString valor = "1";
//     if (frmCalc::Pedir("Introduzca el peso", valor)) peso = basFuncionesComunes::ValNumero(valor);
// Pedir goes through prompts::current().showForm("frmCalc"), so tests answer it in advance; a new
// window is made for every call. Callers that need the other switches fill frmCalc::Peticion.
// The window can also be used directly: create it, set the public fields and setVisor(), exec(),
// read blnOk and visor().
#include <QDialog>
#include <QMap>
#include <QString>

class QLabel;
class QTimer;
class ImagenTecla;
class MarcoTeclas;
class ctrBoton;

class frmCalc final : public QDialog {
    Q_OBJECT
public:
    explicit frmCalc(QWidget* parent = nullptr);
    ~frmCalc() override;

    bool blnOk = false;                   // accepted with ENTER, Enter or Aceptar
    QString strDescripcion;               // the prompt above the keypad
    bool blnEliminaCerosIzquierda = true; // keep the number in its short form while typing and on accept
    bool blnIntroDesactivado = false;     // ENTER, Enter and Aceptar are ignored while set
    bool blnSoloEnteros = false;          // the decimal keys do nothing
    bool blnPermitirNegativo = false;     // "-" toggles a leading minus
    void setMaxLongitud(qint16 n) { m_maxLongitud = n; }

    QString visor() const;
    void setVisor(const QString& texto);

    ImagenTecla* tecla(const QString& tag) const;

    // The request of Pedir: set before, read after.
    struct Peticion {
        QString descripcion;
        QString valor = QStringLiteral("0"); // initial display; the display after an accept
        bool blnSoloEnteros = false;
        bool blnPermitirNegativo = false;
        bool blnEliminaCerosIzquierda = true;
        qint16 maxLongitud = 8;
        bool blnOk = false;
    };
    static Peticion& peticion();
    static bool Pedir(const QString& descripcion, QString& valor);
    static bool Pedir(Peticion& p);
    // The registered form: shows a new window for peticion() and answers 1 when accepted.
    static int mostrar();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;

public slots:
    void reject() override;

private:
    void onTeclaClick(int index);
    void onAceptar();
    void onCancelar();
    void onActivarIntro();
    void teclaPantalla(const QString& tag);
    void teclaFisica(int keyAscii);
    bool llena(const QString& v) const; // beeps when it is
    void digito(const QString& d);
    void decimal(const QString& separador);
    void aceptar();
    QString normaliza(const QString& texto) const;

    QLabel* lblDesc = nullptr;
    QLabel* lblVisor = nullptr;
    ctrBoton* ctrAceptar = nullptr;
    ctrBoton* ctrCancelar = nullptr;
    QTimer* tmrActivarIntro = nullptr; // 500 ms; its tick clears blnIntroDesactivado

    qint16 m_maxLongitud = 8;
    bool m_blnPrimeraTecla = true;
    bool m_cursorCambiado = false;
    bool m_centrado = false;
    MarcoTeclas* m_marco = nullptr;
    QMap<int, ImagenTecla*> m_teclas;
};
