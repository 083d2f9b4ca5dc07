#pragma once
// velno-cmd's command line.

#include <QString>
#include <QStringList>
#include <optional>

struct Command;

struct CmdOptions {
    enum class Action { Run, Watch, List, Help, Version, UsageError };
    Action action = Action::Run;
    QString port = QStringLiteral("COM1"); // COM1, COM2 or a device name
    QString settings;                      // the serial settings string for --speed
    bool json = false;
    std::optional<int> timeoutMs;
    int watchSeconds = 0;
    const Command *command = nullptr; // null with "send"
    QString typedText;                // "send TEXT"
    QString text;                     // help text, or what is wrong
};

// arguments: as the program received them, its own name first.
CmdOptions parseCmdOptions(const QStringList &arguments);

// The usage lines printed with a usage error.
QString cmdUsage();
