// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/mqtt/mqtt_groups.h"

#include "api/command_payload.h"
#include "bridge/group_command.h"
#include "bridge/log_throttle.h"
#include "bridge/outcome_reply.h"
#include "bridge/projector_service.h"
#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

MqttGroups::MqttGroups(MqttLink &broker, ProjectorService &projectors, const BridgeOptions &options,
                       Serves serves, LogThrottles &refusals, QObject *parent)
    : QObject(parent), broker_(broker), projectors_(projectors), prefix_(options.topicPrefix),
      bridgeName_(options.bridgeName), serves_(std::move(serves)), refusals_(refusals)
{
    for (const ProjectorGroup &group : projectors_.groups())
        subscribe(group.id);
    known_ = projectors_.groups();
    connect(&projectors_, &ProjectorService::groupsChanged, this, &MqttGroups::follow);
}

void MqttGroups::subscribe(const QString &groupId)
{
    connect(broker_.subscribe(groupCommandTopic(prefix_, groupId)), &MqttSubscription::messageReceived, this,
            [this, groupId](const MqttMessage &message) { commandArrived(groupId, message); });
}

// A reload changed the groups: the links are untouched, only the topics follow.
void MqttGroups::follow()
{
    for (const ProjectorGroup &old : known_)
        if (!projectors_.group(old.id))
            remove(old.id);
    for (const ProjectorGroup &group : projectors_.groups()) {
        const bool isNew = std::none_of(known_.begin(), known_.end(),
                                        [&](const ProjectorGroup &g) { return g.id == group.id; });
        if (isNew)
            subscribe(group.id);
        if (broker_.isConnected())
            publishGroup(group);
    }
    known_ = projectors_.groups();
}

void MqttGroups::remove(const QString &groupId)
{
    broker_.unsubscribe(groupCommandTopic(prefix_, groupId));
    broker_.publish(groupMembersTopic(prefix_, groupId, bridgeName_), {}, true, 1);
    for (const DiscoveryMessage &m : groupDiscoveryMessages(prefix_, groupId, bridgeName_))
        broker_.publish(m.topic, {}, true, 1);
}

void MqttGroups::publishAll()
{
    for (const ProjectorGroup &group : projectors_.groups())
        publishGroup(group);
}

void MqttGroups::publishGroup(const ProjectorGroup &group)
{
    const QJsonArray members = QJsonArray::fromStringList(served(group).members);
    broker_.publish(groupMembersTopic(prefix_, group.id, bridgeName_),
                    QJsonDocument(members).toJson(QJsonDocument::Compact), true, 1);
    for (const DiscoveryMessage &m : groupDiscoveryMessages(prefix_, group.id, bridgeName_))
        broker_.publish(m.topic, m.payload, true, 1);
}

ProjectorGroup MqttGroups::served(const ProjectorGroup &group) const
{
    ProjectorGroup mine{group.id, {}};
    for (const QString &id : group.members)
        if (serves_(id))
            mine.members << id;
    return mine;
}

void MqttGroups::commandArrived(const QString &groupId, const MqttMessage &message)
{
    const ProjectorGroup *group = projectors_.group(groupId);
    if (!group)
        return;
    const PayloadVerdict verdict = checkCommandPayload(message.payload);
    std::optional<Refusal> why;
    if (message.retained)
        why = Refusal{RefusalKind::Retained, {}};
    else if (!verdict.accepted())
        why = Refusal{RefusalKind::Invalid, verdict.refusal};
    else
        why = groupRefusal(*verdict.request);
    if (why) {
        refusals_.report(QStringLiteral("group commands refused"),
                         QStringLiteral("group %1: refused a command: %2").arg(groupId, why->text()));
        return publishReply(groupId,
                            refusedGroupReply(groupId, verdict.request, *why, verdict.id, bridgeName_));
    }
    QPointer<MqttGroups> self(this);
    runGroupCommand(projectors_, served(*group), *verdict.request,
                    [self, groupId, request = *verdict.request, requestId = verdict.id,
                     name = bridgeName_](const std::vector<MemberOutcome> &members) {
                        if (self)
                            self->publishReply(groupId,
                                               groupOutcomeReply(groupId, request, members, requestId, name));
                    });
}

void MqttGroups::publishReply(const QString &groupId, const QJsonObject &reply)
{
    broker_.publish(groupReplyTopic(prefix_, groupId), QJsonDocument(reply).toJson(QJsonDocument::Compact));
}
