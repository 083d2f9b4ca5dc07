// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What bridge_bench drives and watches: the velno-bridge program as its own
// process, every line that reaches a simulated projector, and every message
// the bridge publishes, each stamped with the moment it arrived.

#include "ci_gate.h"
#include "mqtt/mqtt_link.h"
#include "sim/pty_server.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using Clock = std::chrono::steady_clock;

double millisBetween(Clock::time_point from, Clock::time_point to);

// The codes of the nine status queries, as a poll round sends them.
std::vector<std::string> queryCodes();

// How a goal came out, as the benchmarks print it.
const char *verdict(bool met);

// Runs the event loop until done() holds or timeoutMs passes; returns done().
// Waits in the event loop, so events posted from other threads run at once.
bool runUntil(const std::function<bool()> &done, int timeoutMs);

// Every line the simulated projector receives, stamped on the projector's thread.
class LineLog {
public:
    struct Line {
        Clock::time_point at;
        std::string text;
    };
    // Called on the projector's thread for each line, after it is logged.
    using Hook = std::function<void(std::size_t index, const Line &line)>;

    // Before projector.start().
    explicit LineLog(sim::PtyServer &projector);
    std::size_t size() const;
    Line at(std::size_t index) const;
    void setHook(Hook hook);

    // Waits until `count` lines have arrived from index `from` on, then until
    // the line has been quiet for half as long again as the longest gap between
    // them (at least 50 ms): whatever the build does after a reply, the last
    // exchange is then over.
    bool waitSettled(std::size_t from, std::size_t count, int timeoutMs) const;

private:
    mutable std::mutex mutex_;
    std::vector<Line> lines_;
    Hook hook_;
};

// Every message a link receives, stamped as it arrives.
class MessageLog {
public:
    struct Message {
        Clock::time_point at;
        QString topic;
        QByteArray payload;
    };
    explicit MessageLog(MqttLink &link);
    std::size_t size() const { return messages_.size(); }
    const Message &at(std::size_t index) const { return messages_[index]; }
    // The indices of the messages on the topic, from index `from` on.
    std::vector<std::size_t> on(const QString &topic, std::size_t from = 0) const;
    // Waits for a message on the topic with this payload, from index `from` on.
    bool waitFor(const QString &topic, const QByteArray &payload, std::size_t from, int timeoutMs) const;

private:
    std::vector<Message> messages_;
};

// The benchmark's own MQTT client is an instrument: its connections to the
// broker on this port must not hold a publish back for Nagle's algorithm
// (MqttLink leaves it on, as libmosquitto does), or the figures would include
// its own waits for the broker's delayed ACK. Returns how many it set.
int sendAtOnceOnConnectionsTo(quint16 brokerPort);

// velno-bridge against the broker on loopback; stopped (SIGTERM, then
// SIGKILL) when destroyed.
class BridgeRun {
public:
    BridgeRun(const QString &program, quint16 brokerPort, int pollSeconds, const QStringList &projectors);
    BridgeRun(const QString &program, const QStringList &arguments);
    ~BridgeRun();
    BridgeRun(const BridgeRun &) = delete;
    BridgeRun &operator=(const BridgeRun &) = delete;
    // How stop() went.
    struct Ending {
        bool exited = false; // on SIGTERM, within the time given
        int status = -1;     // its exit status then
        bool gone = false;   // no process left under its id afterwards
        double ms = 0;       // SIGTERM to its end (or to giving up)
    };
    // SIGTERM, then up to timeoutMs for it to end; SIGKILL if it has not.
    Ending stop(int timeoutMs);
    // The last lines the bridge logged, for a failure message.
    QString logTail();
    // 0 when it is not running.
    qint64 processId() const { return process_.processId(); }

private:
    QProcess process_;
    QString log_;
};

// A PJLink client connected to the bridge's listener on this loopback port
// (tried for up to 10 s while the bridge starts), its greeting read; false
// when no greeting without a password came.
bool connectPjlink(QTcpSocket &client, quint16 port);

// How the bridge took its SIGTERM, in one line.
void printEnding(const BridgeRun::Ending &ending);
// The end of a benchmark of the bridge: whether it ended on SIGTERM with
// status 0 and left nothing, the closing line with the machine's load, and
// the verdict (the exit status), with the bridge's last log lines when it
// failed.
int judgeRun(Gate &gate, const BridgeRun::Ending &ending, const QString &logTail);
