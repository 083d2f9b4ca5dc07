// SPDX-License-Identifier: GPL-3.0-or-later
// The group "all" with hundreds of projectors on one velno-bridge: one
// message on the group's topic, beside what users do without groups (one
// message per projector, published back to back), in alternate rounds of
// one run. All projectors answer at once (simulated on loopback TCP ports,
// as behind serial device servers); nothing polls.
//
// Reports, for each way, the spread between the first and the last
// projector's command reaching its wire, and for the group the time from
// the last member's command on its wire to the group's one reply. Goals:
// the spread under 250 ms, the reply within 1 s of the last member's
// answer, every member answered in every round, and the bridge ended by
// SIGTERM with status 0. Exits 1 when a goal is missed, 3 when the rig did
// not come up. With --ci the timings fail only past twice their goal.
//
// Usage: group_bench [--projectors N] [--rounds N] [--ci] [VELNO_BRIDGE]

#include "bench_stats.h"
#include "bridge_rig.h"
#include "ci_gate.h"
#include "testing/mosquitto_broker.h"
#include "testing/process_gauge.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr double kSpreadGoalMs = 250, kReplyGoalMs = 1000;
constexpr int kBringUpMs = 120000, kRoundMs = 30000, kStopMs = 15000;
const QString kGroupCommand = QStringLiteral("velno/group/all/command");
const QString kGroupReply = QStringLiteral("velno/group/all/reply");

struct Member {
    QString id;
    std::unique_ptr<sim::PtyServer> server;
    std::unique_ptr<LineLog> lines;
};

// When each member's command of this round reached its wire: the first
// C1E after `marks` (each member's line count when the round began).
std::vector<Clock::time_point> wireTimes(const std::vector<Member> &fleet,
                                         const std::vector<std::size_t> &marks)
{
    std::vector<Clock::time_point> times;
    for (std::size_t i = 0; i < fleet.size(); ++i)
        for (std::size_t n = marks[i]; n < fleet[i].lines->size(); ++n)
            if (fleet[i].lines->at(n).text == "C1E") {
                times.push_back(fleet[i].lines->at(n).at);
                break;
            }
    return times;
}

