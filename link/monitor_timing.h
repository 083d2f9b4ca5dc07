#pragma once
// The two monitor intervals a sender chooses: the reply window (Timer2) and
// the clear delay (Timer4). They stay in force for every later send until a
// sender assigns them again.

class Form1;

struct MonitorTiming {
    int replyWindowMs;
    int clearDelayMs;
};

namespace monitor_timing {
// The window's start values, and what a press-and-hold release restores.
constexpr MonitorTiming kNormal{500, 1000};
// Image modes and typed commands: the projector takes a while to answer. The
// clear delay outlasts the reply window so a no-reply marker stays readable.
constexpr MonitorTiming kShort{2000, 2500};
// Input terminals and signals: longer still.
constexpr MonitorTiming kLong{5000, 5500};
} // namespace monitor_timing

// Assigns both intervals; a running timer restarts its countdown.
void assignMonitorTiming(Form1 &form, const MonitorTiming &timing);
