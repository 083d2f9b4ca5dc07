#include "app/window_timer.h"

WindowTimer::WindowTimer(const QString &name, int intervalMs, Qt::TimerType type, QObject *parent)
    : QObject(parent)
{
    setObjectName(name);
    timer_.setTimerType(type);
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &WindowTimer::tick);
}

void WindowTimer::setInterval(int ms)
{
    if (timer_.isActive())
        timer_.start(ms);
    else
        timer_.setInterval(ms);
}

void WindowTimer::setEnabled(bool on)
{
    if (on)
        timer_.start();
    else
        timer_.stop();
}