double spreadMs(const std::vector<Clock::time_point> &times)
{
    const auto [first, last] = std::minmax_element(times.begin(), times.end());
    return times.empty() ? 0 : millisBetween(*first, *last);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int projectors = 500, rounds = 5;
    bool ci = false;
    QString program = QStringLiteral(VELNO_BRIDGE_EXE);
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--projectors") && i + 1 < args.size())
            projectors = args[++i].toInt();
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = args[++i].toInt();
        else if (args[i] == QLatin1String("--ci"))
            ci = true;
        else
            program = args[i];
    }
    if (projectors < 2 || rounds < 1) {
        std::fprintf(stderr,
                     "usage: group_bench [--projectors N>=2] [--rounds N>=1] [--ci] [VELNO_BRIDGE]\n");
        return 2;
    }
    Gate gate("group_bench", ci);
    MosquittoBroker broker;
    broker.useTcpNoDelay();
    if (!broker.start()) {
        std::fprintf(stderr, "group_bench: no broker: %s\n", qPrintable(broker.log()));
        return 3;
    }
    std::vector<Member> fleet(static_cast<std::size_t>(projectors));
    QString config = QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\npoll = 0\n").arg(broker.port());
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        Member &m = fleet[i];
        m.id = QStringLiteral("p%1").arg(i, 3, 10, QLatin1Char('0'));
        m.server = std::make_unique<sim::PtyServer>();
        m.lines = std::make_unique<LineLog>(*m.server);
        std::string error;
        if (!m.server->listen("127.0.0.1", 0, &error)) {
            std::fprintf(stderr, "group_bench: projector %zu: %s\n", i, error.c_str());
            return 3;
        }
        config += QStringLiteral("\n[projector %1]\nport = %2\n")
                      .arg(m.id, QString::fromStdString(m.server->devicePath()));
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("bridge.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return 3;
    file.close();

    MessageCollector watch(
        broker, QStringLiteral("groupbench"),
        {QStringLiteral("velno/+/availability"), kGroupReply, QStringLiteral("velno/+/reply")});
    // The group's reply holds every member's: more than a client takes by default.
    MqttLinkSettings roomy = broker.clientSettings(QStringLiteral("groupbenchreplies"));
    roomy.maximumPacketBytes = 4 * 1024 * 1024;
    MqttLink replies(roomy);
    MessageLog stamped(replies);
    replies.subscribe(kGroupReply);
    replies.start();
    if (!watch.waitReady() || !runUntil([&] { return replies.isConnected(); }, 10000) ||
        sendAtOnceOnConnectionsTo(broker.port()) < 2)
        return 3;
    std::printf("group_bench: the group all of %d projectors on one velno-bridge (%s, poll = 0), %d rounds "
                "each way\nstarted, nproc %d, load average %s\n",
                projectors, qPrintable(program), rounds, QThread::idealThreadCount(),
                qPrintable(loadAverages()));
    std::fflush(stdout);

    BridgeRun bridge(program, {QStringLiteral("--config"), file.fileName()});
    const bool up = runUntil(
        [&] {
            for (const Member &m : fleet) {
                const QList<QByteArray> said = watch.seen(QStringLiteral("velno/%1/availability").arg(m.id));
                if (said.isEmpty() || said.back() != "online")
                    return false;
            }
            return true;
        },
        kBringUpMs);
    // The first round of queries every link asks as it opens, over.
    if (!up || !fleet.back().lines->waitSettled(0, 9, kRoundMs)) {
        std::fprintf(stderr, "group_bench: not every projector online within %d s\n%s\n", kBringUpMs / 1000,
                     qPrintable(bridge.logTail()));
        return 3;
    }

    std::vector<double> groupSpread, groupReply, eachSpread;
    bool everyMemberAnswered = true;
    for (int round = 0; round < 2 * rounds; ++round) {
        const bool asGroup = round % 2 == 0;
        std::vector<std::size_t> marks;
        for (const Member &m : fleet)
            marks.push_back(m.lines->size());
        const std::size_t from = stamped.size();
        const QByteArray id = QByteArray::number(round);
        if (asGroup) {
            watch.link().publish(kGroupCommand, R"({"command": "display-clear", "id": )" + id + '}', false,
                                 1);
        } else {
            for (const Member &m : fleet)
                watch.link().publish(QStringLiteral("velno/%1/command").arg(m.id), "display-clear", false, 1);
        }
        const bool done = runUntil(
            [&] {
                if (asGroup)
                    return !stamped.on(kGroupReply, from).empty();
                return wireTimes(fleet, marks).size() == fleet.size();
            },
            kRoundMs);
        const std::vector<Clock::time_point> wires = wireTimes(fleet, marks);
        if (!done || wires.size() != fleet.size()) {
            everyMemberAnswered = false;
            continue;
        }
        (asGroup ? groupSpread : eachSpread).push_back(spreadMs(wires));
        if (!asGroup)
            continue;
        const MessageLog::Message &reply = stamped.at(stamped.on(kGroupReply, from).front());
        const QJsonObject members =
            QJsonDocument::fromJson(reply.payload).object().value("members").toObject();
        for (auto it = members.begin(); it != members.end(); ++it)
            everyMemberAnswered = everyMemberAnswered && it.value().toObject().value("answered").toBool();
        everyMemberAnswered = everyMemberAnswered && members.size() == projectors;
        groupReply.push_back(millisBetween(*std::max_element(wires.begin(), wires.end()), reply.at));
    }
    std::printf("  one message on the group's topic:   spread first..last wire  median %7.1f  max %7.1f ms; "
                "last wire to the group's reply  median %6.1f  max %6.1f ms\n",
                percentile(groupSpread, 50), percentile(groupSpread, 100), percentile(groupReply, 50),
                percentile(groupReply, 100));
    std::printf("  one message per projector (peer):   spread first..last wire  median %7.1f  max %7.1f ms\n",
                percentile(eachSpread, 50), percentile(eachSpread, 100));
    gate.check(QStringLiteral("every member answered in every round"), everyMemberAnswered);
    gate.figure(
        [](double goal) { return QStringLiteral("group spread, worst round (goal < %1 ms)").arg(goal); },
        percentile(groupSpread, 100), kSpreadGoalMs, " ms", !groupSpread.empty());
    gate.figure(
        [](double goal) {
            return QStringLiteral("last answer to the group's reply, worst (goal < %1 ms)").arg(goal);
        },
        percentile(groupReply, 100), kReplyGoalMs, " ms", !groupReply.empty());
    const BridgeRun::Ending ending = bridge.stop(kStopMs);
    return judgeRun(gate, ending, bridge.logTail());
}
