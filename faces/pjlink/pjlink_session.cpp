// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/pjlink_session.h"

#include "bridge/listener_limits.h"
#include "bridge/projector_link.h"
#include "faces/pjlink/guess_delays.h"
#include "protocol/commands.h"
#include "session/precise_timer.h"

#include <QTcpSocket>
#include <algorithm>
#include <cstddef>

using namespace pjlink;

PjlinkSession::PjlinkSession(QTcpSocket *socket, PjlinkProjector &projector, const ListenerTally &tally,
                             QObject *parent)
    : FaceClient(socket, kIdleMs, tally, parent, projector.clock.makeTimer), projector_(projector),
      conversation_(projector.password), address_(socket->peerAddress())
{
    setIdleLimit(listener_limits::kPreLoginMs, QStringLiteral("pre-login time"),
                 QStringLiteral("logging in"));
    guessWait_ = projector.clock.timersOr(makeCoarseTimer)(QStringLiteral("guessWait"), 0, this);
    connect(guessWait_, &SessionTimer::tick, this, [this] {
        guessWait_->setEnabled(false);
        restartIdle();
        readRequests();
    });
    // What a client sends ahead waits in the system's buffers, not ours.
    socket->setReadBufferSize(kMaxRequestBytes + kDigestLength);
    connect(socket, &QTcpSocket::readyRead, this, &PjlinkSession::readRequests);
    write(conversation_.greeting());
}

PjlinkSession::~PjlinkSession() = default;

void PjlinkSession::yield()
{
    yielding_ = true;
    guessWait_->setEnabled(false);
    tally().bite(QStringLiteral("pre-login yield"),
                 QStringLiteral("client %1 closed before login for a new connection").arg(peerName()));
    close();
}

bool PjlinkSession::heldBack()
{
    if (guessWait_->enabled())
        return true;
    if (loggedIn_ || projector_.password.isEmpty() || !projector_.guesses)
        return false;
    const qint64 waitMs = projector_.guesses->waitMs(address_, projector_.clock.nowMs());
    if (waitMs == 0)
        return false;
    // The session waits on us, not on its client: no pre-login limit meanwhile.
    pauseIdle();
    guessWait_->setInterval(int(waitMs));
    guessWait_->setEnabled(true);
    return true;
}

void PjlinkSession::passwordTried(const Step &step)
{
    if (loggedIn_ || projector_.password.isEmpty() || !projector_.guesses)
        return;
    if (step.kind != Step::Kind::Close) {
        projector_.guesses->right(address_);
        return;
    }
    if (step.bytes != authenticationFailure())
        return;
    tally().bite(QStringLiteral("password guesses"), {}); // logged below, a line a minute per address
    const QString line = projector_.guesses->wrong(address_, projector_.clock.nowMs());
    if (!line.isEmpty())
        emit said(tally().what + QStringLiteral(": ") + line);
}

void PjlinkSession::readRequests()
{
    if (busy_ || yielding_)
        return; // read once the request before is answered
    buffer_ += socket().readAll();
    // Some clients end lines with CR LF; the LF belongs to the line before.
    while (buffer_.startsWith('\n'))
        buffer_.remove(0, 1);
    const int cr = buffer_.indexOf('\r');
    const int longest = conversation_.longestLine();
    if ((cr < 0 && buffer_.size() >= longest) || cr + 1 > longest) {
        emit refused(QStringLiteral("session closed for a request over %1 bytes").arg(kMaxRequestBytes));
        close();
        return;
    }
    if (cr < 0)
        return; // the rest of the line is on its way
    if (heldBack())
        return;
    const QByteArray line = buffer_.left(cr);
    buffer_.remove(0, cr + 1);
    handle(line);
}

void PjlinkSession::handle(const QByteArray &line)
{
    const Facts facts = freshFacts();
    const Step step = conversation_.take(line, facts);
    if (step.kind == Step::Kind::Ignore)
        return send({}); // nothing written; the idle time starts again and the next line is read
    passwordTried(step);
    if (step.kind == Step::Kind::Close) {
        emit refused(step.why);
        write(step.bytes);
        close();
        return;
    }
    if (!loggedIn_) {
        loggedIn_ = true;
        setIdleLimit(kIdleMs, QStringLiteral("idle time"), QStringLiteral("a request"));
    }
    busy_ = true;
    pauseIdle();
    if (!projector_.link || (step.kind == Step::Kind::Ask && !projector_.link->isOnline())) {
        refuse(step.request, Error::ProjectorFailure);
        return;
    }
    follow(step, facts);
}

