// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge_service.h"

#include "bridge/discovery.h"
#include "bridge/mqtt_link.h"
#include "bridge/payload_check.h"
#include "bridge/projector_link.h"
#include "protocol/commands.h"

#include <QJsonDocument>
#include <QTimer>

namespace {

constexpr int kStaleWillCheckMs = 1000;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

BridgeService::BridgeService(const BridgeOptions &options, QObject *parent)
    : QObject(parent), options_(options)
{
    MqttLinkSettings settings;
    settings.host = options.brokerHost;
    settings.port = options.brokerPort;
    settings.clientId = options.clientId;
    settings.username = options.username;
    settings.password = options.password;
    settings.caFile = options.caFile;
    settings.hasWill = true;
    settings.will = {bridgeAvailabilityTopic(options.topicPrefix), kOffline, true};
    broker_ = std::make_unique<MqttLink>(settings, this);
    // The link logs the broker's losses and returns itself, one line each.
    connect(broker_.get(), &MqttLink::connected, this, &BridgeService::publishEverything);
    connect(broker_.get(), &MqttLink::messageReceived, this, &BridgeService::messageArrived);
    for (const ProjectorEndpoint &endpoint : options.projectors)
        addProjector(endpoint);
    broker_->subscribe(options_.homeAssistantStatusTopic);
    // A stale will (a connection of ours the broker has not yet given up on)
    // must not leave the bridge marked offline while it runs.
    broker_->subscribe(bridgeAvailabilityTopic(options_.topicPrefix));
}

BridgeService::~BridgeService() = default;

void BridgeService::addProjector(const ProjectorEndpoint &endpoint)
{
    ProjectorLink::Settings settings;
    settings.pollMs = options_.pollSeconds * 1000;
    settings.queueLimit = options_.queueLimit;
    auto *projector = new ProjectorLink(endpoint.id, endpoint.port, settings, this);
    projectors_.push_back(projector);
    connect(projector, &ProjectorLink::log, this, &BridgeService::log);
    connect(projector, &ProjectorLink::availabilityChanged, this,
            [this, projector] { publishAvailability(*projector); });
    connect(projector, &ProjectorLink::replied, this, [this, projector](const QJsonObject &reply) {
        broker_->publish(replyTopic(options_.topicPrefix, projector->id()), compact(reply));
    });
    connect(projector, &ProjectorLink::statusChanged, this,
            [this, projector](const QString &query, const QString &text) {
                publishRetained(statusTopic(options_.topicPrefix, projector->id(), query), text.toUtf8());
            });
    connect(projector, &ProjectorLink::stateChanged, this, [this, projector] { publishState(*projector); });
    broker_->subscribe(commandTopic(options_.topicPrefix, endpoint.id));
}

bool BridgeService::start(QString *error)
{
    for (ProjectorLink *projector : projectors_)
        projector->start();
    if (!broker_->start()) {
        if (error)
            *error = broker_->lastError();
        return false;
    }
    return true;
}

void BridgeService::stop()
{
    stopping_ = true;
    std::vector<MqttMessage> last{{bridgeAvailabilityTopic(options_.topicPrefix), kOffline, true}};
    for (ProjectorLink *projector : projectors_) {
        last.push_back({availabilityTopic(options_.topicPrefix, projector->id()), kOffline, true});
        projector->stop();
    }
    if (broker_->isConnected() && !broker_->shutdown(last))
        emit log(QStringLiteral("broker did not acknowledge the last messages; its will says offline"));
}

void BridgeService::publishRetained(const QString &topic, const QByteArray &payload)
{
    broker_->publish(topic, payload, true, 1);
}

void BridgeService::publishAvailability(const ProjectorLink &projector)
{
    publishRetained(availabilityTopic(options_.topicPrefix, projector.id()),
                    projector.isOnline() ? kOnline : kOffline);
}

void BridgeService::publishState(const ProjectorLink &projector)
{
    // Nothing known yet: nothing worth keeping for whoever subscribes next.
    if (projector.statuses().isEmpty())
        return;
    publishRetained(stateTopic(options_.topicPrefix, projector.id()), compact(projector.state().toJson()));
}

// After a (re)connection, and when Home Assistant has started: a broker may
// have lost what it kept (a restart without persistence), and Home
// Assistant may have forgotten the entities.
void BridgeService::publishEverything()
{
    publishRetained(bridgeAvailabilityTopic(options_.topicPrefix), kOnline);
    for (ProjectorLink *projector : projectors_) {
        for (const DiscoveryMessage &m : discoveryMessages(options_.topicPrefix, projector->id()))
            publishRetained(m.topic, m.payload);
        publishAvailability(*projector);
        const QMap<QString, QString> &statuses = projector->statuses();
        for (auto it = statuses.begin(); it != statuses.end(); ++it)
            publishRetained(statusTopic(options_.topicPrefix, projector->id(), it.key()),
                            it.value().toUtf8());
        publishState(*projector);
    }
}

void BridgeService::messageArrived(const QString &topic, const QByteArray &payload, bool retained)
{
    if (topic == options_.homeAssistantStatusTopic) {
        if (payload == kOnline)
            publishEverything();
        return;
    }
    if (topic == bridgeAvailabilityTopic(options_.topicPrefix)) {
        // The retained copy is what the last run left, delivered as this one
        // subscribes; only a will published while this one runs is news.
        // A broker that shuts down sends the will of every client too, this
        // one's included: put right only if the connection is still there a
        // moment later, and without a log line.
        if (payload == kOffline && !retained && !stopping_)
            QTimer::singleShot(kStaleWillCheckMs, this, [this, topic] {
                if (!stopping_ && broker_->isConnected())
                    publishRetained(topic, kOnline);
            });
        return;
    }
    for (ProjectorLink *projector : projectors_) {
        if (topic == commandTopic(options_.topicPrefix, projector->id())) {
            commandArrived(*projector, payload, retained);
            return;
        }
    }
}

void BridgeService::commandArrived(ProjectorLink &projector, const QByteArray &payload, bool retained)
{
    const PayloadVerdict verdict =
        checkCommandPayload(payload, [](const QString &name) { return findCommand(name) != nullptr; });
    const std::optional<QString> request =
        verdict.request ? std::optional<QString>(verdict.request->name == QLatin1String("send")
                                                     ? QStringLiteral("send ") + verdict.request->text
                                                     : verdict.request->name)
                        : std::nullopt;
    // Kept by the broker from before, it would run again at every restart
    // and reconnection: a power-on at night after a reboot.
    if (retained) {
        projector.refuse(
            request, verdict.id,
            QStringLiteral("retained command not run: publish commands without the retain flag"));
        return;
    }
    if (!verdict.accepted()) {
        projector.refuse(std::nullopt, verdict.id, verdict.refusal);
        return;
    }
    projector.command(*verdict.request, verdict.id);
}
