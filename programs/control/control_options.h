#pragma once
// The panel's command line.

#include <QString>
#include <QStringList>

struct ControlOptions {
    enum class Action { Run, Help, Version, ListPorts, UsageError };
    Action action = Action::Run;
    QString com1; // device names from the command line; empty: not given
    QString com2;
    QString text; // the help text, or what is wrong with the command line
    QString usage;
};

// arguments: as the program received them, its own name first. Without an
// application object the help text names no program; all else is the same.
ControlOptions parseControlOptions(const QStringList &arguments);
