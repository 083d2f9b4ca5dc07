// SPDX-License-Identifier: GPL-3.0-or-later
// How soon each face of velno-bridge shows "on" once the projector reached
// it: the real program (a real mosquitto on loopback, one simulated
// projector on a pty with a 3 s count-down), polling every 30 s.
//
//  (a) MQTT: `power-on` published; from the moment the count-down ends (the
//      power-on line's arrival at the projector plus the count-down) to the
//      first `state` message saying "on";
//  (b) the API: meanwhile, `GET /api/projectors` every 50 ms, to the first
//      answer saying "on" (reading the API asks the projector nothing);
//  (c) PJLink: `%1POWR 1`, then `%1POWR ?` every 100 ms; from the same
//      moment to the first `%1POWR=1`.
// Each sample powers off and waits for "off" first. Goal: < 2 s.
//
// Usage: transition_bench [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge_rig.h"
#include "testing/loopback_port.h"
#include "testing/mosquitto_broker.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

constexpr int kSamples = 3, kCountDownMs = 3000, kCoolingMs = 300;
constexpr double kGoalMs = 2000;
const QString kState = QStringLiteral("velno/hall/state");

QByteArray ask(QTcpSocket &client, const QByteArray &request)
{
    client.write(request);
    client.waitForBytesWritten(1000);
    QByteArray reply;
    while (!reply.endsWith('\r') && client.waitForReadyRead(10000))
        reply += client.readAll();
    return reply;
}

// Whether the API says the projector is on; one request, its own connection.
bool apiSaysOn(quint16 port)
{
    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, port);
    if (!http.waitForConnected(1000))
        return false;
    http.write("GET /api/projectors HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    // Read to the body's end: the bridge may keep the connection open.
    QByteArray answer;
    const auto complete = [&answer] {
        const int head = answer.indexOf("\r\n\r\n");
        const int at = answer.toLower().indexOf("content-length:");
        return head >= 0 && at >= 0 &&
               answer.size() - head - 4 >= answer.mid(at + 15, 12).split('\r').front().trimmed().toInt();
    };
    while (!complete() && http.waitForReadyRead(2000))
        answer += http.readAll();
    return answer.contains("\"power\":\"on\"");
}

// When the last power-on line reached the projector, and so when it is on.
Clock::time_point onAt(const LineLog &lines)
{
    for (std::size_t i = lines.size(); i-- > 0;)
        if (lines.at(i).text == "C00")
            return lines.at(i).at + std::chrono::milliseconds(kCountDownMs);
    return Clock::now();
}

bool stateSays(const MessageLog &log, std::size_t index, const char *power)
{
    return log.at(index).payload.contains(QByteArray("\"power\":\"") + power + '"');
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString program = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VELNO_BRIDGE_EXE);
    MosquittoBroker broker;
    sim::PtyServer projector{sim::PowerTimings{kCountDownMs, kCoolingMs}};
    LineLog lines(projector);
    QTemporaryDir dir;
    const quint16 port = unusedLoopbackPort(), webPort = unusedLoopbackPort();
    if (!broker.start() || !projector.start() || !dir.isValid() || !port || !webPort)
        return 1;
    QFile file(dir.filePath(QStringLiteral("bridge.conf")));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QStringLiteral("[web]\nlisten = 127.0.0.1:%3\n[projector hall]\nport = %1\npjlink = "
                                  "127.0.0.1:%2\n")
                       .arg(QString::fromStdString(projector.devicePath()))
                       .arg(port)
                       .arg(webPort)
                       .toUtf8()) < 0)
        return 1;
    file.close();
    MessageCollector watch(broker, QStringLiteral("bench"), {QStringLiteral("velno/#")});
    MessageLog messages(watch.link());
    if (!watch.waitReady())
        return 1;
    BridgeRun bridge(program, {QStringLiteral("--config"), file.fileName(), QStringLiteral("--broker"),
                               QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()),
                               QStringLiteral("--poll"), QStringLiteral("30")});
    QTcpSocket client;
    if (!connectPjlink(client, port)) {
        std::fprintf(stderr, "transition_bench: no greeting\n%s\n", qPrintable(bridge.logTail()));
        return 1;
    }
    const auto powerOff = [&] {
        ask(client, "%1POWR 0\r");
        return runUntil([&] { return ask(client, "%1POWR ?\r") == "%1POWR=0\r"; }, 10000);
    };
    std::vector<double> mqtt, api, pjlink;
    for (int i = 0; i < kSamples; ++i) {
        if (!powerOff())
            return 1;
        const std::size_t from = messages.size();
        watch.link().publish(QStringLiteral("velno/hall/command"), "power-on", false, 1);
        std::size_t said = 0;
        std::optional<Clock::time_point> apiOn;
        runUntil(
            [&] {
                if (!apiOn && apiSaysOn(webPort))
                    apiOn = Clock::now();
                for (std::size_t m = from; m < messages.size() && !said; ++m)
                    if (messages.at(m).topic == kState && stateSays(messages, m, "on"))
                        said = m;
                if (!said || !apiOn)
                    QThread::msleep(50);
                return said && apiOn;
            },
            40000);
        if (said)
            mqtt.push_back(millisBetween(onAt(lines), messages.at(said).at));
        if (apiOn)
            api.push_back(millisBetween(onAt(lines), *apiOn));

        if (!powerOff())
            return 1;
        ask(client, "%1POWR 1\r");
        bool on = false;
        runUntil(
            [&] {
                on = ask(client, "%1POWR ?\r") == "%1POWR=1\r";
                if (!on)
                    QThread::msleep(100);
                return on;
            },
            40000);
        if (on)
            pjlink.push_back(millisBetween(onAt(lines), Clock::now()));
    }
    bool missed = false;
    const auto print = [&missed](const char *what, const std::vector<double> &ms) {
        const bool met = ms.size() == std::size_t(kSamples) && percentile(ms, 100) < kGoalMs;
        missed = missed || !met;
        std::printf("%-28s n=%zu  median %7.1f ms  max %7.1f ms  goal < %g ms: %s\n", what, ms.size(),
                    percentile(ms, 50), percentile(ms, 100), kGoalMs, verdict(met));
    };
    std::printf("velno-bridge, poll 30 s, count-down %d ms: \"on\" reached to shown\n", kCountDownMs);
    print("(a) MQTT state", mqtt);
    print("(b) API", api);
    print("(c) PJLink POWR ?", pjlink);
    return missed ? 1 : 0;
}
