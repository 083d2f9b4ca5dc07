// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A session timer that only ticks when the test says so: it records what the
// session asks of it, and fire() delivers one tick as the real clock would,
// that is only while it is enabled.

#include "session/session_clock.h"
#include "session/session_timer.h"

#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

class ManualTimer : public SessionTimer {
    Q_OBJECT
public:
    ManualTimer(const QString &name, int intervalMs, QObject *parent);

    int interval() const override { return interval_; }
    void setInterval(int ms) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;

    // One tick, if enabled; returns whether there was one.
    bool fire();
    // The clock moves on by ms: a tick for each interval that ends meanwhile,
    // counted from when the countdown last started, as a periodic timer
    // ticks.
    void advance(int ms);
    // How often a countdown started: enabling, also a running timer, and
    // assigning the interval while running each start one anew.
    int countdownStarts() const { return countdownStarts_; }

private:
    void startCountdown();

    int interval_;
    int remainingMs_ = 0;
    bool enabled_ = false;
    int countdownStarts_ = 0;
};

// A clock that moves only when the test says so: the timers it makes and
// the time it tells (an age, a "when") move together. Copies share one clock.
class ManualClock {
public:
    ManualClock();

    // Its timers and its time, for what a test builds.
    SessionClock clock() const;
    // Moves the time on by ms, one millisecond at a time, ticking each of its
    // timers whose interval ends meanwhile, in the order their time comes.
    void advance(int ms) const;
    qint64 nowMs() const;
    // The one timer of this name it made that still exists; a missing or
    // ambiguous name ends the program, naming it.
    ManualTimer &timer(const char *name) const;

private:
    struct Shared {
        qint64 nowMs = 0;
        std::vector<QPointer<ManualTimer>> timers;
    };
    std::shared_ptr<Shared> shared_;
};
