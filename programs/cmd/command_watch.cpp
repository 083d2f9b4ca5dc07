// SPDX-License-Identifier: GPL-3.0-or-later
#include "command_watch.h"

#include "session/command_exchange.h"
#include "session/precise_timer.h"

CommandWatch::CommandWatch(CommandExchange &exchange, const Command &query, int periodMs,
                           std::optional<int> replyWindowMs, const SessionTimerFactory &makeTimer)
    : exchange_(exchange), query_(query), replyWindowMs_(replyWindowMs)
{
    period_ = (makeTimer ? makeTimer : makePreciseTimer)(QStringLiteral("watchPeriod"), periodMs, this);
    connect(period_, &SessionTimer::tick, this, &CommandWatch::due);
    connect(&exchange_, &CommandExchange::finished, this, &CommandWatch::answered);
}

void CommandWatch::start()
{
    // The period counts from one question to the next, whatever the reply took.
    period_->setEnabled(true);
    ask();
}

void CommandWatch::due()
{
    if (exchange_.isRunning())
        overdue_ = true;
    else
        ask();
}

void CommandWatch::ask()
{
    overdue_ = false;
    exchange_.start(query_, replyWindowMs_);
}

void CommandWatch::answered(const ExchangeResult &result)
{
    const bool differs = first_ || result.status != lastStatus_ || result.answered != lastAnswered_;
    first_ = false;
    lastStatus_ = result.status;
    lastAnswered_ = result.answered;
    if (differs)
        emit changed(result);
    // Not from inside the exchange's own report.
    if (overdue_)
        QMetaObject::invokeMethod(this, &CommandWatch::ask, Qt::QueuedConnection);
}
