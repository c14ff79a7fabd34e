#include "ui/frmConfig.h"

#include "controls/Twips.h"
#include "controls/ctrBoton.h"
#include "controls/frmTeclado.h"
#include "core/NombresParametros.h"
#include "core/VentanasCargadas.h"
#include "core/basGeneral.h"
#include "core/clsParametros.h"
#include "platform/Program.h"
#include "platform/Prompts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

frmConfig::frmConfig(QWidget* parent) : QDialog(parent) {
    ventanas::cargada(this, QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("TPV Configuración:"));
    setModal(true);
    const QFont verdana(QStringLiteral("Verdana"), 11);
    setFont(verdana);

    auto* rejilla = new QGridLayout;
    rejilla->setHorizontalSpacing(twips::px(200));
    rejilla->setVerticalSpacing(twips::px(120));
    int fila = 0;
    auto par = [&](QLabel*& lbl, const QString& texto, QLineEdit*& txt) {
        lbl = new QLabel(texto, this);
        txt = new QLineEdit(this);
        txt->setMinimumWidth(twips::px(4000));
        txt->setMinimumHeight(twips::px(450));
        rejilla->addWidget(lbl, fila, 0);
        rejilla->addWidget(txt, fila, 1);
        ++fila;
    };
    par(lblEmpresa, QStringLiteral("Empresa:"), txtEmpresa);
    par(lblRestaurante, QStringLiteral("Restaurante:"), txtRestaurante);
    par(lblTPV, QStringLiteral("TPV Configuración:"), txtTPV);
    par(lblIpServidor, QStringLiteral("IP del servidor MySQL:"), txtIpServidor);
    par(lblUsuarioMySQL, QStringLiteral("Usuario MySQL:"), txtUsuarioMySQL);
    par(lblPasswordMySQL, QStringLiteral("Password MySQL:"), txtPasswordMySQL);
    par(Label2, QStringLiteral("Base de datos:"), txtNombreBaseDatos);
    txtPasswordMySQL->setEchoMode(QLineEdit::Password);

    // A tap on a box opens the on-screen keyboard, captioned with the box's label; the database
    // name is typed on a physical keyboard.
    const QList<QPair<QLabel*, QLineEdit*>> conTeclado = {
        {lblEmpresa, txtEmpresa},       {lblRestaurante, txtRestaurante},   {lblTPV, txtTPV},
        {lblIpServidor, txtIpServidor}, {lblUsuarioMySQL, txtUsuarioMySQL}, {lblPasswordMySQL, txtPasswordMySQL}};
    for (const auto& [lbl, txt] : conTeclado)
        frmTeclado::abrirAlTocar(txt, [lbl = lbl] { return lbl->text(); });

    Label1 = new QLabel(QStringLiteral("(Se usarán los parámetros del TPV indicado para configurar la apariencia del "
                                       "ticket de cocina y/o conexión con la balanza. Puedes cambiar cualquier "
                                       "parámetro en el TPV y reiniciar este programa para aplicar los cambios)"),
                        this);
    Label1->setWordWrap(true);
    QFont nota = verdana;
    nota.setPointSize(9);
    Label1->setFont(nota);

    ctrAceptar = new ctrBoton(this);
    ctrAceptar->setTipoBoton(2);
    ctrAceptar->setFontName(QStringLiteral("Arial"));
    ctrAceptar->setCaption(QStringLiteral("Aceptar"));
    ctrCancelar = new ctrBoton(this);
    ctrCancelar->setTipoBoton(12);
    ctrCancelar->setFontName(QStringLiteral("Arial"));
    ctrCancelar->setCaption(QStringLiteral("Cancelar"));
    // Every control answers to its own name (findChild), as the form's controls did.
    const std::pair<QWidget*, const char*> nombres[] = {
        {lblEmpresa, "lblEmpresa"},
        {lblRestaurante, "lblRestaurante"},
        {lblTPV, "lblTPV"},
        {lblIpServidor, "lblIpServidor"},
        {lblUsuarioMySQL, "lblUsuarioMySQL"},
        {lblPasswordMySQL, "lblPasswordMySQL"},
        {Label2, "Label2"},
        {Label1, "Label1"},
        {txtEmpresa, "txtEmpresa"},
        {txtRestaurante, "txtRestaurante"},
        {txtTPV, "txtTPV"},
        {txtIpServidor, "txtIpServidor"},
        {txtUsuarioMySQL, "txtUsuarioMySQL"},
        {txtPasswordMySQL, "txtPasswordMySQL"},
        {txtNombreBaseDatos, "txtNombreBaseDatos"},
        {ctrAceptar, "ctrAceptar"},
        {ctrCancelar, "ctrCancelar"},
    };
    for (const auto& [control, nombre] : nombres)
        control->setObjectName(QLatin1String(nombre));
    connect(ctrAceptar, &ctrBoton::Click, this, &frmConfig::onAceptar);
    connect(ctrCancelar, &ctrBoton::Click, this, &frmConfig::onCancelar);

    auto* botones = new QHBoxLayout;
    botones->addStretch(1);
    botones->addWidget(ctrAceptar);
    botones->addSpacing(twips::px(300));
    botones->addWidget(ctrCancelar);

    auto* todo = new QVBoxLayout(this);
    todo->setContentsMargins(twips::px(300), twips::px(300), twips::px(300), twips::px(300));
    todo->addLayout(rejilla);
    todo->addSpacing(twips::px(200));
    todo->addWidget(Label1);
    todo->addSpacing(twips::px(200));
    todo->addLayout(botones);

    CargaValores();
}

