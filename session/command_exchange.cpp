// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/command_exchange.h"

#include "protocol/command_line.h"
#include "protocol/status_decoding.h"
#include "protocol/traffic_rendering.h"
#include "session/port_connection.h"
#include "session/precise_timer.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcExchange, "velno.exchange", QtWarningMsg)

namespace {

// What a projector of the family sends before a reply's carriage return:
// printable text, an ACK, at most a tab or a line feed.
bool couldBeAReply(const QByteArray &line)
{
    const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
    return std::all_of(text.begin(), text.end(), [](char c) {
        const auto u = uchar(c);
        return (u >= 0x20 && u < 0x7f) || u == 0x06 || u == '\t' || u == '\n';
    });
}

} // namespace

CommandExchange::CommandExchange(PortConnection &line, QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), line_(line)
{
    const SessionTimerFactory make = makeTimer ? makeTimer : makePreciseTimer;
    window_ = make(QStringLiteral("replyWindow"), monitor_timing::kNormal.replyWindowMs, this);
    quietGap_ = make(QStringLiteral("quietGap"), kQuietGapMs, this);
    quietLimit_ = make(QStringLiteral("quietLimit"), kLongestExtraWaitMs, this);
    connect(window_, &SessionTimer::tick, this, &CommandExchange::windowClosed);
    connect(quietGap_, &SessionTimer::tick, this, &CommandExchange::quietReached);
    connect(quietLimit_, &SessionTimer::tick, this, &CommandExchange::waitLimitReached);
    connect(&line_, &PortConnection::received, this, &CommandExchange::arrived);
    connect(&line_, &PortConnection::lost, this, &CommandExchange::lineLost);
}

int CommandExchange::replyWindowMs(const Command &command)
{
    if (command.timing == CommandTiming::Hold)
        return monitor_timing::kNormal.replyWindowMs;
    const std::optional<MonitorTiming> own = timingBeforeSend(command.timing);
    return (own ? *own : monitor_timing::kNormal).replyWindowMs;
}

int CommandExchange::typedReplyWindowMs()
{
    return monitor_timing::kShort.replyWindowMs;
}

void CommandExchange::start(const Command &command, std::optional<int> replyWindowMs)
{
    begin(QString::fromLatin1(command.name), commandLine(QLatin1String(command.code)), command.statusQuery,
          replyWindowMs.value_or(CommandExchange::replyWindowMs(command)));
}

void CommandExchange::start(const CommandRequest &request, std::optional<int> replyWindowMs)
{
    if (request.command)
        return start(*request.command, replyWindowMs);
    begin(request.name(), commandLine(firstLineOf(request.typedLine)), nullptr,
          replyWindowMs.value_or(typedReplyWindowMs()));
}

void CommandExchange::begin(const QString &name, const QString &line, const StatusQuery *statusQuery,
                            int windowMs)
{
    if (isRunning())
        return;
    result_ = ExchangeResult{};
    result_.command = name;
    result_.sent = line;
    result_.code = QString(line).chopped(1);
    statusQuery_ = statusQuery;
    reply_.clear();
    window_->setInterval(windowMs);
    if (quietGap_->enabled()) {
        phase_ = Phase::WaitingForQuiet;
        quietLimit_->setInterval(quietGap_->interval() + kLongestExtraWaitMs);
        quietLimit_->setEnabled(true);
        return;
    }
    send();
}

void CommandExchange::send()
{
    phase_ = Phase::AwaitingReply;
    sinceSend_.start();
    if (const SerialError e = line_.write(lineBytes(result_.sent))) {
        result_.error = e.description;
        finish();
        return;
    }
    window_->setEnabled(true);
}

void CommandExchange::arrived(const QByteArray &bytes)
{
    const qint64 strayBefore = strayBytes_;
    bool replyComplete = false;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (owed_ > 0) {
            at = payOwed(bytes, at);
        } else if (phase_ == Phase::AwaitingReply && !replyComplete) {
            at = takeReply(bytes, at);
            replyComplete = bytes.at(at - 1) == '\r';
        } else {
            discard(bytes.size() - at);
            break;
        }
    }
    // Whatever the stray bytes were, the next command waits until they have
    // stopped; while replies are owed, until they are forgiven.
    if (strayBytes_ != strayBefore)
        requireQuiet(owed_ > 0 ? kForgiveAfterQuietMs : kQuietGapMs);
    if (replyComplete)
        finish();
}

