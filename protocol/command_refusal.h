// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether the projector refused a command, read from its reply: the one rule
// every face words for its own clients (an MQTT reply's "error", an HTTP
// status, velno-cmd's exit status, a PJLink ERR).

#include <QString>

struct Command;

// "?" refuses any line. A command of the table that is not a status query
// expects an ACK, so anything else refuses it. command: null for a typed line
// that is no command's code, whose reply may be anything but "?".
bool refusesCommand(const Command *command, const QString &reply);
