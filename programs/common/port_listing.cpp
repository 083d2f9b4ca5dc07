// SPDX-License-Identifier: GPL-3.0-or-later
#include "port_listing.h"

#include <QSerialPortInfo>

QString serialPortListing()
{
    QString out;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        QStringList fields{port.systemLocation()};
        const auto add = [&fields](const char *label, const QString &value) {
            if (!value.isEmpty())
                fields << QStringLiteral("%1=\"%2\"").arg(QLatin1String(label), value);
        };
        add("description", port.description());
        add("manufacturer", port.manufacturer());
        add("serial", port.serialNumber());
        if (port.hasVendorIdentifier() && port.hasProductIdentifier())
            fields << QStringLiteral("usb=%1:%2")
                          .arg(port.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(port.productIdentifier(), 4, 16, QLatin1Char('0'));
        out += fields.join(QStringLiteral("  ")) + QLatin1Char('\n');
    }
    return out;
}
