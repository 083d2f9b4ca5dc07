// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/guess_delays.h"

#include "bridge/listener_limits.h"

#include <algorithm>

using namespace listener_limits;

qint64 GuessDelays::waitMs(const QHostAddress &address, qint64 nowMs)
{
    const auto found = byAddress_.find(address.toString());
    if (found == byAddress_.end())
        return 0;
    if (nowMs - found->second.lastWrongMs > kForgetMs) {
        byAddress_.erase(found);
        return 0;
    }
    return std::max<qint64>(0, found->second.notBeforeMs - nowMs);
}

QString GuessDelays::wrong(const QHostAddress &address, qint64 nowMs)
{
    const QString key = address.toString();
    if (!byAddress_.count(key))
        makeRoom(nowMs);
    Tries &tries = byAddress_[key];
    tries.delayMs =
        tries.delayMs == 0 ? kFirstGuessDelayMs : std::min(2 * tries.delayMs, kLongestGuessDelayMs);
    tries.notBeforeMs = nowMs + tries.delayMs;
    tries.lastWrongMs = nowMs;
    ++tries.unlogged;
    if (tries.loggedMs != 0 && nowMs - tries.loggedMs < kLogPeriodMs)
        return {};
    const QString line = QStringLiteral("PJLink from %1: %2 wrong password%3; its next try waits %4 ms")
                             .arg(key)
                             .arg(tries.unlogged)
                             .arg(tries.unlogged == 1 ? QString() : QStringLiteral("s in the last minute"))
                             .arg(tries.delayMs);
    tries.loggedMs = std::max<qint64>(nowMs, 1);
    tries.unlogged = 0;
    return line;
}

void GuessDelays::right(const QHostAddress &address)
{
    byAddress_.erase(address.toString());
}

void GuessDelays::makeRoom(qint64 nowMs)
{
    for (auto it = byAddress_.begin(); it != byAddress_.end();)
        it = nowMs - it->second.lastWrongMs > kForgetMs ? byAddress_.erase(it) : std::next(it);
    if (byAddress_.size() < std::size_t(kMostAddresses))
        return;
    // Full of addresses guessing now: the one quiet longest goes.
    const auto oldest =
        std::min_element(byAddress_.begin(), byAddress_.end(), [](const auto &a, const auto &b) {
            return a.second.lastWrongMs < b.second.lastWrongMs;
        });
    byAddress_.erase(oldest);
}
