// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/port_address.h"

#include <QFileInfo>
#include <algorithm>

namespace {

const QString kSocketScheme = QStringLiteral("socket://");
const QString kNumberedPrefix = QStringLiteral("COM");

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

bool isAsciiDigits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
}

PortAddressParse problem(const QString &why)
{
    return {std::nullopt, why};
}

PortAddressParse parseSocket(const QString &text)
{
    const QStringView rest = QStringView(text).mid(kSocketScheme.size());
    QString host;
    QStringView portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return problem(QStringLiteral("'%1': the IPv6 address has no closing ']'").arg(text));
        const QStringView inside = rest.mid(1, close - 1);
        if (!inside.contains(QLatin1Char(':')) || !std::all_of(inside.begin(), inside.end(), isIpv6Character))
            return problem(QStringLiteral("'%1': '%2' is not an IPv6 address").arg(text, inside.toString()));
        if (close + 1 >= rest.size() || rest[close + 1] != QLatin1Char(':'))
            return problem(QStringLiteral("'%1': no ':PORT' after the address").arg(text));
        host = inside.toString();
        portText = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return problem(QStringLiteral("'%1': no ':PORT' (expected socket://HOST:PORT)").arg(text));
        const QStringView name = rest.left(colon);
        if (name.isEmpty())
            return problem(QStringLiteral("'%1': no host before ':PORT'").arg(text));
        if (name.contains(QLatin1Char(':')))
            return problem(
                QStringLiteral("'%1': an IPv6 address needs brackets, socket://[ADDRESS]:PORT").arg(text));
        if (!std::all_of(name.begin(), name.end(), isHostCharacter))
            return problem(QStringLiteral("'%1': '%2' is not a host name").arg(text, name.toString()));
        host = name.toString();
        portText = rest.mid(colon + 1);
    }
    const int port = isAsciiDigits(portText) && portText.size() <= 5 ? portText.toInt() : -1;
    if (port < 1 || port > 65535)
        return problem(QStringLiteral("'%1': the TCP port must be a number from 1 to 65535").arg(text));
    return {PortAddress::socket(host, quint16(port)), {}};
}

// COM and a number; 0 when the text is not of that form.
int numberedPortNumber(const QString &text)
{
    if (!text.startsWith(kNumberedPrefix, Qt::CaseInsensitive))
        return 0;
    const QStringView digits = QStringView(text).mid(kNumberedPrefix.size());
    return isAsciiDigits(digits) && digits.size() <= 3 ? digits.toInt() : 0;
}

} // namespace

PortAddress PortAddress::numbered(int number)
{
    PortAddress a;
    a.kind = Kind::Numbered;
    a.number = number;
    return a;
}

PortAddress PortAddress::serialDevice(const QString &device)
{
    PortAddress a;
    a.kind = Kind::Device;
    a.device = device;
    return a;
}

PortAddress PortAddress::socket(const QString &host, quint16 port)
{
    PortAddress a;
    a.kind = Kind::Socket;
    a.host = host;
    a.port = port;
    return a;
}

QString PortAddress::toString() const
{
    switch (kind) {
    case Kind::Numbered: return kNumberedPrefix + QString::number(number);
    case Kind::Device: return device;
    case Kind::Socket: {
        const QString shownHost =
            host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
        return kSocketScheme + shownHost + QLatin1Char(':') + QString::number(port);
    }
    }
    return {};
}

bool operator==(const PortAddress &a, const PortAddress &b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case PortAddress::Kind::Numbered: return a.number == b.number;
    case PortAddress::Kind::Device: return a.device == b.device;
    case PortAddress::Kind::Socket: return a.host == b.host && a.port == b.port;
    }
    return false;
}

PortAddressParse parseDeviceAddress(const QString &text)
{
    if (text.isEmpty())
        return problem(QStringLiteral("empty port name"));
    if (text.startsWith(kSocketScheme, Qt::CaseInsensitive))
        return parseSocket(text);
    return {PortAddress::serialDevice(text), {}};
}

PortAddressParse parsePortAddress(const QString &text)
{
    const int number = numberedPortNumber(text);
    if (number >= kLowestPortNumber && number <= kHighestPortNumber)
        return {PortAddress::numbered(number), {}};
#ifndef Q_OS_WIN
    if (number > 0)
        return problem(
            QStringLiteral("'%1': only COM1 and COM2 are mapped here; give the device's path").arg(text));
#endif
    return parseDeviceAddress(text);
}

PortAddressParse resolvePortAddress(const PortAddress &address, const EnvironmentLookup &environment)
{
    if (address.kind != PortAddress::Kind::Numbered)
        return {address, {}};
    return parseDeviceAddress(portDeviceName(address.number, environment));
}

QString deviceIdentity(const PortAddress &resolved)
{
    if (resolved.isSocket())
        return resolved.toString().toLower();
    const QString canonical = QFileInfo(resolved.device).canonicalFilePath();
    return canonical.isEmpty() ? resolved.device : canonical;
}
