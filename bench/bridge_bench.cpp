// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge as it runs in a building, timed from outside: the real
// program as its own process between a real mosquitto on loopback and
// simulated projectors, every line stamped as it reaches the projector and
// every reply as it reaches a subscriber.
//
//  (a) an idle bridge (--poll 3600, each round after a command over): a
//      `status` published on velno/ID/command to its reply on velno/ID/reply;
//  (b) the poll round that follows a command: from its first query reaching
//      the projector to its last query's exchange being over, the latter seen
//      as the arrival of a probe command published the moment that last query
//      arrived (a command waits for the running query; when the probe's own
//      delivery is the slower, the figure is an upper bound);
//  (c) a command published the moment a round's first query reaches the
//      projector, which answers that one query 200 ms late (so the command is
//      surely there while it runs): the command's reply measured from the
//      moment that late answer was due, and the queries run before it;
//  (d) 5 socket:// projectors on a listener that never accepts (backlog
//      full) and 5 on refused ports, all on loopback, beside one working
//      projector on a pty: `status` published to the working one every 20 ms
//      for 30 s, and, 10 ms after each, a command name the bridge refuses at
//      once (its reply involves no serial line: only the event loop and the
//      broker connection).
//
// Each part is bounded in time as well as in count, so that a build whose
// exchanges take seconds still ends within minutes; the count measured is
// printed with each figure.
//
// Usage: bridge_bench [--qos 0|1] [VELNO_BRIDGE]
//   --qos         the QoS the commands are published at (default 1, as the
//                 bridge's tests publish them)
//   VELNO_BRIDGE  the velno-bridge to measure (default: this build's)

#include "bench_stats.h"
#include "bridge_rig.h"
#include "protocol/commands.h"
#include "testing/mosquitto_broker.h"
#include "testing/silent_listener.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {

const QString kPrefix = QStringLiteral("velno");
const QByteArray kStatus = QByteArrayLiteral("status");
// A command, not a query: the bridge asks a whole round after it.
const QByteArray kDisplayClear = QByteArrayLiteral("display-clear");
const QByteArray kRefused = QByteArrayLiteral("bench-unknown-command");
constexpr std::size_t kQueriesPerRound = 9;
// A command's line, then the round of queries it causes.
constexpr std::size_t kLinesPerCommand = 1 + kQueriesPerRound;

constexpr int kLatencySamples = 100, kLatencyBudgetMs = 40000, kLatencyGoalP95Ms = 50;
constexpr int kRounds = 10, kRoundsBudgetMs = 60000, kRoundGoalMs = 300;
constexpr int kDuringRoundTrials = 5, kDuringRoundBudgetMs = 40000, kDuringRoundGoalMs = 100;
constexpr int kLateAnswerMs = 200;
constexpr int kUnreachableEach = 5, kStallPeriodMs = 20, kStallSeconds = 30, kStallGoalMs = 50;
// Bounds of single waits: generous, for a build whose round takes tens of seconds.
constexpr int kEventMs = 30000, kRoundMs = 90000, kNeighboursUpMs = 30000;
// After the last command of (d), how long its replies may still come.
constexpr int kStragglersMs = 10000;

QString topic(const QString &id, const QString &leaf)
{
    return kPrefix + QLatin1Char('/') + id + QLatin1Char('/') + leaf;
}

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

std::string statusCode()
{
    return findCommand(QString::fromLatin1(kStatus))->code;
}

// The working projector and the subscriber that watches the bridge.
struct Stage {
    // Each run of the bridge gets a projector ID of its own, so that nothing
    // the broker kept from an earlier run is taken for this one's.
    Stage(const MosquittoBroker &broker, const QString &projectorId, int commandQos)
        : id(projectorId), qos(commandQos), lines(projector),
          watch(broker, QStringLiteral("bench"), {kPrefix + QStringLiteral("/#")}), messages(watch.link())
    {
    }
    bool start(const MosquittoBroker &broker)
    {
        return projector.start() && watch.waitReady() && sendAtOnceOnConnectionsTo(broker.port()) > 0;
    }
    // The projector's thread calls into `lines`: it stops first.
    ~Stage() { projector.stop(); }
    void publish(const QByteArray &payload)
    {
        watch.link().publish(topic(id, "command"), payload, false, qos);
    }
    std::size_t replies() const { return messages.on(topic(id, "reply")).size(); }
    QString endpoint() const
    {
        return id + QLatin1Char('=') + QString::fromStdString(projector.devicePath());
    }

    QString id;
    int qos;
    sim::PtyServer projector;
    LineLog lines;
    MessageCollector watch;
    MessageLog messages;
};

