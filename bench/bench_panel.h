// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The panel as a benchmark drives it: off screen unless a display is asked
// for, started with its COM1 on the benchmark's pseudo-terminal, shown, and
// the far end reading.

#include "bench_line.h"
#include "window/control_panel_window.h"

#include <QtGlobal>
#include <cstdio>
#include <vector>

// Call before the application object is created.
inline void useOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Runs start-up on COM1 = the pseudo-terminal; false (and a line on
// standard error) when it fails.
inline bool startPanelOn(ControlPanelWindow &form, BenchLine &pty)
{
    qputenv("VELNO_COM1", pty.devicePath().toLocal8Bit());
    if (const SerialError e = form.startUp()) {
        std::fprintf(stderr, "start-up failed: %s\n", qPrintable(e.description));
        return false;
    }
    form.show();
    pty.startReading();
    return true;
}

// For each moment (in time order), the milliseconds until the first bytes
// that arrived at or after it; moments with nothing after them are left out.
inline std::vector<double> millisToFirstArrival(const std::vector<BenchClock::time_point> &moments,
                                                const std::vector<TimedBytes> &arrivals)
{
    std::vector<double> out;
    size_t a = 0;
    for (const auto &moment : moments) {
        while (a < arrivals.size() && arrivals[a].at < moment)
            ++a;
        if (a < arrivals.size())
            out.push_back(millisBetween(moment, arrivals[a].at));
    }
    return out;
}
