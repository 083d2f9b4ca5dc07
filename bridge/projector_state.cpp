// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_state.h"

#include "bridge/status_query_names.h"
#include "session/exchange_result.h"

#include <QJsonArray>
#include <QStringList>

namespace {

// The reply as the projector sent it, without its carriage return and blanks.
QString replyText(const ExchangeResult &result)
{
    QString text = result.reply;
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text.trimmed();
}

std::optional<qint64> wholeNumber(const QString &text)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

// "  35.5,  40.0,  41.5": three readings in degrees Celsius.
std::optional<std::array<double, 3>> temperatures(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 3)
        return std::nullopt;
    std::array<double, 3> values{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[std::size_t(i)] = fields[i].trimmed().toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    return values;
}

// The decoder's "650 hPa".
std::optional<qint64> hectopascals(const QString &decoded)
{
    const QString unit = QStringLiteral(" hPa");
    return decoded.endsWith(unit) ? wholeNumber(decoded.chopped(unit.size())) : std::nullopt;
}

template <class T> bool assign(std::optional<T> &field, const std::optional<T> &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

QJsonValue orNull(const std::optional<qint64> &n)
{
    return n ? QJsonValue(*n) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString powerWord(PowerState state)
{
    switch (state) {
    case PowerState::On: return QStringLiteral("on");
    case PowerState::Off: return QStringLiteral("off");
    case PowerState::Warming: return QStringLiteral("warming");
    case PowerState::Cooling: return QStringLiteral("cooling");
    case PowerState::Error: return QStringLiteral("error");
    case PowerState::Unknown: break;
    }
    return QStringLiteral("unknown");
}

PowerState powerStateOf(OperatingState state)
{
    // Every state the query names, so a new one cannot be forgotten here.
    switch (state) {
    case OperatingState::PowerOn:
    case OperatingState::TemperatureWarning: // the lamp is lit, with a warning
    case OperatingState::NoKeyInput: return PowerState::On;
    case OperatingState::StandBy:
    case OperatingState::LampOffByPowerManagement:
    case OperatingState::TemperatureWarningRecovered: return PowerState::Off;
    case OperatingState::CountDown: return PowerState::Warming;
    case OperatingState::CoolingDown:
    case OperatingState::TemperatureWarningCoolingDown:
    case OperatingState::CoolingDownPowerManagement: return PowerState::Cooling;
    case OperatingState::PowerFail:
    case OperatingState::CoolingDownAllLampsFailed:
    case OperatingState::CoolingDownStandByAllLampsFailed: return PowerState::Error;
    }
    return PowerState::Unknown;
}

bool isSwitchedOn(PowerState state)
{
    return state == PowerState::On || state == PowerState::Warming;
}

QString inputName(SelectedInput input)
{
    switch (input) {
    case SelectedInput::Computer1: return QStringLiteral("pc1");
    case SelectedInput::Computer2: return QStringLiteral("pc2");
    case SelectedInput::Video: return QStringLiteral("video");
    case SelectedInput::InputMode4: break;
    }
    return QStringLiteral("input-4");
}

bool ProjectorState::take(const QString &query, const ExchangeResult &result)
{
    if (!result.answered || !result.status)
        return false;
    const QString &decoded = *result.status;
    bool changed = !texts_.contains(query) || texts_.value(query) != decoded;
    texts_.insert(query, decoded);
    if (query == StatusTopicName::kOperatingState)
        changed |= assign(operating_, operatingStateOf(decoded));
    else if (query == StatusTopicName::kInput)
        changed |= assign(input_, selectedInputOf(decoded));
    else if (query == StatusTopicName::kLampTime)
        changed |= assign(lampHours_, wholeNumber(replyText(result)));
    else if (query == StatusTopicName::kTemperatures)
        changed |= assign(temperatures_, temperatures(replyText(result)));
    else if (query == StatusTopicName::kPressure)
        changed |= assign(pressure_, hectopascals(decoded));
    return changed;
}

PowerState ProjectorState::power() const
{
    return operating_ ? powerStateOf(*operating_) : PowerState::Unknown;
}

QJsonObject ProjectorState::toJson() const
{
    QJsonObject texts;
    for (auto it = texts_.begin(); it != texts_.end(); ++it)
        texts.insert(it.key(), it.value());
    QJsonValue temperaturesValue(QJsonValue::Null);
    if (temperatures_)
        temperaturesValue = QJsonArray{(*temperatures_)[0], (*temperatures_)[1], (*temperatures_)[2]};
    return {
        {QStringLiteral("power"), powerWord(power())},
        {QStringLiteral("input"), input_ ? QJsonValue(inputName(*input_)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lamp_hours"), orNull(lampHours_)},
        {QStringLiteral("temperatures_c"), temperaturesValue},
        {QStringLiteral("pressure_hpa"), orNull(pressure_)},
        {QStringLiteral("texts"), texts},
    };
}
