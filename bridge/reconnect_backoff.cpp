// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/reconnect_backoff.h"

#include <algorithm>

int ReconnectBackoff::nextDelayMs(qint64 nowMs)
{
    if (openedAtMs_ && nowMs - *openedAtMs_ >= kProvenAfterMs)
        delayMs_ = kFirstDelayMs;
    openedAtMs_.reset();
    const int delay = delayMs_;
    delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
    return delay;
}

void ReconnectBackoff::opened(qint64 nowMs)
{
    openedAtMs_ = nowMs;
}

void ReconnectBackoff::answered()
{
    delayMs_ = kFirstDelayMs;
}
