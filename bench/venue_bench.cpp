// SPDX-License-Identifier: GPL-3.0-or-later
// A building's worth of projectors on one velno-bridge, for minutes on end:
// one mosquitto, 50 simulated projectors on loopback TCP ports (most
// answering as they should; some late, some in pieces, a few silent), the
// bridge as its own process reading them from a configuration file and
// polling every 5 s, and a client publishing a command to a random projector
// every 50 ms, each with an id of its own, collecting the replies by id.
//
// Reports every command's fate (answered once by the projector, unanswered,
// refused and why; lost, doubled or answered with another's reply), publish
// to reply by kind of projector, the poll rounds as the projectors see them,
// the bridge's resident memory and CPU share from /proc, and the broker's
// message rate from its $SYS counters. Exits 1 when a goal is missed, a
// command was lost, doubled or mis-answered, or the bridge did not end on
// SIGTERM with status 0; 3 when the rig did not come up. With --ci the CPU
// share and the latency fail only past twice their goal (ci_gate.h).
// With --flood, no commands: floods from the broker instead (venue_flood.h),
// 30 s unless --seconds says otherwise.
//
// Usage: venue_bench [--flood] [--seconds N] [--seed N] [--ci] [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge/bridge_options.h"
#include "bridge_rig.h"
#include "broker_counters.h"
#include "ci_gate.h"
#include "protocol/monitor_timing.h"
#include "session/command_exchange.h"
#include "testing/mosquitto_broker.h"
#include "testing/process_gauge.h"
#include "venue_fleet.h"
#include "venue_flood.h"
#include "venue_traffic.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <map>

namespace {

constexpr int kPollSeconds = 5;
constexpr int kCommandPeriodMs = 50;
constexpr int kDefaultSeconds = 600;
constexpr int kDefaultFloodSeconds = 30;
// Memory is judged from here on: the first minute, or a quarter of a shorter run.
constexpr int kWarmUpSeconds = 60;
constexpr int kGaugePeriodMs = 1000;
constexpr double kP99GoalMs = 300, kRssGrowthGoal = 0.10, kCpuGoalShare = 0.20;
constexpr int kBringUpMs = 60000;
// For the bridge to end on SIGTERM.
constexpr int kStopMs = 15000;
// A projector that answers nothing holds each queued command for its window
// and as long again, plus the quiet gap: with a full queue behind a running
// poll, the slowest drains in this long.
const int kDrainMs = (bridge_defaults::kQueueLimit + 1) *
                     (2 * monitor_timing::kShort.replyWindowMs + CommandExchange::kQuietGapMs);

struct Options {
    int seconds = 0; // 0: the mode's default
    bool flood = false;
    bool ci = false;
    unsigned seed = 1;
    QString program = QStringLiteral(VELNO_BRIDGE_EXE);
};

std::optional<Options> parse(const QStringList &arguments)
{
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        bool ok = true;
        if (arguments[i] == QLatin1String("--seconds") && i + 1 < arguments.size())
            options.seconds = arguments[++i].toInt(&ok);
        else if (arguments[i] == QLatin1String("--seed") && i + 1 < arguments.size())
            options.seed = arguments[++i].toUInt(&ok);
        else if (arguments[i] == QLatin1String("--flood"))
            options.flood = true;
        else if (arguments[i] == QLatin1String("--ci"))
            options.ci = true;
        else if (!arguments[i].startsWith(QLatin1Char('-')))
            options.program = arguments[i];
        else
            ok = false;
        if (!ok || options.seconds < 0)
            return std::nullopt;
    }
    if (options.seconds == 0)
        options.seconds = options.flood ? kDefaultFloodSeconds : kDefaultSeconds;
    return options;
}

struct Gauged {
    Clock::time_point at;
    ProcessGauge bridge;
    ProcessGauge self;
};

// What became of the commands sent to one kind of projector.
struct KindTally {
    std::size_t commands = 0, answered = 0, unanswered = 0;
    std::map<QString, std::size_t> refused; // by the reply's error
    std::vector<double> firstReplyMs;
};

struct Fates {
    std::map<ProjectorKind, KindTally> byKind;
    std::size_t lost = 0, doubled = 0, misanswered = 0;
};

