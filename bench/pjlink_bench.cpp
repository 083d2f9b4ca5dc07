// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge's PJLink face timed from a PJLink client's side: the real
// program as its own process (a real mosquitto on loopback, one simulated
// projector on a pty that answers at once), a client on loopback that sends
// a request and reads its reply, blocking, as a control system's would.
//
//  (a) `%1POWR ?` answered from the bridge's state (the round after the
//      last command over; the projector's received lines are counted to
//      show no exchange was needed);
//  (b) `%1POWR 1` to `%1POWR=OK` with the projector on: the state is asked
//      (the setting follows a setting), then the command runs. Each sample
//      waits for the round that follows the one before it to end, and is
//      counted apart when a poll round of the bridge's own ran meanwhile.
//
// Usage: pjlink_bench [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge_rig.h"
#include "testing/loopback_port.h"
#include "testing/mosquitto_broker.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace {

constexpr int kSamples = 100;
constexpr double kFromStateGoalMs = 5, kPowerOnGoalMs = 20;
constexpr std::size_t kLinesPerCommand = 1 + 9; // the command, then the round it causes

// One request and its reply, in milliseconds; -1 when none came.
double timed(QTcpSocket &client, const QByteArray &request, const QByteArray &expected)
{
    const Clock::time_point start = Clock::now();
    client.write(request);
    client.waitForBytesWritten(1000);
    QByteArray reply;
    while (!reply.endsWith('\r') && client.waitForReadyRead(5000))
        reply += client.readAll();
    const double ms = millisBetween(start, Clock::now());
    if (reply != expected) {
        std::printf("  %s: got \"%s\"\n", request.trimmed().constData(), reply.trimmed().constData());
        return -1;
    }
    return ms;
}

void print(const char *what, const std::vector<double> &ms, double goal)
{
    const double p95 = percentile(ms, 95);
    std::printf("%-34s n=%3zu  median %6.3f ms  p95 %6.3f ms  max %6.3f ms  goal p95 < %g ms: %s\n", what,
                ms.size(), percentile(ms, 50), p95, percentile(ms, 100), goal,
                verdict(ms.size() * 10 >= kSamples * 9 && p95 < goal));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VELNO_BRIDGE_EXE);
    MosquittoBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "pjlink_bench: no broker: %s\n", qPrintable(broker.log()));
        return 1;
    }
    sim::PtyServer projector{sim::PowerTimings{100, 100}};
    LineLog lines(projector);
    std::string error;
    QTemporaryDir dir;
    const quint16 port = unusedLoopbackPort();
    if (!projector.start(&error) || !dir.isValid() || !port) {
        std::fprintf(stderr, "pjlink_bench: %s\n", error.c_str());
        return 1;
    }
    const QString config = dir.filePath(QStringLiteral("bridge.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QStringLiteral("[projector hall]\nport = %1\npjlink = 127.0.0.1:%2\n")
                       .arg(QString::fromStdString(projector.devicePath()))
                       .arg(port)
                       .toUtf8()) < 0)
        return 1;
    file.close();
    BridgeRun bridge(program, {QStringLiteral("--config"), config, QStringLiteral("--broker"),
                               QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                               QStringLiteral("--poll"), QStringLiteral("10")});

    QTcpSocket client;
    if (!connectPjlink(client, port)) {
        std::fprintf(stderr, "pjlink_bench: no greeting\n%s\n", qPrintable(bridge.logTail()));
        return 1;
    }
    // On (warming up 100 ms), and the round after it over.
    timed(client, "%1POWR 1\r", "%1POWR=OK\r");
    QThread::msleep(500);
    // The warm-up's end is asked once (the state still says warming), and the
    // round that follows runs.
    timed(client, "%1POWR ?\r", "%1POWR=1\r");
    lines.waitSettled(lines.size(), 1, 5000);

    std::printf("velno-bridge PJLink, %d samples each, projector on a pty answering at once\n", kSamples);
    std::vector<double> fromState, powerOn;
    const std::size_t linesBefore = lines.size();
    for (int i = 0; i < kSamples; ++i)
        if (const double ms = timed(client, "%1POWR ?\r", "%1POWR=1\r"); ms >= 0)
            fromState.push_back(ms);
    const std::size_t exchanges = lines.size() - linesBefore;
    int behindPolls = 0;
    for (int i = 0; i < kSamples; ++i) {
        const std::size_t from = lines.size();
        const double ms = timed(client, "%1POWR 1\r", "%1POWR=OK\r");
        lines.waitSettled(from, kLinesPerCommand, 5000);
        if (lines.size() - from > kLinesPerCommand)
            ++behindPolls; // a poll round of its own ran, or a stale state was asked
        else if (ms >= 0)
            powerOn.push_back(ms);
    }
    print("POWR ? from state", fromState, kFromStateGoalMs);
    std::printf("  lines the projector received meanwhile: %zu (9 a poll round of its own)\n", exchanges);
    std::printf("  samples set apart (more lines than the command and its round): %d\n", behindPolls);
    print("POWR 1 to OK", powerOn, kPowerOnGoalMs);
    return 0;
}
