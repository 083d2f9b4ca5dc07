// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/mqtt/discovery.h"

#include "bridge/projector_state.h"
#include "mqtt/mqtt_topics.h"
#include "velno_version.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kManufacturer = QStringLiteral("VELNO");
const QString kModel = QStringLiteral("KT70 / PV70 / PV75");

// What Home Assistant's discovery ids may hold.
bool isIdCharacter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// The projector's id at Home Assistant, from the topic prefix as well as its
// own ID, so that two bridges on one broker never share an entity. A prefix
// that had to be changed to fit gets a short hash of itself, so "a/b" and
// "a_b" stay apart.
QString fittedPrefix(const QString &prefix)
{
    QString fitted;
    for (QChar c : prefix)
        fitted += isIdCharacter(c) ? c : QLatin1Char('_');
    if (fitted != prefix)
        fitted += QLatin1Char('_') +
                  QString::fromLatin1(
                      QCryptographicHash::hash(prefix.toUtf8(), QCryptographicHash::Sha1).toHex().left(6));
    return fitted;
}

QString nodeIdOf(const QString &prefix, const QString &projectorId)
{
    return QStringLiteral("velno_%1_%2").arg(fittedPrefix(prefix), projectorId);
}

// Apart from every projector's ("velno_..."), and from the same group's on another bridge.
QString groupNodeIdOf(const QString &prefix, const QString &groupId, const QString &bridgeName)
{
    return QStringLiteral("velno-group_%1_%2_%3").arg(fittedPrefix(prefix), bridgeName, groupId);
}

QJsonObject availabilityOf(const QString &topic)
{
    return {{QLatin1String("topic"), topic},
            {QLatin1String("payload_available"), QString::fromLatin1(kOnline)},
            {QLatin1String("payload_not_available"), QString::fromLatin1(kOffline)}};
}

QJsonObject originOfDiscovery()
{
    return {{QLatin1String("name"), QLatin1String("velno-bridge")},
            {QLatin1String("sw_version"), QLatin1String(VELNO_VERSION)},
            {QLatin1String("support_url"), QLatin1String(VELNO_HOMEPAGE)}};
}

QString configTopic(const QString &component, const QString &nodeId, const QString &object)
{
    return kDiscoveryPrefix + QLatin1Char('/') + component + QLatin1Char('/') + nodeId + QLatin1Char('/') +
           object + QLatin1String("/config");
}

class EntityBuilder {
public:
    EntityBuilder(const QString &prefix, const QString &projectorId, const QString &bridgeName)
        : prefix_(prefix), id_(projectorId), bridgeName_(bridgeName), nodeId_(nodeIdOf(prefix, projectorId))
    {
    }

    // Every entity reads the projector's JSON state.
    DiscoveryMessage build(const QString &component, const QString &object, const QString &name,
                           QJsonObject config) const
    {
        config.insert(QLatin1String("name"), name);
        config.insert(QLatin1String("unique_id"), nodeId_ + QLatin1Char('_') + object);
        config.insert(QLatin1String("state_topic"), stateTopic(prefix_, id_));
        config.insert(QLatin1String("availability"), availability());
        config.insert(QLatin1String("availability_mode"), QLatin1String("all"));
        config.insert(QLatin1String("device"), device());
        config.insert(QLatin1String("origin"), originOfDiscovery());
        return {configTopic(component, nodeId_, object),
                QJsonDocument(config).toJson(QJsonDocument::Compact)};
    }

    QString command() const { return commandTopic(prefix_, id_); }

private:
    QJsonArray availability() const
    {
        return {availabilityOf(bridgeAvailabilityTopic(prefix_, bridgeName_)),
                availabilityOf(availabilityTopic(prefix_, id_))};
    }

    QJsonObject device() const
    {
        return {{QLatin1String("identifiers"), QJsonArray{nodeId_}},
                {QLatin1String("name"), QLatin1String("Projector ") + id_},
                {QLatin1String("model"), kModel},
                {QLatin1String("manufacturer"), kManufacturer},
                {QLatin1String("sw_version"), QLatin1String(VELNO_VERSION)}};
    }

