// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/command_reply.h"

#include <QJsonDocument>

namespace {

// The request's own id, text or a number, when it came with one.
QJsonObject withId(QJsonObject reply, const QJsonValue &id)
{
    if (id.isString() || id.isDouble())
        reply.insert(QStringLiteral("id"), id);
    return reply;
}

} // namespace

QJsonObject commandReply(const ExchangeResult &result, const QJsonValue &id)
{
    return withId(toJson(result), id);
}

QJsonObject refusalReply(const std::optional<CommandRequest> &request, const QJsonValue &id,
                         const QString &why)
{
    ExchangeResult nothing;
    if (request)
        nothing.command = request->name();
    QJsonObject reply = toJson(nothing);
    if (!request)
        reply.insert(QStringLiteral("command"), QJsonValue(QJsonValue::Null));
    reply.insert(QStringLiteral("error"), why);
    return withId(reply, id);
}

std::optional<ReadReply> readReply(const QByteArray &payload)
{
    const QJsonDocument document = QJsonDocument::fromJson(payload);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    return ReadReply{fromJson(object), object.value(QStringLiteral("id"))};
}
