// SPDX-License-Identifier: GPL-3.0-or-later
// A client of a projector's shared line, timed from outside: a line sent on
// the bridge's socket to its reply back, while 20 MQTT commands a second go
// to the same projector and the polls run between. Beside it, in the same
// run, the same client on a cable's equivalent: a simulated projector's own
// device-server socket, without the bridge.
//
// Usage: line_bench [VELNO_BRIDGE]   (default: this build's velno-bridge)

#include "bench_stats.h"
#include "bridge_rig.h"
#include "testing/mosquitto_broker.h"
#include "testing/shared_line_config.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int kSamples = 400, kBudgetMs = 60000, kGoalP95Ms = 10;
constexpr int kMqttPeriodMs = 50; // 20 commands a second
// Between one reply and the next line: off the MQTT commands' beat.
constexpr int kGapMs = 7;
constexpr int kEventMs = 30000;
const QByteArray kQuery = QByteArrayLiteral("CR0\r");

struct Figures {
    std::vector<double> ms;
    int unanswered = 0;
};

// kSamples lines, one at a time, each timed to its reply's CR.
Figures timeLines(QTcpSocket &client)
{
    Figures figures;
    const auto budgetEnd = Clock::now() + std::chrono::milliseconds(kBudgetMs);
    while (int(figures.ms.size()) + figures.unanswered < kSamples && Clock::now() < budgetEnd) {
        QByteArray reply;
        const auto sent = Clock::now();
        client.write(kQuery);
        if (!runUntil(
                [&] {
                    reply += client.readAll();
                    return reply.endsWith('\r');
                },
                kEventMs)) {
            ++figures.unanswered;
            continue;
        }
        figures.ms.push_back(millisBetween(sent, Clock::now()));
        const auto gapEnd = Clock::now() + std::chrono::milliseconds(kGapMs);
        runUntil([&] { return Clock::now() >= gapEnd; }, kGapMs + 50);
    }
    return figures;
}

void print(const char *what, const Figures &f)
{
    std::printf("%-44s n=%zu unanswered=%d p50=%.2f ms p95=%.2f ms max=%.2f ms\n", what, f.ms.size(),
                f.unanswered, percentile(f.ms, 50), percentile(f.ms, 95), percentile(f.ms, 100));
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    if (!socket->waitForConnected(kEventMs))
        return nullptr;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return socket;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString program = arguments.size() > 1 ? arguments[1] : QStringLiteral(VELNO_BRIDGE_EXE);

    // The cable: the simulator's own socket, one client, nothing between.
    sim::PtyServer cable;
    std::string error;
    if (!cable.listen("127.0.0.1", 0, &error)) {
        std::fprintf(stderr, "line_bench: %s\n", error.c_str());
        return 1;
    }
    const quint16 cablePort = QString::fromStdString(cable.devicePath()).section(':', -1).toUShort();

    MosquittoBroker broker;
    broker.useTcpNoDelay();
    sim::PtyServer projector;
    if (!broker.start() || !projector.start(&error)) {
        std::fprintf(stderr, "line_bench: no broker or projector: %s %s\n", qPrintable(broker.log()),
                     error.c_str());
        return 1;
    }
    SharedLineConfig config;
    if (!config.write(QString::fromStdString(projector.devicePath())))
        return 1;
    const quint16 linePort = config.linePort();
    MessageCollector watch(broker, QStringLiteral("bench"), {QStringLiteral("velno/hall/reply")});
    if (!watch.waitReady() || sendAtOnceOnConnectionsTo(broker.port()) <= 0)
        return 1;
    BridgeRun bridge(program, {QStringLiteral("--config"), config.fileName(), QStringLiteral("--broker"),
                               QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                               QStringLiteral("--poll"), QStringLiteral("30")});
    std::printf("velno-bridge: %s; a line client's \"CR0\" to its reply, %d ms after the last reply\n",
                qPrintable(program), kGapMs);

    const std::unique_ptr<QTcpSocket> onCable = connectTo(cablePort);
    if (!onCable)
        return 1;
    print("cable (the simulator's own socket)", timeLines(*onCable));

    std::unique_ptr<QTcpSocket> onLine;
    // The bridge listens once it runs, and answers once its port is open.
    runUntil(
        [&] {
            onLine = connectTo(linePort);
            if (!onLine)
                return false;
            onLine->write(kQuery);
            return onLine->waitForReadyRead(2000);
        },
        kEventMs);
    if (!onLine) {
        std::fprintf(stderr, "line_bench: no shared line\n%s\n", qPrintable(bridge.logTail()));
        return 1;
    }
    onLine->readAll();
    QTimer mqttTraffic;
    QObject::connect(&mqttTraffic, &QTimer::timeout, [&] {
        watch.link().publish(QStringLiteral("velno/hall/command"), QByteArrayLiteral("status"), false, 1);
    });
    mqttTraffic.start(kMqttPeriodMs);
    const auto trafficStart = Clock::now();
    const Figures shared = timeLines(*onLine);
    mqttTraffic.stop();
    const double seconds = millisBetween(trafficStart, Clock::now()) / 1000;
    print("shared line, beside 20 MQTT commands/s", shared);
    const std::size_t replies = watch.seen(QStringLiteral("velno/hall/reply")).size();
    std::printf("MQTT replies meanwhile: %zu in %.1f s (%.1f/s)\n", replies, seconds,
                double(replies) / seconds);
    const bool met = !shared.ms.empty() && shared.unanswered == 0 && percentile(shared.ms, 95) < kGoalP95Ms;
    std::printf("goal: shared line p95 < %d ms: %s\n", kGoalP95Ms, verdict(met));
    return 0;
}
