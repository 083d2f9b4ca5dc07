// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/log_throttle.h"

#include "session/precise_timer.h"

LogThrottle::LogThrottle(const QString &what, QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), what_(what)
{
    period_ = (makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("logPeriod"), kPeriodMs, this);
    connect(period_, &SessionTimer::tick, this, &LogThrottle::periodEnded);
}

void LogThrottle::report(const QString &line)
{
    if (period_->enabled()) {
        ++held_;
        return;
    }
    emit log(line);
    period_->setEnabled(true);
}

void LogThrottle::periodEnded()
{
    if (held_ == 0) {
        period_->setEnabled(false);
        return;
    }
    emit log(QStringLiteral("%1 more %2 in the last minute").arg(held_).arg(what_));
    held_ = 0; // the timer runs on: the next minute is throttled too
}

LogThrottles::LogThrottles(const QString &prefix, QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), prefix_(prefix), makeTimer_(makeTimer)
{
}

void LogThrottles::report(const QString &kind, const QString &line)
{
    LogThrottle *&throttle = byKind_[kind];
    if (!throttle) {
        throttle = new LogThrottle(prefix_ + kind, this, makeTimer_);
        connect(throttle, &LogThrottle::log, this, &LogThrottles::log);
    }
    throttle->report(line);
}
