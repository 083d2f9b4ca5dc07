// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real clock behind a session timer. A precise one keeps its period to
// well under a millisecond where the system has a clock for it (Linux): Qt
// rounds every wait for one of its own timers up to a whole millisecond, which
// made a 5 ms auto-repeat run at 5 ms plus the cost of one pass of the event
// loop and wander by up to a millisecond from tick to tick.

#include "session/session_timer.h"

#include <QTimer>

class QSocketNotifier;

class PreciseTimer : public SessionTimer {
    Q_OBJECT
public:
    // A coarse timer is a plain Qt timer; a precise one uses the system's
    // exact clock where there is one, unless kernelClock is false (a Qt
    // timer of whole milliseconds, which costs the event loop no descriptor).
    PreciseTimer(const QString &name, int intervalMs, QObject *parent, Qt::TimerType type = Qt::PreciseTimer,
                 bool kernelClock = true);
    ~PreciseTimer() override;

    int interval() const override { return interval_; }
    void setInterval(int ms) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;

private:
    void restart();
    void kernelTimerReady();

    int interval_;
    bool enabled_ = false;
    bool ticking_ = false;
    QTimer timer_; // where there is no kernel timer
    int kernelTimer_ = -1;
    QSocketNotifier *kernelTimerNotifier_ = nullptr;
};

// The real clock for a session's or an exchange's timers.
SessionTimer *makePreciseTimer(const QString &name, int intervalMs, QObject *parent);
// The real clock for waits of seconds (backoff, polling), where a few
// milliseconds either way do not matter: a plain Qt timer, no descriptor.
SessionTimer *makeCoarseTimer(const QString &name, int intervalMs, QObject *parent);
// The real clock to the millisecond without a descriptor of its own: for a
// service holding hundreds of lines, whose event loop looks at every
// descriptor on every pass (a reply window needs no more than this).
SessionTimer *makeLoopTimer(const QString &name, int intervalMs, QObject *parent);
