// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The groups of the settings: [group ID] sections read and checked against
// the projectors, and the implicit group "all".

#include "bridge/bridge_options.h"
#include "bridge/config_file.h"

#include <QString>
#include <vector>

// Every projector of the bridge, without a section of its own.
inline const QString kAllGroupId = QStringLiteral("all");

struct GroupsRead {
    std::vector<ProjectorGroup> groups;
    QString error; // names the file, line and key at fault
};

// The file's [group ID] sections, each member one of projectors.
GroupsRead readGroups(const std::vector<ConfigProjector> &sections,
                      const std::vector<ProjectorEndpoint> &projectors);

// The groups in force: "all" (every projector, in ID order) first, then the configured ones.
std::vector<ProjectorGroup> groupsInForce(const std::vector<ProjectorGroup> &configured,
                                          const QStringList &projectorIds);

// For --check-config: the groups as the file would give them.
QString groupSettingsText(const std::vector<ProjectorGroup> &groups, int projectorCount);
