// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every topic the bridge uses, and the Home Assistant discovery messages that
// point at them. Topics are built here and nowhere else.

#include <QByteArray>
#include <QString>

#include <vector>

// ---- Topics under <prefix>/<id>/ ----

QString commandTopic(const QString &prefix, const QString &projectorId); // subscribed
QString replyTopic(const QString &prefix, const QString &projectorId);   // one JSON object per command
QString statusTopic(const QString &prefix, const QString &projectorId, const QString &query); // retained
QString availabilityTopic(const QString &prefix, const QString &projectorId); // retained online/offline
QString stateTopic(const QString &prefix, const QString &projectorId);        // retained JSON state
// The bridge's own availability, the topic of its last will.
QString bridgeAvailabilityTopic(const QString &prefix);
// The projector ID whose topics would clash with the bridge's own.
QString reservedProjectorId();

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// ---- Home Assistant discovery ----

inline const QString kDiscoveryPrefix = QStringLiteral("homeassistant");

struct DiscoveryMessage {
    QString topic;      // under kDiscoveryPrefix; publish retained
    QByteArray payload; // compact JSON
};

// The power switch, the input select and the lamp time, temperature and
// pressure sensors of one projector.
std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId);
