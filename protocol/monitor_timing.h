// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two monitor intervals a sender chooses: the reply window and the
// clear delay. They stay in force for every later send until a sender
// assigns them again.

struct MonitorTiming {
    int replyWindowMs;
    int clearDelayMs;

    friend constexpr bool operator==(const MonitorTiming &a, const MonitorTiming &b)
    {
        return a.replyWindowMs == b.replyWindowMs && a.clearDelayMs == b.clearDelayMs;
    }
    friend constexpr bool operator!=(const MonitorTiming &a, const MonitorTiming &b) { return !(a == b); }
};

namespace monitor_timing {
// The start values, and what a press-and-hold release restores.
constexpr MonitorTiming kNormal{500, 1000};
// Image modes and typed commands: the projector takes a while to answer. The
// clear delay outlasts the reply window so a no-reply marker stays readable.
constexpr MonitorTiming kShort{2000, 2500};
// Input terminals and signals: longer still.
constexpr MonitorTiming kLong{5000, 5500};
} // namespace monitor_timing
