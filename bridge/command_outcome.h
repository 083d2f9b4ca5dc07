// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What became of one command a face handed to a projector's link: the
// exchange it ran, or why it was not run. Every face is told the same
// outcome and words it for its own clients (an MQTT reply's "error", an
// HTTP status, a PJLink ERR, nothing on a shared line).

#include "protocol/command_request.h"
#include "session/exchange_result.h"

#include <QString>
#include <functional>
#include <optional>

// Why a command was not run.
enum class RefusalKind {
    Invalid,  // what arrived names no command (a face's own check)
    Retained, // kept by the broker from before: it would run at every restart
    Busy,     // the projector's queue is full
    Offline,  // the projector's port is closed
    Stopping, // the bridge is stopping
    Removed,  // the projector is gone from the settings
};

struct Refusal {
    RefusalKind kind = RefusalKind::Invalid;
    // Invalid: what is wrong. Stopping, Removed: set for the command that
    // was on the line, which may have reached the projector.
    QString detail;

    // The words a client reads ("busy", "projector offline"...).
    QString text() const;
    // The command was on the line when the link let go of it.
    static Refusal onTheLine(RefusalKind kind);
};

struct CommandOutcome {
    std::optional<CommandRequest> request; // none: what arrived was not fit to name one
    std::optional<ExchangeResult> result;  // it ran
    std::optional<Refusal> refusal;        // it did not
};
// Called once per command, on the link's thread, whichever way it ends.
using OutcomeHandler = std::function<void(const CommandOutcome &)>;
