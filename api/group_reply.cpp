// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/group_reply.h"

#include <QJsonDocument>

namespace {

QJsonObject headObject(const GroupReplyHead &head)
{
    QJsonObject reply;
    if (head.id.isString() || head.id.isDouble())
        reply.insert(QStringLiteral("id"), head.id);
    reply.insert(QStringLiteral("bridge"),
                 head.bridgeName.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(head.bridgeName));
    reply.insert(QStringLiteral("group"), head.group);
    reply.insert(QStringLiteral("command"),
                 head.command ? QJsonValue(*head.command) : QJsonValue(QJsonValue::Null));
    return reply;
}

} // namespace

QJsonObject groupReply(const GroupReplyHead &head,
                       const std::vector<std::pair<QString, QJsonObject>> &members)
{
    QJsonObject reply = headObject(head);
    QJsonObject byId;
    for (const auto &[id, memberReply] : members)
        byId.insert(id, memberReply);
    reply.insert(QStringLiteral("members"), byId);
    return reply;
}

QJsonObject groupRefusalReply(const GroupReplyHead &head, const QString &why)
{
    QJsonObject reply = groupReply(head, {});
    reply.insert(QStringLiteral("error"), why);
    return reply;
}

std::optional<ReadGroupReply> readGroupReply(const QByteArray &payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject() || !document.object().value(QStringLiteral("members")).isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    ReadGroupReply read;
    read.id = object.value(QStringLiteral("id"));
    read.bridgeName = object.value(QStringLiteral("bridge")).toString();
    if (object.value(QStringLiteral("error")).isString())
        read.error = object.value(QStringLiteral("error")).toString();
    const QJsonObject members = object.value(QStringLiteral("members")).toObject();
    for (auto it = members.begin(); it != members.end(); ++it)
        read.members.emplace_back(it.key(), fromJson(it.value().toObject()));
    return read;
}
