#pragma once
// The back-office client's window as the user sees it: the status line, the reply's text and the
// cancel and retry buttons, which call the client back. Start-up registers it as the client's
// window (see backoffice/ComInternetWindowPort.h).
#include "backoffice/ComInternetWindowPort.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class frmComInternetVentana final : public QDialog, public ComInternetWindowPort {
    Q_OBJECT
public:
    explicit frmComInternetVentana(frmComInternet& cliente);

    QWidget* widget() override { return this; }
    void setCaption(const QString& texto) override { setWindowTitle(texto); }
    void setStatusText(const QString& texto) override;
    // The box shows the reply's start: laying out megabytes in one line would hold the thread for minutes.
    void setReplyText(const QString& texto) override;
    void setRetryEnabled(bool activo) override;
    void showModal() override;
    void hideWindow() override { hide(); }

private:
    QLabel* lblEstado;
    QPlainTextEdit* Text1;
    QPushButton* btnCancelar;
    QPushButton* btnReintentar;
};
