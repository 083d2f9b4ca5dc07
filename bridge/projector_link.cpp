// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_link.h"

#include "protocol/commands.h"
#include "session/precise_timer.h"

#include <algorithm>

namespace {

QString requestText(const CommandRequest &request)
{
    return request.name == QLatin1String("send") ? QStringLiteral("send ") + request.text : request.name;
}

// The request's own id, text or a number, when it came with one.
QJsonObject withId(QJsonObject reply, const QJsonValue &id)
{
    if (id.isString() || id.isDouble())
        reply.insert(QStringLiteral("id"), id);
    return reply;
}

} // namespace

ProjectorLink::ProjectorLink(const QString &id, const PortAddress &port, const Settings &settings,
                             QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), id_(id), port_(port), settings_(settings), line_(nullptr, makeTimer),
      exchange_(line_, this, makeTimer),
      refusals_(QStringLiteral("%1: commands refused").arg(id), this, makeTimer)
{
    line_.setParent(this); // so that its timers are found among this link's own
    const SessionTimerFactory make = makeTimer ? makeTimer : makePreciseTimer;
    pollTimer_ = make(QStringLiteral("pollTimer"), qMax(settings.pollMs, 1), this);
    retryTimer_ = make(QStringLiteral("retryTimer"), ReconnectBackoff::kFirstDelayMs, this);
    clock_.start();
    connect(pollTimer_, &SessionTimer::tick, this, &ProjectorLink::pollAll);
    connect(retryTimer_, &SessionTimer::tick, this, [this] {
        retryTimer_->setEnabled(false);
        tryOpen();
    });
    connect(&exchange_, &CommandExchange::finished, this, &ProjectorLink::finished);
    connect(&line_, &PortConnection::lost, this, &ProjectorLink::lost);
    connect(&line_, &PortConnection::opened, this, &ProjectorLink::opened);
    connect(&line_, &PortConnection::openFailed, this, &ProjectorLink::openFailed);
    connect(&refusals_, &LogThrottle::log, this, &ProjectorLink::log);
}

bool ProjectorLink::isOnline() const
{
    return line_.isOpen() && (settings_.pollMs == 0 || answering_);
}

void ProjectorLink::start()
{
    stopped_ = false;
    tryOpen();
}

void ProjectorLink::stop()
{
    stopped_ = true;
    pollTimer_->setEnabled(false);
    retryTimer_->setEnabled(false);
    queue_.clear();
    line_.close();
}

// ---- The port ----

void ProjectorLink::tryOpen()
{
    if (stopped_)
        return;
    const PortAddressParse where = resolvePortAddress(port_);
    if (!where.address) {
        openFailed({EINVAL, where.problem});
        return;
    }
    if (const SerialError e = line_.open(*where.address, port_settings::kFast))
        openFailed(e);
}

void ProjectorLink::openFailed(const SerialError &error)
{
    outage(QStringLiteral("cannot open %1: %2").arg(portName(), error.description));
    retryLater();
}

void ProjectorLink::opened()
{
    backoff_.opened(clock_.elapsed());
    if (!everOpened_)
        emit log(QStringLiteral("%1: %2 open").arg(id_, portName()));
    everOpened_ = true;
    answering_ = false; // until it answers
    unansweredInARow_ = 0;
    if (settings_.pollMs == 0)
        returned(QStringLiteral("%1 open again").arg(portName()));
    updateAvailability();
    if (settings_.pollMs > 0)
        pollTimer_->setEnabled(true);
    pollAll();
}

void ProjectorLink::lost(const QString &description)
{
    outage(QStringLiteral("%1 lost: %2").arg(portName(), description));
    pollTimer_->setEnabled(false);
    answering_ = false;
    updateAvailability();
    // Nothing queued can reach the projector now. Sent to the closed port,
    // each job would fail on its own: the polls are dropped (a new round
    // follows the reopening), the commands answered at once.
    std::deque<Job> stranded;
    stranded.swap(queue_);
    for (const Job &job : stranded)
        if (!job.poll)
            refuse(job.command ? QString::fromLatin1(job.command->name) : QStringLiteral("send ") + job.text,
                   job.id, QStringLiteral("projector offline"));
    retryLater();
}

void ProjectorLink::retryLater()
{
    if (stopped_)
        return;
    retryTimer_->setInterval(backoff_.nextDelayMs(clock_.elapsed()));
    retryTimer_->setEnabled(true);
}

void ProjectorLink::outage(const QString &line)
{
    if (inOutage_)
        return;
    inOutage_ = true;
    emit log(QStringLiteral("%1: %2; retrying").arg(id_, line));
}

