// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_link.h"

#include "protocol/commands.h"
#include "protocol/status_decoding.h"
#include "session/precise_timer.h"

#include <QDateTime>
#include <algorithm>
#include <utility>

namespace {

// A bridge holds hundreds of lines: their timers cost the event loop no
// descriptor each.
SessionTimerFactory orLoopTimers(const SessionClock &clock)
{
    return clock.timersOr(makeLoopTimer);
}

// What a command switches that the status queries then read: the operating
// state after the power, and the input as well after an input.
bool switchesPower(const Command &c)
{
    return c.name == QLatin1String("power-on") || c.name == QLatin1String("power-off");
}
bool switchesInput(const Command &c)
{
    for (const char *name : {"pc1", "pc2", "video", "terminal-in"})
        if (c.name == QLatin1String(name))
            return true;
    return false;
}

} // namespace

ProjectorLink::ProjectorLink(const QString &id, const PortAddress &port, const Settings &settings,
                             QObject *parent, const SessionClock &clock)
    : QObject(parent), id_(id), clock_(clock), port_(port), settings_(settings),
      line_(nullptr, orLoopTimers(clock)), exchange_(line_, this, orLoopTimers(clock)),
      refusals_(QStringLiteral("%1: commands refused").arg(id), this, clock.makeTimer),
      rejections_(QStringLiteral("%1: replies without a value for their query").arg(id), this,
                  clock.makeTimer)
{
    line_.setParent(this);
    const SessionTimerFactory makeCoarse = clock.timersOr(makeCoarseTimer);
    pollTimer_ = makeCoarse(QStringLiteral("pollTimer"), qMax(settings.pollMs, 1), this);
    retryTimer_ = makeCoarse(QStringLiteral("retryTimer"), ReconnectBackoff::kFirstDelayMs, this);
    followTimer_ = makeCoarse(QStringLiteral("followTimer"), kFollowPeriodMs, this);
    backoff_ = new ReconnectBackoff(this, makeCoarse);
    connect(backoff_, &ReconnectBackoff::proven, this, &ProjectorLink::returnedIfProven);
    connect(pollTimer_, &SessionTimer::tick, this, [this] {
        pollTimer_->setInterval(settings_.pollMs); // after the first, shifted one
        pollAll();
    });
    connect(retryTimer_, &SessionTimer::tick, this, [this] {
        retryTimer_->setEnabled(false);
        tryOpen();
    });
    connect(followTimer_, &SessionTimer::tick, this, &ProjectorLink::followTick);
    connect(&exchange_, &CommandExchange::finished, this, &ProjectorLink::finished);
    connect(&line_, &PortConnection::lost, this, &ProjectorLink::lost);
    connect(&line_, &PortConnection::opened, this, &ProjectorLink::opened);
    connect(&line_, &PortConnection::openFailed, this, &ProjectorLink::openFailed);
    connect(&refusals_, &LogThrottle::log, this, &ProjectorLink::log);
    connect(&rejections_, &LogThrottle::log, this, &ProjectorLink::log);
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

void ProjectorLink::stop(RefusalKind why)
{
    stopped_ = true;
    pollTimer_->setEnabled(false);
    retryTimer_->setEnabled(false);
    followTimer_->setEnabled(false);
    std::deque<Job> waiting;
    waiting.swap(queue_);
    const std::optional<Job> running = std::exchange(running_, std::nullopt);
    line_.close();
    // The one on the line may have reached the projector: not "nothing was run".
    if (running && !running->poll)
        refuse(running->request, running->done, Refusal::onTheLine(why));
    for (const Job &job : waiting)
        if (!job.poll)
            refuse(job.request, job.done, {why, {}});
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
    outage(QStringLiteral("cannot open %1: %2").arg(portName(), error.description), true);
    retryLater();
}

void ProjectorLink::opened()
{
    backoff_->opened();
    counters_.reconnects += everOpened_ ? 1 : 0;
    if (!everOpened_)
        emit log(QStringLiteral("%1: %2 open").arg(id_, portName()));
    everOpened_ = true;
    answering_ = false; // until it answers
    unansweredInARow_ = 0;
    updateAvailability();
    if (settings_.pollMs > 0) {
        // Projectors opened together would ask their rounds together, every
        // period, hundreds at once: each starts its period at a point of its
        // own (from its ID), so the rounds spread over half a period.
        const int shiftMs = int(qHash(id_) % uint(settings_.pollMs / 2 + 1));
        pollTimer_->setInterval(settings_.pollMs - shiftMs);
        pollTimer_->setEnabled(true);
    }
    pollAll();
}

void ProjectorLink::lost(const QString &description)
{
    outage(QStringLiteral("%1 lost: %2").arg(portName(), description), true);
    pollTimer_->setEnabled(false);
    followTimer_->setEnabled(false);
    answering_ = false;
    updateAvailability();
    // Nothing queued can reach the projector now. Sent to the closed port,
    // each job would fail on its own: the polls are dropped (a new round
    // follows the reopening), the commands answered at once.
    std::deque<Job> stranded;
    stranded.swap(queue_);
    for (const Job &job : stranded)
        if (!job.poll)
            refuse(job.request, job.done, {RefusalKind::Offline, {}});
    retryLater();
}

void ProjectorLink::retryLater()
{
    if (stopped_)
        return;
    retryTimer_->setInterval(backoff_->nextDelayMs());
    retryTimer_->setEnabled(true);
}

void ProjectorLink::outage(const QString &line, bool lineTrouble)
{
    lineTrouble_ = lineTrouble_ || lineTrouble;
    if (inOutage_)
        return;
    inOutage_ = true;
    emit log(QStringLiteral("%1: %2; retrying").arg(id_, line));
}

void ProjectorLink::returnedIfProven()
{
    if (!inOutage_ || !isOnline() || (lineTrouble_ && !backoff_->isProven()))
        return;
    inOutage_ = false;
    lineTrouble_ = false;
    emit log(QStringLiteral("%1: %2 back, answering again").arg(id_, portName()));
}

// ---- Commands and polls ----

qsizetype ProjectorLink::commandsWaiting() const
{
    const qsizetype queued =
        std::count_if(queue_.begin(), queue_.end(), [](const Job &j) { return !j.poll; });
    return queued + (running_ && !running_->poll ? 1 : 0);
}

void ProjectorLink::command(const CommandRequest &request, const OutcomeHandler &done)
{
    // Offline (its port closed, or not answering): refused at once, rather
    // than left to wait out a reply window and the quiet a reply it may
    // still owe needs, one after another.
    if (!isOnline()) {
        refuse(request, done, {RefusalKind::Offline, {}});
        return;
    }
    if (commandsWaiting() >= settings_.queueLimit) {
        refuse(request, done, {RefusalKind::Busy, {}});
        return;
    }
    const Job job{request, false, false, done};
    // Commands go ahead of the polls still waiting, in their own order.
    const auto firstPoll = std::find_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; });
    queue_.insert(firstPoll, job);
    runNext();
}

