// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/precise_timer.h"

#include <QScopedValueRollback>
#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

PreciseTimer::PreciseTimer(const QString &name, int intervalMs, QObject *parent, Qt::TimerType type,
                           bool kernelClock)
    : SessionTimer(parent), interval_(intervalMs)
{
    setObjectName(name);
    (void)kernelClock; // only Linux has the kernel's clock here
#ifdef Q_OS_LINUX
    // The kernel keeps the period on its own grid and wakes the event loop
    // through the descriptor at the exact time.
    if (type == Qt::PreciseTimer && kernelClock)
        kernelTimer_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (kernelTimer_ >= 0) {
        kernelTimerNotifier_ = new QSocketNotifier(qintptr(kernelTimer_), QSocketNotifier::Read, this);
        connect(kernelTimerNotifier_, &QSocketNotifier::activated, this, &PreciseTimer::kernelTimerReady);
        return;
    }
#endif
    timer_.setTimerType(type);
    connect(&timer_, &QTimer::timeout, this, &SessionTimer::tick);
}

PreciseTimer::~PreciseTimer()
{
#ifdef Q_OS_LINUX
    if (kernelTimer_ >= 0) {
        delete kernelTimerNotifier_;
        ::close(kernelTimer_);
    }
#endif
}

void PreciseTimer::setInterval(int ms)
{
    interval_ = ms;
    if (enabled_)
        restart();
}

void PreciseTimer::setEnabled(bool on)
{
    if (!on && !enabled_)
        return;
    enabled_ = on;
    restart();
}

void PreciseTimer::restart()
{
#ifdef Q_OS_LINUX
    if (kernelTimer_ >= 0) {
        itimerspec period{};
        if (enabled_) {
            const qint64 ns = qMax<qint64>(1, qint64(interval_) * 1000000);
            period.it_value.tv_sec = time_t(ns / 1000000000);
            period.it_value.tv_nsec = long(ns % 1000000000);
            period.it_interval = period.it_value;
        }
        // Arming or disarming also forgets expirations not read yet.
        ::timerfd_settime(kernelTimer_, 0, &period, nullptr);
        return;
    }
#endif
    if (enabled_)
        timer_.start(interval_);
    else
        timer_.stop();
}

void PreciseTimer::kernelTimerReady()
{
#ifdef Q_OS_LINUX
    quint64 expirations = 0;
    // Nothing to read when it was re-armed or stopped after the event loop
    // saw it ready. However many periods have passed, one tick: late ticks
    // are not made up, and a tick never runs inside its own handler.
    if (::read(kernelTimer_, &expirations, sizeof expirations) != ssize_t(sizeof expirations))
        return;
    if (!enabled_ || ticking_)
        return;
    const QScopedValueRollback<bool> inTick(ticking_, true);
    emit tick();
#endif
}

SessionTimer *makePreciseTimer(const QString &name, int intervalMs, QObject *parent)
{
    return new PreciseTimer(name, intervalMs, parent);
}

SessionTimer *makeCoarseTimer(const QString &name, int intervalMs, QObject *parent)
{
    return new PreciseTimer(name, intervalMs, parent, Qt::CoarseTimer);
}

SessionTimer *makeLoopTimer(const QString &name, int intervalMs, QObject *parent)
{
    return new PreciseTimer(name, intervalMs, parent, Qt::PreciseTimer, false);
}
