// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session_clock.h"

#include <chrono>

qint64 SessionClock::nowMs() const
{
    if (currentMs)
        return currentMs();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