Fates tally(const VenueTraffic &traffic, const VenueFleet &fleet)
{
    std::map<const Command *, QString> expected;
    Fates fates;
    for (std::size_t i = 0; i < traffic.sent().size(); ++i) {
        const VenueTraffic::Sent &sent = traffic.sent()[i];
        KindTally &kind = fates.byKind[fleet.kind(sent.projector)];
        ++kind.commands;
        const std::vector<VenueTraffic::Reply> &replies = traffic.replies(i);
        if (replies.empty()) {
            ++fates.lost;
            continue;
        }
        fates.doubled += replies.size() > 1 ? 1 : 0;
        const VenueTraffic::Reply &reply = replies.front();
        kind.firstReplyMs.push_back(millisBetween(sent.at, reply.at));
        const QString error = reply.body.value(QStringLiteral("error")).toString();
        const bool answered = reply.body.value(QStringLiteral("answered")).toBool();
        if (!error.isEmpty())
            ++kind.refused[error];
        else
            ++(answered ? kind.answered : kind.unanswered);
        if (!expected.count(sent.command))
            expected[sent.command] = VenueTraffic::expectedReply(*sent.command);
        // Answered, it must be with this command's own reply, on its projector's topic.
        const bool ownReply =
            reply.projectorId == fleet.id(sent.projector) &&
            reply.body.value(QStringLiteral("command")).toString() == QLatin1String(sent.command->name) &&
            (!answered || reply.body.value(QStringLiteral("reply")).toString() == expected[sent.command]);
        fates.misanswered += ownReply ? 0 : 1;
    }
    return fates;
}

std::vector<double> promptLatencies(const Fates &fates)
{
    std::vector<double> all;
    for (const auto &[kind, tally] : fates.byKind)
        if (answersPromptly(kind))
            all.insert(all.end(), tally.firstReplyMs.begin(), tally.firstReplyMs.end());
    return all;
}

void printFates(const Fates &fates, const VenueFleet &fleet)
{
    std::printf("\ncommands by kind of projector (publish to reply, ms)\n"
                "  %-18s %8s %9s %11s %8s %8s %8s %8s\n",
                "kind", "commands", "answered", "unanswered", "refused", "p50", "p99", "max");
    for (ProjectorKind kind : projectorKinds()) {
        const KindTally &t = fates.byKind.count(kind) ? fates.byKind.at(kind) : KindTally{};
        std::size_t refused = 0;
        for (const auto &[why, n] : t.refused)
            refused += n;
        const QString name = QStringLiteral("%1 (%2)").arg(kindName(kind)).arg(fleet.count(kind));
        std::printf("  %-18s %8zu %9zu %11zu %8zu %8.1f %8.1f %8.1f\n", qPrintable(name), t.commands,
                    t.answered, t.unanswered, refused, percentile(t.firstReplyMs, 50),
                    percentile(t.firstReplyMs, 99), percentile(t.firstReplyMs, 100));
        for (const auto &[why, n] : t.refused)
            std::printf("      refused %zu: \"%s\"\n", n, qPrintable(why));
    }
    const std::vector<double> prompt = promptLatencies(fates);
    std::printf("  answering projectors (none and split): n=%zu, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n",
                prompt.size(), percentile(prompt, 50), percentile(prompt, 99), percentile(prompt, 100));
}

void printRounds(const VenueFleet &fleet, Clock::time_point from, double minutes)
{
    std::printf("\npoll rounds that ran whole (the first of the nine queries reaching the projector to the "
                "ninth, ms)\n  %-18s %8s %14s %8s %8s %8s\n",
                "kind", "rounds", "/projector/min", "median", "p95", "max");
    for (ProjectorKind kind : projectorKinds()) {
        std::vector<double> ms;
        for (std::size_t i = 0; i < fleet.size(); ++i) {
            if (fleet.kind(i) != kind)
                continue;
            const PollRounds r = fleet.rounds(i, from);
            ms.insert(ms.end(), r.firstToLastMs.begin(), r.firstToLastMs.end());
        }
        std::printf("  %-18s %8zu %14.1f %8.1f %8.1f %8.1f\n", qPrintable(kindName(kind)), ms.size(),
                    double(ms.size()) / double(fleet.count(kind)) / minutes, percentile(ms, 50),
                    percentile(ms, 95), percentile(ms, 100));
    }
}

double cpuShare(const ProcessGauge &from, const ProcessGauge &to, double seconds)
{
    return (to.cpuSeconds - from.cpuSeconds) / seconds;
}

