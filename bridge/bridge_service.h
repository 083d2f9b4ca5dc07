// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velno-bridge's work: every projector's link joined to one broker
// connection. Commands arrive on each projector's command topic (fresh ones
// only: a retained command is refused, never run), replies, changed
// statuses and the typed state go out, availability follows the ports and
// the answers, and Home Assistant finds the projectors through discovery,
// again whenever it announces that it has started.

#include "bridge/bridge_options.h"

#include <QObject>
#include <memory>
#include <vector>

class MqttLink;
class ProjectorLink;

class BridgeService : public QObject {
    Q_OBJECT
public:
    explicit BridgeService(const BridgeOptions &options, QObject *parent = nullptr);
    ~BridgeService() override;

    // Opens the projectors and connects to the broker (both retried in the
    // background when they fail). False only for settings the broker
    // library refuses.
    bool start(QString *error);
    // Publishes "offline" for the bridge and every projector, disconnects
    // cleanly and closes the ports.
    void stop();

signals:
    void log(const QString &line);

private:
    void addProjector(const ProjectorEndpoint &endpoint);
    void publishEverything();
    void messageArrived(const QString &topic, const QByteArray &payload, bool retained);
    void commandArrived(ProjectorLink &projector, const QByteArray &payload, bool retained);
    void publishAvailability(const ProjectorLink &projector);
    void publishState(const ProjectorLink &projector);
    void publishRetained(const QString &topic, const QByteArray &payload);

    BridgeOptions options_;
    std::unique_ptr<MqttLink> broker_;
    std::vector<ProjectorLink *> projectors_;
    bool stopping_ = false;
};
