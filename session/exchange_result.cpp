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
