// SPDX-License-Identifier: GPL-3.0-or-later
// Hundreds of projectors on one velno-bridge, each served three ways at
// once: a building's automation publishing commands over MQTT, technicians'
// tools on each projector's shared line, and AV control systems polling
// PJLink. All projectors answer at once (simulated on loopback TCP ports,
// as behind serial device servers); the bridge polls them every 30 s.
//
// Reports, for each way in, command to reply p50/p99/max, and the
// bridge's resident memory and CPU share from /proc. Goals: p99 under
// 100 ms for each, under 25 % of one core, resident memory under 96 MB and
// flat (the end within 10 % of the value after the warm-up). Exits 1 when
// a goal is missed, 3 when the rig did not come up.
//
// Usage: scale_bench [--projectors N] [--seconds N] [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge_rig.h"
#include "testing/mosquitto_broker.h"
#include "testing/process_gauge.h"
#include "venue_traffic.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int kPollSeconds = 30;
constexpr int kMqttPeriodMs = 20;    // 50 commands a second over the broker
constexpr int kClientPeriodMs = 500; // each line and PJLink client asks twice a second
constexpr int kClientsEach = 20;     // line clients, and as many PJLink clients
constexpr double kP99GoalMs = 100, kCpuGoalShare = 0.25, kRssGoalMb = 96, kRssGrowthGoal = 0.10;
constexpr int kBringUpMs = 120000;

struct Options {
    int projectors = 500;
    int seconds = 600;
    QString program = QStringLiteral(VELNO_BRIDGE_EXE);
};

std::optional<Options> parse(const QStringList &arguments)
{
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        bool ok = true;
        if (arguments[i] == QLatin1String("--projectors") && i + 1 < arguments.size())
            options.projectors = arguments[++i].toInt(&ok);
        else if (arguments[i] == QLatin1String("--seconds") && i + 1 < arguments.size())
            options.seconds = arguments[++i].toInt(&ok);
        else if (!arguments[i].startsWith(QLatin1Char('-')))
            options.program = arguments[i];
        else
            ok = false;
        if (!ok || options.projectors < 1 || options.seconds < 4)
            return std::nullopt;
    }
    return options;
}

// Loopback ports free a moment ago, each a different one, below the range
// the system hands out for outgoing connections (the bridge makes hundreds
// of them to the projectors, any of which could take a port found free).
std::vector<quint16> freePorts(std::size_t count)
{
    constexpr quint16 kFirst = 20000, kLast = 32000;
    std::vector<quint16> ports;
    for (quint16 port = kFirst; port < kLast && ports.size() < count; ++port) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            ports.push_back(port);
    }
    return ports;
}

struct Projector {
    QString id;
    std::unique_ptr<sim::PtyServer> server;
    quint16 linePort = 0;
    quint16 pjlinkPort = 0;
};

// One client on a TCP listener of the bridge asking the same question
// over and over, timing each answer (a line ending in a carriage return).
class AskingClient : public QObject {
public:
    AskingClient(quint16 port, QByteArray question, bool greeted)
        : question_(std::move(question)), greeted_(greeted)
    {
        connect(&socket_, &QTcpSocket::readyRead, this, &AskingClient::arrived);
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket_.connectToHost(QHostAddress::LocalHost, port);
    }
    // Whether a question went out (not while the last one waits).
    bool ask()
    {
        if (waiting_ || !greeted_ || socket_.state() != QAbstractSocket::ConnectedState)
            return false;
        waiting_ = true;
        askedAt_ = Clock::now();
        socket_.write(question_);
        return true;
    }
    std::vector<double> replyMs;
    std::size_t unanswered = 0;

private:
    void arrived()
    {
        buffer_ += socket_.readAll();
        qsizetype end;
        while ((end = buffer_.indexOf('\r')) >= 0) {
            buffer_.remove(0, end + 1);
            if (!greeted_) {
                greeted_ = true; // PJLink's "PJLINK 0"
                continue;
            }
            if (waiting_)
                replyMs.push_back(millisBetween(askedAt_, Clock::now()));
            waiting_ = false;
        }
    }
    QTcpSocket socket_;
    QByteArray question_;
    QByteArray buffer_;
    bool greeted_;
    bool waiting_ = false;
    Clock::time_point askedAt_;
};

