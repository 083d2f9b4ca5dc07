// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How often each listener's limits bit (listener_limits.h), for the
// metrics, with one log line a minute per listener and limit so that a
// flood of refusals cannot flood the journal.

#include "session/session_timer.h"

#include <QObject>
#include <QString>
#include <map>
#include <utility>

class LogThrottles;

class LimitCounters : public QObject {
    Q_OBJECT
public:
    // listener: "web", "line", "pjlink"; limit: a short name for what bit
    // ("connections", "request head time", "unread bytes", "share", ...).
    using Key = std::pair<QString, QString>;

    explicit LimitCounters(QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

    // Counts one bite and logs line (throttled per listener and limit); an
    // empty line is counted only, for a listener that logs on a throttle
    // of its own (one per client address).
    // times: bites at once (lines of one read), counted as that many.
    void bite(const QString &listener, const QString &limit, const QString &line, quint64 times = 1);
    const std::map<Key, quint64> &counts() const { return counts_; }

signals:
    void log(const QString &line);

private:
    std::map<Key, quint64> counts_;
    LogThrottles *throttles_;
};

// One listener's place in the counters, as its clients bite: "line" for
// the listener, "hall: shared line" for what its log lines start with.
struct ListenerTally {
    LimitCounters *counters = nullptr; // none: not counted (a listener without limits yet)
    QString listener;
    QString what;

    void bite(const QString &limit, const QString &line, quint64 times = 1) const
    {
        if (counters)
            counters->bite(listener, limit, line.isEmpty() ? line : what + QStringLiteral(": ") + line,
                           times);
    }
};
