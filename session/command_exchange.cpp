#include "session/command_exchange.h"

#include "protocol/traffic_rendering.h"

#include <QJsonValue>

QJsonObject toJson(const ExchangeResult &r)
{
    return QJsonObject{
        {QStringLiteral("command"), r.command},
        {QStringLiteral("code"), r.code},
        {QStringLiteral("sent"), r.sent},
        {QStringLiteral("reply"), r.reply},
        {QStringLiteral("rendered"), r.rendered},
        {QStringLiteral("status"), r.status ? QJsonValue(*r.status) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("answered"), r.answered},
        {QStringLiteral("elapsed_ms"), r.elapsedMs},
    };
}

CommandExchange::CommandExchange(ProjectorSession &session, QObject *parent)
    : QObject(parent), session_(session)
{
    connect(&session, &ProjectorSession::received, this, [this](const QString &text) {
        if (!running_)
            return;
        result_.reply = text;
        result_.answered = true;
        result_.elapsedMs = clock_.elapsed();
    });
    connect(&session, &ProjectorSession::statusDecoded, this, [this](const QString &words) {
        if (running_)
            result_.status = words;
    });
    connect(&session, &ProjectorSession::noReply, this, [this] {
        if (running_)
            result_.rendered = QStringLiteral(" X X X X");
    });
    connect(&session, &ProjectorSession::replyWindowClosed, this, &CommandExchange::end);
}

void CommandExchange::begin(const QString &name)
{
    result_ = ExchangeResult{};
    result_.command = name;
    running_ = true;
    clock_.start();
}

void CommandExchange::overrideReplyWindow(std::optional<int> replyWindowMs)
{
    if (!replyWindowMs)
        return;
    const MonitorTiming now = session_.monitorTiming();
    session_.setMonitorTiming({*replyWindowMs, qMax(now.clearDelayMs, *replyWindowMs)});
}

void CommandExchange::start(const Command &command, std::optional<int> replyWindowMs)
{
    begin(QString::fromLatin1(command.name));
    session_.send(command);
    overrideReplyWindow(replyWindowMs);
    result_.sent = session_.lastCommand();
    result_.code = QString(result_.sent).chopped(1);
}

void CommandExchange::startTyped(const QString &text, std::optional<int> replyWindowMs)
{
    begin(QStringLiteral("send"));
    session_.sendTyped(text);
    overrideReplyWindow(replyWindowMs);
    result_.sent = session_.lastCommand();
    result_.code = QString(result_.sent).chopped(1);
}

void CommandExchange::end()
{
    if (!running_)
        return;
    running_ = false;
    if (result_.answered) {
        result_.rendered = trafficRendering(result_.reply);
    } else {
        result_.elapsedMs = clock_.elapsed();
        result_.status.reset();
    }
    emit finished(result_);
}
