#pragma once
// The window of the back-office client, as the client reaches it. The backoffice library has no
// widgets: the upper layer registers a factory at start-up (backoffice/ui/frmComInternetVentana);
// without one there is no window, and a request runs, ends and is read all the same, unseen.
//
// The window shows the request's progress (a status line), the reply's text, and two buttons that
// call the client back: cancel (frmComInternet::btnCancelar_Click) and retry (btnReintentar_Click).
#include <QString>
#include <functional>
#include <memory>

class QWidget;
class frmComInternet;

class ComInternetWindowPort {
public:
    virtual ~ComInternetWindowPort() = default;

    virtual QWidget* widget() = 0;
    virtual void setCaption(const QString& text) = 0;    // the window's title
    virtual void setStatusText(const QString& text) = 0; // lblEstado
    virtual void setReplyText(const QString& text) = 0;  // Text1
    virtual void setRetryEnabled(bool enabled) = 0;      // btnReintentar
    virtual void showModal() = 0;                        // shown modal, without waiting
    virtual void hideWindow() = 0;                       // hidden if shown
};

using ComInternetWindowFactory = std::function<std::unique_ptr<ComInternetWindowPort>(frmComInternet&)>;
// nullptr: no window.
void setComInternetWindowFactory(ComInternetWindowFactory factory);
// A new window for `cliente` from the registered factory; null without one.
std::unique_ptr<ComInternetWindowPort> makeComInternetWindow(frmComInternet& cliente);
