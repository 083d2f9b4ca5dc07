// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command as a client asked for it, whichever way it came (an MQTT
// message, a line of a shared port, a web request): a command of the table,
// or a line typed by hand. Checked once where it arrives, then handed on as
// it is.

#include "protocol/command_line.h"
#include "protocol/commands.h"

#include <QString>

struct CommandRequest {
    const Command *command = nullptr; // null: a typed line
    QString typedLine;                // the line as typed, without its carriage return

    static CommandRequest named(const Command &command) { return {&command, {}}; }
    // A line typed by hand (without its carriage return): the command whose
    // code it is, so that the same line asks the same thing whichever way it
    // came; else the line as typed.
    static CommandRequest fromLine(const QString &line)
    {
        const Command *command = commandForLine(commandLine(line));
        return command ? named(*command) : CommandRequest{nullptr, line};
    }

    // The name a reply gives it: the command's, or "send" for a typed line.
    QString name() const { return command ? QString::fromLatin1(command->name) : QStringLiteral("send"); }
    // As a log line or a script names it: "power-on", "send C1E".
    QString spelled() const { return command ? name() : QStringLiteral("send ") + typedLine; }
};
