#pragma once
// The window of the communication form, as the request server reaches it. The server library has
// no widgets: the upper layer registers a factory at start-up (ui/frmComSocketVentana); without one
// there is no window, and the trace lines go to the log only.
//
// Two layouts over the same window: the trace layout (host, address and connection labels and the
// list of trace lines), shown with the installation switch; and the informative layout (a large
// text, a status line and a cancel button, kept above the other windows) for a long operation that
// the user may ask to stop. Hiding the window puts the trace layout back.
#include <QString>
#include <functional>
#include <memory>

class QWidget;

class SocketWindowPort {
public:
    virtual ~SocketWindowPort() = default;

    virtual QWidget* widget() = 0;
    virtual void showTrace() = 0;                             // shown with the trace layout
    virtual void addTraceLine(const QString& line) = 0;       // the last line of the list, selected
    virtual void setHostText(const QString& text) = 0;        // lblHostID
    virtual void setAddressText(const QString& text) = 0;     // lblAddress
    virtual void setConnectionsText(const QString& text) = 0; // lblConnections

    // The informative layout, shown without waiting and kept on top; clears the cancel flag.
    virtual void openInformative() = 0;
    virtual void hideWindow() = 0;                       // hides and puts the trace layout back
    virtual void setText(const QString& text) = 0;       // txtLabel
    virtual void setStatusText(const QString& text) = 0; // Label1
    virtual bool cancelled() const = 0;                  // the user pressed cancel since the last opening
};

using SocketWindowFactory = std::function<std::unique_ptr<SocketWindowPort>()>;
// nullptr: no window.
void setSocketWindowFactory(SocketWindowFactory factory);
// A new window from the registered factory; null without one.
std::unique_ptr<SocketWindowPort> makeSocketWindow();
