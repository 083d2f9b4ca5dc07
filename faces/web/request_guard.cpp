// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/request_guard.h"

#include "faces/web/http_request.h"

#include <QHostAddress>

namespace {

bool isWildcard(const QString &host)
{
    return host == QLatin1String("0.0.0.0") || host == QLatin1String("::");
}

} // namespace

bool hostServed(const QByteArray &host, const ListenAddress &listen, const QStringList &names)
{
    QString name = QString::fromLatin1(host).toLower();
    quint16 port = 80;
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    if (colon > name.lastIndexOf(QLatin1Char(']'))) {
        bool number = false;
        port = name.mid(colon + 1).toUShort(&number);
        if (!number)
            return false;
        name.truncate(colon);
    }
    if (port != listen.port || name.isEmpty())
        return false;
    const QString bare = name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))
                             ? name.mid(1, name.size() - 2)
                             : name;
    if (bare == listen.host.toLower() || bare == QLatin1String("localhost") ||
        bare == QLatin1String("127.0.0.1") || bare == QLatin1String("::1") || names.contains(name))
        return true;
    return isWildcard(listen.host) && !QHostAddress(bare).isNull();
}

CrossSiteVerdict crossSiteCheck(const HttpRequest &request)
{
    const QByteArray type = request.header("content-type").split(';').first().trimmed().toLower();
    if (type != "application/json")
        return {415, "a command is sent as Content-Type: application/json"};
    const QByteArray origin = request.header("origin");
    if (request.has("origin") && origin.toLower() != "http://" + request.header("host").toLower())
        return {403, "another site's page may not send commands here"};
    return {};
}
