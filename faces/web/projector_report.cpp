// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/projector_report.h"

#include "bridge/projector_link.h"

#include <QJsonArray>

QStringList projectorWarnings(const ProjectorState &state)
{
    QStringList warnings;
    if (const auto operating = state.value<OperatingState>()) {
        switch (*operating) {
        case OperatingState::TemperatureWarning:
        case OperatingState::TemperatureWarningCoolingDown:
            warnings << QStringLiteral("temperature warning");
            break;
        case OperatingState::TemperatureWarningRecovered:
            warnings << QStringLiteral("temperature warning, recovered");
            break;
        case OperatingState::PowerFail: warnings << QStringLiteral("power failure"); break;
        case OperatingState::CoolingDownAllLampsFailed:
        case OperatingState::CoolingDownStandByAllLampsFailed:
            warnings << QStringLiteral("all lamps failed");
            break;
        default: break;
        }
    }
    if (const auto hours = state.value<LampHours>(); hours && hours->hours >= kLampHoursWarning)
        warnings << QStringLiteral("lamp near its end (%1 h)").arg(hours->hours);
    return warnings;
}

QJsonArray readingFields()
{
    QJsonArray fields;
    for (const StateField &field : state_field::kReadings)
        fields.append(QJsonObject{{QStringLiteral("key"), field.keyText()},
                                  {QStringLiteral("unit"), field.unitText()},
                                  {QStringLiteral("label"), QString::fromUtf8(field.label)}});
    return fields;
}

QJsonObject projectorReport(const ProjectorLink &projector)
{
    QJsonObject report = projector.stateJson();
    report.insert(QStringLiteral("id"), projector.id());
    report.insert(QStringLiteral("online"), projector.isOnline());
    const qint64 age = projector.lastAnswerAgeMs();
    report.insert(QStringLiteral("last_answer_s"),
                  age < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(double(age) / 1000));
    report.insert(QStringLiteral("warnings"),
                  QJsonArray::fromStringList(projectorWarnings(projector.state())));
    return report;
}
