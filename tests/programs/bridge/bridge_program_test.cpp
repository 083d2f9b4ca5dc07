// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge as it runs in a building: the real program between a real
// broker and simulated projectors, watched from the broker as an automation
// system would watch it.

#include "bridge_program_fixture.h"

#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_topics.h"

#include <QJsonArray>
#include <QUrl>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST_F(BridgeProgramTest, CommandRoundTripAndTheStatusLeftRetainedAfterPowerOn)
{
    runBridge({endpoint(kHall, hall)}, 1);

    const QJsonObject reply = command(kHall, "power-on");
    EXPECT_EQ(reply.value("command").toString(), "power-on");
    EXPECT_EQ(reply.value("code").toString(), "C00");
    EXPECT_EQ(reply.value("sent").toString(), "C00\r");
    EXPECT_EQ(reply.value("reply").toString(), "\x06\r");
    EXPECT_TRUE(reply.value("answered").toBool());
    EXPECT_TRUE(reply.value("status").isNull());
    EXPECT_TRUE(reply.value("elapsed_ms").isDouble());
    EXPECT_TRUE(received(hall, "C00"));

    const QJsonObject typed = command(kHall, "send CR3");
    EXPECT_EQ(typed.value("command").toString(), "lamp-time") << "a typed query's code is the query";
    EXPECT_EQ(typed.value("code").toString(), "CR3");
    EXPECT_TRUE(typed.value("status").toString().contains("Hour Use"));

    // The polls see the count-down end; whoever subscribes later gets the last word.
    const QString state = topic(kHall, "status/status");
    ASSERT_TRUE(waitUntil([&] { return watch->seen(state).contains(" Power ON"); }, kRoundMs)) << logText();
    MessageCollector late(broker, QStringLiteral("late"), {state});
    ASSERT_TRUE(late.waitReady());
    EXPECT_EQ(late.seen(state), QList<QByteArray>{" Power ON"});
}

