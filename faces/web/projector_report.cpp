// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/projector_report.h"

#include "bridge/bridge_options.h"
#include "bridge/projector_link.h"

#include <QDateTime>
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

QJsonObject pageFields(const BridgeOptions &options)
{
    QJsonArray readings;
    for (const StateField &field : state_field::kReadings)
        readings.append(QJsonObject{{QStringLiteral("key"), field.keyText()},
                                    {QStringLiteral("unit"), field.unitText()},
                                    {QStringLiteral("label"), QString::fromUtf8(field.label)}});
    return {{QStringLiteral("title"), options.webTitle}, {QStringLiteral("readings"), readings}};
}

QJsonObject projectorReport(const ProjectorLink &projector)
{
    QJsonObject report = projector.stateJson();
    // The decoded words are MQTT's status topics' business; the page never
    // shows them, and they were most of every report's bytes.
    report.remove(QLatin1String(state_field::kTextsKey));
    report.insert(QStringLiteral("id"), projector.id());
    report.insert(QStringLiteral("online"), projector.isOnline());
    const qint64 at = projector.lastAnswerWallMs();
    report.insert(QLatin1String(kLastAnswerAtKey),
                  at < 0
                      ? QJsonValue(QJsonValue::Null)
                      : QJsonValue(QDateTime::fromMSecsSinceEpoch(at, Qt::UTC).toString(Qt::ISODateWithMs)));
    report.insert(QStringLiteral("warnings"),
                  QJsonArray::fromStringList(projectorWarnings(projector.state())));
    return report;
}
