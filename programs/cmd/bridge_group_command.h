// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command to a group, on every online bridge under the prefix that has
// it. Which bridges those are, the broker says: each bridge keeps its
// members of the group retained on <prefix>/group/<ID>/members/<bridge>,
// and its availability on <prefix>/bridge/<bridge>/availability (an
// unnamed bridge: <prefix>/bridge/availability). The command goes out once
// on the group's topic with an id of its own; each such bridge answers once
// on the group's reply topic, when all its members have ended.

#include "cmd_options.h"

#include "api/group_reply.h"
#include "protocol/command_request.h"
#include "session/session_timer.h"

#include <QObject>
#include <map>
#include <memory>
#include <optional>

class MqttLink;

class BridgeGroupCommand : public QObject {
    Q_OBJECT
public:
    // How long the retained members and availabilities are awaited.
    static constexpr int kRetainedWaitMs = 1000;
    // What the broker may send us: a group of thousands of projectors' reply.
    static constexpr int kLargestReplyBytes = 4 * 1024 * 1024;

    // One bridge's part: its reply, or none when it did not come in time.
    struct BridgePart {
        QString bridgeName; // empty: the unnamed bridge
        QStringList members;
        std::optional<ReadGroupReply> reply;
        QByteArray replyJson;
    };

    BridgeGroupCommand(const BridgeTarget &target, const QByteArray &password, QObject *parent = nullptr);
    ~BridgeGroupCommand() override;

    void run(const CommandRequest &request, int timeoutMs);

signals:
    // Every bridge that was asked, answered or not (by the timeout).
    void finished(const std::vector<BridgeGroupCommand::BridgePart> &parts);
    // Nothing was run: no broker, or no online bridge has the group.
    void failed(const QString &why);
    // Worth a line on stderr: a bridge with the group that is offline, not asked.
    void notice(const QString &line);

private:
    void publish();
    void replied(const QByteArray &payload);
    void finish();
    void fail(const QString &why);

    BridgeTarget target_;
    std::unique_ptr<MqttLink> broker_;
    CommandRequest request_;
    QString id_;
    std::map<QString, QStringList> members_; // by bridge name, from the retained topics
    std::map<QString, bool> online_;         // by bridge name
    std::map<QString, BridgePart> asked_;    // by bridge name, once published
    bool published_ = false;
    bool done_ = false;
    SessionTimer *deadline_;
    SessionTimer *retainedWait_;
};
