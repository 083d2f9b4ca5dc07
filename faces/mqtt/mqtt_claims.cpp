// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/mqtt/mqtt_claims.h"

#include "mqtt/mqtt_topics.h"
#include "session/precise_timer.h"

MqttClaims::MqttClaims(MqttLink &broker, const QString &prefix, const QString &bridgeName, QObject *parent,
                       const SessionTimerFactory &makeTimer)
    : QObject(parent), broker_(broker), prefix_(prefix), name_(bridgeName)
{
    if (name_.isEmpty())
        return;
    const SessionTimerFactory make = makeTimer ? makeTimer : makeCoarseTimer;
    settle_ = make(QStringLiteral("claimSettle"), kSettleMs, this);
    connect(settle_, &SessionTimer::tick, this, [this] {
        settle_->setEnabled(false);
        settle();
    });
}

void MqttClaims::follow(const QString &projectorId)
{
    if (name_.isEmpty() || claims_.count(projectorId))
        return;
    claims_[projectorId] = Claim::Unsettled;
    connect(broker_.subscribe(claimTopic(prefix_, projectorId)), &MqttSubscription::messageReceived, this,
            [this, projectorId](const MqttMessage &message) { arrived(projectorId, message); });
    if (broker_.isConnected() && !settle_->enabled())
        settle_->setEnabled(true);
}

void MqttClaims::forget(const QString &projectorId)
{
    const auto found = claims_.find(projectorId);
    if (found == claims_.end())
        return;
    const bool ours = found->second == Claim::Ours;
    claims_.erase(found);
    broker_.unsubscribe(claimTopic(prefix_, projectorId));
    if (ours)
        broker_.publish(claimTopic(prefix_, projectorId), {}, true, 1);
}

void MqttClaims::connected()
{
    if (name_.isEmpty())
        return;
    for (const auto &[id, claim] : claims_)
        if (claim == Claim::Ours)
            broker_.publish(claimTopic(prefix_, id), name_.toUtf8(), true, 1);
    settle_->setEnabled(true);
}

bool MqttClaims::serves(const QString &projectorId) const
{
    if (name_.isEmpty())
        return true;
    const auto found = claims_.find(projectorId);
    return found != claims_.end() && found->second == Claim::Ours;
}

std::vector<MqttMessage> MqttClaims::releases() const
{
    std::vector<MqttMessage> messages;
    for (const auto &[id, claim] : claims_)
        if (claim == Claim::Ours)
            messages.push_back({claimTopic(prefix_, id), {}, true});
    return messages;
}

void MqttClaims::arrived(const QString &projectorId, const MqttMessage &message)
{
    const auto found = claims_.find(projectorId);
    const QString other = QString::fromUtf8(message.payload);
    if (found == claims_.end() || other == name_)
        return;
    if (other.isEmpty()) {
        // Let go of by the bridge that had it: ours at the next settling.
        if (found->second == Claim::Theirs) {
            found->second = Claim::Unsettled;
            settle_->setEnabled(true);
        }
        return;
    }
    const QString topic = claimTopic(prefix_, projectorId);
    if (found->second == Claim::Unsettled) {
        found->second = Claim::Theirs;
        emit log(QStringLiteral("%1: claimed by bridge '%2' (retained on %3); not served by this bridge. "
                                "Remove it from one of them, or clear the claim once '%2' no longer has it")
                     .arg(projectorId, other, topic));
    } else if (found->second == Claim::Ours) {
        // Both started at once and neither saw the other's claim: say so once, keep serving.
        emit log(QStringLiteral("%1: bridge '%2' claimed it too on %3 after this bridge did; "
                                "remove it from one of them")
                     .arg(projectorId, other, topic));
    }
}

void MqttClaims::settle()
{
    for (auto &[id, claim] : claims_) {
        if (claim != Claim::Unsettled)
            continue;
        claim = Claim::Ours;
        broker_.publish(claimTopic(prefix_, id), name_.toUtf8(), true, 1);
        emit taken(id);
    }
}
