// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/group_api.h"

#include "api/command_payload.h"
#include "bridge/group_command.h"
#include "bridge/outcome_reply.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/web/command_status.h"

#include <set>

namespace {

constexpr int kSomeFollowed = 207;

QJsonObject summaryOf(const ProjectorService &projectors, const QStringList &members)
{
    int on = 0, off = 0, offline = 0, unknown = 0;
    for (const QString &id : members) {
        const ProjectorLink *projector = projectors.projector(id);
        if (!projector || !projector->isOnline()) {
            ++offline;
            continue;
        }
        const PowerState power = projector->state().power();
        if (isSwitchedOn(power))
            ++on;
        else if (power == PowerState::Off || power == PowerState::Cooling)
            ++off;
        else
            ++unknown;
    }
    return {{QStringLiteral("on"), on},
            {QStringLiteral("off"), off},
            {QStringLiteral("offline"), offline},
            {QStringLiteral("unknown"), unknown}};
}

int groupStatus(const std::vector<MemberOutcome> &members)
{
    std::set<int> statuses;
    for (const MemberOutcome &member : members)
        statuses.insert(commandStatus(member.outcome));
    if (statuses.size() <= 1)
        return statuses.empty() ? 200 : *statuses.begin();
    return kSomeFollowed;
}

} // namespace

QJsonArray groupList(const ProjectorService &projectors)
{
    QJsonArray list;
    for (const ProjectorGroup &group : projectors.groups())
        list.append(QJsonObject{{QStringLiteral("id"), group.id},
                                {QStringLiteral("members"), QJsonArray::fromStringList(group.members)},
                                {QStringLiteral("summary"), summaryOf(projectors, group.members)}});
    return list;
}

void groupApiRequest(ProjectorService &projectors, const QString &bridgeName, const GroupApiRequest &request,
                     const GroupApiHandler &done)
{
    const QStringList path = request.rest.split(QLatin1Char('/'));
    const ProjectorGroup *group = projectors.group(path.first());
    if (request.rest.isEmpty())
        return request.method == QLatin1String("GET") ? done({200, QJsonDocument(groupList(projectors)), {}})
                                                      : done({405, {}, "GET"});
    if (!group || path.size() != 2 || path[1] != QLatin1String("command"))
        return done({404,
                     QJsonDocument(QJsonObject{{QStringLiteral("error"), QStringLiteral("no such group")}}),
                     {}});
    if (request.method != QLatin1String("POST"))
        return done({405, {}, "POST"});
    const PayloadVerdict verdict = checkCommandPayload(request.body);
    std::optional<Refusal> why;
    if (!verdict.accepted())
        why = Refusal{RefusalKind::Invalid, verdict.refusal};
    else
        why = groupRefusal(*verdict.request);
    if (why)
        return done(
            {400,
             QJsonDocument(refusedGroupReply(group->id, verdict.request, *why, verdict.id, bridgeName)),
             {}});
    runGroupCommand(projectors, *group, *verdict.request,
                    [done, id = group->id, request = *verdict.request, requestId = verdict.id,
                     bridgeName](const std::vector<MemberOutcome> &members) {
                        done({groupStatus(members),
                              QJsonDocument(groupOutcomeReply(id, request, members, requestId, bridgeName)),
                              {}});
                    });
}
