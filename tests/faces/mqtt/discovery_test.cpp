// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

QJsonObject payloadOf(const DiscoveryMessage &message)
{
    return QJsonDocument::fromJson(message.payload).object();
}

QJsonObject configOf(const std::vector<DiscoveryMessage> &messages, const QString &component,
                     const QString &object)
{
    for (const DiscoveryMessage &message : messages)
        if (message.topic.startsWith(QStringLiteral("homeassistant/%1/").arg(component)) &&
            message.topic.endsWith(QStringLiteral("/%1/config").arg(object)))
            return payloadOf(message);
    ADD_FAILURE() << "no " << component.toStdString() << "/" << object.toStdString();
    return {};
}

// Home Assistant's documented discovery options for MQTT switches, selects
// and sensors (its integration pages sensor.mqtt, switch.mqtt, select.mqtt,
// and the origin block of the MQTT page), as far as a bridge can set them.
const std::set<QString> kCommonOptions{"availability",
                                       "availability_mode",
                                       "availability_template",
                                       "availability_topic",
                                       "device",
                                       "enabled_by_default",
                                       "encoding",
                                       "entity_category",
                                       "entity_picture",
                                       "icon",
                                       "json_attributes_template",
                                       "json_attributes_topic",
                                       "name",
                                       "object_id",
                                       "origin",
                                       "payload_available",
                                       "payload_not_available",
                                       "qos",
                                       "unique_id",
                                       "value_template",
                                       "state_topic"};
const std::map<QString, std::set<QString>> kComponentOptions{
    {"switch",
     {"command_template", "command_topic", "device_class", "optimistic", "payload_off", "payload_on",
      "retain", "state_off", "state_on"}},
    {"select", {"command_template", "command_topic", "optimistic", "options", "retain"}},
    {"sensor",
     {"device_class", "expire_after", "force_update", "last_reset_value_template", "options",
      "suggested_display_precision", "state_class", "unit_of_measurement"}},
    {"binary_sensor",
     {"device_class", "expire_after", "force_update", "off_delay", "payload_off", "payload_on"}},
};
const std::map<QString, std::set<QString>> kRequiredOptions{{"switch", {"command_topic"}},
                                                            {"select", {"command_topic", "options"}},
                                                            {"sensor", {"state_topic"}},
                                                            {"binary_sensor", {"state_topic"}}};
const std::set<QString> kDeviceOptions{"configuration_url", "connections",    "hw_version", "identifiers",
                                       "manufacturer",      "model",          "model_id",   "name",
                                       "serial_number",     "suggested_area", "sw_version", "via_device"};
const std::set<QString> kOriginOptions{"name", "sw_version", "support_url"};
const std::set<QString> kAvailabilityOptions{"topic", "payload_available", "payload_not_available",
                                             "value_template"};
// Sensor device classes used here and the units Home Assistant takes for them.
const std::map<QString, std::set<QString>> kUnitsOfDeviceClass{
    {"duration", {"d", "h", "min", "s", "ms"}},
    {"temperature", {"°C", "°F", "K"}},
    {"pressure", {"cbar", "bar", "hPa", "kPa", "mbar", "mmHg", "inHg", "Pa", "psi"}}};
const std::set<QString> kStateClasses{"measurement", "total", "total_increasing"};

template <class Keys> void expectKeysAmong(const QJsonObject &object, const Keys &allowed, const char *what)
{
    for (const QString &key : object.keys())
        EXPECT_TRUE(allowed.count(key))
            << what << " has an option Home Assistant does not know: " << key.toStdString();
}

TEST(BridgeTopics, AreLaidOutUnderPrefixAndProjector)
{
    EXPECT_EQ(commandTopic(QStringLiteral("site/av"), QStringLiteral("hall")),
              QStringLiteral("site/av/hall/command"));
    EXPECT_EQ(replyTopic(QStringLiteral("velno"), QStringLiteral("hall")),
              QStringLiteral("velno/hall/reply"));
    EXPECT_EQ(statusTopic(QStringLiteral("velno"), QStringLiteral("hall"), QStringLiteral("input")),
              QStringLiteral("velno/hall/status/input"));
    EXPECT_EQ(stateTopic(QStringLiteral("velno"), QStringLiteral("hall")),
              QStringLiteral("velno/hall/state"));
    EXPECT_EQ(availabilityTopic(QStringLiteral("velno"), QStringLiteral("hall")),
              QStringLiteral("velno/hall/availability"));
    EXPECT_EQ(bridgeAvailabilityTopic(QStringLiteral("velno")), QStringLiteral("velno/bridge/availability"));
}

