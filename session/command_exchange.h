#pragma once
// One command sent and its reply window waited out: what a script, a
// scheduler or a building's automation asks of a projector.

#include "session/projector_session.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <optional>

struct ExchangeResult {
    QString command;               // the command's name, or "send" for a typed line
    QString code;                  // what was sent, without the carriage return
    QString sent;                  // the whole line
    QString reply;                 // everything received in the reply window, one character per byte
    QString rendered;              // the reply as the monitor shows it (" X X X X" when nothing came)
    std::optional<QString> status; // the decoded words, for a status query that was answered
    bool answered = false;
    qint64 elapsedMs = 0; // from the send to the last byte received, or to the window's end
};

// One object, as one line of JSON output.
QJsonObject toJson(const ExchangeResult &result);

class CommandExchange : public QObject {
    Q_OBJECT
public:
    CommandExchange(ProjectorSession &session, QObject *parent = nullptr);

    // Sends once; finished() follows when the reply window closes. A reply
    // window given here replaces the command's own.
    void start(const Command &command, std::optional<int> replyWindowMs = std::nullopt);
    void startTyped(const QString &text, std::optional<int> replyWindowMs = std::nullopt);
    bool isRunning() const { return running_; }

signals:
    void finished(const ExchangeResult &result);

private:
    void begin(const QString &name);
    void overrideReplyWindow(std::optional<int> replyWindowMs);
    void end();

    ProjectorSession &session_;
    ExchangeResult result_;
    QElapsedTimer clock_;
    bool running_ = false;
};
