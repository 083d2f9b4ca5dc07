// SPDX-License-Identifier: GPL-3.0-or-later
#include "venue_flood.h"

#include "bridge_rig.h"
#include "ci_gate.h"
#include "faces/mqtt/discovery.h"
#include "faces/mqtt/mqtt_face.h"
#include "mqtt/mqtt_link.h"
#include "mqtt/mqtt_topics.h"
#include "testing/mosquitto_broker.h"
#include "testing/process_gauge.h"
#include "venue_fleet.h"

#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int kBirthsPerSecond = 100;
constexpr int kWillsPerSecond = 100;
constexpr int kOversizedPerSecond = 2;
constexpr int kOversizedBytes = 1024 * 1024;
constexpr double kRssGoalMb = 8;
// A republish the gap held back comes at its end; then nothing more.
constexpr int kSettleMs = MqttFace::kRepublishGapMs + 2000;

struct Published {
    int discovery = 0;    // messages under the discovery prefix
    int state = 0;        // on the projectors' state topics
    int bridgeOnline = 0; // "online" on the bridge's availability
};

Published count(const MessageCollector &ha, const VenueFleet &fleet, const QString &prefix)
{
    Published p;
    for (const QString &id : fleet.ids()) {
        for (const DiscoveryMessage &m : discoveryMessages(prefix, id))
            p.discovery += int(ha.seen(m.topic).size());
        p.state += int(ha.seen(stateTopic(prefix, id)).size());
    }
    p.bridgeOnline = int(ha.seen(bridgeAvailabilityTopic(prefix)).count("online"));
    return p;
}

} // namespace

int runFlood(const MosquittoBroker &broker, MessageCollector &client, const VenueFleet &fleet,
             const BridgeRun &bridge, int seconds, Gate &gate)
{
    const QString prefix = mqtt_defaults::kTopicPrefix;
    const QString bridgeAvailability = bridgeAvailabilityTopic(prefix);
    MessageCollector ha(
        broker, QStringLiteral("venueflood"),
        {kDiscoveryPrefix + QStringLiteral("/#"), prefix + QStringLiteral("/+/state"), bridgeAvailability});
    if (!ha.waitReady())
        return 3;
    const int oneRound = int(fleet.size() * discoveryMessages(prefix, fleet.id(0)).size());
    // The retained copies, on subscribing: one round.
    runUntil([&] { return count(ha, fleet, prefix).discovery >= oneRound; }, 10000);
    const Published before = count(ha, fleet, prefix);
    const std::optional<ProcessGauge> start = readProcessGauge(bridge.processId());
    if (!start)
        return 3;
    double peakMb = start->residentMb;

    const QByteArray oversized(kOversizedBytes, 'x');
    int second = 0;
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, [&] {
        for (int i = 0; i < kBirthsPerSecond; ++i)
            client.link().publish(QStringLiteral("homeassistant/status"), "online", false, 1);
        for (int i = 0; i < kWillsPerSecond; ++i)
            client.link().publish(bridgeAvailability, "offline", false, 1);
        for (int i = 0; i < kOversizedPerSecond; ++i) {
            const QString &id = fleet.id(std::size_t(second * kOversizedPerSecond + i) % fleet.size());
            client.link().publish(commandTopic(prefix, id), oversized, true, 1);
        }
        ++second;
        if (const std::optional<ProcessGauge> now = readProcessGauge(bridge.processId()))
            peakMb = std::max(peakMb, now->residentMb);
    });
    flood.start(1000);
    runUntil([] { return false; }, seconds * 1000);
    flood.stop();
    runUntil([] { return false; }, kSettleMs);
    const Published after = count(ha, fleet, prefix);
    const std::optional<ProcessGauge> end = readProcessGauge(bridge.processId());
    if (!end) {
        std::fprintf(stderr, "venue_bench: the bridge ended during the flood\n");
        gate.check(QStringLiteral("the bridge still running after the flood"), false);
        return 0;
    }

    const double republishes = double(after.discovery - before.discovery) / oneRound;
    // One at the first birth, then at most one a gap while they go on.
    const int allowed = seconds * 1000 / MqttFace::kRepublishGapMs + 2;
    const QList<QByteArray> availability = ha.seen(bridgeAvailability);
    const bool endsOnline = !availability.isEmpty() && availability.back() == "online";
    const double growthMb = end->residentMb - start->residentMb;
    std::printf("\nflood for %d s, every second: %d births on homeassistant/status, %d non-retained "
                "\"offline\" on %s, %d retained messages of %d kB on command topics\n",
                second, kBirthsPerSecond, kWillsPerSecond, qPrintable(bridgeAvailability),
                kOversizedPerSecond, kOversizedBytes / 1024);
    std::printf("  %-44s %10s %10s\n", "", "before", "after");
    std::printf("  %-44s %10.1f %10.1f (peak %.1f)\n", "velno-bridge resident memory (VmRSS, MB)",
                start->residentMb, end->residentMb, peakMb);
    std::printf("  %-44s %10d %10d (one republish: %d; %.1f republishes)\n", "discovery messages seen",
                before.discovery, after.discovery, oneRound, republishes);
    std::printf("  %-44s %10d %10d\n", "state messages seen", before.state, after.state);
    std::printf("  %-44s %10d %10d\n", "\"online\" on the bridge's availability", before.bridgeOnline,
                after.bridgeOnline);
    std::printf("\ngoals\n");
    gate.check(QStringLiteral("resident memory within %1 MB of the start: %2%3 MB")
                   .arg(kRssGoalMb)
                   .arg(growthMb >= 0 ? QStringLiteral("+") : QString())
                   .arg(growthMb, 0, 'f', 1),
               growthMb <= kRssGoalMb);
    gate.check(QStringLiteral("at most %1 republishes (one, then one per %2 s of flood): %3")
                   .arg(allowed)
                   .arg(MqttFace::kRepublishGapMs / 1000)
                   .arg(republishes, 0, 'f', 1),
               republishes <= allowed);
    gate.check(QStringLiteral("the bridge's availability ends \"online\""), endsOnline);
    return 0;
}
