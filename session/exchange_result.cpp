// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/exchange_result.h"

#include "protocol/command_refusal.h"
#include "protocol/commands.h"

#include <QJsonValue>

bool refusedByProjector(const ExchangeResult &r)
{
    return r.answered && !r.error && refusesCommand(findCommand(r.command), r.reply);
}

QString projectorRefusalText()
{
    return QStringLiteral("refused by the projector");
}

QJsonObject toJson(const ExchangeResult &r)
{
    QJsonObject o{
        {QStringLiteral("command"), r.command},
        {QStringLiteral("code"), r.code},
        {QStringLiteral("sent"), r.sent},
        {QStringLiteral("reply"), r.reply},
        {QStringLiteral("rendered"), r.rendered},
        {QStringLiteral("status"), r.status ? QJsonValue(*r.status) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("answered"), r.answered},
        {QStringLiteral("elapsed_ms"), r.elapsedMs},
    };
    if (r.error)
        o.insert(QStringLiteral("error"), *r.error);
    else if (refusedByProjector(r))
        o.insert(QStringLiteral("error"), projectorRefusalText());
    return o;
}

ExchangeResult fromJson(const QJsonObject &o)
{
    ExchangeResult r;
    r.command = o.value(QStringLiteral("command")).toString();
    r.code = o.value(QStringLiteral("code")).toString();
    r.sent = o.value(QStringLiteral("sent")).toString();
    r.reply = o.value(QStringLiteral("reply")).toString();
    r.rendered = o.value(QStringLiteral("rendered")).toString();
    if (o.value(QStringLiteral("status")).isString())
        r.status = o.value(QStringLiteral("status")).toString();
    r.answered = o.value(QStringLiteral("answered")).toBool();
    r.elapsedMs = o.value(QStringLiteral("elapsed_ms")).toInteger();
    const QJsonValue error = o.value(QStringLiteral("error"));
    if (error.isString() && !(error.toString() == projectorRefusalText() && refusedByProjector(r)))
        r.error = error.toString();
    return r;
}
