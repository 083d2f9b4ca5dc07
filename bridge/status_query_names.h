// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status queries the bridge reads values from, by their command names
// (the last level of their status topics).

#include <QString>

namespace StatusTopicName {
inline const QString kOperatingState = QStringLiteral("status");
inline const QString kInput = QStringLiteral("input");
inline const QString kLampTime = QStringLiteral("lamp-time");
inline const QString kTemperatures = QStringLiteral("temp");
inline const QString kPressure = QStringLiteral("pressure");
} // namespace StatusTopicName