void PjlinkSession::follow(const Step &step, const Facts &facts)
{
    switch (step.kind) {
    case Step::Kind::Answer:
        if (step.error)
            logRefusal(*step.error);
        send(step.bytes);
        return;
    case Step::Kind::Ask: ask(step.request, facts, step.commands); return;
    case Step::Kind::Run: run(step, 0); return;
    case Step::Kind::Close:
    case Step::Kind::Ignore: break; // only a line closes or is ignored, and handle() takes it
    }
}

void PjlinkSession::ask(const Request &request, Facts facts, Commands queries)
{
    if (queries.empty() || !projector_.link) {
        facts.asked = true;
        follow(next(request, facts), facts);
        return;
    }
    const Command &query = *queries.front();
    queries.erase(queries.begin());
    QPointer<PjlinkSession> self(this);
    projector_.link->command(CommandRequest::named(query),
                             [self, request, facts, queries](const CommandOutcome &outcome) mutable {
                                 if (!self)
                                     return;
                                 if (!outcome.result || !outcome.result->answered) {
                                     self->failed(request, outcome);
                                     return;
                                 }
                                 // A question it will not answer now.
                                 if (refusedByProjector(*outcome.result))
                                     return self->refuse(request, Error::UnavailableTime);
                                 if (outcome.result->value)
                                     takeValue(facts, *outcome.result->value);
                                 self->ask(request, facts, queries);
                             });
}

void PjlinkSession::run(const Step &step, std::size_t done)
{
    if (done == step.commands.size()) {
        send(step.bytes);
        return;
    }
    if (!projector_.link) {
        refuse(step.request, Error::ProjectorFailure);
        return;
    }
    QPointer<PjlinkSession> self(this);
    projector_.link->command(
        CommandRequest::named(*step.commands[done]), [self, step, done](const CommandOutcome &outcome) {
            if (!self)
                return;
            if (self->projector_.link)
                self->projector_.commandedExchange = self->projector_.link->counters().exchanges;
            if (!outcome.result || !outcome.result->answered)
                self->failed(step.request, outcome);
            else if (refusedByProjector(*outcome.result))
                self->refuse(step.request, refusalError(step.request));
            else
                self->run(step, done + 1);
        });
}

void PjlinkSession::failed(const Request &request, const CommandOutcome &outcome)
{
    // A full queue passes; everything else means the projector is not there.
    const bool busy = outcome.refusal && outcome.refusal->kind == RefusalKind::Busy;
    const Error error = busy ? Error::UnavailableTime : Error::ProjectorFailure;
    if (!outcome.refusal)
        logRefusal(error); // the link logs its refusals itself
    send(reply(request, error));
}

void PjlinkSession::refuse(const Request &request, Error error)
{
    logRefusal(error);
    send(reply(request, error));
}

void PjlinkSession::logRefusal(Error error)
{
    static const char *const kWhy[] = {"undefined", "out of range", "not now", "projector offline or silent"};
    emit refused(QStringLiteral("request answered %1 (%2)")
                     .arg(QString::fromLatin1(errorWord(error)), QLatin1String(kWhy[int(error)])));
}

void PjlinkSession::send(const QByteArray &bytes)
{
    if (!write(bytes))
        return;
    busy_ = false;
    if (loggedIn_)
        restartIdle(); // a blank line before login buys no time
    if (socket().bytesAvailable() > 0 || buffer_.contains('\r'))
        QMetaObject::invokeMethod(this, &PjlinkSession::readRequests, Qt::QueuedConnection);
}

Facts PjlinkSession::freshFacts() const
{
    Facts facts;
    facts.name = projector_.name;
    if (!projector_.link || !projector_.link->isOnline())
        return facts;
    const ProjectorLink &link = *projector_.link;
    // Each reading answers while it was read within the window, by an
    // exchange after our last setting; the others are asked.
    const qint64 windowMs = std::max(link.pollMs(), kFreshFloorMs);
    const ProjectorState::Clocks after{link.clock().nowMs() - windowMs - 1, 0, 0,
                                       projector_.commandedExchange};
    const ProjectorState &state = link.state();
    facts.operating = state.valueReadAfter<OperatingState>(after);
    // Warming up and cooling end on their own, between rounds: asked again.
    const PowerState power = facts.operating ? powerStateOf(*facts.operating) : PowerState::Unknown;
    if (power == PowerState::Warming || power == PowerState::Cooling)
        facts.operating.reset();
    facts.input = state.valueReadAfter<SelectedInput>(after);
    facts.mute = state.valueReadAfter<MuteAndSignal>(after);
    facts.lampHours = state.valueReadAfter<LampHours>(after);
    facts.model = state.valueReadAfter<ModelInfo>(after);
    return facts;
}
