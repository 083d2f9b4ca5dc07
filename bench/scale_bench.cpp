// SPDX-License-Identifier: GPL-3.0-or-later
// Hundreds of projectors on one velno-bridge, each served three ways at
// once: a building's automation publishing commands over MQTT, technicians'
// tools on each projector's shared line, and AV control systems polling
// PJLink. All projectors answer at once (simulated on loopback TCP ports,
// as behind serial device servers); the bridge polls them every 30 s.
//
// Reports, for each way in, command to reply p50/p99/max, what became of
// every command, and the bridge's resident memory and CPU share from /proc.
// Goals: p99 under 100 ms for each, under 25 % of one core, resident memory
// under 96 MB and flat (the end within 10 % of the value after the
// warm-up); every command answered (MQTT: or refused with a reason) once,
// with its own reply, and the bridge ended by SIGTERM with status 0. Exits
// 1 when a goal is missed, 3 when the rig did not come up. With --ci the
// CPU share and the latency fail only past twice their goal (ci_gate.h).
//
// Usage: scale_bench [--projectors N] [--seconds N] [--ci] [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge_rig.h"
#include "ci_gate.h"
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
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

namespace {

constexpr int kPollSeconds = 30;
constexpr int kMqttPeriodMs = 20;    // 50 commands a second over the broker
constexpr int kClientPeriodMs = 500; // each line and PJLink client asks twice a second
constexpr int kClientsEach = 20;     // line clients, and as many PJLink clients
constexpr double kP99GoalMs = 100, kCpuGoalShare = 0.25, kRssGoalMb = 96, kRssGrowthGoal = 0.10;
constexpr int kBringUpMs = 120000;
// After the last command: time for the replies still due, and for the bridge to end on SIGTERM.
constexpr int kDrainMs = 10000, kStopMs = 15000;

struct Options {
    int projectors = 500;
    int seconds = 600;
    bool ci = false;
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
        else if (arguments[i] == QLatin1String("--ci"))
            options.ci = true;
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
// over and over, timing each answer (a line ending in a carriage return)
// and sorting it: the expected answer, a refusal that says why, or neither.
class AskingClient : public QObject {
public:
    using Sort = std::function<bool(const QByteArray &line)>;
    AskingClient(quint16 port, QByteArray question, bool greeted, Sort expected, Sort refusal)
        : question_(std::move(question)), greeted_(greeted), expected_(std::move(expected)),
          refusal_(std::move(refusal))
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
    bool waiting() const { return waiting_; }
    std::vector<double> replyMs;
    std::size_t refused = 0;
    std::size_t wrong = 0;   // neither the expected answer nor a refusal
    std::size_t unasked = 0; // lines with no question waiting
    QByteArray firstWrong;

private:
    void arrived()
    {
        buffer_ += socket_.readAll();
        qsizetype end;
        while ((end = buffer_.indexOf('\r')) >= 0) {
            const QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            if (!greeted_) {
                greeted_ = true; // PJLink's "PJLINK 0"
                continue;
            }
            if (!waiting_) {
                ++unasked;
                continue;
            }
            replyMs.push_back(millisBetween(askedAt_, Clock::now()));
            waiting_ = false;
            if (refusal_(line)) {
                ++refused;
            } else if (!expected_(line)) {
                ++wrong;
                if (firstWrong.isEmpty())
                    firstWrong = line;
            }
        }
    }
    QTcpSocket socket_;
    QByteArray question_;
    QByteArray buffer_;
    bool greeted_;
    Sort expected_, refusal_;
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
        std::fprintf(stderr, "usage: scale_bench [--projectors N] [--seconds N>=4] [--ci] [VELNO_BRIDGE]\n");
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
        fleet.size(), qPrintable(options->program), kPollSeconds, kMqttPeriodMs,
        std::min(kClientsEach, options->projectors), kClientsEach, kClientPeriodMs, options->seconds,
        qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODate)), QThread::idealThreadCount(),
        qPrintable(loadAverages()));
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
    // The projectors stay in stand-by: nothing the benchmark sends changes their power.
    const QByteArray lineAnswer = VenueTraffic::expectedReply(*findCommand(QStringLiteral("status")))
                                      .toLatin1()
                                      .chopped(1); // its carriage return
    const AskingClient::Sort isLineAnswer = [&](const QByteArray &l) { return l == lineAnswer; };
    const AskingClient::Sort never = [](const QByteArray &) { return false; };
    const AskingClient::Sort isPowerState = [](const QByteArray &l) {
        return l.size() == 8 && l.startsWith("%1POWR=") && l[7] >= '0' && l[7] <= '3';
    };
    const AskingClient::Sort isPjlinkError = [](const QByteArray &l) {
        return l.size() == 11 && l.startsWith("%1POWR=ERR") && l[10] >= '1' && l[10] <= '4';
    };
    std::vector<std::unique_ptr<AskingClient>> lineClients, pjlinkClients;
    // One line client a projector: a second would be told "Port already in use".
    std::set<std::size_t> withLineClient;
    for (int i = 0; i < kClientsEach && withLineClient.size() < fleet.size(); ++i) {
        std::size_t lineIndex = random() % fleet.size();
        while (!withLineClient.insert(lineIndex).second)
            lineIndex = random() % fleet.size();
        const Projector &line = fleet[lineIndex];
        const Projector &pjlink = fleet[random() % fleet.size()];
        lineClients.push_back(std::make_unique<AskingClient>(line.linePort, QByteArrayLiteral("CR0\r"), true,
                                                             isLineAnswer, never));
        pjlinkClients.push_back(std::make_unique<AskingClient>(
            pjlink.pjlinkPort, QByteArrayLiteral("%1POWR ?\r"), false, isPowerState, isPjlinkError));
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
    const auto clientsWaiting = [](const std::vector<std::unique_ptr<AskingClient>> &clients) {
        return std::size_t(
            std::count_if(clients.begin(), clients.end(), [](auto &c) { return c->waiting(); }));
    };
    // The questions still out get their answers (before, the last of each client went uncounted).
    runUntil(
        [&] {
            return traffic.withoutReply() == 0 && clientsWaiting(lineClients) == 0 &&
                   clientsWaiting(pjlinkClients) == 0;
        },
        kDrainMs);

    // What became of each MQTT command: one reply, on its projector's topic,
    // naming its command, with the projector's answer or an error that says why.
    std::vector<double> mqttMs, lineMs, pjlinkMs;
    std::size_t mqttRefused = 0, mqttUnanswered = 0, mqttLost = 0, mqttDoubled = 0, mqttWrong = 0;
    std::map<const Command *, QString> expected;
    for (std::size_t i = 0; i < traffic.sent().size(); ++i) {
        const VenueTraffic::Sent &sent = traffic.sent()[i];
        const std::vector<VenueTraffic::Reply> &replies = traffic.replies(i);
        if (replies.empty()) {
            ++mqttLost;
            continue;
        }
        mqttDoubled += replies.size() > 1 ? 1 : 0;
        const VenueTraffic::Reply &reply = replies.front();
        mqttMs.push_back(millisBetween(sent.at, reply.at));
        if (!expected.count(sent.command))
            expected[sent.command] = VenueTraffic::expectedReply(*sent.command);
        const QString error = reply.body.value(QStringLiteral("error")).toString();
        const bool answered = reply.body.value(QStringLiteral("answered")).toBool();
        const bool own =
            reply.projectorId == fleet[sent.projector].id &&
            reply.body.value(QStringLiteral("command")).toString() == QLatin1String(sent.command->name) &&
            (!answered || reply.body.value(QStringLiteral("reply")).toString() == expected[sent.command]);
        if (!own || (reply.body.contains(QStringLiteral("error")) && error.isEmpty()))
            ++mqttWrong;
        else if (!error.isEmpty())
            ++mqttRefused;
        else if (!answered)
            ++mqttUnanswered;
    }
    std::size_t lineRefused = 0, lineWrong = 0, lineUnasked = 0, pjlinkRefused = 0, pjlinkWrong = 0,
                pjlinkUnasked = 0;
    QByteArray lineFirstWrong, pjlinkFirstWrong;
    for (auto &c : lineClients) {
        lineMs.insert(lineMs.end(), c->replyMs.begin(), c->replyMs.end());
        lineRefused += c->refused;
        lineWrong += c->wrong;
        lineUnasked += c->unasked;
        lineFirstWrong = lineFirstWrong.isEmpty() ? c->firstWrong : lineFirstWrong;
    }
    for (auto &c : pjlinkClients) {
        pjlinkMs.insert(pjlinkMs.end(), c->replyMs.begin(), c->replyMs.end());
        pjlinkRefused += c->refused;
        pjlinkWrong += c->wrong;
        pjlinkUnasked += c->unasked;
        pjlinkFirstWrong = pjlinkFirstWrong.isEmpty() ? c->firstWrong : pjlinkFirstWrong;
    }
    const std::size_t lineUnanswered = lineAsked - lineMs.size(),
                      pjlinkUnanswered = pjlinkAsked - pjlinkMs.size();
    std::printf("\ncommand to reply, over %.0f s\n", seconds);
    report("MQTT command (publish to reply)", mqttMs, traffic.sent().size());
    report("shared line, CR0 to its reply", lineMs, lineAsked);
    report("PJLink, %1POWR ? to its answer", pjlinkMs, pjlinkAsked);
    std::printf("  MQTT replies with an error (busy, offline): %zu\n", mqttRefused);
    std::printf(
        "\nwhat became of them, %.0f s after the last\n"
        "  MQTT: %zu with no reply, %zu answered more than once, %zu with another command's or "
        "projector's reply or an error without a reason, %zu not answered by the projector, %zu "
        "replies with an id not sent\n"
        "  shared line: %zu unanswered, %zu not \"%s\" (first: \"%s\"), %zu lines with no question "
        "waiting\n"
        "  PJLink: %zu unanswered, %zu refused (ERRn), %zu neither (first: \"%s\"), %zu lines with no "
        "question waiting\n",
        kDrainMs / 1000.0, mqttLost, mqttDoubled, mqttWrong, mqttUnanswered, traffic.strangers(),
        lineUnanswered, lineWrong, lineAnswer.constData(), lineFirstWrong.constData(), lineUnasked,
        pjlinkUnanswered, pjlinkRefused, pjlinkWrong, pjlinkFirstWrong.constData(), pjlinkUnasked);

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

    const QString logTail = bridge.logTail();
    const BridgeRun::Ending ending = bridge.stop(kStopMs);
    printEnding(ending);

    const double p99 = std::max({percentile(mqttMs, 99), percentile(lineMs, 99), percentile(pjlinkMs, 99)});
    const bool answered = !mqttMs.empty() && !lineMs.empty() && !pjlinkMs.empty();
    Gate gate("scale_bench", options->ci);
    std::printf("\ngoals\n");
    gate.figure([](double b) { return QStringLiteral("p99 under %1 ms each way").arg(b); }, p99, kP99GoalMs,
                " ms", answered);
    gate.figure([](double b) { return QStringLiteral("under %1 % of one core").arg(b); }, 100 * cpu,
                100 * kCpuGoalShare, " %");
    gate.check(QStringLiteral("resident memory under %1 MB and flat (within %2 % of after %3 s): peak %4 MB, "
                              "%5%6 %")
                   .arg(kRssGoalMb)
                   .arg(100 * kRssGrowthGoal)
                   .arg(warmUpSeconds)
                   .arg(peak, 0, 'f', 1)
                   .arg(growth >= 0 ? QStringLiteral("+") : QString())
                   .arg(100 * growth, 0, 'f', 1),
               peak < kRssGoalMb && std::abs(growth) <= kRssGrowthGoal);
    gate.check(QStringLiteral("every command answered (MQTT: or refused with a reason), each way"),
               answered && mqttLost == 0 && mqttUnanswered == 0 && lineUnanswered == 0 &&
                   pjlinkUnanswered == 0 && lineRefused == 0);
    gate.check(QStringLiteral("no reply credited to the wrong command: none doubled, none another's, none "
                              "unasked"),
               mqttDoubled == 0 && mqttWrong == 0 && traffic.strangers() == 0 && lineWrong == 0 &&
                   lineUnasked == 0 && pjlinkWrong == 0 && pjlinkUnasked == 0);
    return judgeRun(gate, ending, logTail);
}
