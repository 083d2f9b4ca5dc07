// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which projector IDs a named bridge serves among several under one prefix.
// Each serves only IDs it holds a retained claim on (<prefix>/<id>/claim,
// holding its name): an ID another bridge claimed first is left alone, with
// one log line naming the topic and the other bridge. A claim is taken once
// the broker has had time to hand over the retained ones, renewed at every
// connection, and cleared at a clean stop or when the ID leaves the
// settings; the claim of a bridge that died stays, and is its own again
// when it comes back under its name. An unnamed bridge claims nothing and
// serves everything, as before.

#include "mqtt/mqtt_link.h"
#include "session/session_timer.h"

#include <QObject>
#include <map>
#include <vector>

class MqttClaims : public QObject {
    Q_OBJECT
public:
    // How long after subscribing the retained claims are taken to be in.
    static constexpr int kSettleMs = 1000;

    MqttClaims(MqttLink &broker, const QString &prefix, const QString &bridgeName, QObject *parent,
               const SessionTimerFactory &makeTimer);

    // Watches an ID's claim; it is taken at the next settling, when nobody else has it.
    void follow(const QString &projectorId);
    // Gone from the settings: the claim is let go of.
    void forget(const QString &projectorId);
    // After (re)connecting: what is ours is said again, what is new is settled.
    void connected();
    bool serves(const QString &projectorId) const;
    // The clean stop's last words: every claim of ours cleared.
    std::vector<MqttMessage> releases() const;

signals:
    // This bridge serves the ID from now on.
    void taken(const QString &projectorId);
    void log(const QString &line);

private:
    enum class Claim { Unsettled, Ours, Theirs };
    void arrived(const QString &projectorId, const MqttMessage &message);
    void settle();

    MqttLink &broker_;
    QString prefix_;
    QString name_;
    SessionTimer *settle_ = nullptr;
    std::map<QString, Claim> claims_;
};
