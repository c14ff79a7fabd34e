#pragma once
// The communication window as the user sees it (see server/SocketWindowPort.h for its two
// layouts). Start-up registers it as the request server's window.
#include "server/SocketWindowPort.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class ctrBoton;

class frmComSocketVentana final : public QWidget, public SocketWindowPort {
    Q_OBJECT
public:
    frmComSocketVentana();

    QWidget* widget() override { return this; }
    void showTrace() override { show(); }
    // The oldest lines go past a few thousand.
    void addTraceLine(const QString& linea) override;
    void setHostText(const QString& texto) override;
    void setAddressText(const QString& texto) override;
    void setConnectionsText(const QString& texto) override;
    void openInformative() override;
    void hideWindow() override;
    void setText(const QString& texto) override;
    void setStatusText(const QString& texto) override;
    bool cancelled() const override { return m_cancelado; }

private:
    void disposicionTraza();
    void onSalir();

    QLabel* lblHostID;
    QLabel* lblAddress;
    QLabel* lblConnections;
    QListWidget* List1;
    QPlainTextEdit* txtLabel;
    QLabel* Label1;
    ctrBoton* btnSalir;
    bool m_cancelado = false;
};