TEST_F(BridgeProgramTest, DiscoveryIsRetainedAndPointsAtTopicsThatCarryValues)
{
    runBridge({endpoint(kHall, hall)}, 0);
    waitFirstRound(kHall);

    MessageCollector late(broker, QStringLiteral("late"), {kDiscoveryPrefix + "/#", topic(kHall, "#")});
    ASSERT_TRUE(late.waitReady());
    for (const DiscoveryMessage &message : discoveryMessages(kPrefix, kHall)) {
        SCOPED_TRACE(message.topic.toStdString());
        const QList<QByteArray> configs = late.seen(message.topic);
        ASSERT_EQ(configs.size(), 1);
        QJsonParseError error;
        const QJsonObject config = QJsonDocument::fromJson(configs.front(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError);
        const QString state = config.value("state_topic").toString();
        EXPECT_EQ(state, topic(kHall, QStringLiteral("state")));
        EXPECT_EQ(late.seen(state).size(), 1) << "no retained value on " << state.toStdString();
        if (config.contains("command_topic")) {
            EXPECT_EQ(config.value("command_topic").toString(), topic(kHall, "command"));
        }
        QStringList availability;
        for (const QJsonValue &entry : config.value("availability").toArray())
            availability << entry.toObject().value("topic").toString();
        EXPECT_TRUE(availability.contains(topic(kHall, "availability")));
        EXPECT_TRUE(availability.contains(bridgeAvailabilityTopic(kPrefix)));
    }
}

TEST_F(BridgeProgramTest, UnsafePayloadsAreRefusedAndNeverReachTheLine)
{
    runBridge({endpoint(kHall, hall)}, 0);
    waitFirstRound(kHall);
    hall.clearReceivedLines();

    const QByteArray unsafe[] = {"send C00\rC01", "send " + QByteArray(10 * 1024, 'A'),
                                 "send C0\xe3\x81\x82" /* U+3042 */};
    QList<QJsonObject> refusals;
    for (const QByteArray &payload : unsafe)
        refusals << command(kHall, payload);
    // Commands run in arrival order: had a refused one been sent, it would come first.
    const QJsonObject marker = command(kHall, "display-clear");
    ASSERT_TRUE(marker.value("answered").toBool()) << logText();
    ASSERT_FALSE(hall.receivedLines().empty());
    EXPECT_EQ(hall.receivedLines().front(), "C1E");
    for (const QJsonObject &refusal : refusals) {
        EXPECT_FALSE(refusal.value("answered").toBool());
        EXPECT_FALSE(refusal.value("error").toString().isEmpty());
        for (const QString &field : marker.keys())
            EXPECT_TRUE(refusal.contains(field)) << "refusal without " << field.toStdString();
    }
}

TEST_F(BridgeProgramTest, TwoProjectorsAreServedIndependently)
{
    sim::PtyServer lab(sim::PowerTimings{1000, 1000});
    ASSERT_TRUE(lab.listen("127.0.0.1", 0));
    runBridge({endpoint(kHall, hall), endpoint(kLab, lab)}, 0);
    waitFirstRound(kHall);
    waitFirstRound(kLab);
    hall.clearReceivedLines();
    lab.clearReceivedLines();

    EXPECT_TRUE(command(kLab, "pc2").value("answered").toBool());
    EXPECT_TRUE(received(lab, "C06"));
    EXPECT_TRUE(command(kHall, "video").value("answered").toBool());
    EXPECT_TRUE(received(hall, "C07"));
    EXPECT_FALSE(received(hall, "C06"));
    EXPECT_FALSE(received(lab, "C07"));

    // The hall's projector goes away in the middle of the round its command started.
    const int logMark = bridge->logLines().size();
    const QString labAvailability = topic(kLab, "availability");
    const QList<QByteArray> labStates = watch->seen(labAvailability);
    ASSERT_EQ(labStates.value(labStates.size() - 1), QByteArray("online"));
    // Held open, the device's number is not given to another pseudo-terminal
    // while the bridge keeps trying it.
    const int holdNumber = ::open(hall.devicePath().c_str(), O_RDWR | O_NOCTTY);
    hall.vanish();
    EXPECT_EQ(watch->take(topic(kHall, "availability"), kEventMs), QByteArray("offline"));
    const QJsonObject refused = command(kHall, "status");
    EXPECT_FALSE(refused.value("answered").toBool());
    EXPECT_FALSE(refused.value("error").toString().isEmpty());
    EXPECT_TRUE(command(kLab, "status").value("answered").toBool());
    EXPECT_EQ(watch->seen(labAvailability), labStates) << "the lab stays online throughout";
    // The loss, and the refused command; then nothing more while reopening
    // attempts fail.
    const auto hallLines = [&] { return bridge->logLines().mid(logMark).filter(QStringLiteral("hall: ")); };
    EXPECT_TRUE(waitUntil([&] { return hallLines().size() >= 2; }, kEventMs)) << logText();
    pumpEvents(4000);
    EXPECT_EQ(hallLines().filter(QStringLiteral(" lost")).size(), 1) << logText();
    EXPECT_EQ(hallLines().size(), 2) << logText();
    ::close(holdNumber);
}

TEST_F(BridgeProgramTest, ProjectorOnASocketIsOnlineAgainWhenItsServerReturns)
{
    sim::PtyServer lab;
    ASSERT_TRUE(lab.listen("127.0.0.1", 0));
    const int port = QUrl(QString::fromStdString(lab.devicePath())).port();
    runBridge({endpoint(kLab, lab)}, 0);
    waitFirstRound(kLab);

    lab.vanish();
    EXPECT_EQ(watch->take(topic(kLab, "availability"), kEventMs), QByteArray("offline"));
    pumpEvents(2000);
    ASSERT_TRUE(lab.listen("127.0.0.1", port));
    EXPECT_EQ(watch->take(topic(kLab, "availability"), kEventMs), QByteArray("online")) << logText();
    EXPECT_TRUE(command(kLab, "status").value("answered").toBool());
}

TEST_F(BridgeProgramTest, SigtermLeavesEverythingOfflineAndExitsWithZero)
{
    runBridge({endpoint(kHall, hall)}, 0);

    EXPECT_EQ(bridge->terminate(), 0) << logText();
    MessageCollector late(broker, QStringLiteral("late"), {kPrefix + "/+/availability"});
    ASSERT_TRUE(late.waitReady());
    EXPECT_EQ(late.seen(bridgeAvailabilityTopic(kPrefix)), QList<QByteArray>{"offline"});
    EXPECT_EQ(late.seen(topic(kHall, "availability")), QList<QByteArray>{"offline"});
}

} // namespace
