// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt/mqtt_topics.h"

#include "protocol/status_decoding.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace {

QString projectorTopic(const QString &prefix, const QString &projectorId, const QString &leaf)
{
    return prefix + QLatin1Char('/') + projectorId + QLatin1Char('/') + leaf;
}

constexpr qsizetype kLongestText = 65535; // bytes, as MQTT's length field allows

// Text MQTT can carry: valid UTF-8 of at most 65535 bytes, without NUL or
// control characters.
QString textProblem(const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("it is empty");
    if (text.toUtf8().size() > kLongestText)
        return QStringLiteral("it is longer than MQTT allows (65535 bytes)");
    for (const char32_t c : text.toUcs4())
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0xd800 && c <= 0xdfff))
            return QStringLiteral("it holds a control character or a NUL");
    return {};
}

} // namespace

QString commandTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("command"));
}

QString replyTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("reply"));
}

QString statusTopic(const QString &prefix, const QString &projectorId, const QString &query)
{
    return projectorTopic(prefix, projectorId, QLatin1String("status/") + query);
}

QString availabilityTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("availability"));
}

QString stateTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("state"));
}

QString reservedProjectorId()
{
    return QStringLiteral("bridge");
}

QString groupsLevel()
{
    return QStringLiteral("group");
}

QString bridgeAvailabilityTopic(const QString &prefix, const QString &bridgeName)
{
    if (bridgeName.isEmpty())
        return availabilityTopic(prefix, reservedProjectorId());
    return projectorTopic(prefix, reservedProjectorId() + QLatin1Char('/') + bridgeName,
                          QStringLiteral("availability"));
}

QString claimTopic(const QString &prefix, const QString &projectorId)
{
    return projectorTopic(prefix, projectorId, QStringLiteral("claim"));
}

QString groupCommandTopic(const QString &prefix, const QString &groupId)
{
    return projectorTopic(prefix, groupsLevel() + QLatin1Char('/') + groupId, QStringLiteral("command"));
}

QString groupReplyTopic(const QString &prefix, const QString &groupId)
{
    return projectorTopic(prefix, groupsLevel() + QLatin1Char('/') + groupId, QStringLiteral("reply"));
}

QString groupMembersTopic(const QString &prefix, const QString &groupId, const QString &bridgeName)
{
    // An unnamed bridge's name level is the reserved word, which no name can be.
    return projectorTopic(prefix, groupsLevel() + QLatin1Char('/') + groupId,
                          QStringLiteral("members/") +
                              (bridgeName.isEmpty() ? reservedProjectorId() : bridgeName));
}

QString groupMembersFilter(const QString &prefix, const QString &groupId)
{
    return projectorTopic(prefix, groupsLevel() + QLatin1Char('/') + groupId, QStringLiteral("members/+"));
}

QString bridgeOfGroupMembersTopic(const QString &prefix, const QString &groupId, const QString &topic)
{
    const QString name = topic.section(QLatin1Char('/'), -1);
    return topic == groupMembersTopic(prefix, groupId, name) && name != reservedProjectorId() ? name
                                                                                              : QString();
}

QString projectorIdProblem(const QString &id)
{
    // Matched whole: "$" alone would let a trailing line feed through.
    static const QRegularExpression idPattern(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-z0-9_-]+")));
    if (!idPattern.match(id).hasMatch())
        return QStringLiteral("the ID may hold only lower-case letters, digits, '-' and '_'");
    if (id.size() > kLongestProjectorId)
        return QStringLiteral("the ID may be at most %1 characters long").arg(kLongestProjectorId);
    if (id == reservedProjectorId())
        return QStringLiteral("the ID '%1' is taken by the bridge's own topics").arg(id);
    if (id == groupsLevel())
        return QStringLiteral("the ID '%1' is taken by the groups' topics").arg(id);
    return {};
}

QString topicNameProblem(const QString &topic)
{
    if (const QString problem = textProblem(topic); !problem.isEmpty())
        return problem;
    if (topic.contains(QLatin1Char('+')) || topic.contains(QLatin1Char('#')))
        return QStringLiteral("'+' and '#' are wildcards, not allowed in topic names");
    return {};
}

QString topicFilterProblem(const QString &filter)
{
    if (const QString problem = textProblem(filter); !problem.isEmpty())
        return problem;
    const QStringList levels = filter.split(QLatin1Char('/'));
    for (qsizetype i = 0; i < levels.size(); ++i) {
        const QString &level = levels[i];
        const bool multi = level.contains(QLatin1Char('#'));
        const bool single = level.contains(QLatin1Char('+'));
        if ((multi && (level.size() != 1 || i != levels.size() - 1)) || (single && level.size() != 1))
            return QStringLiteral("it is not a valid topic filter");
    }
    return {};
}

QString clientIdProblem(const QString &clientId)
{
    return textProblem(clientId);
}

QString topicPrefixProblem(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("it is empty");
    if (prefix.split(QLatin1Char('/')).contains(QString()))
        return QStringLiteral("it has an empty level (a leading, trailing or doubled '/')");
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("topics starting with '$' belong to the broker");
    // The longest topic made from it: a projector's status topic with the
    // longest ID and query name.
    QString longestQuery;
    for (const StatusQuery &query : statusQueries())
        if (qstrlen(query.name) > std::size_t(longestQuery.size()))
            longestQuery = QString::fromLatin1(query.name);
    return topicNameProblem(
        statusTopic(prefix, QString(kLongestProjectorId, QLatin1Char('x')), longestQuery));
}
