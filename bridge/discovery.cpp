#include "bridge/discovery.h"

#include "protocol/status_decoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString projectorTopic(const QString &prefix, const QString &projectorId, const QString &leaf)
{
    return prefix + QLatin1Char('/') + projectorId + QLatin1Char('/') + leaf;
}

const QString kManufacturer = QStringLiteral("VELNO");
const QString kModel = QStringLiteral("KT70 / PV70 / PV75");

// Input commands and the input each one leads to.
struct InputOption {
    const char *command;
    SelectedInput input;
};
const InputOption kInputOptions[] = {
    {"pc1", SelectedInput::Computer1},
    {"pc2", SelectedInput::Computer2},
    {"video", SelectedInput::Video},
};

QString jinjaString(const QString &text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

// Maps each input's status text to its option; any other text leaves the state unknown.
QString inputStateTemplate()
{
    QStringList pairs;
    for (const InputOption &option : kInputOptions)
        pairs << jinjaString(selectedInputText(option.input)) + QLatin1String(": ") +
                     jinjaString(QLatin1String(option.command));
    return QLatin1String("{{ {") + pairs.join(QLatin1String(", ")) + QLatin1String("}.get(value, 'None') }}");
}

class EntityBuilder {
public:
    EntityBuilder(const QString &prefix, const QString &projectorId) : prefix_(prefix), id_(projectorId) {}

    DiscoveryMessage build(const QString &component, const QString &object, const QString &name,
                           QJsonObject config) const
    {
        const QString nodeId = QLatin1String("velno_") + id_;
        config.insert(QLatin1String("name"), name);
        config.insert(QLatin1String("unique_id"), nodeId + QLatin1Char('_') + object);
        config.insert(QLatin1String("availability"), availability());
        config.insert(QLatin1String("availability_mode"), QLatin1String("all"));
        config.insert(QLatin1String("device"), device(nodeId));
        const QString topic = kDiscoveryPrefix + QLatin1Char('/') + component + QLatin1Char('/') + nodeId +
                              QLatin1Char('/') + object + QLatin1String("/config");
        return {topic, QJsonDocument(config).toJson(QJsonDocument::Compact)};
    }

    QString status(const QString &query) const { return statusTopic(prefix_, id_, query); }
    QString command() const { return commandTopic(prefix_, id_); }

private:
    QJsonArray availability() const
    {
        QJsonArray topics;
        for (const QString &topic : {bridgeAvailabilityTopic(prefix_), availabilityTopic(prefix_, id_)}) {
            topics.append(
                QJsonObject{{QLatin1String("topic"), topic},
                            {QLatin1String("payload_available"), QString::fromLatin1(kOnline)},
                            {QLatin1String("payload_not_available"), QString::fromLatin1(kOffline)}});
        }
        return topics;
    }

    QJsonObject device(const QString &nodeId) const
    {
        return {{QLatin1String("identifiers"), QJsonArray{nodeId}},
                {QLatin1String("name"), QLatin1String("Projector ") + id_},
                {QLatin1String("model"), kModel},
                {QLatin1String("manufacturer"), kManufacturer}};
    }

    QString prefix_;
    QString id_;
};

QJsonObject textSensor(const QString &stateTopic, const QString &icon)
{
    return {{QLatin1String("state_topic"), stateTopic}, {QLatin1String("icon"), icon}};
}

} // namespace

QString commandTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("command"));
}

QString replyTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("reply"));
}

QString statusTopic(const QString &prefix, const QString &projectorId, const QString &query)
{
    return projectorTopic(prefix, projectorId, QLatin1String("status/") + query);
}

QString availabilityTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("availability"));
}

QString reservedProjectorId()
{
    return QStringLiteral("bridge");
}

QString bridgeAvailabilityTopic(const QString &prefix)
{
    return availabilityTopic(prefix, reservedProjectorId());
}

std::vector<DiscoveryMessage> discoveryMessages(const QString &prefix, const QString &projectorId)
{
    const EntityBuilder entity(prefix, projectorId);
    std::vector<DiscoveryMessage> messages;

    messages.push_back(entity.build(
        QStringLiteral("switch"), QStringLiteral("power"), QStringLiteral("Power"),
        {{QLatin1String("command_topic"), entity.command()},
         {QLatin1String("payload_on"), QLatin1String("power-on")},
         {QLatin1String("payload_off"), QLatin1String("power-off")},
         {QLatin1String("state_topic"), entity.status(StatusTopicName::kOperatingState)},
         {QLatin1String("value_template"), QLatin1String("{{ 'ON' if value == ") +
                                               jinjaString(operatingStateText(OperatingState::PowerOn)) +
                                               QLatin1String(" else 'OFF' }}")},
         {QLatin1String("state_on"), QLatin1String("ON")},
         {QLatin1String("state_off"), QLatin1String("OFF")},
         {QLatin1String("icon"), QLatin1String("mdi:projector")}}));

    QJsonArray inputCommands;
    for (const InputOption &option : kInputOptions)
        inputCommands.append(QLatin1String(option.command));
    messages.push_back(entity.build(QStringLiteral("select"), QStringLiteral("input"),
                                    QStringLiteral("Input"),
                                    {{QLatin1String("command_topic"), entity.command()},
                                     {QLatin1String("options"), inputCommands},
                                     {QLatin1String("state_topic"), entity.status(StatusTopicName::kInput)},
                                     {QLatin1String("value_template"), inputStateTemplate()},
                                     {QLatin1String("icon"), QLatin1String("mdi:video-input-hdmi")}}));

    messages.push_back(entity.build(
        QStringLiteral("sensor"), QStringLiteral("lamp_time"), QStringLiteral("Lamp time"),
        textSensor(entity.status(StatusTopicName::kLampTime), QStringLiteral("mdi:timer-outline"))));
    messages.push_back(entity.build(
        QStringLiteral("sensor"), QStringLiteral("temperatures"), QStringLiteral("Temperatures"),
        textSensor(entity.status(StatusTopicName::kTemperatures), QStringLiteral("mdi:thermometer"))));

    // The status text is "<number> hPa": the number alone makes a graphable reading.
    QJsonObject pressure = textSensor(entity.status(StatusTopicName::kPressure), QStringLiteral("mdi:gauge"));
    pressure.insert(QLatin1String("value_template"), QLatin1String("{{ value.split(' ')[0] }}"));
    pressure.insert(QLatin1String("unit_of_measurement"), QLatin1String("hPa"));
    pressure.insert(QLatin1String("device_class"), QLatin1String("pressure"));
    pressure.insert(QLatin1String("state_class"), QLatin1String("measurement"));
    messages.push_back(entity.build(QStringLiteral("sensor"), QStringLiteral("pressure"),
                                    QStringLiteral("Pressure"), pressure));
    return messages;
}
