// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/serial_settings.h"

namespace {
QString stopBitsText(StopBits bits)
{
    switch (bits) {
    case StopBits::OneAndHalf: return QStringLiteral("1.5");
    case StopBits::Two: return QStringLiteral("2");
    case StopBits::One: break;
    }
    return QStringLiteral("1");
}
} // namespace

QString formatSerialSettings(const SerialSettings &s)
{
    const QString stop = stopBitsText(s.stopBits);
    return QStringLiteral("%1,%2,%3,%4").arg(s.baud).arg(QLatin1Char(s.parity)).arg(s.dataBits).arg(stop);
}
