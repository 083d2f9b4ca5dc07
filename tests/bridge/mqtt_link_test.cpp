// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/mosquitto_broker.h"

#include "bridge/mqtt_link.h"
#include "testing/wait.h"

#include <gtest/gtest.h>

namespace {

constexpr int kConnectMs = 10000;
const QString kBridgeAvailability = QStringLiteral("velno/bridge/availability");
const QString kHallAvailability = QStringLiteral("velno/hall/availability");

class MqttLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(broker.start()) << broker.log().toStdString(); }

    static bool waitConnected(MqttLink &link, int timeoutMs = kConnectMs)
    {
        return waitUntil([&] { return link.isConnected(); }, timeoutMs);
    }

    MqttLinkSettings settingsWithWill(const QString &clientId, const QByteArray &willPayload) const
    {
        MqttLinkSettings settings = broker.clientSettings(clientId);
        settings.hasWill = true;
        settings.will = {kBridgeAvailability, willPayload, true};
        return settings;
    }

    MosquittoBroker broker;
};

TEST_F(MqttLinkTest, CommandInAndReplyOutBetweenTwoClients)
{
    MessageCollector bridge(broker, QStringLiteral("bridge"), {QStringLiteral("velno/+/command")});
    MessageCollector panel(broker, QStringLiteral("panel"), {QStringLiteral("velno/hall/reply")});
    ASSERT_TRUE(bridge.waitReady());
    ASSERT_TRUE(panel.waitReady());

    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), "power-on", false, 1));
    EXPECT_EQ(bridge.take(QStringLiteral("velno/hall/command")), QByteArray("power-on"));
    // Payloads are bytes, not C strings: NUL, CR and non-UTF-8 bytes come through whole.
    const QByteArray binary("a\0b\r\xff", 5);
    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), binary));
    EXPECT_EQ(bridge.take(QStringLiteral("velno/hall/command")), binary);

    const QByteArray reply = R"({"command":"power-on","code":"C00","answered":true})";
    ASSERT_TRUE(bridge.link().publish(QStringLiteral("velno/hall/reply"), reply));
    EXPECT_EQ(panel.take(QStringLiteral("velno/hall/reply")), reply);
}

TEST_F(MqttLinkTest, RetainedMessageReachesALateSubscriber)
{
    {
        MqttLink publisher(broker.clientSettings(QStringLiteral("publisher")));
        ASSERT_TRUE(publisher.start());
        ASSERT_TRUE(waitConnected(publisher));
        ASSERT_TRUE(publisher.publish(QStringLiteral("velno/hall/status/input"), " Video", true, 1));
        EXPECT_TRUE(publisher.shutdown({}));
    }
    MessageCollector late(broker, QStringLiteral("late"), {QStringLiteral("velno/hall/status/#")});
    EXPECT_EQ(late.take(QStringLiteral("velno/hall/status/input")), QByteArray(" Video"));
}

TEST_F(MqttLinkTest, BrokerPublishesTheWillWhenTheConnectionDropsWithoutDisconnect)
{
    MessageCollector watcher(broker, QStringLiteral("watcher"), {kBridgeAvailability});
    ASSERT_TRUE(watcher.waitReady());
    auto bridge = std::make_unique<MqttLink>(settingsWithWill(QStringLiteral("bridge"), "offline"));
    ASSERT_TRUE(bridge->start());
    ASSERT_TRUE(waitConnected(*bridge));
    ASSERT_TRUE(bridge->publish(kBridgeAvailability, "online", true, 1));
    EXPECT_EQ(watcher.take(kBridgeAvailability), QByteArray("online"));

    bridge.reset(); // gone without a DISCONNECT, as in a crash
    EXPECT_EQ(watcher.take(kBridgeAvailability), QByteArray("offline"));
}

TEST_F(MqttLinkTest, ShutdownDeliversTheFinalMessagesAndSuppressesTheWill)
{
    MessageCollector watcher(broker, QStringLiteral("watcher"), {QStringLiteral("velno/+/availability")});
    ASSERT_TRUE(watcher.waitReady());
    MqttLink bridge(settingsWithWill(QStringLiteral("bridge"), "lost"));
    ASSERT_TRUE(bridge.start());
    ASSERT_TRUE(waitConnected(bridge));

    EXPECT_TRUE(
        bridge.shutdown({{kBridgeAvailability, "offline", true}, {kHallAvailability, "offline", true}}));
    EXPECT_FALSE(bridge.isConnected());
    EXPECT_EQ(watcher.take(kHallAvailability), QByteArray("offline"));
    EXPECT_EQ(watcher.take(kBridgeAvailability), QByteArray("offline"));

    // Had the will gone out, it would be the retained value now.
    MessageCollector late(broker, QStringLiteral("late"), {kBridgeAvailability});
    EXPECT_EQ(late.take(kBridgeAvailability), QByteArray("offline"));
    EXPECT_FALSE(watcher.seen(kBridgeAvailability).contains("lost"));
}

