#pragma once
// frmPassword: the access-code keypad in front of the configuration dialog.
//
// Use: if (frmPassword::Pedir()) open the configuration. Pedir goes through
// prompts::current().showForm("frmPassword"), so tests answer it in advance. The expected code is
// lngPassword when it is not 0, else the fixed code. With intTipoForm other than 0 the on-screen
// ENTER only closes the window and the caller reads the typed code (Peticion::strPass).
#include <QDialog>
#include <QMap>
#include <QString>
#include <QVariant>

class QLabel;
class ImagenTecla;
class MarcoTeclas;

class frmPassword final : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(QWidget* parent = nullptr);

    static constexpr const char* kCodigoFijo = "3075";

    QString strPass;        // the code typed so far
    bool blnOk = false;     // the code matched at the last ENTER or Enter
    qint32 lngPassword = 0; // expected code; 0: the fixed code
    qint16 intTipoForm = 0; // 0: ENTER compares; other: ENTER only closes

    ImagenTecla* tecla(const QString& tag) const;

    struct Peticion {
        qint32 lngPassword = 0;
        qint16 intTipoForm = 0;
        QString strPass; // after the display
        bool blnOk = false;
    };
    static Peticion& peticion();
    static bool Pedir(qint32 lngPassword = 0);
    static bool Pedir(Peticion& p);
    static int mostrar();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void onTeclaClick(int index);
    void ProcesaTecla(int codigo);
    bool remapea(int keyCode);
    void compara();
    void digitoPantalla(const QString& d);
    void decimal();
    void muestraVisor();

    QLabel* lblVisor = nullptr;
    bool m_centrado = false;
    MarcoTeclas* m_marco = nullptr;
    QMap<int, ImagenTecla*> m_teclas;
};
