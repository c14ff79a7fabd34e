#pragma once
// frmConfig: the touch-screen dialog for the seven settings the program needs before it can reach
// its database (company, restaurant, till, server, user, password, database name). Values go to
// the parameter store, which keeps them in the registry; they apply at the next start.
//
// Shown modally through prompts::current().showForm("frmConfig") (registrarFrmConfig registers
// it). Every opening shows the stored values: edits that were cancelled are gone.
#include <QDialog>

class QLabel;
class QLineEdit;
class ctrBoton;

class frmConfig final : public QDialog {
    Q_OBJECT
public:
    explicit frmConfig(QWidget* parent = nullptr);

    // Fills the boxes from the parameter store ("root" for an empty user, "" for the password "0").
    void CargaValores();

    // Registers the dialog as the prompts form "frmConfig": a fresh dialog per opening; answers 1
    // when accepted, 0 when cancelled.
    static void registrarFrmConfig();

protected:
    void showEvent(QShowEvent* e) override;

private:
    // ---- Controls (each under its own object name) ----
    QLabel* lblEmpresa = nullptr;
    QLabel* lblRestaurante = nullptr;
    QLabel* lblTPV = nullptr;
    QLabel* lblIpServidor = nullptr;
    QLabel* lblUsuarioMySQL = nullptr;
    QLabel* lblPasswordMySQL = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtEmpresa = nullptr;
    QLineEdit* txtRestaurante = nullptr;
    QLineEdit* txtTPV = nullptr;
    QLineEdit* txtIpServidor = nullptr;
    QLineEdit* txtUsuarioMySQL = nullptr;
    QLineEdit* txtPasswordMySQL = nullptr;
    QLineEdit* txtNombreBaseDatos = nullptr;
    ctrBoton* ctrAceptar = nullptr;
    ctrBoton* ctrCancelar = nullptr;

    void onAceptar();
    void onCancelar();
};
