// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge_group_command.h"

#include "api/command_payload.h"
#include "bridge_command.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_topics.h"
#include "session/precise_timer.h"

#include <QJsonArray>
#include <QJsonDocument>

BridgeGroupCommand::BridgeGroupCommand(const BridgeTarget &target, const QByteArray &password,
                                       QObject *parent)
    : QObject(parent), target_(target)
{
    MqttLinkSettings settings = brokerSettings(target, password);
    // A group's reply holds every member's, a few hundred bytes each.
    settings.maximumPacketBytes = kLargestReplyBytes;
    broker_ = std::make_unique<MqttLink>(settings);
    id_ = settings.clientId;
    connect(broker_.get(), &MqttLink::errorOccurred, this, [this](MqttLink::Error error, const QString &why) {
        if (error == MqttLink::Error::Refused)
            fail(tr("the broker %1 refused the connection: %2").arg(broker_->brokerName(), why));
        else if (error == MqttLink::Error::ConnectionLost && published_)
            finish();
    });
    const QString &prefix = target.topicPrefix;
    const QString &group = target.groupId;
    connect(broker_->subscribe(groupMembersFilter(prefix, group)), &MqttSubscription::messageReceived, this,
            [this, prefix, group](const MqttMessage &m) {
                QStringList ids;
                for (const QJsonValue &id : QJsonDocument::fromJson(m.payload).array())
                    ids << id.toString();
                const QString bridge = bridgeOfGroupMembersTopic(prefix, group, m.topic);
                if (ids.isEmpty())
                    members_.erase(bridge); // the group is gone from it, or it serves none of it
                else
                    members_[bridge] = ids;
            });
    connect(broker_->subscribe(bridgeAvailabilityTopic(prefix)), &MqttSubscription::messageReceived, this,
            [this](const MqttMessage &m) { online_[QString()] = m.payload == kOnline; });
    // <prefix>/bridge/NAME/availability
    connect(broker_->subscribe(bridgeAvailabilityTopic(prefix, QStringLiteral("+"))),
            &MqttSubscription::messageReceived, this, [this](const MqttMessage &m) {
                online_[m.topic.section(QLatin1Char('/'), -2, -2)] = m.payload == kOnline;
            });
    connect(broker_->subscribe(groupReplyTopic(prefix, group)), &MqttSubscription::messageReceived, this,
            [this](const MqttMessage &m) { replied(m.payload); });
    deadline_ = makeCoarseTimer(QStringLiteral("replyDeadline"), 1, this);
    connect(deadline_, &SessionTimer::tick, this, [this] {
        deadline_->setEnabled(false);
        if (!published_)
            fail(tr("cannot reach the broker %1").arg(broker_->brokerName()));
        else
            finish();
    });
    retainedWait_ = makeCoarseTimer(QStringLiteral("retainedWait"), kRetainedWaitMs, this);
    connect(retainedWait_, &SessionTimer::tick, this, &BridgeGroupCommand::publish);
    connect(broker_.get(), &MqttLink::connected, this, [this] {
        if (!published_ && !done_)
            retainedWait_->setEnabled(true);
    });
}

BridgeGroupCommand::~BridgeGroupCommand()
{
    if (broker_->isConnected())
        broker_->shutdown({}, 1000);
}

void BridgeGroupCommand::run(const CommandRequest &request, int timeoutMs)
{
    request_ = request;
    deadline_->setInterval(timeoutMs);
    deadline_->setEnabled(true);
    if (!broker_->start())
        fail(broker_->lastError());
}

void BridgeGroupCommand::publish()
{
    retainedWait_->setEnabled(false);
    if (published_ || done_)
        return;
    QStringList offline;
    for (const auto &[bridge, members] : members_) {
        const auto known = online_.find(bridge);
        if (known != online_.end() && known->second)
            asked_[bridge] = {bridge, members, std::nullopt, {}};
        else
            offline << (bridge.isEmpty() ? QStringLiteral("(unnamed)") : bridge);
    }
    if (!asked_.empty())
        for (const QString &bridge : offline)
            emit notice(tr("bridge %1 has the group %2 but is offline: its members were not asked")
                            .arg(bridge, target_.groupId));
    if (asked_.empty())
        return fail(members_.empty() ? tr("no bridge has the group %1 under %2: is its name right?")
                                           .arg(target_.groupId, target_.topicPrefix)
                                     : tr("every bridge with the group %1 is offline: %2")
                                           .arg(target_.groupId, offline.join(QStringLiteral(", "))));
    published_ = true;
    if (!broker_->publish(groupCommandTopic(target_.topicPrefix, target_.groupId),
                          commandPayload(request_, id_), false, 1))
        fail(tr("cannot publish to the broker %1").arg(broker_->brokerName()));
}

void BridgeGroupCommand::replied(const QByteArray &payload)
{
    if (done_ || !published_)
        return;
    const std::optional<ReadGroupReply> reply = readGroupReply(payload);
    if (!reply || reply->id.toString() != id_)
        return; // someone else's
    BridgePart &part = asked_[reply->bridgeName];
    part.bridgeName = reply->bridgeName;
    part.reply = reply;
    part.replyJson = payload;
    if (std::all_of(asked_.begin(), asked_.end(), [](const auto &p) { return p.second.reply.has_value(); }))
        finish();
}

void BridgeGroupCommand::finish()
{
    if (done_)
        return;
    done_ = true;
    deadline_->setEnabled(false);
    std::vector<BridgePart> parts;
    for (const auto &[name, part] : asked_)
        parts.push_back(part);
    emit finished(parts);
}

void BridgeGroupCommand::fail(const QString &why)
{
    if (done_)
        return;
    done_ = true;
    deadline_->setEnabled(false);
    retainedWait_->setEnabled(false);
    emit failed(why);
}
