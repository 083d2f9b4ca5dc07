// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every command the panel can send: a stable name (what scripts and the
// window's layout use), the code that goes on the wire, how it times the
// monitor, and what it does in a few words. One table; the window, the
// command-line tool and the bridge all read it. Where the window shows a
// command, and with what caption, is the window's own business.

#include "protocol/command_timing.h"
#include "protocol/monitor_timing.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

struct StatusQuery;

// What a press of a held command assigns, in milliseconds.
struct HoldTiming {
    int repeatPeriodMs;
    MonitorTiming monitor;
};

struct Command {
    const char *name; // lower-case, stable: "power-on", "vol-up", "status"
    const char *code; // sent as it stands, inner blanks included
    CommandTiming timing;
    const char *description; // what it does, as `velno-cmd --list` says it: "power on"
    // Held commands: absent for the four arrows, which repeat at whatever
    // period was set last and take their monitor timing from the arrow mode.
    std::optional<HoldTiming> hold = std::nullopt;
    // The digital-zoom pair: their release switches the arrows to fast mode.
    bool releaseArmsFastArrows = false;
    // A status query: how its reply is read, into words and a value.
    const StatusQuery *statusQuery = nullptr;
};

// Every command, grouped by what they do.
const std::vector<Command> &commandTable();

// The command with this name; null when there is none.
const Command *findCommand(QStringView name);

// The command whose line this is; null when none sends it.
const Command *commandForLine(QStringView line);

// The monitor timing a command assigns before it is sent; nothing for the
// shapes that keep the intervals in force.
std::optional<MonitorTiming> timingBeforeSend(CommandTiming timing);

// How the direction pad repeats: not yet armed, after "A-IMAGE" or "MENU"
// "ON", or after a digital-zoom release.
enum class ArrowMode { Off, Menu, Fast };

// The monitor timing an arrow press assigns in this mode, if any.
std::optional<MonitorTiming> arrowMonitorTiming(ArrowMode mode);

namespace arrow_timing {
constexpr int kMenuRepeatMs = 200;
constexpr int kFastRepeatMs = 5;
} // namespace arrow_timing

// Start value of the repeat period before any press assigned one.
constexpr int kInitialRepeatPeriodMs = 200;

// The receive buffer stops here: the rendering counts characters in 16 bits.
constexpr int kReceiveBufferLimit = 32767;
