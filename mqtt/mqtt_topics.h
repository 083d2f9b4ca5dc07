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
// The bridge's own availability, the topic of its last will: under
// <prefix>/bridge/NAME/ for a named bridge, one of several under a prefix.
QString bridgeAvailabilityTopic(const QString &prefix, const QString &bridgeName = {});
// Retained: the name of the bridge that serves this projector ID under the
// prefix; another named bridge leaves the ID alone while it is there.
QString claimTopic(const QString &prefix, const QString &projectorId);

// ---- Groups: <prefix>/group/<group>/ ----

QString groupCommandTopic(const QString &prefix, const QString &groupId); // subscribed
QString groupReplyTopic(const QString &prefix, const QString &groupId);   // one JSON object per command
// Retained by each bridge that has the group: its member IDs as a JSON
// array, so that a client knows which bridges will answer. bridgeName is
// empty for an unnamed bridge.
QString groupMembersTopic(const QString &prefix, const QString &groupId, const QString &bridgeName);
// Every bridge's members topic of a group, and the bridge a topic names
// (empty for an unnamed bridge).
QString groupMembersFilter(const QString &prefix, const QString &groupId);
QString bridgeOfGroupMembersTopic(const QString &prefix, const QString &groupId, const QString &topic);

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// ---- Projector IDs: they go into topics and Home Assistant's object ids ----

constexpr int kLongestProjectorId = 64;
// The projector ID whose topics would clash with the bridge's own.
QString reservedProjectorId();
// The projector ID whose topics would clash with the groups'.
QString groupsLevel();
// Why id cannot name a projector, a group or a bridge (lower-case letters,
// digits, '-' and '_', at most 64, not a reserved one); empty when it can.
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
