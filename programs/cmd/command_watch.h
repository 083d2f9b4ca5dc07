#pragma once
// Asks one status query again and again, and reports each time its answer
// differs from the one before.

#include <QObject>
#include <QTimer>
#include <optional>

class CommandExchange;
struct Command;
struct ExchangeResult;

class CommandWatch : public QObject {
    Q_OBJECT
public:
    CommandWatch(CommandExchange &exchange, const Command &query, int periodMs,
                 std::optional<int> replyWindowMs);

    void start();

signals:
    void changed(const ExchangeResult &result);

private:
    void ask();
    void answered(const ExchangeResult &result);

    CommandExchange &exchange_;
    const Command &query_;
    int periodMs_;
    std::optional<int> replyWindowMs_;
    QTimer next_;
    bool first_ = true;
    std::optional<QString> lastStatus_;
    bool lastAnswered_ = false;
};
