#pragma once
class QApplication;

// Brings the panel up and runs it; returns the program's exit status. A
// start-up that fails is reported in a message box and ends the program
// with a non-zero status, leaving no window.
int runControlPanel(QApplication &app);