// Waits for the stage projector online and its first round over.
bool bringUp(Stage &stage, BridgeRun &bridge)
{
    const QString lastOfRound = topic(stage.id, "status/lamp-mode");
    if (!stage.messages.waitFor(topic(stage.id, "availability"), "online", 0, kEventMs * 2) ||
        !runUntil([&] { return !stage.messages.on(lastOfRound).empty(); }, kRoundMs)) {
        std::fprintf(stderr, "bridge_bench: the stage projector did not come online with a first round\n%s\n",
                     qPrintable(bridge.logTail()));
        return false;
    }
    return stage.lines.waitSettled(0, kQueriesPerRound, kRoundMs);
}

void idleLatency(Stage &stage)
{
    // The whole, and its two halves: to the command's line reaching the
    // projector, and from there to the reply.
    std::vector<double> ms, toLine, fromLine;
    int wrong = 0, unanswered = 0;
    const auto budgetEnd = Clock::now() + std::chrono::milliseconds(kLatencyBudgetMs);
    while (int(ms.size()) + unanswered < kLatencySamples && Clock::now() < budgetEnd) {
        const std::size_t lineFrom = stage.lines.size(), repliesFrom = stage.replies();
        const auto published = Clock::now();
        stage.publish(kStatus);
        if (!runUntil([&] { return stage.replies() > repliesFrom; }, kEventMs)) {
            ++unanswered;
            break;
        }
        const MessageLog::Message &reply =
            stage.messages.at(stage.messages.on(topic(stage.id, "reply")).back());
        ms.push_back(millisBetween(published, reply.at));
        wrong += json(reply.payload).value("answered").toBool() ? 0 : 1;
        if (stage.lines.size() > lineFrom) {
            toLine.push_back(millisBetween(published, stage.lines.at(lineFrom).at));
            fromLine.push_back(millisBetween(stage.lines.at(lineFrom).at, reply.at));
        }
        // The command's line, and whatever follows it (a build that asks a
        // round after a query too): until the line falls quiet.
        stage.lines.waitSettled(lineFrom, 1, kRoundMs);
    }
    const double p95 = percentile(ms, 95);
    std::printf("(a) status published to its reply, idle bridge: n=%zu (%d unanswered, %d answered=false)\n"
                "    p50 %.1f ms, p95 %.1f ms, max %.1f ms (goal p95 < %d ms): %s\n"
                "    of which publish to the line at the projector p50 %.1f ms (max %.1f), line to reply p50 "
                "%.1f ms (max %.1f)\n",
                ms.size(), unanswered, wrong, percentile(ms, 50), p95, percentile(ms, 100), kLatencyGoalP95Ms,
                verdict(!ms.empty() && unanswered == 0 && p95 < kLatencyGoalP95Ms), percentile(toLine, 50),
                percentile(toLine, 100), percentile(fromLine, 50), percentile(fromLine, 100));
}

void pollRounds(Stage &stage)
{
    // Lines from `from` on: a command (the kick, then each probe), then the
    // nine queries of the round it caused, and so on.
    const std::size_t from = stage.lines.size();
    std::atomic<bool> probing{true};
    stage.lines.setHook([&](std::size_t index, const LineLog::Line &) {
        if (index >= from && (index - from) % kLinesPerCommand == kQueriesPerRound &&
            (index - from) / kLinesPerCommand < kRounds && probing)
            QMetaObject::invokeMethod(
                qApp, [&stage] { stage.publish(kDisplayClear); }, Qt::QueuedConnection);
    });
    stage.publish(kDisplayClear);
    runUntil([&] { return stage.lines.size() >= from + kLinesPerCommand * kRounds + 1; }, kRoundsBudgetMs);
    probing = false;
    // The round under way, and one more if a probe was already on its way.
    stage.lines.waitSettled(stage.lines.size() - kQueriesPerRound, kQueriesPerRound, kRoundMs);
    stage.lines.setHook(nullptr);

    const std::vector<std::string> codes = queryCodes();
    std::vector<double> round, queryLines;
    int outOfOrder = 0;
    for (std::size_t first = from + 1; first + kQueriesPerRound < stage.lines.size();
         first += kLinesPerCommand) {
        for (std::size_t q = 0; q < kQueriesPerRound; ++q)
            outOfOrder += stage.lines.at(first + q).text == codes[q] ? 0 : 1;
        const Clock::time_point start = stage.lines.at(first).at;
        queryLines.push_back(millisBetween(start, stage.lines.at(first + kQueriesPerRound - 1).at));
        round.push_back(millisBetween(start, stage.lines.at(first + kQueriesPerRound).at));
    }
    const double median = percentile(round, 50);
    std::printf("(b) poll round of %zu queries after a command: n=%zu rounds (%d lines out of order)\n"
                "    first query to last query's exchange over: median %.1f ms (max %.1f); first to last "
                "query line: median %.1f ms (goal < %d ms): %s\n",
                kQueriesPerRound, round.size(), outOfOrder, median, percentile(round, 100),
                percentile(queryLines, 50), kRoundGoalMs,
                verdict(!round.empty() && outOfOrder == 0 && median < kRoundGoalMs));
}

