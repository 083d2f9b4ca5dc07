#include "bridge/projector_link.h"

#include "protocol/commands.h"

#include <QJsonValue>
#include <algorithm>

namespace {
constexpr int kFirstRetryMs = 1000;
constexpr int kLongestRetryMs = 60000;
} // namespace

ProjectorLink::ProjectorLink(const QString &id, const PortAddress &port, int pollMs, QObject *parent)
    : QObject(parent), id_(id), port_(port), exchange_(line_), retryDelayMs_(kFirstRetryMs)
{
    pollTimer_.setInterval(pollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &ProjectorLink::pollAll);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &ProjectorLink::tryOpen);
    connect(&exchange_, &CommandExchange::finished, this, &ProjectorLink::finished);
    connect(&line_, &PortConnection::lost, this, &ProjectorLink::lost);
    connect(&line_, &PortConnection::opened, this, &ProjectorLink::opened);
    connect(&line_, &PortConnection::openFailed, this, &ProjectorLink::openFailed);
}

void ProjectorLink::start()
{
    stopped_ = false;
    tryOpen();
}

void ProjectorLink::stop()
{
    stopped_ = true;
    pollTimer_.stop();
    retryTimer_.stop();
    queue_.clear();
    line_.close();
}

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
    if (!lossLogged_) {
        emit log(QStringLiteral("%1: cannot open %2: %3; retrying").arg(id_, portName(), error.description));
        lossLogged_ = true;
    }
    retryLater();
}

void ProjectorLink::retryLater()
{
    retryTimer_.start(retryDelayMs_);
    retryDelayMs_ = qMin(retryDelayMs_ * 2, kLongestRetryMs);
}

void ProjectorLink::opened()
{
    emit log(QStringLiteral("%1: %2 open").arg(id_, portName()));
    lossLogged_ = false;
    retryDelayMs_ = kFirstRetryMs;
    emit availabilityChanged(true);
    if (pollTimer_.interval() > 0)
        pollTimer_.start();
    pollAll();
}

void ProjectorLink::lost(const QString &description)
{
    emit log(QStringLiteral("%1: %2 lost: %3; retrying").arg(id_, portName(), description));
    lossLogged_ = true;
    pollTimer_.stop();
    emit availabilityChanged(false);
    // Nothing queued can reach the projector now. Sent to the closed port,
    // each job would log a failure of its own: the polls are dropped (a new
    // round follows the reopening), the commands answered at once.
    std::deque<Job> stranded;
    stranded.swap(queue_);
    for (const Job &job : stranded) {
        if (!job.poll)
            refuse(job.command ? QString::fromLatin1(job.command->name) : QStringLiteral("send ") + job.text,
                   QStringLiteral("projector offline"));
    }
    retryDelayMs_ = kFirstRetryMs;
    retryLater();
}

void ProjectorLink::pollAll()
{
    if (!isOnline())
        return;
    // Asked again only once the previous round is through.
    for (const Job &job : queue_)
        if (job.poll)
            return;
    for (const Command &c : commandTable())
        if (c.statusQuery)
            queue_.push_back({&c, QString(), true});
    runNext();
}

void ProjectorLink::command(const QString &request)
{
    if (!isOnline()) {
        refuse(request, QStringLiteral("projector offline"));
        return;
    }
    Job job;
    if (request.startsWith(QLatin1String("send "))) {
        job.text = request.mid(5);
    } else {
        job.command = findCommand(request);
        if (!job.command) {
            refuse(request, QStringLiteral("unknown command"));
            return;
        }
    }
    // Commands go ahead of the polls still waiting, in their own order.
    const auto firstPoll = std::find_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; });
    queue_.insert(firstPoll, job);
    runNext();
}

void ProjectorLink::refuse(const QString &request, const QString &why)
{
    emit log(QStringLiteral("%1: refused \"%2\": %3").arg(id_, request.left(80), why));
    ExchangeResult nothing;
    nothing.command = request.startsWith(QLatin1String("send ")) ? QStringLiteral("send") : request;
    QJsonObject reply = toJson(nothing);
    reply.insert(QStringLiteral("error"), why);
    emit replied(reply);
}

void ProjectorLink::runNext()
{
    if (exchange_.isRunning() || queue_.empty())
        return;
    const Job job = queue_.front();
    queue_.pop_front();
    runningPoll_ = job.poll;
    runningCommand_ = job.command;
    if (job.command)
        exchange_.start(*job.command);
    else
        exchange_.startTyped(job.text);
}

void ProjectorLink::finished(const ExchangeResult &result)
{
    if (!runningPoll_)
        emit replied(toJson(result));
    const bool query = runningCommand_ && runningCommand_->statusQuery;
    if (query && result.status && statuses_.value(result.command) != *result.status) {
        statuses_.insert(result.command, *result.status);
        emit statusChanged(result.command, *result.status);
    }
    if (!runningPoll_ && !stopped_) {
        // A command may have changed what the queries say: a whole new round,
        // rather than what is left of one asked before it.
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; }),
                     queue_.end());
        pollAll();
    }
    runNext();
}