void report(const char *what, const std::vector<double> &ms, std::size_t asked)
{
    std::printf("  %-34s %7zu asked %7zu answered  p50 %6.1f  p99 %6.1f  max %7.1f ms\n", what, asked,
                ms.size(), percentile(ms, 50), percentile(ms, 99), percentile(ms, 100));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = parse(QCoreApplication::arguments().mid(1));
    if (!options) {
        std::fprintf(stderr, "usage: scale_bench [--projectors N] [--seconds N>=4] [VELNO_BRIDGE]\n");
        return 2;
    }
    const int warmUpSeconds = options->seconds >= 120 ? 60 : options->seconds / 4;

    MosquittoBroker broker;
    broker.useTcpNoDelay();
    if (!broker.start()) {
        std::fprintf(stderr, "scale_bench: no broker: %s\n", qPrintable(broker.log()));
        return 3;
    }
    std::vector<Projector> fleet(std::size_t(options->projectors));
    QString config = QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\npoll = %2\nqueue-limit = 64\n")
                         .arg(broker.port())
                         .arg(kPollSeconds);
    const std::vector<quint16> ports = freePorts(2 * fleet.size());
    if (ports.size() < 2 * fleet.size()) {
        std::fprintf(stderr, "scale_bench: not enough free loopback ports\n");
        return 3;
    }
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        Projector &p = fleet[i];
        p.id = QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0'));
        p.server = std::make_unique<sim::PtyServer>();
        std::string error;
        if (!p.server->listen("127.0.0.1", 0, &error)) {
            std::fprintf(stderr, "scale_bench: projector %zu: %s\n", i, error.c_str());
            return 3;
        }
        p.linePort = ports[2 * i];
        p.pjlinkPort = ports[2 * i + 1];
        config += QStringLiteral("\n[projector %1]\nport = %2\nline = 127.0.0.1:%3\npjlink = 127.0.0.1:%4\n")
                      .arg(p.id, QString::fromStdString(p.server->devicePath()))
                      .arg(p.linePort)
                      .arg(p.pjlinkPort);
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("bridge.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        std::fprintf(stderr, "scale_bench: cannot write the settings\n");
        return 3;
    }
    file.close();

    MessageCollector watch(broker, QStringLiteral("scalebench"), {QStringLiteral("velno/+/availability")});
    QStringList ids;
    for (const Projector &p : fleet)
        ids << p.id;
    VenueTraffic traffic(watch.link(), QStringLiteral("velno"), ids, 1);
    if (!watch.waitReady() || sendAtOnceOnConnectionsTo(broker.port()) < 1) {
        std::fprintf(stderr, "scale_bench: the client did not connect\n");
        return 3;
    }
    std::printf(
        "scale_bench: %zu projectors, each with a shared line and a PJLink listener, on one velno-bridge "
        "(%s, poll = %d); MQTT a command every %d ms, %d line and %d PJLink clients asking every %d ms, "
        "for %d s\nstarted %s, nproc %d, load average %s\n",
        fleet.size(), qPrintable(options->program), kPollSeconds, kMqttPeriodMs, kClientsEach, kClientsEach,
        kClientPeriodMs, options->seconds, qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)),
        QThread::idealThreadCount(), qPrintable(loadAverages()));
    std::fflush(stdout);

    BridgeRun bridge(options->program, {QStringLiteral("--config"), file.fileName()});
    const bool up = runUntil(
        [&] {
            for (const Projector &p : fleet) {
                const QList<QByteArray> said = watch.seen(QStringLiteral("velno/%1/availability").arg(p.id));
                if (said.isEmpty() || said.back() != "online")
                    return false;
            }
            return true;
        },
        kBringUpMs);
    if (!up) {
        std::fprintf(stderr, "scale_bench: not every projector online within %d s\n%s\n", kBringUpMs / 1000,
                     qPrintable(bridge.logTail()));
        return 3;
    }

    std::mt19937 random(7);
    std::vector<std::unique_ptr<AskingClient>> lineClients, pjlinkClients;
    for (int i = 0; i < kClientsEach; ++i) {
        const Projector &line = fleet[random() % fleet.size()];
        const Projector &pjlink = fleet[random() % fleet.size()];
        lineClients.push_back(
            std::make_unique<AskingClient>(line.linePort, QByteArrayLiteral("CR0\r"), true));
        pjlinkClients.push_back(
            std::make_unique<AskingClient>(pjlink.pjlinkPort, QByteArrayLiteral("%1POWR ?\r"), false));
    }
    std::size_t lineAsked = 0, pjlinkAsked = 0;
    QTimer asking;
    QObject::connect(&asking, &QTimer::timeout, [&] {
        for (auto &c : lineClients)
            lineAsked += c->ask() ? 1 : 0;
        for (auto &c : pjlinkClients)
            pjlinkAsked += c->ask() ? 1 : 0;
    });

    struct Sample {
        Clock::time_point at;
        ProcessGauge gauge;
    };
    std::vector<Sample> samples;
    const auto gauge = [&] {
        if (const std::optional<ProcessGauge> g = readProcessGauge(bridge.processId()))
            samples.push_back({Clock::now(), *g});
    };
    QTimer gauging;
    QObject::connect(&gauging, &QTimer::timeout, gauge);
    gauge();
    const Clock::time_point begin = Clock::now();
    gauging.start(1000);
    asking.start(kClientPeriodMs);
    traffic.start(kMqttPeriodMs);
    runUntil([] { return false; }, options->seconds * 1000);
    traffic.stop();
    asking.stop();
    gauge();
    const double seconds = millisBetween(begin, Clock::now()) / 1000;
    runUntil([&] { return traffic.withoutReply() == 0; }, 10000);

    std::vector<double> mqttMs, lineMs, pjlinkMs;
    std::size_t mqttRefused = 0;
    for (std::size_t i = 0; i < traffic.sent().size(); ++i)
        if (!traffic.replies(i).empty()) {
            mqttMs.push_back(millisBetween(traffic.sent()[i].at, traffic.replies(i).front().at));
            mqttRefused += traffic.replies(i).front().body.contains(QStringLiteral("error")) ? 1 : 0;
        }
    for (auto &c : lineClients)
        lineMs.insert(lineMs.end(), c->replyMs.begin(), c->replyMs.end());
    for (auto &c : pjlinkClients)
        pjlinkMs.insert(pjlinkMs.end(), c->replyMs.begin(), c->replyMs.end());
    std::printf("\ncommand to reply, over %.0f s\n", seconds);
    report("MQTT command (publish to reply)", mqttMs, traffic.sent().size());
    report("shared line, CR0 to its reply", lineMs, lineAsked);
    report("PJLink, %1POWR ? to its answer", pjlinkMs, pjlinkAsked);
    std::printf("  MQTT replies with an error (busy, offline): %zu\n", mqttRefused);

    if (samples.size() < 2) {
        std::fprintf(stderr, "scale_bench: the bridge ended during the run\n%s\n",
                     qPrintable(bridge.logTail()));
        return 1;
    }
    const auto warm = std::find_if(samples.begin(), samples.end(), [&](const Sample &s) {
        return millisBetween(begin, s.at) >= warmUpSeconds * 1000.0;
    });
    double peak = 0;
    for (const Sample &s : samples)
        peak = std::max(peak, s.gauge.residentMb);
    const double warmMb = warm != samples.end() ? warm->gauge.residentMb : samples.back().gauge.residentMb;
    const double growth = (samples.back().gauge.residentMb - warmMb) / warmMb;
    const double cpu = (samples.back().gauge.cpuSeconds - samples.front().gauge.cpuSeconds) / seconds;
    std::printf(
        "\nvelno-bridge: resident memory at the start %.1f MB, after %d s %.1f MB, peak %.1f MB, at the "
        "end %.1f MB (%+.1f %%); CPU %.1f %% of one core\n",
        samples.front().gauge.residentMb, warmUpSeconds, warmMb, peak, samples.back().gauge.residentMb,
        100 * growth, 100 * cpu);

    const double p99 = std::max({percentile(mqttMs, 99), percentile(lineMs, 99), percentile(pjlinkMs, 99)});
    const bool answered = !mqttMs.empty() && !lineMs.empty() && !pjlinkMs.empty();
    const bool latencyMet = answered && p99 < kP99GoalMs;
    const bool cpuMet = cpu < kCpuGoalShare;
    const bool memoryMet = peak < kRssGoalMb && std::abs(growth) <= kRssGrowthGoal;
    std::printf(
        "\ngoals\n  p99 under %.0f ms each way: %.1f ms: %s\n  under %.0f %% of one core: %.1f %%: %s\n"
        "  resident memory under %.0f MB and flat (within %.0f %% of after %d s): peak %.1f MB, %+.1f "
        "%%: %s\nfinished %s, load average %s\n",
        kP99GoalMs, p99, verdict(latencyMet), 100 * kCpuGoalShare, 100 * cpu, verdict(cpuMet), kRssGoalMb,
        100 * kRssGrowthGoal, warmUpSeconds, peak, 100 * growth, verdict(memoryMet),
        qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)), qPrintable(loadAverages()));
    const bool met = latencyMet && cpuMet && memoryMet;
    if (!met)
        std::printf("the bridge's last log lines:\n%s\n", qPrintable(bridge.logTail()));
    return met ? 0 : 1;
}
