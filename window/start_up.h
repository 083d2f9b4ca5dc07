#pragma once
#include "session/port_address.h"

#include <optional>

class QApplication;

// Devices named on the command line for the two port numbers; none: the
// environment's or the system's.
struct PanelPorts {
    std::optional<PortAddress> com1;
    std::optional<PortAddress> com2;
};

// Brings the panel up and runs it; returns the program's exit status. A
// start-up that fails is reported in a message box and ends the program
// with a non-zero status, leaving no window.
int runControlPanel(QApplication &app, const PanelPorts &ports = {});
