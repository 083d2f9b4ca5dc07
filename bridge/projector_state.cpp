// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/projector_state.h"

#include "session/exchange_result.h"

#include <QDateTime>
#include <QJsonArray>
#include <cstring>

namespace {

template <class T> QJsonValue orNull(const std::optional<T> &v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

} // namespace

ProjectorState::ProjectorState() : readings_(statusQueries().size()) {}

ProjectorState::Taken ProjectorState::take(const StatusQuery &query, const ExchangeResult &result,
                                           const Clocks &now)
{
    if (!result.answered)
        return Taken::NotAnswered;
    if (!result.value || !result.status)
        return Taken::Rejected;
    const QString name = QString::fromLatin1(query.name);
    bool changed = !texts_.contains(name) || texts_.value(name) != *result.status;
    texts_.insert(name, *result.status);
    Reading &slot = readings_[std::size_t(&query - statusQueries().data())];
    changed |= !(slot.value == result.value);
    slot = {result.value, now.nowMs, now.wallNowMs, now.exchange};
    return changed ? Taken::Changed : Taken::Same;
}

const ProjectorState::Reading *ProjectorState::readingFor(const StateField &field) const
{
    using namespace state_field;
    const auto is = [&field](const StateField &f) { return std::strcmp(field.key, f.key) == 0; };
    return is(kPower)          ? readingOf<OperatingState>()
           : is(kInput)        ? readingOf<SelectedInput>()
           : is(kMute)         ? readingOf<MuteAndSignal>()
           : is(kSignal)       ? readingOf<MuteAndSignal>()
           : is(kLampHours)    ? readingOf<LampHours>()
           : is(kTemperatures) ? readingOf<Temperatures>()
           : is(kPressure)     ? readingOf<AirPressure>()
                               : nullptr;
}

qint64 ProjectorState::readAtMs(const StateField &field) const
{
    const Reading *r = readingFor(field);
    return r ? r->readAtMs : -1;
}

PowerState ProjectorState::power() const
{
    const std::optional<OperatingState> operating = value<OperatingState>();
    return operating ? powerStateOf(*operating) : PowerState::Unknown;
}

QStringList ProjectorState::staleKeys(const Clocks &clocks) const
{
    QStringList keys;
    for (const StateField &field : state_field::kReadings) {
        const qint64 at = readAtMs(field);
        if (at >= 0 && clocks.staleAfterMs > 0 && clocks.nowMs - at > clocks.staleAfterMs)
            keys << field.keyText();
    }
    return keys;
}

QJsonObject ProjectorState::toJson(const Clocks &clocks) const
{
    QJsonObject texts;
    for (auto it = texts_.begin(); it != texts_.end(); ++it)
        texts.insert(it.key(), it.value());
    QJsonObject readAt;
    for (const StateField &field : state_field::kReadings) {
        const Reading *r = readingFor(field);
        readAt.insert(
            field.keyText(),
            r ? QJsonValue(
                    QDateTime::fromMSecsSinceEpoch(r->readAtWallMs, Qt::UTC).toString(Qt::ISODateWithMs))
              : QJsonValue(QJsonValue::Null));
    }
    QJsonValue temperaturesValue(QJsonValue::Null);
    if (const auto t = value<Temperatures>())
        temperaturesValue = QJsonArray{t->celsius[0], t->celsius[1], t->celsius[2]};
    const auto input = value<SelectedInput>();
    const auto lampHours = value<LampHours>();
    const auto pressure = value<AirPressure>();
    const auto mute = value<MuteAndSignal>();
    using namespace state_field;
    return {
        {kPower.keyText(), powerWord(power())},
        {kInput.keyText(), input ? QJsonValue(inputName(*input)) : QJsonValue(QJsonValue::Null)},
        {kMute.keyText(), orNull(mute ? muteWord(*mute) : std::nullopt)},
        {kSignal.keyText(), orNull(mute ? hasSignal(*mute) : std::nullopt)},
        {kLampHours.keyText(), orNull(lampHours ? std::optional<qint64>(lampHours->hours) : std::nullopt)},
        {kTemperatures.keyText(), temperaturesValue},
        {kPressure.keyText(),
         orNull(pressure ? std::optional<qint64>(pressure->hectopascals) : std::nullopt)},
        {QLatin1String(kTextsKey), texts},
        {QLatin1String(kReadAtKey), readAt},
        {QLatin1String(kStaleKey), QJsonArray::fromStringList(staleKeys(clocks))},
    };
}
