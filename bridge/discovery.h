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
// The bridge's own availability, the topic of its last will.
QString bridgeAvailabilityTopic(const QString &prefix);
// The projector ID whose topics would clash with the bridge's own.
QString reservedProjectorId();

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// Names of the status topics (the last level of statusTopic) that discovery binds to.
namespace StatusTopicName {
inline const QString kOperatingState = QStringLiteral("status");
inline const QString kInput = QStringLiteral("input");
inline const QString kLampTime = QStringLiteral("lamp-time");
inline const QString kTemperatures = QStringLiteral("temp");
inline const QString kPressure = QStringLiteral("pressure");
} // namespace StatusTopicName

// ---- Home Assistant discovery ----

inline const QString kDiscoveryPrefix = QStringLiteral("homeassistant");

struct DiscoveryMessage {
    QString topic;      // under kDiscoveryPrefix; publish retained
    QByteArray payload; // compact JSON
};

// The power switch, the input select and the lamp time, temperature and
// pressure sensors of one projector.
std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId);
