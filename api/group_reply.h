// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reply to one command for a group, as velno-bridge publishes it and its
// clients read it: the request's id, the bridge's name (null for an unnamed
// bridge), the group, the command, and "members": each member's reply as
// its own reply topic would carry it. "error" when the group ran nothing.

#include "session/exchange_result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

struct GroupReplyHead {
    QJsonValue id;      // the request's, when it came with one
    QString bridgeName; // empty: null
    QString group;
    std::optional<QString> command; // none: what arrived named no command
};

// members: projector ID and its reply, in the group's order.
QJsonObject groupReply(const GroupReplyHead &head,
                       const std::vector<std::pair<QString, QJsonObject>> &members);
QJsonObject groupRefusalReply(const GroupReplyHead &head, const QString &why);

struct ReadGroupReply {
    QJsonValue id;
    QString bridgeName;
    std::optional<QString> error;
    std::vector<std::pair<QString, ExchangeResult>> members; // by ID
};
std::optional<ReadGroupReply> readGroupReply(const QByteArray &payload);
