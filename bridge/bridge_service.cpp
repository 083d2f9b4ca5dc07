#include "bridge/bridge_service.h"

#include "bridge/discovery.h"
#include "bridge/mqtt_link.h"
#include "bridge/payload_check.h"
#include "bridge/projector_link.h"
#include "protocol/commands.h"
#include "session/command_exchange.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSysInfo>

BridgeService::BridgeService(const BridgeOptions &options, QObject *parent)
    : QObject(parent), options_(options)
{
    MqttLinkSettings settings;
    settings.host = options.brokerHost;
    settings.port = options.brokerPort;
    // Two bridges on one broker must not share a client id.
    settings.clientId = QStringLiteral("velno-bridge-%1-%2")
                            .arg(QSysInfo::machineHostName())
                            .arg(QCoreApplication::applicationPid());
    settings.username = options.username;
    settings.password = options.password;
    settings.caFile = options.caFile;
    settings.hasWill = true;
    settings.will = {bridgeAvailabilityTopic(options.topicPrefix), kOffline, true};
    broker_ = std::make_unique<MqttLink>(settings, this);
    // The link logs the broker's losses and returns itself, one line each.
    connect(broker_.get(), &MqttLink::connected, this, &BridgeService::brokerConnected);
    connect(broker_.get(), &MqttLink::messageReceived, this, &BridgeService::messageArrived);

    const int pollMs = options.pollSeconds * 1000;
    for (const ProjectorEndpoint &endpoint : options.projectors) {
        auto *projector = new ProjectorLink(endpoint.id, endpoint.port, pollMs, this);
        projectors_.push_back(projector);
        connect(projector, &ProjectorLink::log, this, &BridgeService::log);
        connect(projector, &ProjectorLink::availabilityChanged, this,
                [this, projector] { publishAvailability(*projector); });
        connect(projector, &ProjectorLink::replied, this, [this, projector](const QJsonObject &reply) {
            broker_->publish(replyTopic(options_.topicPrefix, projector->id()),
                             QJsonDocument(reply).toJson(QJsonDocument::Compact));
        });
        connect(projector, &ProjectorLink::statusChanged, this,
                [this, projector](const QString &query, const QString &text) {
                    publishRetained(statusTopic(options_.topicPrefix, projector->id(), query), text.toUtf8());
                });
        broker_->subscribe(commandTopic(options_.topicPrefix, endpoint.id));
    }
}

BridgeService::~BridgeService() = default;

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

// A broker may have lost what it kept (a restart without persistence):
// everything retained is published again.
void BridgeService::brokerConnected()
{
    publishRetained(bridgeAvailabilityTopic(options_.topicPrefix), kOnline);
    for (ProjectorLink *projector : projectors_) {
        for (const DiscoveryMessage &m : discoveryMessages(options_.topicPrefix, projector->id()))
            publishRetained(m.topic, m.payload);
        publishAvailability(*projector);
        const QHash<QString, QString> statuses = projector->statuses();
        for (auto it = statuses.begin(); it != statuses.end(); ++it)
            publishRetained(statusTopic(options_.topicPrefix, projector->id(), it.key()),
                            it.value().toUtf8());
    }
}

void BridgeService::messageArrived(const QString &topic, const QByteArray &payload)
{
    for (ProjectorLink *projector : projectors_) {
        if (topic != commandTopic(options_.topicPrefix, projector->id()))
            continue;
        const PayloadVerdict verdict =
            checkCommandPayload(payload, [](const QString &name) { return findCommand(name) != nullptr; });
        if (!verdict.accepted()) {
            emit log(QStringLiteral("%1: refused a command: %2").arg(projector->id(), verdict.refusal));
            // The fields of every other reply, so a consumer reads them all alike;
            // no command named, as the payload was not fit to name one.
            QJsonObject reply = toJson(ExchangeResult{});
            reply.insert(QStringLiteral("command"), QJsonValue(QJsonValue::Null));
            reply.insert(QStringLiteral("error"), verdict.refusal);
            broker_->publish(replyTopic(options_.topicPrefix, projector->id()),
                             QJsonDocument(reply).toJson(QJsonDocument::Compact));
            return;
        }
        const CommandRequest &request = *verdict.request;
        projector->command(request.name == QLatin1String("send") ? QStringLiteral("send ") + request.text
                                                                 : request.name);
        return;
    }
}