void commandDuringRound(Stage &stage)
{
    sim::FaultSettings late;
    late.mode = sim::Fault::Late;
    late.lateDelayMs = kLateAnswerMs;
    std::vector<double> delays;
    std::vector<int> queriesBefore;
    int unanswered = 0;
    const auto budgetEnd = Clock::now() + std::chrono::milliseconds(kDuringRoundBudgetMs);
    while (int(delays.size()) + unanswered < kDuringRoundTrials && Clock::now() < budgetEnd) {
        const std::size_t from = stage.lines.size(), repliesFrom = stage.replies();
        // The command's own line arms the late answer for the line after it,
        // the round's first query, which publishes the command under test.
        stage.lines.setHook([&](std::size_t index, const LineLog::Line &) {
            if (index == from) {
                stage.projector.setFault(late);
            } else if (index == from + 1) {
                stage.projector.setFault({});
                QMetaObject::invokeMethod(
                    qApp, [&stage] { stage.publish(kStatus); }, Qt::QueuedConnection);
            }
        });
        stage.publish(kDisplayClear); // a command: a round follows it
        const bool answered = runUntil([&] { return stage.replies() >= repliesFrom + 2; }, kRoundMs);
        stage.lines.setHook(nullptr);
        if (!answered) {
            ++unanswered;
            break;
        }
        const Clock::time_point lateAnswerDue =
            stage.lines.at(from + 1).at + std::chrono::milliseconds(kLateAnswerMs);
        const std::size_t reply = stage.messages.on(topic(stage.id, "reply"))[repliesFrom + 1];
        delays.push_back(millisBetween(lateAnswerDue, stage.messages.at(reply).at));
        // The command under test is the first `status` line after the round's first query.
        std::size_t commandLine = from + 2;
        while (commandLine < stage.lines.size() && stage.lines.at(commandLine).text != statusCode())
            ++commandLine;
        queriesBefore.push_back(int(commandLine - (from + 1)));
        stage.lines.waitSettled(commandLine, 1, kRoundMs);
    }
    QStringList counts;
    bool exactlyOne = !queriesBefore.empty();
    for (int n : queriesBefore) {
        counts << QString::number(n);
        exactlyOne = exactlyOne && n == 1;
    }
    const double worst = percentile(delays, 100);
    std::printf(
        "(c) command published when a round's first query (answered %d ms late) reached the projector: "
        "n=%zu (%d unanswered)\n"
        "    its reply after that late answer was due: median %.1f ms, max %.1f ms; queries run before "
        "it: %s (goal within %d ms, exactly one): %s\n",
        kLateAnswerMs, delays.size(), unanswered, percentile(delays, 50), worst,
        qPrintable(counts.join(QLatin1Char(','))), kDuringRoundGoalMs,
        verdict(unanswered == 0 && exactlyOne && worst <= kDuringRoundGoalMs));
}

struct Latencies {
    std::vector<double> ms;
    std::size_t published = 0;
};

void printLatencies(const char *what, const Latencies &l)
{
    std::printf("    %-36s answered %zu of %zu, p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", what, l.ms.size(),
                l.published, percentile(l.ms, 50), percentile(l.ms, 99), percentile(l.ms, 100));
}

