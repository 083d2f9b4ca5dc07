// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The groups on the broker: <prefix>/group/<ID>/command takes what a
// projector's command topic takes (named commands only), runs it on every
// member this bridge serves (bridge/group_command.h) and answers once on
// <prefix>/group/<ID>/reply when all have ended. Each group's members are
// retained on <prefix>/group/<ID>/members/<bridge>, so a client knows which
// bridges will answer; each group is a Home Assistant device with two buttons.

#include "bridge/bridge_options.h"
#include "mqtt/mqtt_link.h"

#include <QJsonObject>
#include <QObject>
#include <functional>
#include <vector>

class LogThrottles;
class ProjectorService;

class MqttGroups : public QObject {
    Q_OBJECT
public:
    using Serves = std::function<bool(const QString &projectorId)>;

    MqttGroups(MqttLink &broker, ProjectorService &projectors, const BridgeOptions &options, Serves serves,
               LogThrottles &refusals, QObject *parent);

    // After (re)connecting, and when Home Assistant has started.
    void publishAll();
    // The members served here changed (a claim settled).
    void membersChanged() { publishAll(); }

private:
    void follow();
    void subscribe(const QString &groupId);
    void remove(const QString &groupId);
    void publishGroup(const ProjectorGroup &group);
    void commandArrived(const QString &groupId, const MqttMessage &message);
    void publishReply(const QString &groupId, const QJsonObject &reply);
    ProjectorGroup served(const ProjectorGroup &group) const;

    MqttLink &broker_;
    ProjectorService &projectors_;
    QString prefix_;
    QString bridgeName_;
    Serves serves_;
    LogThrottles &refusals_;
    std::vector<ProjectorGroup> known_; // as last published
};
