// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/manual_timer.h"

#include <algorithm>

ManualTimer::ManualTimer(const QString &name, int intervalMs, QObject *parent)
    : SessionTimer(parent), interval_(intervalMs)
{
    setObjectName(name);
}

void ManualTimer::startCountdown()
{
    remainingMs_ = qMax(1, interval_);
    ++countdownStarts_;
}

void ManualTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_)
        startCountdown();
}

void ManualTimer::setEnabled(bool on)
{
    enabled_ = on;
    if (on)
        startCountdown();
}

bool ManualTimer::fire()
{
    if (!enabled_)
        return false;
    emit tick();
    return true;
}

void ManualTimer::advance(int ms)
{
    while (enabled_ && ms >= remainingMs_) {
        ms -= remainingMs_;
        remainingMs_ = qMax(1, interval_);
        emit tick(); // which may stop or restart the countdown
    }
    if (enabled_)
        remainingMs_ -= ms;
}

ManualClock::ManualClock() : shared_(std::make_shared<Shared>()) {}

SessionClock ManualClock::clock() const
{
    const std::shared_ptr<Shared> shared = shared_;
    return {[shared](const QString &name, int intervalMs, QObject *parent) -> SessionTimer * {
                auto *timer = new ManualTimer(name, intervalMs, parent);
                shared->timers.emplace_back(timer);
                return timer;
            },
            [shared] { return shared->nowMs; }};
}

void ManualClock::advance(int ms) const
{
    for (int i = 0; i < ms; ++i) {
        ++shared_->nowMs;
        // A tick may make or delete timers: those alive now, each once.
        const std::vector<QPointer<ManualTimer>> timers = shared_->timers;
        for (const QPointer<ManualTimer> &timer : timers)
            if (timer)
                timer->advance(1);
    }
    auto &timers = shared_->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [](const auto &t) { return t.isNull(); }),
                 timers.end());
}

qint64 ManualClock::nowMs() const
{
    return shared_->nowMs;
}

ManualTimer &ManualClock::timer(const char *name) const
{
    ManualTimer *found = nullptr;
    for (const QPointer<ManualTimer> &timer : shared_->timers) {
        if (!timer || timer->objectName() != QLatin1String(name))
            continue;
        if (found)
            qFatal("more than one manual timer %s on this clock", name);
        found = timer;
    }
    if (!found)
        qFatal("no manual timer %s on this clock", name);
    return *found;
}
