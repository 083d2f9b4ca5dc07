// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HTTP status of a command's outcome, one projector's or a group
// member's: a request that names none is the client's mistake (400); busy
// is worth trying again soon (409); refused by the projector 422; offline,
// stopping or removed not until the projector is back (503); otherwise 200.

struct CommandOutcome;

int commandStatus(const CommandOutcome &outcome);
