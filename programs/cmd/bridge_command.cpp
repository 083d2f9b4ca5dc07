// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge_command.h"

#include "bridge/discovery.h"
#include "bridge/mqtt_link.h"
#include "session/exchange_result.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace {

// Unique for this run, within the 23 letters and digits every broker takes.
QString freshClientId()
{
    return QStringLiteral("velnocmd%1")
        .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFULL, 12, 16, QLatin1Char('0'));
}

} // namespace

BridgeCommand::BridgeCommand(const BridgeTarget &target, const QByteArray &password, QObject *parent)
    : QObject(parent), target_(target)
{
    MqttLinkSettings settings;
    settings.host = target.host;
    settings.port = target.port;
    settings.clientId = freshClientId();
    settings.username = target.username;
    settings.password = password;
    settings.caFile = target.caFile;
    broker_ = std::make_unique<MqttLink>(settings);
    id_ = settings.clientId;
    connect(broker_.get(), &MqttLink::connected, this, &BridgeCommand::connected);
    connect(broker_.get(), &MqttLink::messageReceived, this, &BridgeCommand::arrived);
    for (const QString &topic : {replyTopic(target.topicPrefix, target.projectorId),
                                 availabilityTopic(target.topicPrefix, target.projectorId),
                                 bridgeAvailabilityTopic(target.topicPrefix)})
        broker_->subscribe(topic);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (!published_)
            fail(tr("cannot reach the broker %1:%2").arg(target_.host).arg(target_.port));
        else if (!projectorOnline_)
            fail(tr("no reply from the bridge within %1 s, and no word of projector %2 from it: is the ID "
                    "right, and the bridge running?")
                     .arg(timeoutMs_ / 1000.0)
                     .arg(target_.projectorId));
        else
            fail(tr("no reply from the bridge within %1 s").arg(timeoutMs_ / 1000.0));
    });
    availabilityWait_.setSingleShot(true);
    connect(&availabilityWait_, &QTimer::timeout, this, &BridgeCommand::publish);
}

BridgeCommand::~BridgeCommand()
{
    if (broker_->isConnected())
        broker_->shutdown({}, 1000);
}

void BridgeCommand::run(const QString &request, int timeoutMs)
{
    request_ = request;
    timeoutMs_ = timeoutMs;
    // Reaching the broker counts against the same time.
    deadline_.start(timeoutMs);
    if (!broker_->start())
        fail(broker_->lastError());
}

void BridgeCommand::connected()
{
    if (published_ || done_)
        return;
    // The retained availability comes right after the subscriptions.
    availabilityWait_.start(kAvailabilityWaitMs);
    deadline_.start(timeoutMs_);
}

void BridgeCommand::arrived(const QString &topic, const QByteArray &payload)
{
    if (done_)
        return;
    const bool online = payload == kOnline;
    // Once the command is out, the bridge's reply says what became of it.
    if (published_ && topic != replyTopic(target_.topicPrefix, target_.projectorId))
        return;
    if (topic == bridgeAvailabilityTopic(target_.topicPrefix)) {
        bridgeOnline_ = online;
        if (!online)
            fail(tr("velno-bridge is offline (%1)").arg(topic));
        else
            publishWhenKnown();
        return;
    }
    if (topic == availabilityTopic(target_.topicPrefix, target_.projectorId)) {
        projectorOnline_ = online;
        if (!online)
            fail(tr("projector %1 is offline (%2)").arg(target_.projectorId, topic));
        else
            publishWhenKnown();
        return;
    }
    const QJsonObject reply = QJsonDocument::fromJson(payload).object();
    if (!published_ || reply.value(QStringLiteral("id")).toString() != id_)
        return; // someone else's
    done_ = true;
    deadline_.stop();
    emit finished(fromJson(reply));
}

void BridgeCommand::publishWhenKnown()
{
    if (bridgeOnline_.value_or(false) && projectorOnline_.value_or(false))
        publish();
}

void BridgeCommand::publish()
{
    if (published_ || done_)
        return;
    published_ = true;
    availabilityWait_.stop();
    const QJsonObject command{{QStringLiteral("command"), request_}, {QStringLiteral("id"), id_}};
    if (!broker_->publish(commandTopic(target_.topicPrefix, target_.projectorId),
                          QJsonDocument(command).toJson(QJsonDocument::Compact), false, 1))
        fail(tr("cannot publish to the broker %1:%2").arg(target_.host).arg(target_.port));
}

void BridgeCommand::fail(const QString &why)
{
    if (done_)
        return;
    done_ = true;
    deadline_.stop();
    availabilityWait_.stop();
    emit failed(why);
}