TEST_F(MqttLinkTest, ReconnectsWithBackoffAfterTheBrokerRestartsAndSubscribesAgain)
{
    MqttLink bridge(broker.clientSettings(QStringLiteral("bridge")));
    QList<QPair<QString, QByteArray>> commands;
    int connects = 0;
    QStringList lossReasons;
    QObject::connect(&bridge, &MqttLink::connected, [&] { ++connects; });
    QObject::connect(&bridge, &MqttLink::disconnected, [&](const QString &reason) { lossReasons << reason; });
    QObject::connect(&bridge, &MqttLink::messageReceived,
                     [&](const QString &topic, const QByteArray &payload) {
                         commands.append({topic, payload});
                     });
    bridge.subscribe(QStringLiteral("velno/+/command"));
    ASSERT_TRUE(bridge.start());
    ASSERT_TRUE(waitUntil([&] { return connects == 1; }, kConnectMs));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return lossReasons.size() == 1; }, kConnectMs));
    EXPECT_FALSE(lossReasons.constFirst().isEmpty());
    EXPECT_FALSE(bridge.isConnected());
    EXPECT_FALSE(bridge.publish(QStringLiteral("velno/hall/reply"), "dropped"));
    // Attempts against the stopped broker fail and the delay grows.
    ASSERT_TRUE(waitUntil([&] { return bridge.nextRetryDelayMs() >= 4000; }, 20000));

    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    ASSERT_TRUE(waitUntil([&] { return connects == 2; }, 30000));
    EXPECT_EQ(bridge.nextRetryDelayMs(), MqttLink::kFirstRetryDelayMs);

    MessageCollector panel(broker, QStringLiteral("panel"), {});
    ASSERT_TRUE(panel.waitReady());
    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), "power-off", false, 1));
    ASSERT_TRUE(waitUntil([&] { return !commands.isEmpty(); }, kConnectMs));
    EXPECT_EQ(commands.constFirst(),
              qMakePair(QStringLiteral("velno/hall/command"), QByteArray("power-off")));
}

TEST_F(MqttLinkTest, FirstConnectionWaitsForABrokerThatIsNotUpYet)
{
    broker.stop();
    MqttLink bridge(broker.clientSettings(QStringLiteral("bridge")));
    ASSERT_TRUE(bridge.start());
    ASSERT_TRUE(
        waitUntil([&] { return bridge.nextRetryDelayMs() > MqttLink::kFirstRetryDelayMs; }, kConnectMs));
    EXPECT_FALSE(bridge.isConnected());

    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    EXPECT_TRUE(waitConnected(bridge, 30000));
}

TEST(MqttLinkLoginTest, WrongPasswordIsRetriedAndTheRightOneConnects)
{
    MosquittoBroker broker;
    broker.requireLogin(QStringLiteral("bridge"), QStringLiteral("right horse battery"));
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();

    MqttLinkSettings wrong = broker.clientSettings(QStringLiteral("intruder"));
    wrong.username = QStringLiteral("bridge");
    wrong.password = QByteArrayLiteral("wrong");
    MqttLink refused(wrong);
    ASSERT_TRUE(refused.start());
    ASSERT_TRUE(
        waitUntil([&] { return refused.nextRetryDelayMs() >= 4 * MqttLink::kFirstRetryDelayMs; }, 20000));
    EXPECT_FALSE(refused.isConnected());

    MqttLinkSettings right = broker.clientSettings(QStringLiteral("bridge"));
    right.username = QStringLiteral("bridge");
    right.password = QByteArrayLiteral("right horse battery");
    MqttLink accepted(right);
    ASSERT_TRUE(accepted.start());
    EXPECT_TRUE(waitUntil([&] { return accepted.isConnected(); }, kConnectMs)) << broker.log().toStdString();
}

TEST_F(MqttLinkTest, UnreadableCaFileStopsTheStart)
{
    MqttLinkSettings settings = broker.clientSettings(QStringLiteral("bridge"));
    settings.caFile = QStringLiteral("/nonexistent/ca.pem");
    MqttLink bridge(settings);
    EXPECT_FALSE(bridge.start());
    EXPECT_TRUE(bridge.lastError().contains(settings.caFile)) << bridge.lastError().toStdString();
}

class MqttLinkTlsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        broker.useTls();
        ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    }
    MosquittoBroker broker;
};

TEST_F(MqttLinkTlsTest, RoundTripWithABrokerSignedByTheCa)
{
    MessageCollector panel(broker, QStringLiteral("panel"), {QStringLiteral("velno/hall/command")});
    ASSERT_TRUE(panel.waitReady()) << broker.log().toStdString();
    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), "power-on", false, 1));
    EXPECT_EQ(panel.take(QStringLiteral("velno/hall/command")), QByteArray("power-on"));
}

TEST_F(MqttLinkTlsTest, BrokerSignedByAnotherCaIsNeverConnected)
{
    MqttLinkSettings settings = broker.clientSettings(QStringLiteral("bridge"));
    settings.caFile = MosquittoBroker::unrelatedCaFile();
    MqttLink bridge(settings);
    bool everConnected = false;
    QObject::connect(&bridge, &MqttLink::connected, [&] { everConnected = true; });
    ASSERT_TRUE(bridge.start());
    // Two refused handshakes: the delay has doubled twice.
    ASSERT_TRUE(
        waitUntil([&] { return bridge.nextRetryDelayMs() >= 4 * MqttLink::kFirstRetryDelayMs; }, 20000));
    EXPECT_FALSE(everConnected);
}

} // namespace
