// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge_command.h"

#include "api/command_payload.h"
#include "api/command_reply.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_topics.h"
#include "session/exchange_result.h"
#include "session/precise_timer.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace {

// Unique for this run, within the 23 letters and digits every broker takes.
QString freshClientId()
{
    return QStringLiteral("velnocmd%1")
        .arg(QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFULL, 12, 16, QLatin1Char('0'));
}

} // namespace

MqttLinkSettings brokerSettings(const BridgeTarget &target, const QByteArray &password)
{
    MqttLinkSettings settings;
    settings.host = target.host;
    settings.port = target.port;
    settings.clientId = freshClientId();
    settings.username = target.username;
    settings.password = password;
    settings.caFile = target.caFile;
    return settings;
}

BridgeCommand::BridgeCommand(const BridgeTarget &target, const QByteArray &password, QObject *parent,
                             const SessionTimerFactory &makeTimer)
    : QObject(parent), target_(target)
{
    const MqttLinkSettings settings = brokerSettings(target, password);
    broker_ = std::make_unique<MqttLink>(settings, nullptr, makeTimer);
    id_ = settings.clientId;
    connect(broker_.get(), &MqttLink::connected, this, &BridgeCommand::connected);
    connect(broker_.get(), &MqttLink::errorOccurred, this, [this](MqttLink::Error error, const QString &why) {
        // A broker that says no will say no again: no point in waiting.
        if (error == MqttLink::Error::Refused)
            fail(tr("the broker %1 refused the connection: %2").arg(broker_->brokerName(), why));
        else if (error == MqttLink::Error::ConnectionLost && published_)
            fail(tr("the connection to the broker was lost after the command went out: %1; the reply was "
                    "lost, the command may have run")
                     .arg(why));
    });
    const QString &prefix = target.topicPrefix;
    connect(broker_->subscribe(bridgeAvailabilityTopic(prefix)), &MqttSubscription::messageReceived, this,
            [this](const MqttMessage &m) {
                availability(bridgeOnline_, m.payload, tr("velno-bridge is offline (%1)").arg(m.topic));
            });
    // Behind a named bridge: its claim on the projector names it, and its availability is its own.
    connect(broker_->subscribe(claimTopic(prefix, target.projectorId)), &MqttSubscription::messageReceived,
            this, [this, prefix](const MqttMessage &m) {
                if (m.payload.isEmpty())
                    return;
                connect(broker_->subscribe(bridgeAvailabilityTopic(prefix, QString::fromUtf8(m.payload))),
                        &MqttSubscription::messageReceived, this, [this](const MqttMessage &a) {
                            availability(bridgeOnline_, a.payload,
                                         tr("velno-bridge is offline (%1)").arg(a.topic));
                        });
            });
    connect(broker_->subscribe(availabilityTopic(prefix, target.projectorId)),
            &MqttSubscription::messageReceived, this, [this](const MqttMessage &m) {
                availability(projectorOnline_, m.payload,
                             tr("projector %1 is offline (%2)").arg(target_.projectorId, m.topic));
            });
    connect(broker_->subscribe(replyTopic(prefix, target.projectorId)), &MqttSubscription::messageReceived,
            this, [this](const MqttMessage &m) { replied(m.payload); });
    const SessionTimerFactory make = makeTimer ? makeTimer : makeCoarseTimer;
    deadline_ = make(QStringLiteral("replyDeadline"), 1, this);
    connect(deadline_, &SessionTimer::tick, this, [this] {
        deadline_->setEnabled(false);
        if (!published_)
            fail(tr("cannot reach the broker %1").arg(broker_->brokerName()));
        else if (!projectorOnline_)
            fail(tr("no reply from the bridge within %1 s, and no word of projector %2 from it: is the ID "
                    "right, and the bridge running?")
                     .arg(timeoutMs_ / 1000.0)
                     .arg(target_.projectorId));
        else
            fail(tr("no reply from the bridge within %1 s: the reply was lost, the command may have run")
                     .arg(timeoutMs_ / 1000.0));
    });
    availabilityWait_ = make(QStringLiteral("availabilityWait"), kAvailabilityWaitMs, this);
    connect(availabilityWait_, &SessionTimer::tick, this, &BridgeCommand::publish);
}

BridgeCommand::~BridgeCommand()
{
    if (broker_->isConnected())
        broker_->shutdown({}, 1000);
}

void BridgeCommand::run(const CommandRequest &request, int timeoutMs)
{
    request_ = request;
    timeoutMs_ = timeoutMs;
    // Reaching the broker counts against the same time.
    deadline_->setInterval(timeoutMs);
    deadline_->setEnabled(true);
    if (!broker_->start())
        fail(broker_->lastError());
}

void BridgeCommand::connected()
{
    if (published_ || done_)
        return;
    // The retained availability comes right after the subscriptions.
    availabilityWait_->setEnabled(true);
    deadline_->setEnabled(true);
}

// Once the command is out, the bridge's reply says what became of it.
void BridgeCommand::availability(std::optional<bool> &known, const QByteArray &payload, const QString &what)
{
    if (done_ || published_)
        return;
    known = payload == kOnline;
    if (!*known)
        fail(what);
    else
        publishWhenKnown();
}

void BridgeCommand::replied(const QByteArray &payload)
{
    if (done_ || !published_)
        return;
    const std::optional<ReadReply> reply = readReply(payload);
    if (!reply || reply->id.toString() != id_)
        return; // someone else's
    done_ = true;
    deadline_->setEnabled(false);
    emit finished(reply->result);
}

void BridgeCommand::publishWhenKnown()
{
    if (bridgeOnline_.value_or(false) && projectorOnline_.value_or(false))
        publish();
}

void BridgeCommand::publish()
{
    availabilityWait_->setEnabled(false);
    if (published_ || done_)
        return;
    published_ = true;
    if (!broker_->publish(commandTopic(target_.topicPrefix, target_.projectorId),
                          commandPayload(request_, id_), false, 1))
        fail(tr("cannot publish to the broker %1").arg(broker_->brokerName()));
}

void BridgeCommand::fail(const QString &why)
{
    if (done_)
        return;
    done_ = true;
    deadline_->setEnabled(false);
    availabilityWait_->setEnabled(false);
    emit failed(why);
}
