// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a service's timers and its sense of "how long ago" come from: the
// real clock, or a test's manual one, so that an age and the timer that
// acts on it always move together.

#include "session/session_timer.h"

#include <QtGlobal>
#include <functional>

struct SessionClock {
    SessionTimerFactory makeTimer;     // empty: each use picks the real timer it needs
    std::function<qint64()> currentMs; // empty: the real monotonic clock

    // Milliseconds on a clock that never goes back; only differences mean anything.
    qint64 nowMs() const;
    // makeTimer, or the real kind given when there is none.
    SessionTimerFactory timersOr(const SessionTimerFactory &real) const
    {
        return makeTimer ? makeTimer : real;
    }
};
