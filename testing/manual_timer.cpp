// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/manual_timer.h"

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

void advanceClock(const QObject &owner, int ms)
{
    const QList<ManualTimer *> timers = owner.findChildren<ManualTimer *>();
    for (int i = 0; i < ms; ++i)
        for (ManualTimer *timer : timers)
            timer->advance(1);
}

SessionTimerFactory manualTimers()
{
    return [](const QString &name, int intervalMs, QObject *parent) -> SessionTimer * {
        return new ManualTimer(name, intervalMs, parent);
    };
}

ManualTimer &manualTimer(const QObject &owner, const char *name)
{
    if (auto *timer = owner.findChild<ManualTimer *>(QString::fromLatin1(name)))
        return *timer;
    qFatal("no manual timer %s among the children of %s", name, qPrintable(owner.objectName()));
}