void frmConfig::CargaValores() {
    clsParametros& p = objParametros();
    const QList<QPair<QString, QLineEdit*>> campos = {{QString(param::Empresa.nombre), txtEmpresa},
                                                      {QString(param::Restaurante.nombre), txtRestaurante},
                                                      {QString(param::TPV.nombre), txtTPV},
                                                      {QString(param::IpServidor.nombre), txtIpServidor},
                                                      {QString(param::UsuarioMysql.nombre), txtUsuarioMySQL},
                                                      {QString(param::MysqlPassword.nombre), txtPasswordMySQL}};
    for (const auto& [clave, txt] : campos)
        vb::ResumeNext([&, clave = clave, txt = txt] { txt->setText(p.getValor(clave, true)); });
    if (txtUsuarioMySQL->text().isEmpty())
        txtUsuarioMySQL->setText(QStringLiteral("root"));
    if (txtPasswordMySQL->text() == QLatin1String("0"))
        txtPasswordMySQL->clear();
    vb::ResumeNext([&] { txtNombreBaseDatos->setText(p.lee(param::NombreBBDDServidor)); });
}

void frmConfig::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    txtEmpresa->setFocus();
}

void frmConfig::onAceptar() {
    clsParametros& p = objParametros();
    auto graba = [&p](const QString& clave, const QString& valor) {
        vb::ResumeNext([&] { p.SetValor(clave, Variant(valor), false); });
    };
    graba(param::Empresa.nombre, txtEmpresa->text());
    graba(param::Restaurante.nombre, txtRestaurante->text());
    graba(param::TPV.nombre, txtTPV->text());
    graba(param::IpServidor.nombre, txtIpServidor->text());
    graba(param::UsuarioMysql.nombre, txtUsuarioMySQL->text());
    if (txtPasswordMySQL->text().isEmpty())
        txtPasswordMySQL->setText(QStringLiteral("0"));
    graba(param::MysqlPassword.nombre, txtPasswordMySQL->text());
    graba(param::NombreBBDDServidor.nombre, txtNombreBaseDatos->text());
    prompts::current().messageBox(
        QStringLiteral(
            "Parámetros grabados correctamente. Debes reiniciar el programa para que se apliquen los cambios"),
        prompts::vbOKOnly | prompts::vbInformation, QString());
    accept();
}

void frmConfig::onCancelar() {
    reject();
}

void frmConfig::registrarFrmConfig() {
    prompts::registerForm(QStringLiteral("frmConfig"), [] {
        frmConfig dlg;
        return dlg.exec() == QDialog::Accepted ? 1 : 0;
    });
}
