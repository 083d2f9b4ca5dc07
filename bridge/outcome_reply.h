// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A command's outcome as the reply JSON every face serves (api/): what a
// projector's reply topic carries, and a group's reply made of its members'.

#include "bridge/group_command.h"

#include <QJsonObject>
#include <QJsonValue>

QJsonObject outcomeReply(const CommandOutcome &outcome, const QJsonValue &requestId);
// Every member has ended: the group's reply, each member's as its own topic would carry it.
QJsonObject groupOutcomeReply(const QString &group, const CommandRequest &request,
                              const std::vector<MemberOutcome> &members, const QJsonValue &requestId,
                              const QString &bridgeName);
// The group ran nothing: what arrived is refused whole.
QJsonObject refusedGroupReply(const QString &group, const std::optional<CommandRequest> &request,
                              const Refusal &why, const QJsonValue &requestId, const QString &bridgeName);
