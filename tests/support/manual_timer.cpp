#include "support/manual_timer.h"

#include <gtest/gtest.h>

ManualTimer::ManualTimer(const QString &name, int intervalMs, QObject *parent)
    : SessionTimer(parent), interval_(intervalMs)
{
    setObjectName(name);
}

void ManualTimer::setInterval(int ms)
{
    interval_ = ms;
    countdownStarts_ += enabled_ ? 1 : 0;
}

void ManualTimer::setEnabled(bool on)
{
    enabled_ = on;
    countdownStarts_ += on ? 1 : 0;
}

bool ManualTimer::fire()
{
    if (!enabled_)
        return false;
    emit tick();
    return true;
}

ProjectorSession::TimerFactory manualTimers()
{
    return [](const QString &name, int intervalMs, QObject *parent) -> SessionTimer * {
        return new ManualTimer(name, intervalMs, parent);
    };
}

ManualTimer &manualTimer(const QObject &owner, const char *name)
{
    if (auto *timer = owner.findChild<ManualTimer *>(QString::fromLatin1(name)))
        return *timer;
    ADD_FAILURE() << "no manual timer " << name;
    static ManualTimer missing(QStringLiteral("missing"), 0, nullptr);
    return missing;
}
