// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/command_outcome.h"

QString Refusal::text() const
{
    const auto withDetail = [this](const QString &words) {
        return detail.isEmpty() ? words : words + QStringLiteral(": ") + detail;
    };
    switch (kind) {
    case RefusalKind::Invalid: return detail;
    case RefusalKind::Retained:
        return QStringLiteral("retained command not run: publish commands without the retain flag");
    case RefusalKind::Busy: return QStringLiteral("busy");
    case RefusalKind::Offline: return QStringLiteral("projector offline");
    case RefusalKind::Stopping: return withDetail(QStringLiteral("bridge stopping"));
    case RefusalKind::Removed: return withDetail(QStringLiteral("projector removed from the settings"));
    }
    return detail;
}

Refusal Refusal::onTheLine(RefusalKind kind)
{
    return {kind, QStringLiteral("sent, its reply not awaited; it may have run")};
}
