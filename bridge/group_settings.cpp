// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/group_settings.h"

#include "mqtt/mqtt_topics.h"

#include <algorithm>

namespace {

const QString kMembersKey = QStringLiteral("projectors");

bool isProjector(const std::vector<ProjectorEndpoint> &projectors, const QString &id)
{
    return std::any_of(projectors.begin(), projectors.end(),
                       [&](const ProjectorEndpoint &p) { return p.id == id; });
}

// One section, or why it cannot be a group.
QString readGroup(const ConfigProjector &section, const std::vector<ProjectorEndpoint> &projectors,
                  ProjectorGroup &group)
{
    group.id = section.id;
    if (const QString problem = projectorIdProblem(section.id); !problem.isEmpty())
        return QStringLiteral("%1: %2").arg(section.where, problem);
    if (section.id == kAllGroupId)
        return QStringLiteral("%1: the group '%2' is every projector already; it has no section")
            .arg(section.where, kAllGroupId);
    if (isProjector(projectors, section.id))
        return QStringLiteral("%1: '%2' is a projector's ID; a group needs another")
            .arg(section.where, section.id);
    const std::optional<ConfigValue> members = section.get(kMembersKey);
    if (!members)
        return QStringLiteral("%1: no projectors = ... in it").arg(section.where);
    for (const QString &word : members->text.split(QLatin1Char(','))) {
        const QString id = word.trimmed();
        if (!isProjector(projectors, id))
            return QStringLiteral("%1: '%2' is no projector of this bridge").arg(members->where, id);
        if (group.members.contains(id))
            return QStringLiteral("%1: '%2' is given twice").arg(members->where, id);
        group.members << id;
    }
    return {};
}

} // namespace

GroupsRead readGroups(const std::vector<ConfigProjector> &sections,
                      const std::vector<ProjectorEndpoint> &projectors)
{
    GroupsRead read;
    for (const ConfigProjector &section : sections) {
        ProjectorGroup group;
        read.error = readGroup(section, projectors, group);
        if (!read.error.isEmpty())
            return {{}, read.error};
        read.groups.push_back(group);
    }
    return read;
}

std::vector<ProjectorGroup> groupsInForce(const std::vector<ProjectorGroup> &configured,
                                          const QStringList &projectorIds)
{
    std::vector<ProjectorGroup> all{{kAllGroupId, projectorIds}};
    std::sort(all.front().members.begin(), all.front().members.end());
    all.insert(all.end(), configured.begin(), configured.end());
    return all;
}

QString groupSettingsText(const std::vector<ProjectorGroup> &groups, int projectorCount)
{
    QString out = QStringLiteral("\n# group %1: every projector (%2)\n").arg(kAllGroupId).arg(projectorCount);
    for (const ProjectorGroup &g : groups)
        out += QStringLiteral("\n[group %1]\n%2 = %3\n")
                   .arg(g.id, kMembersKey, g.members.join(QStringLiteral(", ")));
    return out;
}