void ProjectorLink::returned(const QString &line)
{
    if (!inOutage_)
        return;
    inOutage_ = false;
    emit log(QStringLiteral("%1: %2").arg(id_, line));
}

// ---- Commands and polls ----

qsizetype ProjectorLink::commandsWaiting() const
{
    const qsizetype queued =
        std::count_if(queue_.begin(), queue_.end(), [](const Job &j) { return !j.poll; });
    return queued + (running_ && !running_->poll ? 1 : 0);
}

void ProjectorLink::command(const CommandRequest &request, const QJsonValue &id)
{
    if (!line_.isOpen()) {
        refuse(requestText(request), id, QStringLiteral("projector offline"));
        return;
    }
    Job job;
    job.id = id;
    if (request.name == QLatin1String("send")) {
        job.text = request.text;
    } else {
        job.command = findCommand(request.name);
        if (!job.command) {
            refuse(request.name, id, QStringLiteral("unknown command"));
            return;
        }
    }
    if (commandsWaiting() >= settings_.queueLimit) {
        refuse(requestText(request), id, QStringLiteral("busy"));
        return;
    }
    // Commands go ahead of the polls still waiting, in their own order.
    const auto firstPoll = std::find_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; });
    queue_.insert(firstPoll, job);
    runNext();
}

void ProjectorLink::refuse(const std::optional<QString> &request, const QJsonValue &id, const QString &why)
{
    // What was refused is named only when it was fit to be named.
    refusals_.report(request ? QStringLiteral("%1: refused \"%2\": %3").arg(id_, request->left(80), why)
                             : QStringLiteral("%1: refused a command: %2").arg(id_, why));
    ExchangeResult nothing;
    if (request)
        nothing.command = request->startsWith(QLatin1String("send ")) ? QStringLiteral("send") : *request;
    QJsonObject reply = toJson(nothing);
    if (!request)
        reply.insert(QStringLiteral("command"), QJsonValue(QJsonValue::Null));
    reply.insert(QStringLiteral("error"), why);
    emit replied(withId(reply, id));
}

void ProjectorLink::pollAll()
{
    if (!line_.isOpen())
        return;
    // Asked again only once the previous round is through.
    if ((running_ && running_->poll) ||
        std::any_of(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; }))
        return;
    for (const Command &c : commandTable())
        if (c.statusQuery)
            queue_.push_back({&c, QString(), true, {}});
    runNext();
}

void ProjectorLink::runNext()
{
    if (running_ || queue_.empty())
        return;
    running_ = queue_.front();
    queue_.pop_front();
    if (running_->command)
        exchange_.start(*running_->command);
    else
        exchange_.startTyped(running_->text);
}

void ProjectorLink::finished(const ExchangeResult &result)
{
    if (!running_)
        return;
    const Job job = *running_;
    running_.reset();
    if (result.answered)
        heardFrom();
    else if (!result.error)
        notHeardFrom();
    if (!job.poll)
        emit replied(withId(toJson(result), job.id));
    if (job.command && job.command->statusQuery && result.status) {
        const bool textChanged = statuses().value(result.command) != *result.status;
        stateChanged_ |= state_.take(result.command, result);
        if (textChanged)
            emit statusChanged(result.command, *result.status);
    }
    if (!job.poll && !stopped_) {
        // A command may have changed what the queries say: a whole new round,
        // rather than what is left of one asked before it.
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; }),
                     queue_.end());
        pollAll();
    }
    // The typed state goes out once a round has read everything it asks,
    // not once per query.
    if (stateChanged_ && std::none_of(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; })) {
        stateChanged_ = false;
        emit stateChanged();
    }
    runNext();
}

// ---- Availability ----

void ProjectorLink::heardFrom()
{
    backoff_.answered();
    unansweredInARow_ = 0;
    answering_ = true;
    returned(QStringLiteral("answering again"));
    updateAvailability();
}

// As many exchanges in a row without an answer as a round of queries has:
// whether they were the round's queries, or commands that keep arriving
// and start the round anew each time.
void ProjectorLink::notHeardFrom()
{
    if (++unansweredInARow_ < queriesPerRound() || settings_.pollMs == 0)
        return;
    answering_ = false;
    outage(QStringLiteral("no answer to a whole round's worth of exchanges"));
    updateAvailability();
}

int ProjectorLink::queriesPerRound()
{
    static const int count = int(std::count_if(commandTable().begin(), commandTable().end(),
                                               [](const Command &c) { return c.statusQuery; }));
    return count;
}

void ProjectorLink::updateAvailability()
{
    const bool online = isOnline();
    if (online == publishedOnline_)
        return;
    publishedOnline_ = online;
    emit availabilityChanged(online);
}
