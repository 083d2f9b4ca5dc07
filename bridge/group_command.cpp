// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/group_command.h"

#include "bridge/projector_link.h"
#include "bridge/projector_service.h"

#include <memory>

namespace {

// The outcomes as they come in, and who is still owed one.
struct Collected {
    std::vector<MemberOutcome> outcomes;
    std::size_t pending = 0;
    GroupOutcomeHandler done;

    void take(std::size_t index, const CommandOutcome &outcome)
    {
        outcomes[index].outcome = outcome;
        if (--pending == 0 && done)
            std::exchange(done, nullptr)(outcomes);
    }
};

} // namespace

std::optional<Refusal> groupRefusal(const CommandRequest &request)
{
    if (request.command)
        return std::nullopt;
    return Refusal{RefusalKind::Invalid,
                   QStringLiteral("a group takes named commands only: send a typed line to each projector")};
}

void runGroupCommand(const ProjectorService &projectors, const ProjectorGroup &group,
                     const CommandRequest &request, const GroupOutcomeHandler &done)
{
    auto collected = std::make_shared<Collected>();
    for (const QString &id : group.members)
        collected->outcomes.push_back({id, {}});
    collected->pending = collected->outcomes.size();
    collected->done = done;
    if (collected->pending == 0) {
        done({});
        return;
    }
    // Looked up before any runs: an outcome told at once must not find the rest unsent.
    std::vector<ProjectorLink *> links;
    for (const QString &id : group.members)
        links.push_back(projectors.projector(id));
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (!links[i]) {
            collected->take(i, {request, std::nullopt, Refusal{RefusalKind::Removed, {}}});
            continue;
        }
        links[i]->command(request,
                          [collected, i](const CommandOutcome &outcome) { collected->take(i, outcome); });
    }
}
