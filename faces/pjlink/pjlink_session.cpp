// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/pjlink_session.h"

#include "bridge/projector_link.h"
#include "protocol/commands.h"
#include "session/precise_timer.h"

#include <QTcpSocket>
#include <algorithm>

using namespace pjlink;

namespace {

// Answers a client leaves unread, at most.
constexpr qint64 kMaxUnreadBytes = 64 * 1024;

Error errorFor(const CommandOutcome &outcome)
{
    // A full queue passes; everything else means the projector is not there.
    if (outcome.refusal && outcome.refusal->kind == RefusalKind::Busy)
        return Error::UnavailableTime;
    return Error::ProjectorFailure;
}

} // namespace

PjlinkSession::PjlinkSession(QTcpSocket *socket, PjlinkProjector &projector, QObject *parent,
                             const SessionTimerFactory &makeTimer)
    : QObject(parent), socket_(socket), projector_(projector)
{
    socket_->setParent(this);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // What a client sends ahead waits in the system's buffers, not ours.
    socket_->setReadBufferSize(kMaxRequestBytes + kDigestLength);
    const SessionTimerFactory make = makeTimer ? makeTimer : makeCoarseTimer;
    idle_ = make(QStringLiteral("pjlinkIdle"), kIdleMs, this);
    connect(idle_, &SessionTimer::tick, this, [this] {
        emit refused(QStringLiteral("session closed after %1 s idle").arg(kIdleMs / 1000));
        close();
    });
    idle_->setEnabled(true);
    connect(socket_, &QTcpSocket::readyRead, this, &PjlinkSession::readRequests);
    connect(socket_, &QTcpSocket::disconnected, this, &PjlinkSession::end, Qt::QueuedConnection);
    if (!projector_.password.isEmpty())
        random_ = randomText();
    socket_->write(greeting(random_, !projector_.password.isEmpty()));
}

PjlinkSession::~PjlinkSession() = default;

void PjlinkSession::close()
{
    idle_->setEnabled(false);
    socket_->disconnectFromHost();
    if (socket_->state() == QAbstractSocket::UnconnectedState)
        QMetaObject::invokeMethod(this, &PjlinkSession::end, Qt::QueuedConnection);
}

void PjlinkSession::end()
{
    if (ended_)
        return; // the close and the socket's own word may both come
    ended_ = true;
    emit finished();
}

void PjlinkSession::readRequests()
{
    if (busy_)
        return; // read once the request before is answered
    buffer_ += socket_->readAll();
    // Some clients end lines with CR LF; the LF belongs to the line before.
    while (buffer_.startsWith('\n'))
        buffer_.remove(0, 1);
    const int cr = buffer_.indexOf('\r');
    const int longest =
        kMaxRequestBytes + (authenticated_ || projector_.password.isEmpty() ? 0 : kDigestLength);
    if ((cr < 0 && buffer_.size() >= longest) || cr + 1 > longest) {
        emit refused(QStringLiteral("session closed for a request over %1 bytes").arg(kMaxRequestBytes));
        close();
        return;
    }
    if (cr < 0)
        return; // the rest of the line is on its way
    const QByteArray line = buffer_.left(cr);
    buffer_.remove(0, cr + 1);
    handle(line);
}

void PjlinkSession::handle(QByteArray line)
{
    if (!projector_.password.isEmpty() && !authenticated_) {
        const std::optional<QByteArray> rest = checkDigest(line, random_, projector_.password);
        if (!rest) {
            emit refused(QStringLiteral("session closed for a wrong or missing password"));
            socket_->write(authenticationFailure());
            close();
            return;
        }
        authenticated_ = true;
        line = *rest;
    }
    const std::optional<Request> request = parseRequest(line);
    if (!request) {
        emit refused(QStringLiteral("session closed for a line that is not PJLink"));
        close();
        return;
    }
    busy_ = true;
    idle_->setEnabled(false);
    if (!projector_.link) {
        refuse(*request, Error::ProjectorFailure);
        return;
    }
    Facts facts = freshFacts();
    facts.name = projector_.name;
    const QStringList queries = missingQueries(*request, facts);
    if (!queries.isEmpty() && !projector_.link->isOnline()) {
        refuse(*request, Error::ProjectorFailure);
        return;
    }
    gather(*request, facts, queries);
}

