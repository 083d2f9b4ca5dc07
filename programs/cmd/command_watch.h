// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asks one status query again and again, and reports each time its answer
// differs from the one before. A question is never asked while the one
// before it is still waiting for its reply: one that falls due meanwhile
// goes out as soon as that reply is in.

#include "session/session_timer.h"

#include <QObject>
#include <QString>
#include <optional>

class CommandExchange;
struct Command;
struct ExchangeResult;

class CommandWatch : public QObject {
    Q_OBJECT
public:
    CommandWatch(CommandExchange &exchange, const Command &query, int periodMs,
                 std::optional<int> replyWindowMs, const SessionTimerFactory &makeTimer = {});

    void start();

signals:
    void changed(const ExchangeResult &result);

private:
    void due();
    void ask();
    void answered(const ExchangeResult &result);

    CommandExchange &exchange_;
    const Command &query_;
    std::optional<int> replyWindowMs_;
    SessionTimer *period_;
    bool overdue_ = false;
    bool first_ = true;
    std::optional<QString> lastStatus_;
    bool lastAnswered_ = false;
};
