// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The panel's command line.

#include "session/port_address.h"

#include <QString>
#include <QStringList>
#include <optional>

struct ControlOptions {
    enum class Action { Run, Help, Version, ListPorts, UsageError };
    Action action = Action::Run;
    std::optional<PortAddress> com1; // devices from the command line; none: not given
    std::optional<PortAddress> com2;
    QString text; // the help text, or what is wrong with the command line
    QString usage;
};

// arguments: as the program received them, its own name first. Without an
// application object the help text names no program; all else is the same.
ControlOptions parseControlOptions(const QStringList &arguments);
