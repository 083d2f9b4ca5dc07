// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/outcome_reply.h"

#include "api/command_reply.h"
#include "api/group_reply.h"

QJsonObject outcomeReply(const CommandOutcome &outcome, const QJsonValue &requestId)
{
    return outcome.result ? commandReply(*outcome.result, requestId)
                          : refusalReply(outcome.request, requestId, outcome.refusal->text());
}

QJsonObject groupOutcomeReply(const QString &group, const CommandRequest &request,
                              const std::vector<MemberOutcome> &members, const QJsonValue &requestId,
                              const QString &bridgeName)
{
    std::vector<std::pair<QString, QJsonObject>> replies;
    for (const MemberOutcome &member : members)
        replies.emplace_back(member.id, outcomeReply(member.outcome, QJsonValue(QJsonValue::Undefined)));
    return groupReply({requestId, bridgeName, group, request.name()}, replies);
}

QJsonObject refusedGroupReply(const QString &group, const std::optional<CommandRequest> &request,
                              const Refusal &why, const QJsonValue &requestId, const QString &bridgeName)
{
    return groupRefusalReply(
        {requestId, bridgeName, group, request ? std::optional<QString>(request->name()) : std::nullopt},
        why.text());
}
