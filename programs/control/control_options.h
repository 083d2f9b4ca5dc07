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

// arguments: as the program received them, its own name first. Needs a
// QCoreApplication for the help text.
ControlOptions parseControlOptions(const QStringList &arguments);
