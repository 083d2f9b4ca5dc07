// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// At most one line a minute for a kind of event that can come in floods
// (refused commands): the first goes out at once, the ones after it within
// the minute are counted and summed up in one line when it ends.

#include "session/session_timer.h"

#include <QObject>
#include <QString>
#include <map>

class LogThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int kPeriodMs = 60000;

    // what: names the events in the summary ("hall: 12 more commands refused").
    LogThrottle(const QString &what, QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

    void report(const QString &line);

signals:
    void log(const QString &line);

private:
    void periodEnded();

    QString what_;
    SessionTimer *period_;
    int held_ = 0;
};

// A throttle for each kind of event, made when its first event comes, so
// that a flood of one kind hides none of the others.
class LogThrottles : public QObject {
    Q_OBJECT
public:
    // prefix: put before a kind to name its events in a summary ("hall: PJLink ").
    LogThrottles(const QString &prefix, QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

    void report(const QString &kind, const QString &line);

signals:
    void log(const QString &line);

private:
    QString prefix_;
    SessionTimerFactory makeTimer_;
    std::map<QString, LogThrottle *> byKind_; // children
};
