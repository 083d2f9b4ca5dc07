// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "session/port_address.h"

#include <functional>
#include <optional>

class QApplication;
class QString;

// Devices named on the command line for the two port numbers; none: the
// environment's or the system's.
struct PanelPorts {
    std::optional<PortAddress> com1;
    std::optional<PortAddress> com2;
};

// Where the panel's log lines go: what the window cannot show (an error
// without a window, a lost device), one line each.
using PanelLog = std::function<void(const QString &line)>;

// Brings the panel up and runs it; returns the program's exit status. A
// start-up that fails is reported in a message box and in the log, and ends
// the program with a non-zero status, leaving no window.
int runControlPanel(QApplication &app, const PanelLog &log, const PanelPorts &ports = {});
