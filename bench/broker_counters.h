// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// mosquitto's own counts of the messages it has received and sent, from the
// $SYS topics it publishes every sys_interval (10 s unless configured).

#include "bridge_rig.h"

#include <map>
#include <optional>
#include <vector>

class BrokerCounters {
public:
    // PUBLISH packets only, and packets of every kind (acknowledgements,
    // pings, subscriptions...).
    static const QString kPublishReceived, kPublishSent, kAllReceived, kAllSent;

    // The link subscribes to the counters here.
    explicit BrokerCounters(MqttLink &link);

    // Per second, between the first sample at or after `from` and the last
    // at or before `to`; nothing without two samples there.
    std::optional<double> rate(const QString &counter, Clock::time_point from, Clock::time_point to) const;

private:
    struct Sample {
        Clock::time_point at;
        double value;
    };
    std::map<QString, std::vector<Sample>> samples_;
};