    QString prefix_;
    QString id_;
    QString bridgeName_;
    QString nodeId_;
};

// A number from the state, or nothing (unknown) while there is none.
QString numberTemplate(const QString &field)
{
    return QStringLiteral("{{ value_json.%1 if value_json.%1 is not none else None }}").arg(field);
}

QJsonObject numericSensor(const QString &valueTemplate, const StateField &field, const char *deviceClass,
                          const char *stateClass)
{
    return {{QLatin1String("value_template"), valueTemplate},
            {QLatin1String("unit_of_measurement"), field.unitText()},
            {QLatin1String("device_class"), QLatin1String(deviceClass)},
            {QLatin1String("state_class"), QLatin1String(stateClass)}};
}

QString jsonList(const QStringList &words)
{
    QStringList quoted;
    for (const QString &word : words)
        quoted << QLatin1Char('\'') + word + QLatin1Char('\'');
    return QLatin1Char('[') + quoted.join(QLatin1String(", ")) + QLatin1Char(']');
}

} // namespace

std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId,
                                                const QString &bridgeName)
{
    const EntityBuilder entity(prefix, projectorId, bridgeName);
    std::vector<DiscoveryMessage> messages;

    // ON while the lamp is lit or warming up to it; OFF in stand-by and cooling.
    QStringList onWords;
    for (PowerState power : {PowerState::On, PowerState::Warming})
        onWords << powerWord(power);
    messages.push_back(entity.build(
        QStringLiteral("switch"), QStringLiteral("power"), QStringLiteral("Power"),
        {{QLatin1String("command_topic"), entity.command()},
         {QLatin1String("payload_on"), QLatin1String("power-on")},
         {QLatin1String("payload_off"), QLatin1String("power-off")},
         {QLatin1String("value_template"), QStringLiteral("{{ 'ON' if value_json.%1 in %2 else 'OFF' }}")
                                               .arg(state_field::kPower.keyText(), jsonList(onWords))},
         {QLatin1String("state_on"), QLatin1String("ON")},
         {QLatin1String("state_off"), QLatin1String("OFF")},
         // A retained command would run again at every restart; the bridge refuses them.
         {QLatin1String("retain"), false},
         {QLatin1String("icon"), QLatin1String("mdi:projector")}}));

    QStringList inputs;
    for (SelectedInput input : {SelectedInput::Computer1, SelectedInput::Computer2, SelectedInput::Video})
        inputs << inputName(input);
    messages.push_back(entity.build(QStringLiteral("select"), QStringLiteral("input"),
                                    QStringLiteral("Input"),
                                    {{QLatin1String("command_topic"), entity.command()},
                                     {QLatin1String("options"), QJsonArray::fromStringList(inputs)},
                                     {QLatin1String("value_template"),
                                      QStringLiteral("{{ value_json.%1 if value_json.%1 in %2 else None }}")
                                          .arg(state_field::kInput.keyText(), jsonList(inputs))},
                                     {QLatin1String("retain"), false},
                                     {QLatin1String("icon"), QLatin1String("mdi:video-input-hdmi")}}));

    using state_field::kLampHours, state_field::kPressure, state_field::kTemperatures;
    QJsonObject lamp =
        numericSensor(numberTemplate(kLampHours.keyText()), kLampHours, "duration", "total_increasing");
    lamp.insert(QLatin1String("icon"), QLatin1String("mdi:timer-outline"));
    messages.push_back(entity.build(QStringLiteral("sensor"), QStringLiteral("lamp_time"),
                                    QStringLiteral("Lamp time"), lamp));

    for (int sensor = 1; sensor <= 3; ++sensor) {
        const QString reading =
            QStringLiteral("{{ value_json.%1[%2] if value_json.%1 is not none else None }}")
                .arg(kTemperatures.keyText())
                .arg(sensor - 1);
        messages.push_back(entity.build(QStringLiteral("sensor"),
                                        QStringLiteral("temperature_%1").arg(sensor),
                                        QStringLiteral("Temperature %1").arg(sensor),
                                        numericSensor(reading, kTemperatures, "temperature", "measurement")));
    }
    messages.push_back(entity.build(
        QStringLiteral("sensor"), QStringLiteral("pressure"), QStringLiteral("Pressure"),
        numericSensor(numberTemplate(kPressure.keyText()), kPressure, "pressure", "measurement")));

    // Unknown (None) where the projector does not say: in stand-by, and the
    // mutes without a signal.
    QStringList mutes;
    for (MuteAndSignal mute : {MuteAndSignal::NoMute, MuteAndSignal::VideoMute, MuteAndSignal::AudioMute,
                               MuteAndSignal::VideoAndAudioMute})
        mutes << *muteWord(mute);
    using state_field::kMute, state_field::kSignal;
    messages.push_back(entity.build(QStringLiteral("sensor"), kMute.keyText(), QString::fromUtf8(kMute.label),
                                    {{QLatin1String("device_class"), QLatin1String("enum")},
                                     {QLatin1String("options"), QJsonArray::fromStringList(mutes)},
                                     {QLatin1String("value_template"),
                                      QStringLiteral("{{ value_json.%1 if value_json.%1 in %2 else None }}")
                                          .arg(kMute.keyText(), jsonList(mutes))},
                                     {QLatin1String("icon"), QLatin1String("mdi:volume-off")}}));
    messages.push_back(entity.build(
        QStringLiteral("binary_sensor"), kSignal.keyText(), QString::fromUtf8(kSignal.label),
        {{QLatin1String("value_template"),
          QStringLiteral("{{ None if value_json.%1 is none else ('ON' if value_json.%1 else 'OFF') }}")
              .arg(kSignal.keyText())},
         {QLatin1String("icon"), QLatin1String("mdi:video-input-component")}}));
    return messages;
}

