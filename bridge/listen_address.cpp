// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/listen_address.h"

#include <QHostAddress>

QString ListenAddress::toString() const
{
    const bool ipv6 = host.contains(QLatin1Char(':'));
    return (ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
           QString::number(port);
}

QHostAddress listenHost(const ListenAddress &address)
{
    if (address.host == QLatin1String("localhost"))
        return QHostAddress(QHostAddress::LocalHost);
    return QHostAddress(address.host);
}

ListenAddressParse parseListenAddress(const QString &text)
{
    const auto wrong = [&](const QString &why) {
        return ListenAddressParse{std::nullopt, QStringLiteral("expected HOST:PORT, %1").arg(why)};
    };
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return wrong(QStringLiteral("got '%1'").arg(text.left(80)));
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return wrong(QStringLiteral("an IPv6 address in brackets ([::1]:4352)"));
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return wrong(QStringLiteral("a port from 1 to 65535"));
    QHostAddress address;
    if (host.isEmpty() || (host != QLatin1String("localhost") && !address.setAddress(host)))
        return wrong(
            QStringLiteral("HOST an address of this machine (127.0.0.1, [::1], 0.0.0.0, localhost)"));
    return {ListenAddress{host, quint16(port)}, {}};
}
