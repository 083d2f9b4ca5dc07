#include "command_watch.h"

#include "session/command_exchange.h"

CommandWatch::CommandWatch(CommandExchange &exchange, const Command &query, int periodMs,
                           std::optional<int> replyWindowMs)
    : exchange_(exchange), query_(query), periodMs_(periodMs), replyWindowMs_(replyWindowMs)
{
    next_.setSingleShot(true);
    next_.setTimerType(Qt::PreciseTimer);
    connect(&next_, &QTimer::timeout, this, &CommandWatch::ask);
    connect(&exchange_, &CommandExchange::finished, this, &CommandWatch::answered);
}

void CommandWatch::start()
{
    next_.start(0);
}

void CommandWatch::ask()
{
    // The period counts from one question to the next, whatever the reply took.
    next_.start(periodMs_);
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
}
