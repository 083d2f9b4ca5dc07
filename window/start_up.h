#pragma once
#include <QString>

class QApplication;

// Devices named on the command line for the two port numbers; empty: the
// environment's or the system's.
struct PanelPorts {
    QString com1;
    QString com2;
};

// Brings the panel up and runs it; returns the program's exit status. A
// start-up that fails is reported in a message box and ends the program
// with a non-zero status, leaving no window.
int runControlPanel(QApplication &app, const PanelPorts &ports = {});
