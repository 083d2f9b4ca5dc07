// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What velno-bridge and its clients agree on over the broker: the topics,
// the availability payloads, the defaults and what a projector ID may be.
// Topics are built here and nowhere else.

#include <QByteArray>
#include <QString>

namespace mqtt_defaults {
constexpr quint16 kPort = 1883;
inline const QString kTopicPrefix = QStringLiteral("velno");
} // namespace mqtt_defaults

// ---- Topics under <prefix>/<id>/ ----

QString commandTopic(const QString &prefix, const QString &projectorId); // subscribed
QString replyTopic(const QString &prefix, const QString &projectorId);   // one JSON object per command
QString statusTopic(const QString &prefix, const QString &projectorId, const QString &query); // retained
QString availabilityTopic(const QString &prefix, const QString &projectorId); // retained online/offline
QString stateTopic(const QString &prefix, const QString &projectorId);        // retained JSON state
// The bridge's own availability, the topic of its last will.
QString bridgeAvailabilityTopic(const QString &prefix);

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// ---- Projector IDs: they go into topics and Home Assistant's object ids ----

constexpr int kLongestProjectorId = 64;
// The projector ID whose topics would clash with the bridge's own.
QString reservedProjectorId();
// Why id cannot name a projector (lower-case letters, digits, '-' and '_',
// at most 64, not the reserved one); empty when it can.
QString projectorIdProblem(const QString &id);

// ---- What the broker accepts ----

// Why a broker would refuse a topic name (no wildcards), a topic filter or a
// client id: valid UTF-8 of at most 65535 bytes, no NUL or control
// characters, wildcards only as whole levels. Empty when it will take it.
QString topicNameProblem(const QString &topic);
QString topicFilterProblem(const QString &filter);
QString clientIdProblem(const QString &clientId);
// Empty when the prefix is usable in every topic the bridge publishes,
// subscribes to or announces; otherwise what is wrong with it.
QString topicPrefixProblem(const QString &prefix);
