// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge and its projectors in Prometheus' text format: gauges of what
// each projector last reported (labelled by projector), counters and a
// histogram of its line's work, and the bridge process's own uptime and
// memory.

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <vector>

class ProjectorLink;

// How long one projector's exchanges took, as Prometheus counts a histogram.
struct ExchangeHistogram {
    // Upper bounds of the buckets, in seconds; the last is +Inf.
    static constexpr std::array<double, 11> kBucketBounds{0.005, 0.01, 0.025, 0.05, 0.1,  0.25,
                                                          0.5,   1,    2.5,   5,    1e300};
    std::array<quint64, kBucketBounds.size()> buckets{}; // cumulative
    double secondsSum = 0;

    void add(qint64 elapsedMs);
};
// A projector's histogram by its ID; null for one with none.
using HistogramOf = std::function<const ExchangeHistogram *(const QString &id)>;

struct ProcessFigures {
    double uptimeSeconds = 0;
    double startTimeSeconds = 0; // since the Unix epoch
    double residentBytes = 0;
};

// This process's resident memory, from the kernel; 0 where it says nothing.
double residentMemoryBytes();

class LimitCounters;

// How often each listener's limits bit, one sample per listener and limit.
QByteArray limitMetrics(const LimitCounters &limits);

QByteArray prometheusMetrics(const std::vector<ProjectorLink *> &projectors, const HistogramOf &histogramOf,
                             const ProcessFigures &process);
