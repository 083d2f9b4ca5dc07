// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/mqtt/mqtt_face.h"

#include "api/command_payload.h"
#include "bridge/log_throttle.h"
#include "bridge/outcome_reply.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/mqtt/discovery.h"
#include "faces/mqtt/mqtt_claims.h"
#include "faces/mqtt/mqtt_groups.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_topics.h"
#include "session/precise_timer.h"

#include <QJsonDocument>
#include <QPointer>

namespace {

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

MqttFace::MqttFace(const FaceContext &context)
    : options_(context.options), makeTimer_(context.clock.makeTimer), projectors_(context.projectors)
{
    const BridgeOptions &options = context.options;
    ProjectorService &projectors = context.projectors;
    const SessionTimerFactory &makeTimer = context.clock.makeTimer;
    MqttLinkSettings settings;
    settings.host = options.brokerHost;
    settings.port = options.brokerPort;
    settings.clientId = options.clientId;
    settings.username = options.username;
    settings.password = options.password;
    settings.caFile = options.caFile;
    settings.hasWill = true;
    settings.will = {bridgeAvailabilityTopic(options.topicPrefix, options.bridgeName), kOffline, true};
    broker_ = std::make_unique<MqttLink>(settings, this, makeTimer);
    connect(broker_.get(), &MqttLink::connected, this, [this] {
        emit log(QStringLiteral("connected to %1 (MQTT %2)")
                     .arg(broker_->brokerName(),
                          broker_->protocolVersion() == 5 ? QStringLiteral("5") : QStringLiteral("3.1.1")));
        brokerOutage_ = false;
        publishEverything();
        claims_->connected();
    });
    connect(
        broker_.get(), &MqttLink::errorOccurred, this,
        [this](MqttLink::Error error, const QString &description) { brokerFailed(int(error), description); });

    const SessionTimerFactory make = makeTimer ? makeTimer : makeCoarseTimer;
    republishGap_ = make(QStringLiteral("republishGap"), kRepublishGapMs, this);
    connect(republishGap_, &SessionTimer::tick, this, [this] {
        republishGap_->setEnabled(false);
        if (republishPending_)
            publishEverything();
    });
    staleWillCheck_ = make(QStringLiteral("staleWillCheck"), kStaleWillCheckMs, this);
    connect(staleWillCheck_, &SessionTimer::tick, this, [this] {
        staleWillCheck_->setEnabled(false);
        if (!stopping_ && broker_->isConnected())
            publishRetained(bridgeAvailabilityTopic(options_.topicPrefix, options_.bridgeName), kOnline);
    });
    publishFailures_ = new LogThrottle(QStringLiteral("messages not published"), this, makeTimer);
    connect(publishFailures_, &LogThrottle::log, this, &MqttFace::log);
    refusals_ = new LogThrottles(QStringLiteral("MQTT "), this, makeTimer);
    connect(refusals_, &LogThrottles::log, this, &MqttFace::log);
    claims_ = new MqttClaims(*broker_, options.topicPrefix, options.bridgeName, this, makeTimer);
    connect(claims_, &MqttClaims::log, this, &MqttFace::log);
    groups_ = new MqttGroups(
        *broker_, projectors, options, [this](const QString &id) { return claims_->serves(id); }, *refusals_,
        this);
    connect(claims_, &MqttClaims::taken, this, [this](const QString &id) {
        if (const ProjectorLink *projector = projectors_.projector(id))
            publishProjector(*projector);
        groups_->membersChanged();
    });

    for (ProjectorLink *projector : projectors.projectors())
        addProjector(projector);
    connect(&projectors, &ProjectorService::projectorAdded, this,
            [this](ProjectorLink *projector) { addProjector(projector); });
    connect(&projectors, &ProjectorService::projectorRemoved, this, &MqttFace::removeProjector);
    connect(broker_->subscribe(options_.homeAssistantStatusTopic), &MqttSubscription::messageReceived, this,
            [this](const MqttMessage &message) {
                if (message.payload == kOnline)
                    homeAssistantStarted();
            });
    // A stale will (a connection of ours the broker has not yet given up on)
    // must not leave the bridge marked offline while it runs.
    connect(broker_->subscribe(bridgeAvailabilityTopic(options_.topicPrefix, options_.bridgeName)),
            &MqttSubscription::messageReceived, this, [this](const MqttMessage &message) {
                // The retained copy is what the last run left, delivered as
                // this one subscribes; only a will published while this one
                // runs is news. A broker that shuts down sends the will of
                // every client too, this one's included: put right only if
                // the connection is still there a moment later, without a
                // log line, and once however many arrive.
                if (message.payload == kOffline && !message.retained && !stopping_ &&
                    !staleWillCheck_->enabled())
                    staleWillCheck_->setEnabled(true);
            });
}

MqttFace::~MqttFace() = default;

void MqttFace::addProjector(ProjectorLink *projector)
{
    connect(projector, &ProjectorLink::availabilityChanged, this,
            [this, projector] { publishAvailability(*projector); });
    connect(projector, &ProjectorLink::statusChanged, this,
            [this, projector](const QString &query, const QString &text) {
                if (serves(*projector))
                    publishRetained(statusTopic(options_.topicPrefix, projector->id(), query), text.toUtf8());
            });
    connect(projector, &ProjectorLink::stateChanged, this, [this, projector] { publishState(*projector); });
    MqttSubscription *commands = broker_->subscribe(commandTopic(options_.topicPrefix, projector->id()));
    connect(commands, &MqttSubscription::messageReceived, projector, [this, projector](const MqttMessage &m) {
        // Another bridge's projector of the same ID answers it.
        if (serves(*projector))
            commandArrived(*projector, m.payload, m.retained);
    });
    claims_->follow(projector->id());
    if (broker_->isConnected())
        publishProjector(*projector);
}

bool MqttFace::serves(const ProjectorLink &projector) const
{
    return claims_->serves(projector.id());
}

// Gone from the settings: it is offline for good, and its commands are
// no longer taken.
void MqttFace::removeProjector(ProjectorLink *projector)
{
    projector->disconnect(this);
    broker_->unsubscribe(commandTopic(options_.topicPrefix, projector->id()));
    if (serves(*projector))
        publishRetained(availabilityTopic(options_.topicPrefix, projector->id()), kOffline);
    claims_->forget(projector->id());
}

bool MqttFace::start(QString *error)
{
    if (!broker_->start()) {
        if (error)
            *error = broker_->lastError();
        return false;
    }
    return true;
}

void MqttFace::stop()
{
    stopping_ = true;
    std::vector<MqttMessage> last{
        {bridgeAvailabilityTopic(options_.topicPrefix, options_.bridgeName), kOffline, true}};
    for (const ProjectorLink *projector : projectors_.projectors())
        if (serves(*projector))
            last.push_back({availabilityTopic(options_.topicPrefix, projector->id()), kOffline, true});
    const std::vector<MqttMessage> releases = claims_->releases();
    last.insert(last.end(), releases.begin(), releases.end());
    if (!broker_->isConnected()) {
        emit log(QStringLiteral("not connected to %1 at the end; its will says offline")
                     .arg(broker_->brokerName()));
        return;
    }
    if (broker_->shutdown(last))
        emit log(QStringLiteral("disconnected from %1").arg(broker_->brokerName()));
    else
        emit log(QStringLiteral("broker did not acknowledge the last messages; its will says offline"));
}

// One line when the broker goes away, one when it is back (connected);
// the attempts between are not news.
void MqttFace::brokerFailed(int error, const QString &description)
{
    const auto kind = MqttLink::Error(error);
    const int retrySeconds = broker_->retryDelayMs() / 1000;
    switch (kind) {
    case MqttLink::Error::ConnectionLost:
        emit log(QStringLiteral("connection to %1 lost: %2; reconnecting in %3 s")
                     .arg(broker_->brokerName(), description)
                     .arg(retrySeconds));
        brokerOutage_ = true;
        return;
    case MqttLink::Error::CannotConnect:
    case MqttLink::Error::Refused:
        if (!brokerOutage_)
            emit log(QStringLiteral("cannot connect to %1: %2; retrying in %3 s")
                         .arg(broker_->brokerName(), description)
                         .arg(retrySeconds));
        brokerOutage_ = true;
        return;
    case MqttLink::Error::SubscriptionRefused: emit log(description); return;
    case MqttLink::Error::PublishFailed: publishFailures_->report(description); return;
    }
}

void MqttFace::publishRetained(const QString &topic, const QByteArray &payload)
{
    broker_->publish(topic, payload, true, 1);
}

void MqttFace::publishAvailability(const ProjectorLink &projector)
{
    if (!serves(projector))
        return;
    publishRetained(availabilityTopic(options_.topicPrefix, projector.id()),
                    projector.isOnline() ? kOnline : kOffline);
}

void MqttFace::publishState(const ProjectorLink &projector)
{
    // Nothing known yet: nothing worth keeping for whoever subscribes next.
    if (projector.statuses().isEmpty() || !serves(projector))
        return;
    publishRetained(stateTopic(options_.topicPrefix, projector.id()), compact(projector.stateJson()));
}

void MqttFace::publishProjector(const ProjectorLink &projector)
{
    if (!serves(projector))
        return;
    for (const DiscoveryMessage &m :
         discoveryMessages(options_.topicPrefix, projector.id(), options_.bridgeName))
        publishRetained(m.topic, m.payload);
    publishAvailability(projector);
    const QMap<QString, QString> &statuses = projector.statuses();
    for (auto it = statuses.begin(); it != statuses.end(); ++it)
        publishRetained(statusTopic(options_.topicPrefix, projector.id(), it.key()), it.value().toUtf8());
    publishState(projector);
}

// Anyone allowed to publish can say it: however many arrive, one republish
// at a time, and at most one every few seconds.
void MqttFace::homeAssistantStarted()
{
    if (republishGap_->enabled())
        republishPending_ = true;
    else
        publishEverything();
}

// After a (re)connection, and when Home Assistant has started: a broker may
// have lost what it kept (a restart without persistence), and Home
// Assistant may have forgotten the entities.
void MqttFace::publishEverything()
{
    republishPending_ = false;
    republishGap_->setEnabled(true);
    publishRetained(bridgeAvailabilityTopic(options_.topicPrefix, options_.bridgeName), kOnline);
    for (const ProjectorLink *projector : projectors_.projectors())
        publishProjector(*projector);
    groups_->publishAll();
}

void MqttFace::commandArrived(ProjectorLink &projector, const QByteArray &payload, bool retained)
{
    const PayloadVerdict verdict = checkCommandPayload(payload);
    const QString id = projector.id();
    // Kept by the broker from before, it would run again at every restart
    // and reconnection: a power-on at night after a reboot.
    if (retained || !verdict.accepted()) {
        const Refusal why =
            retained ? Refusal{RefusalKind::Retained, {}} : Refusal{RefusalKind::Invalid, verdict.refusal};
        // What was refused is named only when it was fit to be named.
        refusals_->report(retained ? QStringLiteral("retained commands refused")
                                   : QStringLiteral("commands refused"),
                          verdict.request ? QStringLiteral("%1: refused \"%2\": %3")
                                                .arg(id, verdict.request->spelled().left(80), why.text())
                                          : QStringLiteral("%1: refused a command: %2").arg(id, why.text()));
        publishReply(id, {verdict.request, std::nullopt, why}, verdict.id);
        return;
    }
    QPointer<MqttFace> self(this);
    projector.command(*verdict.request, [self, id, requestId = verdict.id](const CommandOutcome &outcome) {
        if (self)
            self->publishReply(id, outcome, requestId);
    });
}

void MqttFace::publishReply(const QString &id, const CommandOutcome &outcome, const QJsonValue &requestId)
{
    broker_->publish(replyTopic(options_.topicPrefix, id), compact(outcomeReply(outcome, requestId)));
}
