// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/command_status.h"

#include "bridge/command_outcome.h"

int commandStatus(const CommandOutcome &outcome)
{
    if (outcome.result)
        return refusedByProjector(*outcome.result) ? 422 : 200;
    switch (outcome.refusal->kind) {
    case RefusalKind::Invalid:
    case RefusalKind::Retained: return 400;
    case RefusalKind::Busy: return 409;
    case RefusalKind::Offline:
    case RefusalKind::Stopping:
    case RefusalKind::Removed: break;
    }
    return 503;
}
