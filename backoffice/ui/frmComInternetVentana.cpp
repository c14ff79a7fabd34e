#include "backoffice/ui/frmComInternetVentana.h"

#include "backoffice/frmComInternet.h"
#include "core/VentanasCargadas.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr qsizetype kMuestraMaxima = 64 * 1024; // characters of the reply shown in Text1
} // namespace

frmComInternetVentana::frmComInternetVentana(frmComInternet& cliente) {
    ventanas::cargada(this, QStringLiteral("frmComInternet"));
    setObjectName(QStringLiteral("frmComInternet"));
    setWindowTitle(QStringLiteral("Accediendo a Internet"));
    lblEstado = new QLabel(this);
    lblEstado->setObjectName(QStringLiteral("lblEstado"));
    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    btnCancelar = new QPushButton(QStringLiteral("Cancelar"), this);
    btnCancelar->setObjectName(QStringLiteral("btnCancelar"));
    btnReintentar = new QPushButton(QStringLiteral("Reintentar"), this);
    btnReintentar->setObjectName(QStringLiteral("btnReintentar"));
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(btnReintentar);
    botones->addWidget(btnCancelar);
    auto* capa = new QVBoxLayout(this);
    capa->addWidget(lblEstado);
    capa->addWidget(Text1);
    capa->addLayout(botones);
    resize(480, 260);
    connect(btnCancelar, &QPushButton::clicked, &cliente, &frmComInternet::btnCancelar_Click);
    connect(btnReintentar, &QPushButton::clicked, &cliente, &frmComInternet::btnReintentar_Click);
    // Losing activation leaves the client's watchdog on, where the old window switched it off: a request must end.
}

void frmComInternetVentana::setStatusText(const QString& texto) {
    lblEstado->setText(texto);
}

void frmComInternetVentana::setReplyText(const QString& texto) {
    Text1->setPlainText(texto.size() > kMuestraMaxima ? texto.left(kMuestraMaxima) + QChar(0x2026) : texto);
}

void frmComInternetVentana::setRetryEnabled(bool activo) {
    btnReintentar->setEnabled(activo);
}

void frmComInternetVentana::showModal() {
    setModal(true);
    show();
}