void ProjectorLink::refuse(const CommandRequest &request, const OutcomeHandler &done, const Refusal &why)
{
    ++counters_.refusals;
    refusals_.report(
        QStringLiteral("%1: refused \"%2\": %3").arg(id_, request.spelled().left(80), why.text()));
    if (done)
        done({request, std::nullopt, why});
}

void ProjectorLink::pollAll()
{
    if (!line_.isOpen())
        return;
    // Asked again only once the previous round is through; a transition's
    // reading out of turn holds no round back.
    const auto inRound = [](const Job &j) { return j.poll && !j.follow; };
    if ((running_ && inRound(*running_)) || std::any_of(queue_.begin(), queue_.end(), inRound))
        return;
    for (const Command &c : commandTable())
        if (c.statusQuery)
            queue_.push_back({CommandRequest::named(c), true, false, nullptr});
    runNext();
}

void ProjectorLink::runNext()
{
    if (running_ || queue_.empty())
        return;
    running_ = queue_.front();
    queue_.pop_front();
    exchange_.start(running_->request);
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
    count(result);
    if (!job.poll && job.done)
        job.done({job.request, result, {}});
    const StatusQuery *query = job.request.command ? job.request.command->statusQuery : nullptr;
    if (query)
        take(*query, result);
    if (!job.poll && !query && result.answered)
        follow(job);
    // A query changes nothing the queries report; a command may have: a
    // whole new round after it, rather than what is left of one asked
    // before it.
    if (!job.poll && !query && !stopped_) {
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; }),
                     queue_.end());
        pollAll();
    }
    // The typed state goes out once a round has read everything it asks,
    // not once per query.
    const bool roundOver = std::none_of(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; });
    reportState(roundOver);
    runNext();
}

