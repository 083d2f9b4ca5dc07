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
    using namespace state_field;
    return {
        {kPower.keyText(), powerWord(power())},
        {kInput.keyText(), input ? QJsonValue(inputName(*input)) : QJsonValue(QJsonValue::Null)},
        {kLampHours.keyText(), orNull(lampHours ? std::optional<qint64>(lampHours->hours) : std::nullopt)},
        {kTemperatures.keyText(), temperaturesValue},
        {kPressure.keyText(),
         orNull(pressure ? std::optional<qint64>(pressure->hectopascals) : std::nullopt)},
        {QLatin1String(kTextsKey), texts},
    };
}
