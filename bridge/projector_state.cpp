// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_state.h"

#include "session/exchange_result.h"

#include <QJsonArray>

namespace {

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

ProjectorState::ProjectorState() : values_(statusQueries().size()) {}

bool ProjectorState::take(const StatusQuery &query, const ExchangeResult &result)
{
    if (!result.answered || !result.status)
        return false;
    const QString name = QString::fromLatin1(query.name);
    bool changed = !texts_.contains(name) || texts_.value(name) != *result.status;
    texts_.insert(name, *result.status);
    std::optional<StatusValue> &slot = values_[std::size_t(&query - statusQueries().data())];
    changed |= !(slot == result.value);
    slot = result.value;
    return changed;
}

PowerState ProjectorState::power() const
{
    const std::optional<OperatingState> operating = value<OperatingState>();
    return operating ? powerStateOf(*operating) : PowerState::Unknown;
}

QJsonObject ProjectorState::toJson() const
{
    QJsonObject texts;
    for (auto it = texts_.begin(); it != texts_.end(); ++it)
        texts.insert(it.key(), it.value());
    QJsonValue temperaturesValue(QJsonValue::Null);
    if (const auto t = value<Temperatures>())
        temperaturesValue = QJsonArray{t->celsius[0], t->celsius[1], t->celsius[2]};
    const auto input = value<SelectedInput>();
    const auto lampHours = value<LampHours>();
    const auto pressure = value<AirPressure>();
    return {
        {QStringLiteral("power"), powerWord(power())},
        {QStringLiteral("input"), input ? QJsonValue(inputName(*input)) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("lamp_hours"),
         orNull(lampHours ? std::optional<qint64>(lampHours->hours) : std::nullopt)},
        {QStringLiteral("temperatures_c"), temperaturesValue},
        {QStringLiteral("pressure_hpa"),
         orNull(pressure ? std::optional<qint64>(pressure->hectopascals) : std::nullopt)},
        {QStringLiteral("texts"), texts},
    };
}