bool waitOnline(const MessageCollector &watch, const VenueFleet &fleet)
{
    const auto online = [&](const QString &id) {
        const QList<QByteArray> said = watch.seen(QStringLiteral("velno/%1/availability").arg(id));
        return !said.isEmpty() && said.back() == "online";
    };
    return runUntil(
        [&] {
            if (!online(QStringLiteral("bridge")))
                return false;
            for (std::size_t i = 0; i < fleet.size(); ++i)
                if (fleet.kind(i) != ProjectorKind::Silent && !online(fleet.id(i)))
                    return false;
            return true;
        },
        kBringUpMs);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parse(QCoreApplication::arguments().mid(1));
    if (!options) {
        std::fprintf(stderr, "usage: venue_bench [--flood] [--seconds N] [--seed N] [--ci] [VELNO_BRIDGE]\n");
        return 2;
    }
    const int warmUpSeconds = options->seconds >= 2 * kWarmUpSeconds ? kWarmUpSeconds : options->seconds / 4;

    MosquittoBroker broker;
    broker.useTcpNoDelay();
    VenueFleet fleet;
    std::string error;
    if (!broker.start() || !fleet.listen(&error)) {
        std::fprintf(stderr, "venue_bench: no broker or no projectors: %s%s\n", qPrintable(broker.log()),
                     error.c_str());
        return 3;
    }
    QTemporaryDir dir;
    const QString configPath = dir.filePath(QStringLiteral("bridge.conf"));
    QFile config(configPath);
    if (!dir.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(fleet.configFile(broker.port(), kPollSeconds).toUtf8()) < 0) {
        std::fprintf(stderr, "venue_bench: cannot write %s\n", qPrintable(configPath));
        return 3;
    }
    config.close();

    MessageCollector watch(broker, QStringLiteral("venuebench"), {QStringLiteral("velno/+/availability")});
    const QString prefix = mqtt_defaults::kTopicPrefix;
    VenueTraffic traffic(watch.link(), prefix, fleet.ids(), options->seed);
    BrokerCounters counters(watch.link());
    if (!watch.waitReady() || sendAtOnceOnConnectionsTo(broker.port()) < 1) {
        std::fprintf(stderr, "venue_bench: the client did not connect\n");
        return 3;
    }

    const QString load = options->flood
                             ? QStringLiteral("floods from the broker for %1 s").arg(options->seconds)
                             : QStringLiteral("a command every %1 ms for %2 s, seed %3")
                                   .arg(kCommandPeriodMs)
                                   .arg(options->seconds)
                                   .arg(options->seed);
    std::printf("venue_bench: %zu projectors, one velno-bridge (%s, --config with poll = %d), %s\n",
                fleet.size(), qPrintable(options->program), kPollSeconds, qPrintable(load));
    std::printf("started %s, nproc %d, load average %s\n",
                qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
                QThread::idealThreadCount(), qPrintable(loadAverages()));
    std::fflush(stdout);

    BridgeRun bridge(options->program, {QStringLiteral("--config"), configPath});
    if (!waitOnline(watch, fleet)) {
        std::fprintf(stderr,
                     "venue_bench: the bridge and its answering projectors not online within %d s\n%s\n",
                     kBringUpMs / 1000, qPrintable(bridge.logTail()));
        return 3;
    }
    if (options->flood) {
        Gate gate("venue_bench --flood", options->ci);
        if (runFlood(broker, watch, fleet, bridge, options->seconds, gate) == 3)
            return 3;
        const BridgeRun::Ending ending = bridge.stop(kStopMs);
        printEnding(ending);
        return judgeRun(gate, ending, {});
    }

    std::vector<Gauged> gauges;
    const auto gauge = [&] {
        const std::optional<ProcessGauge> b = readProcessGauge(bridge.processId()), self = readOwnGauge();
        if (b && self)
            gauges.push_back({Clock::now(), *b, *self});
    };
    gauge();
    const Clock::time_point begin = Clock::now();
    QTimer gaugeTimer;
    QObject::connect(&gaugeTimer, &QTimer::timeout, gauge);
    gaugeTimer.start(kGaugePeriodMs);
    traffic.start(kCommandPeriodMs);
    runUntil([] { return false; }, options->seconds * 1000);
    traffic.stop();
    gauge();
    gaugeTimer.stop();
    const Clock::time_point end = Clock::now();
    const double seconds = millisBetween(begin, end) / 1000.0;
    const auto drainStart = Clock::now();
    runUntil([&] { return traffic.withoutReply() == 0; }, kDrainMs);
    const double drainSeconds = millisBetween(drainStart, Clock::now()) / 1000.0;

    if (gauges.size() < 2) {
        std::fprintf(stderr, "venue_bench: the bridge ended during the run\n%s\n",
                     qPrintable(bridge.logTail()));
        return 1;
    }
    const Fates fates = tally(traffic, fleet);
    std::printf("\n%zu commands in %.1f s; %zu with no reply %.1f s after the last (lost), %zu answered more "
                "than once (doubled), %zu answered with another command's reply or on another projector's "
                "topic, %zu replies with an id not sent\n",
                traffic.sent().size(), seconds, fates.lost, drainSeconds, fates.doubled, fates.misanswered,
                traffic.strangers());
    printFates(fates, fleet);
    printRounds(fleet, begin, seconds / 60.0);

    const Gauged &first = gauges.front(), &last = gauges.back();
    const auto warm = std::find_if(gauges.begin(), gauges.end(), [&](const Gauged &g) {
        return millisBetween(begin, g.at) >= warmUpSeconds * 1000.0;
    });
    double peak = 0;
    for (const Gauged &g : gauges)
        peak = std::max(peak, g.bridge.residentMb);
    const double warmMb = warm != gauges.end() ? warm->bridge.residentMb : last.bridge.residentMb;
    const double growth = (last.bridge.residentMb - warmMb) / warmMb;
    const double bridgeCpu = cpuShare(first.bridge, last.bridge, seconds);
    std::printf(
        "\nvelno-bridge, pid %lld: resident memory (VmRSS, every %d ms, %zu samples) at the first command "
        "%.1f MB, after %d s %.1f MB, peak %.1f MB, at the last command %.1f MB (%+.1f %%)\n"
        "  CPU (utime + stime) %.1f %% of one core over the %.0f s of commands; this benchmark's own "
        "process (the projectors and the client) %.1f %%\n",
        bridge.processId(), kGaugePeriodMs, gauges.size(), first.bridge.residentMb, warmUpSeconds, warmMb,
        peak, last.bridge.residentMb, 100 * growth, 100 * bridgeCpu, seconds,
        100 * cpuShare(first.self, last.self, seconds));

    std::printf(
        "broker, from its $SYS counters between the first and the last sample during the commands:\n");
    for (const QString *counter : {&BrokerCounters::kPublishReceived, &BrokerCounters::kPublishSent,
                                   &BrokerCounters::kAllReceived, &BrokerCounters::kAllSent}) {
        const std::optional<double> rate = counters.rate(*counter, begin, end);
        std::printf("  %-40s %s\n", qPrintable(*counter),
                    rate ? qPrintable(QStringLiteral("%1 /s").arg(*rate, 0, 'f', 1)) : "no two samples");
    }

    const QString logTail = bridge.logTail();
    const BridgeRun::Ending ending = bridge.stop(kStopMs);
    printEnding(ending);

    const std::vector<double> prompt = promptLatencies(fates);
    const double p99 = percentile(prompt, 99);
    Gate gate("venue_bench", options->ci);
    std::printf("\ngoals\n");
    gate.figure(
        [](double b) {
            return QStringLiteral("publish to reply p99 under %1 ms for the answering projectors").arg(b);
        },
        p99, kP99GoalMs, " ms", !prompt.empty());
    gate.check(QStringLiteral("resident memory flat (at the last command within %1 % of after %2 s): %3%4 %")
                   .arg(100 * kRssGrowthGoal)
                   .arg(warmUpSeconds)
                   .arg(growth >= 0 ? QStringLiteral("+") : QString())
                   .arg(100 * growth, 0, 'f', 1),
               std::abs(growth) <= kRssGrowthGoal);
    gate.figure([](double b) { return QStringLiteral("under %1 % of one core").arg(b); }, 100 * bridgeCpu,
                100 * kCpuGoalShare, " %");
    gate.check(QStringLiteral("every command answered exactly once, with its own reply"),
               fates.lost == 0 && fates.doubled == 0 && fates.misanswered == 0 && traffic.strangers() == 0);
    return judgeRun(gate, ending, logTail);
}
