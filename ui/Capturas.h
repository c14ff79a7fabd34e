#pragma once
// Pictures of the running program for its documentation: two seconds after the service listens (or
// after 20 s), the main window and the configuration dialog are drawn into PNG files of `carpeta`
// (main-window.png, config.png) and the program ends. Started by TARVOLIN_CAPTURAS=folder.
#include <QString>

void ProgramaCapturas(const QString& carpeta);