TEST(Discovery, EveryPayloadFitsHomeAssistantsDocumentedSchema)
{
    const auto messages = discoveryMessages(QStringLiteral("site/av"), QStringLiteral("hall"));
    ASSERT_EQ(messages.size(), 9u); // power, input, lamp time, three temperatures, pressure, mute, signal
    for (const DiscoveryMessage &message : messages) {
        SCOPED_TRACE(message.topic.toStdString());
        const QStringList levels = message.topic.split(QLatin1Char('/'));
        ASSERT_EQ(levels.size(), 5);
        EXPECT_EQ(levels[0], QStringLiteral("homeassistant"));
        EXPECT_EQ(levels[4], QStringLiteral("config"));
        const QString component = levels[1];
        ASSERT_TRUE(kComponentOptions.count(component)) << component.toStdString();
        EXPECT_FALSE(message.payload.contains('\n'));
        QJsonParseError error{};
        const QJsonObject config = QJsonDocument::fromJson(message.payload, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError);

        std::set<QString> allowed = kCommonOptions;
        allowed.insert(kComponentOptions.at(component).begin(), kComponentOptions.at(component).end());
        expectKeysAmong(config, allowed, "the entity");
        for (const QString &required : kRequiredOptions.at(component))
            EXPECT_TRUE(config.contains(required)) << "no " << required.toStdString();
        EXPECT_FALSE(config.value("retain").toBool()) << "a retained command would run again at every start";

        const QJsonObject device = config.value("device").toObject();
        expectKeysAmong(device, kDeviceOptions, "the device");
        EXPECT_FALSE(device.value("identifiers").toArray().isEmpty());
        EXPECT_FALSE(device.value("sw_version").toString().isEmpty());
        const QJsonObject origin = config.value("origin").toObject();
        expectKeysAmong(origin, kOriginOptions, "the origin");
        EXPECT_EQ(origin.value("name").toString(), QStringLiteral("velno-bridge"));
        EXPECT_TRUE(origin.value("support_url").toString().startsWith(QLatin1String("https://")));
        for (const QJsonValue &entry : config.value("availability").toArray())
            expectKeysAmong(entry.toObject(), kAvailabilityOptions, "an availability entry");
        EXPECT_EQ(config.value("availability_mode").toString(), QStringLiteral("all"));

        EXPECT_EQ(config.value("state_topic").toString(), QStringLiteral("site/av/hall/state"));
        EXPECT_TRUE(config.value("value_template").toString().contains(QLatin1String("value_json.")));
        const QString deviceClass = config.value("device_class").toString();
        if (deviceClass == QLatin1String("enum")) {
            EXPECT_FALSE(config.value("options").toArray().isEmpty()) << "an enum sensor names its values";
            EXPECT_FALSE(config.contains("unit_of_measurement"));
        } else if (component == QLatin1String("sensor")) {
            ASSERT_TRUE(kUnitsOfDeviceClass.count(deviceClass)) << deviceClass.toStdString();
            EXPECT_TRUE(
                kUnitsOfDeviceClass.at(deviceClass).count(config.value("unit_of_measurement").toString()));
            EXPECT_TRUE(kStateClasses.count(config.value("state_class").toString()));
        }
    }
}

TEST(Discovery, SwitchIsOnWhileLitOrWarmingAndTheSensorsGraph)
{
    const auto messages = discoveryMessages(QStringLiteral("velno"), QStringLiteral("hall"));
    const QJsonObject power = configOf(messages, QStringLiteral("switch"), QStringLiteral("power"));
    EXPECT_EQ(power.value("command_topic").toString(), QStringLiteral("velno/hall/command"));
    EXPECT_EQ(power.value("payload_on").toString(), QStringLiteral("power-on"));
    EXPECT_EQ(power.value("payload_off").toString(), QStringLiteral("power-off"));
    EXPECT_EQ(power.value("value_template").toString(),
              QStringLiteral("{{ 'ON' if value_json.power in ['on', 'warming'] else 'OFF' }}"));

    const QJsonObject input = configOf(messages, QStringLiteral("select"), QStringLiteral("input"));
    EXPECT_EQ(input.value("options").toArray(),
              (QJsonArray{QStringLiteral("pc1"), QStringLiteral("pc2"), QStringLiteral("video")}));

    const QJsonObject lamp = configOf(messages, QStringLiteral("sensor"), QStringLiteral("lamp_time"));
    EXPECT_EQ(lamp.value("unit_of_measurement").toString(), QStringLiteral("h"));
    EXPECT_EQ(lamp.value("state_class").toString(), QStringLiteral("total_increasing"));
    for (int sensor = 1; sensor <= 3; ++sensor) {
        const QJsonObject temperature =
            configOf(messages, QStringLiteral("sensor"), QStringLiteral("temperature_%1").arg(sensor));
        EXPECT_TRUE(temperature.value("value_template")
                        .toString()
                        .contains(QStringLiteral("temperatures_c[%1]").arg(sensor - 1)));
    }
}

TEST(Discovery, NoTwoProjectorsOrBridgesShareAnEntity)
{
    std::set<QString> topics;
    std::set<QString> uniqueIds;
    std::set<QString> devices;
    std::size_t count = 0;
    // Two projectors of one bridge; the same IDs under other prefixes, two of
    // which read alike once fitted to Home Assistant's ids.
    for (const QString &prefix :
         {QStringLiteral("velno"), QStringLiteral("site/a"), QStringLiteral("site_a")}) {
        for (const QString &id : {QStringLiteral("hall"), QStringLiteral("foyer")}) {
            for (const DiscoveryMessage &message : discoveryMessages(prefix, id)) {
                ++count;
                topics.insert(message.topic);
                const QJsonObject config = payloadOf(message);
                uniqueIds.insert(config.value("unique_id").toString());
                devices.insert(
                    config.value("device").toObject().value("identifiers").toArray().at(0).toString());
            }
        }
    }
    EXPECT_EQ(topics.size(), count);
    EXPECT_EQ(uniqueIds.size(), count);
    EXPECT_EQ(devices.size(), 6u);
}

} // namespace
