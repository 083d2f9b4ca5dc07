// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/exchange_result.h"

#include <QJsonValue>

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
    if (o.value(QStringLiteral("error")).isString())
        r.error = o.value(QStringLiteral("error")).toString();
    return r;
}
