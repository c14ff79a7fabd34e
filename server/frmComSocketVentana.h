#pragma once
// The communication window as the user sees it. Two layouts over the same controls:
//  - the trace layout (with the installation switch): host, address and connection labels, the
//    trace list List1 and, below it, the text area txtLabel that shows a clicked trace line;
//  - the informative layout (abrir): a large text area, a status label and a cancel button, kept
//    above the other windows, for a long operation that the user may ask to stop.
// Hiding the window (cancel or ocultar) puts the trace layout back.
#include <QWidget>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class ctrBoton;

class frmComSocketVentana final : public QWidget {
    Q_OBJECT
public:
    frmComSocketVentana();

    // A trace line as the last item of the list, selected (the oldest go past a few thousand).
    void anade(const QString& linea);

    // The informative layout, shown without waiting and kept on top; clears the cancel flag.
    void abrir();
    // Hides the window and puts the trace layout back.
    void ocultar();
    bool cancelado() const { return m_cancelado; }

    QLabel* lblHostID;
    QLabel* lblAddress;
    QLabel* lblConnections;
    QListWidget* List1;
    QPlainTextEdit* txtLabel;
    QLabel* Label1;
    ctrBoton* btnSalir;

private:
    void disposicionTraza();
    void onSalir();
    bool m_cancelado = false;
};
