// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the session asks of a timer: an interval in milliseconds and an
// enabled flag. Enabling a running timer restarts its countdown, and so does
// assigning its interval while it runs; the monitor's timeline depends on
// both. Ticks that come late are not made up.

#include <QObject>
#include <QString>
#include <functional>

class SessionTimer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual int interval() const = 0;
    virtual void setInterval(int ms) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool on) = 0;

signals:
    void tick();
};

// Makes the timers of a session or an exchange; tests pass one that lets
// them tick by hand.
using SessionTimerFactory =
    std::function<SessionTimer *(const QString &name, int intervalMs, QObject *parent)>;
