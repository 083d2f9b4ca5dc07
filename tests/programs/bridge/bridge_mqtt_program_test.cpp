// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge left running in a building: what it does with retained and
// flooded commands, a second bridge on the same broker, Home Assistant
// starting, and the numbers it publishes. (A device server that accepts and
// hangs up, and a projector switched off behind an open socket, are the
// projector link's, on the manual clock.)

#include "bridge_program_fixture.h"

#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_topics.h"

#include <QJsonArray>
#include <csignal>
#include <set>

namespace {

using BridgeMqttProgramTest = BridgeProgramTest;

QJsonObject objectOf(const std::optional<QByteArray> &payload)
{
    return payload ? QJsonDocument::fromJson(*payload).object() : QJsonObject();
}

TEST_F(BridgeMqttProgramTest, RetainedCommandIsRefusedAtEveryStartAndNeverRun)
{
    // As a switch set to retain would leave it.
    watch->link().publish(topic(kHall, "command"), R"({"command": "power-on", "id": "night"})", true, 1);
    for (int run = 0; run < 2; ++run) {
        runBridge({endpoint(kHall, hall)}, 0);
        const QJsonObject reply = objectOf(watch->take(topic(kHall, "reply"), kEventMs));
        EXPECT_TRUE(reply.value("error").toString().contains(QLatin1String("retained"))) << logText();
        EXPECT_EQ(reply.value("command").toString(), QStringLiteral("power-on"));
        EXPECT_EQ(reply.value("id").toString(), QStringLiteral("night"));
        EXPECT_EQ(bridge->logLines().filter(QStringLiteral("retained")).size(), 1) << logText();
        EXPECT_EQ(bridge->terminate(), 0);
    }
    EXPECT_FALSE(received(hall, "C00"));
}

TEST_F(BridgeMqttProgramTest, AFloodFillsTheQueueTheRestIsBusyAndTheBridgeGoesOn)
{
    sim::FaultSettings slow; // every answer takes a while, so the queue fills
    slow.mode = sim::Fault::Late;
    slow.lateDelayMs = 100;
    hall.setFault(slow);
    runBridge({endpoint(kHall, hall)}, 0);
    waitFirstRound(kHall);

    constexpr int kFlood = 40;
    for (int i = 0; i < kFlood; ++i)
        watch->link().publish(topic(kHall, "command"),
                              QStringLiteral(R"({"command": "display-clear", "id": %1})").arg(i).toUtf8(),
                              false, 1);
    int answered = 0;
    int busy = 0;
    std::set<int> ids;
    for (int i = 0; i < kFlood; ++i) {
        const QJsonObject reply = objectOf(watch->take(topic(kHall, "reply"), kEventMs));
        ids.insert(reply.value("id").toInt(-1));
        answered += reply.value("answered").toBool() ? 1 : 0;
        busy += reply.value("error").toString() == QLatin1String("busy") ? 1 : 0;
    }
    EXPECT_EQ(answered, 32);
    EXPECT_EQ(busy, 8);
    EXPECT_EQ(ids.size(), std::size_t(kFlood)) << "every command answered once";
    EXPECT_TRUE(command(kHall, "status").value("answered").toBool()) << logText();
    EXPECT_EQ(bridge->logLines().filter(QStringLiteral("refused")).size(), 1)
        << "one line a minute: " << logText();
}

TEST_F(BridgeMqttProgramTest, TheJsonStateCarriesTheReadingsAsNumbers)
{
    runBridge({endpoint(kHall, hall)}, 0);
    waitFirstRound(kHall);
    const auto latestState = [&] {
        const QList<QByteArray> states = watch->seen(topic(kHall, "state"));
        return states.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(states.back()).object();
    };
    QJsonObject state;
    ASSERT_TRUE(waitUntil(
        [&] {
            state = latestState();
            return !state.value("pressure_hpa").isNull() && state.contains("pressure_hpa");
        },
        kEventMs));
    EXPECT_EQ(state.value("power").toString(), QStringLiteral("off"));
    EXPECT_EQ(state.value("input").toString(), QStringLiteral("pc1"));
    EXPECT_EQ(state.value("lamp_hours").toInteger(), 1234);
    EXPECT_EQ(state.value("temperatures_c").toArray(), (QJsonArray{35.5, 40.0, 41.5}));
    EXPECT_EQ(state.value("pressure_hpa").toInteger(), 650);
    EXPECT_EQ(state.value("texts").toObject().value("status").toString(), QStringLiteral(" Stand by"));

    // No polls: the typed query alone, asked as the query, brings the new count.
    sim::Readings later;
    later.lampHours = 1300;
    hall.setReadings(later);
    hall.clearReceivedLines();
    command(kHall, "send CR3");
    EXPECT_TRUE(waitUntil([&] { return latestState().value("lamp_hours").toInteger() == 1300; }, kEventMs));
    EXPECT_EQ(hall.receivedLines(), std::vector<std::string>{"CR3"});
}

TEST_F(BridgeMqttProgramTest, HomeAssistantsBirthBringsDiscoveryAgain)
{
    runBridge({endpoint(kHall, hall)}, 0);
    MessageCollector ha(broker, QStringLiteral("ha"), {kDiscoveryPrefix + "/#"});
    ASSERT_TRUE(ha.waitReady());
    const auto configs = [&] { return ha.seen(discoveryMessages(kPrefix, kHall).front().topic).size(); };
    ASSERT_EQ(configs(), 1) << "the retained config, on subscribing";
    ha.link().publish(QStringLiteral("homeassistant/status"), "online", false, 1);
    EXPECT_TRUE(waitUntil([&] { return configs() == 2; }, kEventMs)) << logText();
}

TEST_F(BridgeMqttProgramTest, TwoBridgesWithTheirOwnPrefixesShareOneBrokerWithoutColliding)
{
    sim::PtyServer otherHall;
    ASSERT_TRUE(otherHall.start());
    MessageCollector ha(broker, QStringLiteral("ha"), {kDiscoveryPrefix + "/#", "site-a/#", "site-b/#"});
    ASSERT_TRUE(ha.waitReady());
    BridgeProcess a(bridgeArguments({endpoint(kHall, hall)}, 0) << "--topic-prefix"
                                                                << "site-a");
    BridgeProcess b(bridgeArguments({endpoint(kHall, otherHall)}, 0) << "--topic-prefix"
                                                                     << "site-b");
    for (const char *site : {"site-a", "site-b"})
        ASSERT_TRUE(waitUntil(
            [&] { return ha.seen(QStringLiteral("%1/hall/availability").arg(site)).contains("online"); },
            kEventMs));
    std::set<QString> topics;
    for (const QString &prefix : {QStringLiteral("site-a"), QStringLiteral("site-b")})
        for (const DiscoveryMessage &m : discoveryMessages(prefix, kHall)) {
            EXPECT_TRUE(waitUntil([&] { return ha.seen(m.topic).size() == 1; }, kEventMs))
                << m.topic.toStdString();
            topics.insert(m.topic);
        }
    EXPECT_EQ(topics.size(), 2 * discoveryMessages(kPrefix, kHall).size());

    ha.link().publish(QStringLiteral("site-a/hall/command"), "power-on", false, 1);
    EXPECT_TRUE(objectOf(ha.take(QStringLiteral("site-a/hall/reply"), kEventMs)).value("answered").toBool());
    EXPECT_TRUE(received(hall, "C00"));
    EXPECT_FALSE(received(otherHall, "C00"));
    // Each keeps its own connection: with one client id, the broker would drop one, again and again.
    for (BridgeProcess *bridgeProcess : {&a, &b})
        EXPECT_TRUE(bridgeProcess->logLines().filter(QStringLiteral("lost")).isEmpty())
            << bridgeProcess->logLines().join('\n').toStdString();
    // One dies: its will speaks for it alone.
    ::kill(pid_t(a.pid()), SIGKILL);
    EXPECT_TRUE(waitUntil(
        [&] { return ha.seen(QStringLiteral("site-a/bridge/availability")).contains("offline"); }, kEventMs));
    EXPECT_FALSE(ha.seen(QStringLiteral("site-b/bridge/availability")).contains("offline"));
}

TEST_F(BridgeMqttProgramTest, UnderNohupAHangUpLeavesItRunning)
{
    bridge = std::make_unique<BridgeProcess>(QStringList{QStringLiteral(VELNO_BRIDGE_EXE)} +
                                                 bridgeArguments({endpoint(kHall, hall)}, 0),
                                             QStringLiteral("nohup"));
    ASSERT_EQ(watch->take(topic(kHall, "availability"), kEventMs), QByteArray("online")) << logText();
    ::kill(pid_t(bridge->pid()), SIGHUP);
    pumpEvents(500);
    EXPECT_TRUE(bridge->isRunning());
    EXPECT_TRUE(command(kHall, "status").value("answered").toBool());
    EXPECT_EQ(bridge->terminate(), 0);
}

struct CmdRun {
    int status = -1;
    QJsonObject reply;
    QString err;
};

// velno-cmd, as a cron job runs it, through the bridge.
CmdRun velnoCmd(const MosquittoBroker &broker, const QString &projector, const QStringList &more)
{
    QProcess cmd;
    cmd.start(QStringLiteral(VELNO_CMD_EXE),
              QStringList{QStringLiteral("--port"),
                          QStringLiteral("mqtt://127.0.0.1:%1/%2").arg(broker.port()).arg(projector),
                          QStringLiteral("--json")} +
                  more);
    CmdRun run;
    if (!cmd.waitForFinished(kEventMs))
        return run;
    run.status = cmd.exitStatus() == QProcess::NormalExit ? cmd.exitCode() : -1;
    run.reply = QJsonDocument::fromJson(cmd.readAllStandardOutput()).object();
    run.err = QString::fromLocal8Bit(cmd.readAllStandardError());
    return run;
}

// Replies 1.5 s late, commands back to back: a 500 ms window closes
// unanswered, a longer one gets its own reply, never the one before's.
TEST_F(BridgeMqttProgramTest, ALateProjectorsRepliesGoToTheirOwnCommandOrToNone)
{
    runBridge({endpoint(kHall, hall)}, 0);
    sim::FaultSettings late;
    late.mode = sim::Fault::Late;
    late.lateDelayMs = 1500;
    hall.setFault(late);
    const struct {
        const char *command;
        const char *ownReply;
        bool inTime;
    } asked[] = {{"status", "80\r", false},
                 {"pc1-rgb", "\x06\r", true},
                 {"lamp-time", "1234\r", false},
                 {"info", "KT70 PV70 PV75\r", true},
                 {"input", "1\r", false}};
    for (const auto &a : asked) {
        const QJsonObject reply =
            command(kHall, QStringLiteral(R"({"command": "%1"})").arg(a.command).toUtf8());
        EXPECT_EQ(reply.value("answered").toBool(), a.inTime) << a.command << logText();
        if (reply.value("answered").toBool()) {
            EXPECT_EQ(reply.value("reply").toString(), QLatin1String(a.ownReply)) << a.command;
        }
    }
    // Nor a reading from another question's reply: the stand-by "80" never as lamp hours.
    const QList<QByteArray> states = watch->seen(topic(kHall, "state"));
    ASSERT_FALSE(states.isEmpty());
    for (const QByteArray &state : states) {
        const QJsonValue hours = QJsonDocument::fromJson(state).object().value("lamp_hours");
        EXPECT_TRUE(hours.isNull() || hours.toInteger() == 1234) << state.constData();
    }
}

TEST_F(BridgeMqttProgramTest, ScriptsReachAProjectorThroughTheBridgeAndExitAsOnTheirOwnPort)
{
    runBridge({endpoint(kHall, hall)}, 0);
    const CmdRun answered = velnoCmd(broker, kHall, {QStringLiteral("status")});
    EXPECT_EQ(answered.status, 0) << answered.err.toStdString();
    EXPECT_EQ(answered.reply.value("status").toString(), QStringLiteral(" Stand by"));
    EXPECT_FALSE(answered.reply.contains("id")) << "what a local port prints, no more";

    sim::FaultSettings refuse;
    refuse.mode = sim::Fault::Refuse;
    hall.setFault(refuse);
    const CmdRun refused = velnoCmd(broker, kHall, {QStringLiteral("pc2")});
    EXPECT_EQ(refused.status, 4) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(QLatin1String("refused by the projector"))) << refused.err.toStdString();
    // As published: answered, with the error.
    const auto lastReply = [&] {
        const QList<QByteArray> replies = watch->seen(topic(kHall, "reply"));
        return replies.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(replies.last()).object();
    };
    ASSERT_TRUE(waitUntil([&] { return lastReply().value("code") == QStringLiteral("C06"); }, kEventMs));
    const QJsonObject published = lastReply();
    EXPECT_EQ(published.value("error").toString(), QStringLiteral("refused by the projector"));
    EXPECT_TRUE(published.value("answered").toBool());

    // Last: a reply the silent projector owes holds the line for 10 s.
    sim::FaultSettings silent;
    silent.mode = sim::Fault::Silent;
    hall.setFault(silent);
    const CmdRun unanswered = velnoCmd(broker, kHall, {QStringLiteral("status")});
    EXPECT_EQ(unanswered.status, 3) << unanswered.err.toStdString();
    EXPECT_FALSE(unanswered.reply.value("answered").toBool());

    const CmdRun unknown =
        velnoCmd(broker, QStringLiteral("nowhere"),
                 {QStringLiteral("--timeout"), QStringLiteral("1500"), QStringLiteral("status")});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains(QLatin1String("no reply from the bridge"))) << unknown.err.toStdString();

    EXPECT_EQ(bridge->terminate(), 0);
    const CmdRun stopped = velnoCmd(broker, kHall, {QStringLiteral("power-on")});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_TRUE(stopped.err.contains(QLatin1String("offline"))) << stopped.err.toStdString();
    EXPECT_FALSE(received(hall, "C00"));
}

} // namespace
