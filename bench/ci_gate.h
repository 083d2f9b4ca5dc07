// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What decides a bridge benchmark's exit status. Every goal is printed as
// measured, "met" or "MISSED", and without --ci every goal decides. A CPU
// share or a latency is a figure of the machine as much as of the code (the
// simulated projectors run on the same cores as the bridge), so with --ci
// (as .ci/run runs them) only what holds on any machine decides: every
// command answered or refused with a reason, no reply credited to the wrong
// command, memory under its bound and flat, the bridge gone after SIGTERM;
// a machine's figure fails only past kCiSlack times its goal.

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <vector>

constexpr double kCiSlack = 2.0;

class Gate {
public:
    Gate(const char *program, bool ci) : program_(program), ci_(ci) {}

    // A check that holds on any machine; prints "  WHAT: met" (or MISSED).
    bool check(const QString &what, bool met)
    {
        std::printf("  %s: %s\n", qPrintable(what), met ? "met" : "MISSED");
        if (!met)
            failed_ << what;
        return met;
    }

    // A goal on a figure of this machine, lower is better: "  WHAT(goal):
    // VALUEUNIT: met". `measured` false (nothing to measure) counts as missed.
    bool figure(const std::function<QString(double bound)> &what, double value, double goal, const char *unit,
                bool measured = true)
    {
        const bool met = measured && value < goal;
        std::printf("  %s: %.1f%s: %s\n", qPrintable(what(goal)), value, unit, met ? "met" : "MISSED");
        figures_.push_back({what, value, goal, unit, measured});
        if (!met)
            missedFigures_ << what(goal);
        return met;
    }

    // Prints how the exit status was decided; 0 when it passes, 1 when not.
    int finish() const
    {
        bool ciFailed = false;
        if (ci_ && figures_.empty())
            std::printf("\n--ci: every goal above holds on any machine, and decides\n");
        if (ci_ && !figures_.empty()) {
            std::printf("\n--ci: the exit status is decided by the checks above and by the machine's "
                        "figures only past %.0fx their goal\n",
                        kCiSlack);
            for (const Figure &f : figures_) {
                const double bound = kCiSlack * f.goal;
                const bool within = f.measured && f.value < bound;
                ciFailed = ciFailed || !within;
                std::printf("  %s: %.1f%s: %s\n", qPrintable(f.what(bound)), f.value, f.unit,
                            within ? "within" : "BEYOND");
            }
        }
        const bool passed = failed_.isEmpty() && (ci_ ? !ciFailed : missedFigures_.isEmpty());
        std::printf("%s%s: %s", program_, ci_ ? " --ci" : "", passed ? "passed" : "FAILED");
        if (!failed_.isEmpty())
            std::printf("; failed: %s", qPrintable(failed_.join(QStringLiteral("; "))));
        if (!missedFigures_.isEmpty())
            std::printf("; missed on this machine: %s",
                        qPrintable(missedFigures_.join(QStringLiteral("; "))));
        std::printf("\n");
        std::fflush(stdout);
        return passed ? 0 : 1;
    }

private:
    struct Figure {
        std::function<QString(double)> what;
        double value, goal;
        const char *unit;
        bool measured;
    };
    const char *program_;
    bool ci_;
    QStringList failed_;
    QStringList missedFigures_;
    std::vector<Figure> figures_;
};
