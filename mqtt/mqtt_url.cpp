// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/mqtt_url.h"

#include "mqtt/mqtt_topics.h"

#include <QUrl>

namespace {

MqttUrlParse wrong(const QString &problem)
{
    return {std::nullopt, problem};
}

// What both forms share, up to the path.
MqttUrlParse parseBroker(const QString &text, const QString &expected)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty())
        return wrong(QStringLiteral("expected %1, got nothing").arg(expected));
    if (!url.isValid())
        return wrong(QStringLiteral("expected %1, got something that is not a URL").arg(expected));
    if (url.scheme() != QLatin1String("mqtt"))
        return wrong(QStringLiteral("expected %1, got the scheme '%2'").arg(expected, url.scheme()));
    if (!url.password().isEmpty())
        return wrong(QStringLiteral("no password in the URL: give it in a password file"));
    if (url.host().isEmpty())
        return wrong(QStringLiteral("expected %1, got no host").arg(expected));
    if (url.hasQuery() || url.hasFragment())
        return wrong(QStringLiteral("expected %1, got a query or fragment").arg(expected));
    const int port = url.port(mqtt_defaults::kPort);
    if (port < 1 || port > 65535)
        return wrong(QStringLiteral("the broker's port must be a number from 1 to 65535"));
    MqttUrl found;
    found.host = url.host();
    found.port = quint16(port);
    found.username = url.userName();
    found.projectorId = url.path();
    return {found, {}};
}

} // namespace

MqttUrlParse parseBrokerUrl(const QString &text)
{
    const QString expected = QStringLiteral("mqtt://HOST[:PORT]");
    if (!QUrl(text, QUrl::StrictMode).userInfo().isEmpty())
        return wrong(QStringLiteral("expected %1, got a user name in it; use --username and --password-file")
                         .arg(expected));
    MqttUrlParse parsed = parseBroker(text, expected);
    if (!parsed.url)
        return parsed;
    if (!(parsed.url->projectorId.isEmpty() || parsed.url->projectorId == QLatin1String("/")))
        return wrong(QStringLiteral("expected %1, got a path after the port").arg(expected));
    parsed.url->projectorId.clear();
    return parsed;
}

MqttUrlParse parseProjectorUrl(const QString &text)
{
    MqttUrlParse parsed = parseBroker(text, QStringLiteral("mqtt://[USER@]HOST[:PORT]/ID"));
    if (!parsed.url)
        return parsed;
    const QString path = parsed.url->projectorId;
    const QString groupPath = QLatin1Char('/') + groupsLevel() + QLatin1Char('/');
    if (path.startsWith(groupPath)) {
        const QString group = path.mid(groupPath.size());
        if (!projectorIdProblem(group).isEmpty())
            return wrong(QStringLiteral("expected the group's ID after /group/: mqtt://HOST/group/ID"));
        parsed.url->projectorId.clear();
        parsed.url->groupId = group;
        return parsed;
    }
    const QString id = path.mid(1);
    if (!path.startsWith(QLatin1Char('/')) || !projectorIdProblem(id).isEmpty())
        return wrong(QStringLiteral("expected the projector's ID after the host: mqtt://HOST/ID"));
    parsed.url->projectorId = id;
    return parsed;
}

bool isMqttUrl(const QString &text)
{
    return text.startsWith(QLatin1String("mqtt://"), Qt::CaseInsensitive);
}
