// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command to every member of a group: the rule the faces share. Each
// member's command goes into that member's own queue at once, so members
// run in parallel; the group has ended when every member has, whatever
// happened meanwhile (a member removed by a reload, the bridge stopping:
// each link tells every command's outcome once).

#include "bridge/bridge_options.h"
#include "bridge/command_outcome.h"

#include <functional>
#include <optional>
#include <vector>

class ProjectorService;

struct MemberOutcome {
    QString id; // the projector's
    CommandOutcome outcome;
};
// Told once, with one outcome per member in the group's order.
using GroupOutcomeHandler = std::function<void(const std::vector<MemberOutcome> &)>;

// Why a group does not take this request (a typed line: what one projector
// takes need not suit another); none when it does.
std::optional<Refusal> groupRefusal(const CommandRequest &request);

// Runs request on every member of group (a member no longer held is refused
// as removed). done may be told before this returns, when every member
// refused at once.
void runGroupCommand(const ProjectorService &projectors, const ProjectorGroup &group,
                     const CommandRequest &request, const GroupOutcomeHandler &done);
