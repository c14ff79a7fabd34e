#pragma once
// A main window that records what the services ask of it: the grid rows, the tray state, the
// timers, the weight labels and the end calls. The test process installs the one instance below as
// the default window (setMainWindow(nullptr) comes back to it).
#include "core/basGeneral.h"

#include <QStringList>
#include <utility>

class RecordingMainWindow : public MainWindowPort {
public:
    QStringList grid;
    bool conectado = false, reconnectTimer = false, scaleTimer = false;
    int scaleInterval = 0;
    QString labels[4];
    bool labelVisible[4] = {false, false, false, false};
    int finalizarCalls = 0;
    bool lastRestart = false;
    void AnadirLog(const QString& concepto) override { grid << concepto; }
    void MuestraIconoTareas(bool c) override { conectado = c; }
    void setReconnectTimerEnabled(bool e) override { reconnectTimer = e; }
    void setScaleTimer(bool e, int ms) override {
        scaleTimer = e;
        scaleInterval = ms;
    }
    bool scaleTimerEnabled() const override { return scaleTimer; }
    int scaleTimerInterval() const override { return scaleInterval; }
    void setWeightLabel(WeightLabel w, const QString& c, bool v) override {
        labels[int(w)] = c;
        labelVisible[int(w)] = v;
    }
    void FinalizarProgramaYDescargarFormularios(bool r) override {
        ++finalizarCalls;
        lastRestart = r;
    }
    QStringList takeLogLines() override { return std::exchange(grid, {}); }
    void resetForTests() override { *this = RecordingMainWindow(); }
};

// The test process's default window.
inline RecordingMainWindow& recordingMainWindow() {
    static RecordingMainWindow w;
    return w;
}