void PjlinkSession::gather(const Request &request, Facts facts, QStringList queries)
{
    if (queries.isEmpty() || !projector_.link) {
        act(request, facts);
        return;
    }
    const Command *query = findCommand(queries.takeFirst());
    QPointer<PjlinkSession> self(this);
    projector_.link->command(CommandRequest::named(*query),
                             [self, request, facts, queries](const CommandOutcome &outcome) mutable {
                                 if (!self)
                                     return;
                                 if (!outcome.result || !outcome.result->answered) {
                                     self->refuse(request, errorFor(outcome));
                                     return;
                                 }
                                 if (outcome.result->value)
                                     takeValue(facts, *outcome.result->value);
                                 self->gather(request, facts, queries);
                             });
}

void PjlinkSession::act(const Request &request, const Facts &facts)
{
    if (request.isQuery()) {
        const std::variant<QByteArray, Error> value = pjlink::answer(request, facts);
        if (const auto *error = std::get_if<Error>(&value))
            refuse(request, *error);
        else
            send(reply(request, std::get<QByteArray>(value)));
        return;
    }
    const SetPlan plan =
        planSet(request, facts.operating ? powerStateOf(*facts.operating) : PowerState::Unknown);
    if (plan.refused) {
        refuse(request, *plan.refused);
        return;
    }
    runCommands(request, plan.commands);
}

void PjlinkSession::runCommands(const Request &request, QStringList commands)
{
    if (commands.isEmpty()) {
        send(reply(request, QByteArray("OK")));
        return;
    }
    if (!projector_.link) {
        refuse(request, Error::ProjectorFailure);
        return;
    }
    const Command *command = findCommand(commands.takeFirst());
    QPointer<PjlinkSession> self(this);
    projector_.link->command(CommandRequest::named(*command),
                             [self, request, commands](const CommandOutcome &outcome) {
                                 if (!self)
                                     return;
                                 if (self->projector_.link)
                                     self->projector_.commandedAtMs = self->projector_.link->clock().nowMs();
                                 if (!outcome.result || !outcome.result->answered)
                                     self->refuse(request, errorFor(outcome));
                                 else
                                     self->runCommands(request, commands);
                             });
}

void PjlinkSession::refuse(const Request &request, Error error)
{
    static const char *const kWhy[] = {"undefined", "out of range", "not now", "projector offline or silent"};
    emit refused(QStringLiteral("request answered %1 (%2)")
                     .arg(QString::fromLatin1(errorWord(error)), QLatin1String(kWhy[int(error)])));
    send(reply(request, error));
}

void PjlinkSession::send(const QByteArray &bytes)
{
    if (socket_->bytesToWrite() > kMaxUnreadBytes) {
        emit refused(QStringLiteral("session closed with its answers unread"));
        close();
        return;
    }
    socket_->write(bytes);
    busy_ = false;
    idle_->setEnabled(true); // counts again from now
    if (socket_->bytesAvailable() > 0 || buffer_.contains('\r'))
        QMetaObject::invokeMethod(this, &PjlinkSession::readRequests, Qt::QueuedConnection);
}

bool PjlinkSession::stateIsFresh() const
{
    const ProjectorLink &link = *projector_.link;
    const qint64 age = link.stateAgeMs();
    if (age < 0 || age > std::max(link.pollMs(), kFreshFloorMs) || !link.isOnline())
        return false;
    // A round that ended before our last setting, or in the same
    // millisecond, may not know what it did.
    return projector_.commandedAtMs < 0 || link.roundEndedAtMs() > projector_.commandedAtMs;
}

Facts PjlinkSession::freshFacts() const
{
    Facts facts;
    if (!projector_.link || !stateIsFresh())
        return facts;
    const ProjectorState &state = projector_.link->state();
    facts.operating = state.value<OperatingState>();
    // Warming up and cooling end on their own, between rounds: asked again.
    const PowerState power = facts.operating ? powerStateOf(*facts.operating) : PowerState::Unknown;
    if (power == PowerState::Warming || power == PowerState::Cooling)
        facts.operating.reset();
    facts.input = state.value<SelectedInput>();
    facts.mute = state.value<MuteAndSignal>();
    facts.lampHours = state.value<LampHours>();
    facts.model = state.value<ModelInfo>();
    return facts;
}
