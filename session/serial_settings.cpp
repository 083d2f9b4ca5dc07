#include "session/serial_settings.h"

#include <QStringList>

std::optional<SerialSettings> parseSerialSettings(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    SerialSettings s;
    bool ok = false;
    s.baud = fields[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return std::nullopt;
    const QString parity = fields[1].trimmed().toUpper();
    if (parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity))
        return std::nullopt;
    s.parity = parity[0].toLatin1();
    s.dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || s.dataBits < 5 || s.dataBits > 8)
        return std::nullopt;
    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = 1;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = 15;
    else if (stop == QLatin1String("2"))
        s.stopBits = 2;
    else
        return std::nullopt;
    return s;
}

QString formatSerialSettings(const SerialSettings &s)
{
    const QString stop = s.stopBits == 15 ? QStringLiteral("1.5") : QString::number(s.stopBits);
    return QStringLiteral("%1,%2,%3,%4").arg(s.baud).arg(QLatin1Char(s.parity)).arg(s.dataBits).arg(stop);
}
