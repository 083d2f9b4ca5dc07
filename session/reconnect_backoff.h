// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// When to try a line again (a projector's port, the broker): 1 s after a
// failure, the delay doubling up to 60 s. It starts over only once the link
// has proved itself by staying up for 30 s: a device server that accepts
// and hangs up, or answers one line and hangs up (an inactivity timeout),
// keeps doubling instead of being reconnected every second forever.

#include "session/session_timer.h"

#include <QObject>

class ReconnectBackoff : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstDelayMs = 1000;
    static constexpr int kLongestDelayMs = 60000;
    static constexpr int kProvenAfterMs = 30000;

    explicit ReconnectBackoff(QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

    // The delay before the next attempt, after a failed attempt or a loss;
    // each call doubles the one after it.
    int nextDelayMs();
    // The link is up; it proves itself by staying up.
    void opened();
    bool isProven() const { return proven_; }

signals:
    // The link has stayed up long enough: the next failure starts over at 1 s.
    void proven();

private:
    SessionTimer *provenTimer_;
    int delayMs_ = kFirstDelayMs;
    bool proven_ = false;
};
