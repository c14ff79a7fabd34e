#include "ui/frmComSocketVentana.h"

#include "controls/Twips.h"
#include "controls/ctrBoton.h"
#include "core/basGeneral.h"
#include "core/basLegacyFunctions.h"

#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>

namespace {

constexpr int kMaxLineasTraza = 5000; // the trace list keeps the newest lines only

// Positions in twips of the window's design (client area 8955 x 7545).
constexpr int kAncho = 8955, kAlto = 7545;
constexpr int kIzquierda = 120;
constexpr int kFilaBoton = 7080;

} // namespace

frmComSocketVentana::frmComSocketVentana() {
    // The form it belongs to (server/frmComSocket) is the one loaded under this name.
    setObjectName(QStringLiteral("frmComSocket"));
    setWindowTitle(QStringLiteral("Socket"));
    setFixedSize(twips::size(kAncho, kAlto));

    List1 = new QListWidget(this);
    List1->setObjectName(QStringLiteral("List1"));
    txtLabel = new QPlainTextEdit(this);
    txtLabel->setObjectName(QStringLiteral("txtLabel"));
    txtLabel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLabel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLabel->setLineWrapMode(QPlainTextEdit::NoWrap);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblHostID = new QLabel(this);
    lblAddress = new QLabel(this);
    lblConnections = new QLabel(this);
    lblHostID->setObjectName(QStringLiteral("lblHostID"));
    lblAddress->setObjectName(QStringLiteral("lblAddress"));
    lblConnections->setObjectName(QStringLiteral("lblConnections"));
    lblHostID->setGeometry(twips::rect(kIzquierda, 4700, 4200, 300));
    lblAddress->setGeometry(twips::rect(4440, 4700, 4335, 300));
    lblConnections->setGeometry(twips::rect(kIzquierda, kFilaBoton, 4200, 405));
    btnSalir = new ctrBoton(this);
    btnSalir->setObjectName(QStringLiteral("btnSalir"));
    btnSalir->setStretch(true);
    btnSalir->setTamanoTwips(1245, 405);
    btnSalir->move(twips::px(7560), twips::px(kFilaBoton));

    connect(List1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item)
            txtLabel->setPlainText(item->text());
    });
    connect(btnSalir, &ctrBoton::Click, this, &frmComSocketVentana::onSalir);
    disposicionTraza();
}

void frmComSocketVentana::addTraceLine(const QString& linea) {
    List1->addItem(linea);
    while (List1->count() > kMaxLineasTraza)
        delete List1->takeItem(0);
    List1->setCurrentRow(List1->count() - 1);
}

void frmComSocketVentana::disposicionTraza() {
    setWindowFlag(Qt::WindowStaysOnTopHint, false);
    btnSalir->setCaption(QStringLiteral("Salir"));
    List1->setGeometry(twips::rect(kIzquierda, kIzquierda, 8655, 4545));
    txtLabel->setGeometry(twips::rect(kIzquierda, 5040, 8655, 1935));
    Label1->setGeometry(twips::rect(kIzquierda, 5040, 8685, 2475));
    Label1->hide();
    List1->show();
    lblHostID->show();
    lblAddress->show();
    lblConnections->show();
}

void frmComSocketVentana::openInformative() {
    m_cancelado = false;
    btnSalir->setCaption(QStringLiteral("Cancelar"));
    txtLabel->setGeometry(twips::rect(kIzquierda, kIzquierda, 8655, 6855));
    // The status label takes the button row, up to the button.
    Label1->setGeometry(twips::rect(kIzquierda, kFilaBoton, 7560 - kIzquierda - 120, 405));
    Label1->clear();
    Label1->show();
    List1->hide();
    lblHostID->hide();
    lblAddress->hide();
    lblConnections->hide();
    btnSalir->raise();
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    show();
    raise();
    basLegacyFunctions::FuncionLegacyVariant(Variant(qint64(winId())));
}

void frmComSocketVentana::hideWindow() {
    hide();
    disposicionTraza();
}

void frmComSocketVentana::setHostText(const QString& texto) {
    lblHostID->setText(texto);
}

void frmComSocketVentana::setAddressText(const QString& texto) {
    lblAddress->setText(texto);
}

void frmComSocketVentana::setConnectionsText(const QString& texto) {
    lblConnections->setText(texto);
}

void frmComSocketVentana::setText(const QString& texto) {
    txtLabel->setPlainText(texto);
}

void frmComSocketVentana::setStatusText(const QString& texto) {
    Label1->setText(texto);
}

void frmComSocketVentana::onSalir() {
    AtrapaErrores(QStringLiteral("frmComSocket.btnSalir_Click"), [&] {
        m_cancelado = true;
        hideWindow();
    });
}
