// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge and its projectors in Prometheus' text format: gauges of what
// each projector last reported (labelled by projector), counters and a
// histogram of its line's work, and the bridge process's own uptime and
// memory.

#include <QByteArray>
#include <vector>

class ProjectorLink;

struct ProcessFigures {
    double uptimeSeconds = 0;
    double startTimeSeconds = 0; // since the Unix epoch
    double residentBytes = 0;
};

// This process's resident memory, from the kernel; 0 where it says nothing.
double residentMemoryBytes();

QByteArray prometheusMetrics(const std::vector<ProjectorLink *> &projectors, const ProcessFigures &process);
