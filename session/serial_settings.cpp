// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/serial_settings.h"

QString formatSerialSettings(const SerialSettings &s)
{
    const QString stop = s.stopBits == 15 ? QStringLiteral("1.5") : QString::number(s.stopBits);
    return QStringLiteral("%1,%2,%3,%4").arg(s.baud).arg(QLatin1Char(s.parity)).arg(s.dataBits).arg(stop);
}
