// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
template <class Pred> bool waitUntil(Pred pred, int timeoutMs = 3000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return true;
}

// Runs the event loop for a while (to let things that should not happen show).
inline void pumpEvents(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
}