qsizetype CommandExchange::payOwed(const QByteArray &bytes, qsizetype at)
{
    const qsizetype cr = bytes.indexOf('\r', at);
    const qsizetype end = cr < 0 ? bytes.size() : cr + 1;
    owedLine_ += bytes.mid(at, std::min(end - at, kLongestReply - owedLine_.size()));
    discard(end - at);
    if (cr < 0)
        return end;
    if (couldBeAReply(owedLine_)) {
        --owed_;
        qCDebug(lcExchange) << "an owed reply came late:" << owedLine_ << owed_ << "still owed";
    } else {
        qCDebug(lcExchange) << "noise pays no owed reply:" << owedLine_.toHex(' ');
    }
    owedLine_.clear();
    return end;
}

qsizetype CommandExchange::takeReply(const QByteArray &bytes, qsizetype at)
{
    const qsizetype cr = bytes.indexOf('\r', at);
    const qsizetype end = cr < 0 ? bytes.size() : cr + 1;
    const qsizetype taken = std::min(end - at, kLongestReply - reply_.size());
    reply_ += bytes.mid(at, taken);
    result_.elapsedMs = sinceSend_.elapsed();
    if (taken < end - at)
        discard(end - at - taken);
    return end;
}

void CommandExchange::discard(qsizetype count)
{
    strayBytes_ += count;
    qCDebug(lcExchange) << "discarded" << count << "bytes no command was waiting for;" << strayBytes_
                        << "so far";
}

void CommandExchange::owe()
{
    ++owed_;
    owedLine_ += reply_;
    requireQuiet(kForgiveAfterQuietMs);
}

void CommandExchange::requireQuiet(int ms)
{
    quietGap_->setInterval(ms);
    quietGap_->setEnabled(true);
}

void CommandExchange::windowClosed()
{
    window_->setEnabled(false);
    if (phase_ != Phase::AwaitingReply)
        return;
    // The reply, or the rest of it, may still be on its way.
    owe();
    result_.elapsedMs = sinceSend_.elapsed();
    finish();
}

void CommandExchange::quietReached()
{
    quietGap_->setEnabled(false);
    quietLimit_->setEnabled(false);
    if (owed_ > 0)
        qCDebug(lcExchange) << "forgave" << owed_ << "replies after" << kForgiveAfterQuietMs << "ms of quiet";
    owed_ = 0;
    owedLine_.clear();
    if (phase_ == Phase::WaitingForQuiet)
        send();
}

void CommandExchange::waitLimitReached()
{
    quietLimit_->setEnabled(false);
    // What is still owed stays owed: the first lines to come pay it.
    if (owed_ == 0)
        quietGap_->setEnabled(false);
    if (phase_ == Phase::WaitingForQuiet)
        send();
}

void CommandExchange::lineLost(const QString &description)
{
    // A lost line takes the replies it owed with it.
    owed_ = 0;
    owedLine_.clear();
    quietGap_->setEnabled(false);
    if (!isRunning())
        return;
    result_.error = tr("port lost: %1").arg(description);
    finish();
}

void CommandExchange::finishNow()
{
    if (phase_ == Phase::WaitingForQuiet)
        result_.error = tr("interrupted before it was sent");
    else if (phase_ == Phase::AwaitingReply && !reply_.endsWith('\r'))
        owe();
    if (isRunning()) {
        result_.elapsedMs = phase_ == Phase::AwaitingReply ? sinceSend_.elapsed() : 0;
        finish();
    }
}

void CommandExchange::finish()
{
    window_->setEnabled(false);
    quietLimit_->setEnabled(false);
    phase_ = Phase::Idle;
    result_.answered = !reply_.isEmpty();
    result_.reply = QString::fromLatin1(reply_);
    result_.rendered = result_.answered ? trafficRendering(result_.reply) : kNoReplyRendering;
    if (result_.answered && statusQuery_) {
        StatusReading reading = readStatusReply(*statusQuery_, result_.reply);
        result_.status = std::move(reading.words);
        result_.value = std::move(reading.value);
    }
    emit finished(result_);
}
