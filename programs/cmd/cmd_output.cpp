// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmd_output.h"

#include "protocol/commands.h"
#include "protocol/traffic_rendering.h"
#include "session/exchange_result.h"

#include <QJsonDocument>

namespace {

QString withoutTrailingBlanks(QString text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

} // namespace

QString plainLines(const ExchangeResult &r)
{
    QString out = QStringLiteral("TXD") + withoutTrailingBlanks(trafficRendering(r.sent)) + QLatin1Char('\n');
    out += QStringLiteral("RXD") + withoutTrailingBlanks(r.rendered) + QLatin1Char('\n');
    if (r.status)
        out += QStringLiteral("STATUS") +
               (r.status->startsWith(QLatin1Char(' ')) ? QString() : QStringLiteral(" ")) + *r.status +
               QLatin1Char('\n');
    return out;
}

QString jsonLine(const ExchangeResult &r)
{
    return QString::fromUtf8(QJsonDocument(toJson(r)).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
}

QString memberLine(const QString &projectorId, const ExchangeResult &r)
{
    QString words;
    if (refusedByProjector(r))
        words = projectorRefusalText();
    else if (r.error)
        words = QStringLiteral("not run: ") + *r.error;
    else if (!r.answered)
        words = QStringLiteral("no answer");
    else
        words =
            QStringLiteral("answered") + (r.status ? QStringLiteral(": ") + r.status->trimmed() : QString());
    return projectorId + QStringLiteral(": ") + words + QLatin1Char('\n');
}

QString commandListing()
{
    QString out;
    for (const Command &c : commandTable())
        out += QStringLiteral("%1 %2 %3\n")
                   .arg(QLatin1String(c.name), -18)
                   .arg(QLatin1String(c.code), -22)
                   .arg(QLatin1String(c.description));
    return out;
}
