// SPDX-License-Identifier: GPL-3.0-or-later
#include "broker_counters.h"

const QString BrokerCounters::kPublishReceived = QStringLiteral("$SYS/broker/publish/messages/received");
const QString BrokerCounters::kPublishSent = QStringLiteral("$SYS/broker/publish/messages/sent");
const QString BrokerCounters::kAllReceived = QStringLiteral("$SYS/broker/messages/received");
const QString BrokerCounters::kAllSent = QStringLiteral("$SYS/broker/messages/sent");

BrokerCounters::BrokerCounters(MqttLink &link)
{
    for (const QString *counter : {&kPublishReceived, &kPublishSent, &kAllReceived, &kAllSent})
        link.subscribe(*counter);
    QObject::connect(&link, &MqttLink::messageReceived, &link,
                     [this](const QString &topic, const QByteArray &payload, bool retained) {
                         // A retained copy is from the last interval, not from now.
                         bool isNumber = false;
                         const double value = payload.toDouble(&isNumber);
                         if (isNumber && !retained && topic.startsWith(QLatin1String("$SYS/")))
                             samples_[topic].push_back({Clock::now(), value});
                     });
}

std::optional<double> BrokerCounters::rate(const QString &counter, Clock::time_point from,
                                           Clock::time_point to) const
{
    const auto found = samples_.find(counter);
    if (found == samples_.end())
        return std::nullopt;
    const Sample *first = nullptr, *last = nullptr;
    for (const Sample &s : found->second) {
        if (s.at < from || s.at > to)
            continue;
        if (!first)
            first = &s;
        last = &s;
    }
    if (!first || first == last)
        return std::nullopt;
    return (last->value - first->value) / (millisBetween(first->at, last->at) / 1000.0);
}