bool unreachableNeighbours(const MosquittoBroker &broker, const QString &program, int qos)
{
    Stage stage(broker, QStringLiteral("lab"), qos);
    if (!stage.start(broker))
        return false;
    std::vector<std::unique_ptr<SilentListener>> dark;
    QStringList projectors{stage.endpoint()};
    for (int i = 0; i < kUnreachableEach; ++i) {
        dark.push_back(std::make_unique<SilentListener>());
        projectors << QStringLiteral("dark%1=socket://127.0.0.1:%2").arg(i).arg(dark.back()->port())
                   << QStringLiteral("refused%1=socket://127.0.0.1:%2").arg(i).arg(refusingPort());
    }
    // A bridge whose event loop the dark neighbours block may never announce
    // the working projector: the commands are published all the same, and
    // those it never answers count against it.
    const auto launched = Clock::now();
    BridgeRun bridge(program, broker.port(), 3600, projectors);
    const bool online = stage.messages.waitFor(topic(stage.id, "availability"), "online", 0, kNeighboursUpMs);
    const double onlineAfterMs = millisBetween(launched, Clock::now());
    if (online && runUntil([&] { return !stage.messages.on(topic(stage.id, "status/lamp-mode")).empty(); },
                           kNeighboursUpMs))
        stage.lines.waitSettled(0, kQueriesPerRound, kNeighboursUpMs);

    const std::size_t messagesFrom = stage.messages.size();
    std::vector<Clock::time_point> statusAt, refusedAt;
    QTimer statusTimer, refusedTimer;
    for (QTimer *timer : {&statusTimer, &refusedTimer})
        timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(&statusTimer, &QTimer::timeout, [&] {
        statusAt.push_back(Clock::now());
        stage.publish(kStatus);
    });
    QObject::connect(&refusedTimer, &QTimer::timeout, [&] {
        refusedAt.push_back(Clock::now());
        stage.publish(kRefused);
    });
    statusTimer.start(kStallPeriodMs);
    QTimer::singleShot(kStallPeriodMs / 2, &refusedTimer, [&] { refusedTimer.start(kStallPeriodMs); });
    runUntil([] { return false; }, kStallSeconds * 1000);
    statusTimer.stop();
    refusedTimer.stop();

    // Replies come in the order of their commands, separately for each kind;
    // a refusal is the one with an error.
    const auto replies = [&](bool refusals) {
        std::vector<Clock::time_point> at;
        for (std::size_t i : stage.messages.on(topic(stage.id, "reply"), messagesFrom))
            if (json(stage.messages.at(i).payload).contains(QLatin1String("error")) == refusals)
                at.push_back(stage.messages.at(i).at);
        return at;
    };
    runUntil(
        [&] { return replies(false).size() >= statusAt.size() && replies(true).size() >= refusedAt.size(); },
        kStragglersMs);
    const auto latencies = [](const std::vector<Clock::time_point> &sent,
                              const std::vector<Clock::time_point> &answered) {
        Latencies l;
        l.published = sent.size();
        for (std::size_t i = 0; i < std::min(sent.size(), answered.size()); ++i)
            l.ms.push_back(millisBetween(sent[i], answered[i]));
        return l;
    };
    const Latencies status = latencies(statusAt, replies(false));
    const Latencies refused = latencies(refusedAt, replies(true));
    const bool willSent =
        stage.messages.waitFor(kPrefix + QStringLiteral("/bridge/availability"), "offline", messagesFrom, 0);
    std::printf(
        "(d) %d socket:// projectors that never connect and %d refused, beside one on a pty: a command "
        "every %d ms for %d s\n",
        kUnreachableEach, kUnreachableEach, kStallPeriodMs, kStallSeconds);
    if (online)
        std::printf("    the working projector announced online %.0f ms after the bridge started\n",
                    onlineAfterMs);
    else
        std::printf("    the working projector NOT announced online within %d s of the bridge's start\n",
                    kNeighboursUpMs / 1000);
    printLatencies("status to the working projector:", status);
    printLatencies("a command refused without the line:", refused);
    const bool met = online && status.ms.size() == status.published &&
                     refused.ms.size() == refused.published && percentile(status.ms, 100) <= kStallGoalMs &&
                     percentile(refused.ms, 100) <= kStallGoalMs;
    std::printf(
        "    the broker dropped the bridge (its will published): %s; (goal: no reply over %d ms): %s\n",
        willSent ? "yes" : "no", kStallGoalMs, verdict(met && !willSent));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString program = QStringLiteral(VELNO_BRIDGE_EXE);
    int qos = 1;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--qos") && i + 1 < arguments.size() &&
            (arguments[i + 1] == QLatin1String("0") || arguments[i + 1] == QLatin1String("1"))) {
            qos = arguments[++i].toInt();
        } else if (!arguments[i].startsWith(QLatin1Char('-'))) {
            program = arguments[i];
        } else {
            std::fprintf(stderr, "usage: bridge_bench [--qos 0|1] [VELNO_BRIDGE]\n");
            return 2;
        }
    }
    MosquittoBroker broker;
    broker.useTcpNoDelay();
    if (!broker.start()) {
        std::fprintf(stderr, "bridge_bench: no broker: %s\n", qPrintable(broker.log()));
        return 1;
    }
    std::printf("velno-bridge: %s, broker on 127.0.0.1:%u, commands published at QoS %d\n",
                qPrintable(program), broker.port(), qos);
    std::fflush(stdout);
    {
        Stage stage(broker, QStringLiteral("hall"), qos);
        if (!stage.start(broker))
            return 1;
        BridgeRun bridge(program, broker.port(), 3600, {stage.endpoint()});
        if (!bringUp(stage, bridge))
            return 1;
        idleLatency(stage);
        std::fflush(stdout);
        pollRounds(stage);
        std::fflush(stdout);
        commandDuringRound(stage);
        std::fflush(stdout);
    }
    return unreachableNeighbours(broker, program, qos) ? 0 : 1;
}
