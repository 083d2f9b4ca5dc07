#include "bridge/discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <set>

namespace {

QJsonObject configOf(const std::vector<DiscoveryMessage> &messages, const QString &component,
                     const QString &object)
{
    for (const DiscoveryMessage &message : messages) {
        if (message.topic == QStringLiteral("homeassistant/%1/velno_hall/%2/config").arg(component, object))
            return QJsonDocument::fromJson(message.payload).object();
    }
    ADD_FAILURE() << "no " << component.toStdString() << "/" << object.toStdString();
    return {};
}

TEST(BridgeTopics, AreLaidOutUnderPrefixAndProjector)
{
    EXPECT_EQ(commandTopic(QStringLiteral("site/av"), QStringLiteral("hall")),
              QStringLiteral("site/av/hall/command"));
    EXPECT_EQ(replyTopic(QStringLiteral("velno"), QStringLiteral("hall")),
              QStringLiteral("velno/hall/reply"));
    EXPECT_EQ(statusTopic(QStringLiteral("velno"), QStringLiteral("hall"), StatusTopicName::kInput),
              QStringLiteral("velno/hall/status/input"));
    EXPECT_EQ(availabilityTopic(QStringLiteral("velno"), QStringLiteral("hall")),
              QStringLiteral("velno/hall/availability"));
    EXPECT_EQ(bridgeAvailabilityTopic(QStringLiteral("velno")), QStringLiteral("velno/bridge/availability"));
}

TEST(Discovery, EveryMessageIsCompactJsonBoundToTheProjectorAndTheBridge)
{
    const auto messages = discoveryMessages(QStringLiteral("site/av"), QStringLiteral("hall"));
    ASSERT_EQ(messages.size(), 5u);
    std::set<QString> uniqueIds;
    for (const DiscoveryMessage &message : messages) {
        SCOPED_TRACE(message.topic.toStdString());
        EXPECT_TRUE(message.topic.startsWith(QLatin1String("homeassistant/")));
        EXPECT_TRUE(message.topic.endsWith(QLatin1String("/config")));
        QJsonParseError error{};
        const QJsonObject config = QJsonDocument::fromJson(message.payload, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError);
        EXPECT_FALSE(message.payload.contains('\n'));
        uniqueIds.insert(config.value(QLatin1String("unique_id")).toString());

        const QJsonObject device = config.value(QLatin1String("device")).toObject();
        EXPECT_EQ(device.value(QLatin1String("identifiers")).toArray(),
                  QJsonArray{QStringLiteral("velno_hall")});
        EXPECT_EQ(device.value(QLatin1String("manufacturer")).toString(), QStringLiteral("VELNO"));
        EXPECT_FALSE(device.value(QLatin1String("name")).toString().isEmpty());
        EXPECT_FALSE(device.value(QLatin1String("model")).toString().isEmpty());

        EXPECT_EQ(config.value(QLatin1String("availability_mode")).toString(), QStringLiteral("all"));
        QStringList availability;
        for (const QJsonValue &entry : config.value(QLatin1String("availability")).toArray())
            availability << entry.toObject().value(QLatin1String("topic")).toString();
        EXPECT_EQ(availability, QStringList({QStringLiteral("site/av/bridge/availability"),
                                             QStringLiteral("site/av/hall/availability")}));
        EXPECT_TRUE(config.value(QLatin1String("state_topic"))
                        .toString()
                        .startsWith(QLatin1String("site/av/hall/status/")));
    }
    EXPECT_EQ(uniqueIds.size(), messages.size());
    EXPECT_EQ(uniqueIds.count(QString()), 0u);
}

TEST(Discovery, PowerAndInputCommandOnTheCommandTopic)
{
    const auto messages = discoveryMessages(QStringLiteral("velno"), QStringLiteral("hall"));
    const QJsonObject power = configOf(messages, QStringLiteral("switch"), QStringLiteral("power"));
    EXPECT_EQ(power.value(QLatin1String("command_topic")).toString(), QStringLiteral("velno/hall/command"));
    EXPECT_EQ(power.value(QLatin1String("payload_on")).toString(), QStringLiteral("power-on"));
    EXPECT_EQ(power.value(QLatin1String("payload_off")).toString(), QStringLiteral("power-off"));
    EXPECT_EQ(power.value(QLatin1String("state_topic")).toString(),
              QStringLiteral("velno/hall/status/status"));
    EXPECT_TRUE(
        power.value(QLatin1String("value_template")).toString().contains(QLatin1String("' Power ON'")));

    const QJsonObject input = configOf(messages, QStringLiteral("select"), QStringLiteral("input"));
    EXPECT_EQ(input.value(QLatin1String("command_topic")).toString(), QStringLiteral("velno/hall/command"));
    EXPECT_EQ(input.value(QLatin1String("options")).toArray(),
              (QJsonArray{QStringLiteral("pc1"), QStringLiteral("pc2"), QStringLiteral("video")}));
    EXPECT_EQ(input.value(QLatin1String("state_topic")).toString(),
              QStringLiteral("velno/hall/status/input"));

    const QJsonObject pressure = configOf(messages, QStringLiteral("sensor"), QStringLiteral("pressure"));
    EXPECT_EQ(pressure.value(QLatin1String("state_topic")).toString(),
              QStringLiteral("velno/hall/status/pressure"));
    EXPECT_EQ(pressure.value(QLatin1String("unit_of_measurement")).toString(), QStringLiteral("hPa"));
}

TEST(Discovery, TwoProjectorsShareNoEntity)
{
    std::set<QString> topics;
    std::set<QString> uniqueIds;
    for (const QString &id : {QStringLiteral("hall"), QStringLiteral("foyer")}) {
        for (const DiscoveryMessage &message : discoveryMessages(QStringLiteral("velno"), id)) {
            topics.insert(message.topic);
            uniqueIds.insert(QJsonDocument::fromJson(message.payload)[QLatin1String("unique_id")].toString());
        }
    }
    EXPECT_EQ(topics.size(), 10u);
    EXPECT_EQ(uniqueIds.size(), 10u);
}

} // namespace
