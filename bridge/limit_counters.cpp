// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/limit_counters.h"

#include "bridge/log_throttle.h"

LimitCounters::LimitCounters(QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), throttles_(new LogThrottles(QString(), this, makeTimer))
{
    connect(throttles_, &LogThrottles::log, this, &LimitCounters::log);
}

void LimitCounters::bite(const QString &listener, const QString &limit, const QString &line, quint64 times)
{
    counts_[{listener, limit}] += times;
    if (!line.isEmpty())
        throttles_->report(listener + QStringLiteral(": ") + limit, line);
}
