// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/reconnect_backoff.h"

#include "session/precise_timer.h"

#include <algorithm>

ReconnectBackoff::ReconnectBackoff(QObject *parent, const SessionTimerFactory &makeTimer) : QObject(parent)
{
    provenTimer_ =
        (makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("provenTimer"), kProvenAfterMs, this);
    connect(provenTimer_, &SessionTimer::tick, this, [this] {
        provenTimer_->setEnabled(false);
        proven_ = true;
        delayMs_ = kFirstDelayMs;
        emit proven();
    });
}

int ReconnectBackoff::nextDelayMs()
{
    provenTimer_->setEnabled(false);
    proven_ = false;
    const int delay = delayMs_;
    delayMs_ = std::min(delayMs_ * 2, kLongestDelayMs);
    return delay;
}

void ReconnectBackoff::opened()
{
    proven_ = false;
    provenTimer_->setEnabled(true);
}
