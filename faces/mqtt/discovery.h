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
// pressure sensors of one projector.
std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId);