void ProjectorLink::take(const StatusQuery &query, const ExchangeResult &result)
{
    const QString before = statuses().value(result.command);
    switch (state_.take(query, result, clocks())) {
    case ProjectorState::Taken::NotAnswered: return;
    case ProjectorState::Taken::Rejected:
        ++counters_.rejected;
        rejections_.report(QStringLiteral("%1: reply \"%2\" to %3 carries no value for it; ignored")
                               .arg(id_, result.rendered.trimmed().left(40), result.command));
        return;
    case ProjectorState::Taken::Same:
    case ProjectorState::Taken::Changed: break;
    }
    stateRead_ = true;
    if (statuses().value(result.command) != before)
        emit statusChanged(result.command, *result.status);
    if (inTransition() && !followTimer_->enabled())
        followTimer_->setEnabled(true); // warming or cooling, whatever started it
}

ProjectorState::Clocks ProjectorLink::clocks() const
{
    return {clock_.nowMs(), QDateTime::currentMSecsSinceEpoch(), staleAfterMs(), counters_.exchanges};
}

QJsonObject ProjectorLink::stateJson() const
{
    return state_.toJson(clocks());
}

void ProjectorLink::reportState(bool roundOver)
{
    const QStringList stale = state_.staleKeys(clocks());
    if (!(roundOver && stateRead_) && stale == reportedStale_)
        return;
    stateRead_ = false;
    reportedStale_ = stale;
    emit stateChanged();
}

// ---- Transitions ----

bool ProjectorLink::inTransition() const
{
    const PowerState power = state_.power();
    return power == PowerState::Warming || power == PowerState::Cooling;
}

void ProjectorLink::follow(const Job &job)
{
    const Command *c = job.request.command;
    if (!c || !(switchesPower(*c) || switchesInput(*c)))
        return;
    followInput_ = followInput_ || switchesInput(*c);
    followUntil_ = clock_.nowMs() + kFollowAfterCommandMs;
    followTimer_->setEnabled(true);
}

void ProjectorLink::followTick()
{
    if (!line_.isOpen() || (clock_.nowMs() >= followUntil_ && !inTransition())) {
        followTimer_->setEnabled(false);
        followInput_ = false;
        return;
    }
    // Out of turn: ahead of a round's queries, behind the commands.
    const auto readOutOfTurn = [this](const char *name) {
        const Command &query = *findCommand(QString::fromLatin1(name));
        if (running_ && running_->request.command == &query)
            return;
        queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                    [&query](const Job &j) { return j.poll && j.request.command == &query; }),
                     queue_.end());
        const auto firstPoll =
            std::find_if(queue_.begin(), queue_.end(), [](const Job &j) { return j.poll; });
        queue_.insert(firstPoll, Job{CommandRequest::named(query), true, true, nullptr});
    };
    if (followInput_)
        readOutOfTurn("input");
    readOutOfTurn("status"); // goes ahead of it
    runNext();
}

void ProjectorLink::count(const ExchangeResult &result)
{
    if (result.error)
        return; // nothing went out, or the line went with it
    ++counters_.exchanges;
    counters_.unanswered += result.answered ? 0 : 1;
    emit exchanged(result);
}

// ---- Availability ----

void ProjectorLink::heardFrom()
{
    lastAnswerAt_ = clock_.nowMs();
    lastAnswerWallMs_ = QDateTime::currentMSecsSinceEpoch();
    unansweredInARow_ = 0;
    answering_ = true;
    updateAvailability();
    returnedIfProven();
}

// As many exchanges in a row without an answer as a round of queries has:
// whether they were the round's queries, or commands that keep arriving
// and start the round anew each time.
void ProjectorLink::notHeardFrom()
{
    if (++unansweredInARow_ < queriesPerRound() || settings_.pollMs == 0)
        return;
    answering_ = false;
    outage(QStringLiteral("no answer to a whole round's worth of exchanges"), false);
    updateAvailability();
    refuseWaitingCommands();
}

void ProjectorLink::refuseWaitingCommands()
{
    // The polls stay: they are how the projector is found answering again.
    std::deque<Job> waiting;
    waiting.swap(queue_);
    for (Job &job : waiting)
        if (job.poll)
            queue_.push_back(std::move(job));
        else
            refuse(job.request, job.done, {RefusalKind::Offline, {}});
}

int ProjectorLink::queriesPerRound()
{
    return int(statusQueries().size());
}

void ProjectorLink::updateAvailability()
{
    const bool online = isOnline();
    if (online == publishedOnline_)
        return;
    publishedOnline_ = online;
    emit availabilityChanged(online);
}
