// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A building's automation as the bridge sees it: a command to a random
// projector at a steady rate, each as JSON with an id of its own, and every
// reply collected by that id, stamped as it arrives.

#include "bridge_rig.h"
#include "protocol/commands.h"

#include <QJsonObject>
#include <QTimer>
#include <random>
#include <vector>

class VenueTraffic {
public:
    struct Sent {
        std::size_t projector = 0;
        const Command *command = nullptr;
        Clock::time_point at;
    };
    struct Reply {
        Clock::time_point at;
        QString projectorId; // from the topic it came on
        QJsonObject body;
    };

    // The link subscribes to PREFIX/+/reply here.
    VenueTraffic(MqttLink &link, const QString &topicPrefix, const QStringList &projectorIds, unsigned seed);

    // One command every periodMs, on the schedule however late a timer
    // fires: the ones due are sent together.
    void start(int periodMs);
    void stop();

    const std::vector<Sent> &sent() const { return sent_; }
    // The replies to sent()[i], in arrival order.
    const std::vector<Reply> &replies(std::size_t i) const { return replies_[i]; }
    std::size_t withoutReply() const { return withoutReply_; }
    // Replies whose id is none of ours.
    std::size_t strangers() const { return strangers_; }

    // What the simulated projector answers to this command.
    static QString expectedReply(const Command &command);

private:
    void publishDue();
    void arrived(const QString &topic, const QByteArray &payload);

    MqttLink &link_;
    QString prefix_;
    QStringList ids_;
    std::mt19937 random_;
    std::vector<const Command *> mix_;
    QTimer timer_;
    Clock::time_point startedAt_;
    int periodMs_ = 0;
    std::vector<Sent> sent_;
    std::vector<std::vector<Reply>> replies_;
    std::size_t withoutReply_ = 0;
    std::size_t strangers_ = 0;
};
