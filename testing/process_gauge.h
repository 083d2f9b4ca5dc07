// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A process watched from outside through /proc, as `top` would: its
// resident memory and the CPU time it has used so far.

#include <QString>
#include <QtGlobal>
#include <optional>

struct ProcessGauge {
    double residentMb = 0; // VmRSS
    double cpuSeconds = 0; // user and system time, utime + stime
};

// Nothing when the process is gone (or /proc cannot be read).
std::optional<ProcessGauge> readProcessGauge(qint64 pid);
// This process.
std::optional<ProcessGauge> readOwnGauge();

// The machine's load: /proc/loadavg's three averages, as uptime shows them.
QString loadAverages();
