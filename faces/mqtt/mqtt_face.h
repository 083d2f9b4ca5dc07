// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face on an MQTT broker: every projector of the service on
// one broker connection. Commands arrive on each projector's command topic
// (fresh ones only: a retained command is refused, never run), replies,
// changed statuses and the typed state go out, availability follows the
// ports and the answers, and Home Assistant finds the projectors through
// discovery, again whenever it announces that it has started.

#include "bridge/bridge_face.h"
#include "session/session_timer.h"

#include <QJsonValue>
#include <map>
#include <memory>

class MqttClaims;
class MqttGroups;
class MqttLink;
class MqttSubscription;
class ProjectorLink;
class ProjectorService;
class LogThrottle;
class LogThrottles;
struct CommandOutcome;

class MqttFace : public BridgeFace {
    Q_OBJECT
public:
    // Home Assistant's announcements, however many arrive, bring everything
    // again at most this often.
    static constexpr int kRepublishGapMs = 5000;
    // A will of ours that the broker published while we run is put right
    // this long after it arrived, if the connection is still there.
    static constexpr int kStaleWillCheckMs = 1000;

    explicit MqttFace(const FaceContext &context);
    ~MqttFace() override;

    // Connects to the broker (retried in the background when it fails).
    // False only for settings the broker library refuses.
    bool start(QString *error) override;
    // Publishes "offline" for the bridge and every projector, waits for the
    // broker to take it, and disconnects cleanly.
    void stop() override;

private:
    void addProjector(ProjectorLink *projector);
    void removeProjector(ProjectorLink *projector);
    void brokerFailed(int error, const QString &description);
    void homeAssistantStarted();
    void publishEverything();
    void commandArrived(ProjectorLink &projector, const QByteArray &payload, bool retained);
    void publishReply(const QString &id, const CommandOutcome &outcome, const QJsonValue &requestId);
    void publishProjector(const ProjectorLink &projector);
    void publishAvailability(const ProjectorLink &projector);
    void publishState(const ProjectorLink &projector);
    void publishRetained(const QString &topic, const QByteArray &payload);
    bool serves(const ProjectorLink &projector) const;

    BridgeOptions options_;
    SessionTimerFactory makeTimer_;
    std::unique_ptr<MqttLink> broker_;
    ProjectorService &projectors_;
    SessionTimer *republishGap_;
    SessionTimer *staleWillCheck_;
    LogThrottle *publishFailures_;
    LogThrottles *refusals_; // payloads that name no command, retained commands
    MqttClaims *claims_;     // which projectors this bridge serves, among several under the prefix
    MqttGroups *groups_;
    bool republishPending_ = false;
    bool brokerOutage_ = false; // its first line went out
    bool stopping_ = false;
};
