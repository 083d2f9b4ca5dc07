// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Home Assistant discovery messages that point at the bridge's topics.

#include <QByteArray>
#include <QString>

#include <vector>

// ---- Home Assistant discovery ----

inline const QString kDiscoveryPrefix = QStringLiteral("homeassistant");

struct DiscoveryMessage {
    QString topic;      // under kDiscoveryPrefix; publish retained
    QByteArray payload; // compact JSON
};

// The power switch, the input select and the lamp time, temperature and
// pressure sensors of one projector; available while its bridge (named or
// not) and the projector are.
std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId,
                                                const QString &bridgeName = {});
// A group of one bridge as a device of its own: power on and power off
// buttons on the group's command topic. Its members are devices already.
// To remove it, publish an empty retained payload on each topic.
std::vector<DiscoveryMessage> groupDiscoveryMessages(const QString &prefix, const QString &groupId,
                                                     const QString &bridgeName);