std::vector<DiscoveryMessage> groupDiscoveryMessages(const QString &prefix, const QString &groupId,
                                                     const QString &bridgeName)
{
    const QString nodeId = groupNodeIdOf(prefix, groupId, bridgeName);
    const QString where = bridgeName.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(bridgeName);
    const QJsonObject device{
        {QLatin1String("identifiers"), QJsonArray{nodeId}},
        {QLatin1String("name"), QStringLiteral("Projector group %1%2").arg(groupId, where)},
        {QLatin1String("model"), QLatin1String("velno-bridge group")},
        {QLatin1String("manufacturer"), kManufacturer},
        {QLatin1String("sw_version"), QLatin1String(VELNO_VERSION)}};
    std::vector<DiscoveryMessage> messages;
    for (const char *command : {"power-on", "power-off"}) {
        QString object = QLatin1String(command);
        object.replace(QLatin1Char('-'), QLatin1Char('_'));
        const QJsonObject config{{QLatin1String("name"), object == QLatin1String("power_on")
                                                             ? QLatin1String("Power on")
                                                             : QLatin1String("Power off")},
                                 {QLatin1String("unique_id"), nodeId + QLatin1Char('_') + object},
                                 {QLatin1String("command_topic"), groupCommandTopic(prefix, groupId)},
                                 {QLatin1String("payload_press"), QLatin1String(command)},
                                 {QLatin1String("retain"), false},
                                 {QLatin1String("availability"),
                                  QJsonArray{availabilityOf(bridgeAvailabilityTopic(prefix, bridgeName))}},
                                 {QLatin1String("device"), device},
                                 {QLatin1String("origin"), originOfDiscovery()},
                                 {QLatin1String("icon"), QLatin1String("mdi:projector")}};
        messages.push_back({configTopic(QStringLiteral("button"), nodeId, object),
                            QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    return messages;
}
