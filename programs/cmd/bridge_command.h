// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command to a projector of velno-bridge, for a script that can no
// longer reach the projector's port itself (the bridge holds it): published
// on the projector's command topic with an id of its own, answered by the
// bridge's reply with that id.

#include "cmd_options.h"

#include "protocol/command_request.h"
#include "session/session_timer.h"

#include <QObject>
#include <memory>
#include <optional>

class MqttLink;
struct ExchangeResult;
struct MqttLinkSettings;

// The broker connection a run of velno-cmd makes for a target: a client
// ID of its own, so that two runs at once do not push each other off.
MqttLinkSettings brokerSettings(const BridgeTarget &target, const QByteArray &password);

class BridgeCommand : public QObject {
    Q_OBJECT
public:
    // How long the bridge's and the projector's availability is awaited
    // before the command goes out anyway (a bridge that never announced it).
    static constexpr int kAvailabilityWaitMs = 1000;

    BridgeCommand(const BridgeTarget &target, const QByteArray &password, QObject *parent = nullptr,
                  const SessionTimerFactory &makeTimer = {});
    ~BridgeCommand() override;

    // The reply is awaited timeoutMs from the moment the broker is reached.
    void run(const CommandRequest &request, int timeoutMs);

signals:
    // The bridge's reply (with "error" when it ran nothing).
    void finished(const ExchangeResult &result);
    // No reply: the broker could not be reached or refused the login, the
    // bridge or the projector is offline (nothing was run), or no reply came
    // in time (it may have run).
    void failed(const QString &why);

private:
    void connected();
    void availability(std::optional<bool> &known, const QByteArray &payload, const QString &what);
    void replied(const QByteArray &payload);
    void publishWhenKnown();
    void publish();
    void fail(const QString &why);

    BridgeTarget target_;
    std::unique_ptr<MqttLink> broker_;
    CommandRequest request_;
    QString id_;
    int timeoutMs_ = 0;
    std::optional<bool> bridgeOnline_;
    std::optional<bool> projectorOnline_;
    bool published_ = false;
    bool done_ = false;
    SessionTimer *deadline_;
    SessionTimer *availabilityWait_;
};
