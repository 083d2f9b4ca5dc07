// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When to try a projector's port again: 1 s after a failure, the delay
// doubling up to 60 s. It starts over only once the link has proved itself
// (stayed up for 30 s, or the projector answered): a device server that
// accepts the connection and hangs up at once keeps doubling, instead of
// being reconnected every second forever.

#include <QtGlobal>
#include <optional>

class ReconnectBackoff {
public:
    static constexpr int kFirstDelayMs = 1000;
    static constexpr int kLongestDelayMs = 60000;
    static constexpr qint64 kProvenAfterMs = 30000;

    // The delay before the next attempt, after a failed open or a loss at
    // nowMs; each call doubles the one after it.
    int nextDelayMs(qint64 nowMs);
    void opened(qint64 nowMs);
    void answered();

private:
    int delayMs_ = kFirstDelayMs;
    std::optional<qint64> openedAtMs_;
};
