#include "session/socket_address.h"

#include <algorithm>

namespace {
const QString kScheme = QStringLiteral("socket://");

bool isHostCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('_');
}

bool isIpv6Character(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == ':' ||
           u == '.' || u == '%';
}
} // namespace

bool isSocketPortName(const QString &name)
{
    return name.startsWith(kScheme, Qt::CaseInsensitive);
}

std::optional<SocketAddress> parseSocketAddress(const QString &name)
{
    if (!isSocketPortName(name))
        return std::nullopt;
    const QStringView rest = QStringView(name).mid(kScheme.size());
    SocketAddress address;
    QStringView portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 2 || close + 1 >= rest.size() || rest[close + 1] != QLatin1Char(':'))
            return std::nullopt;
        const QStringView host = rest.mid(1, close - 1);
        if (!host.contains(QLatin1Char(':')) || !std::all_of(host.begin(), host.end(), isIpv6Character))
            return std::nullopt;
        address.host = host.toString();
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 1)
            return std::nullopt;
        const QStringView host = rest.left(colon);
        if (!std::all_of(host.begin(), host.end(), isHostCharacter))
            return std::nullopt; // a bare IPv6 address needs its brackets
        address.host = host.toString();
        portText = rest.mid(colon + 1);
    }
    if (portText.isEmpty() || portText.size() > 5 ||
        !std::all_of(portText.begin(), portText.end(),
                     [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    const int port = portText.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    address.port = quint16(port);
    return address;
}

QString socketPortName(const SocketAddress &address)
{
    const QString host = address.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + address.host + QLatin1Char(']')
                             : address.host;
    return kScheme + host + QLatin1Char(':') + QString::number(address.port);
}
