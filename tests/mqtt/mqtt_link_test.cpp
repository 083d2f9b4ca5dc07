// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/mosquitto_broker.h"

#include "mqtt/mqtt_link.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QTcpServer>
#include <QTcpSocket>

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

// A link on the manual clock: every wait between attempts is the test's to
// end, the broker's answers are real.
struct ClockedLink {
    explicit ClockedLink(const MqttLinkSettings &settings) : link(settings, nullptr, clock.clock().makeTimer)
    {
        QObject::connect(&link, &MqttLink::errorOccurred, [this](MqttLink::Error e, const QString &why) {
            errors.append({e, why});
        });
        QObject::connect(&link, &MqttLink::connected, [this] { ++connects; });
    }
    // The next failed attempt's delay, once it is reported.
    std::optional<int> nextFailure(MqttLink::Error kind)
    {
        const qsizetype before = errors.size();
        clock.advance(link.retryDelayMs());
        if (!waitUntil([&] { return errors.size() > before; }, kConnectMs) ||
            errors.constLast().first != kind)
            return std::nullopt;
        return link.retryDelayMs();
    }
    ManualClock clock;
    MqttLink link;
    QList<QPair<MqttLink::Error, QString>> errors;
    int connects = 0;
};

TEST_F(MqttLinkTest, ReconnectsWithBackoffAfterTheBrokerRestartsAndSubscribesAgain)
{
    ClockedLink bridge(broker.clientSettings(QStringLiteral("bridge")));
    QList<QByteArray> commands;
    QObject::connect(bridge.link.subscribe(QStringLiteral("velno/+/command")),
                     &MqttSubscription::messageReceived,
                     [&](const MqttMessage &m) { commands << m.payload; });
    QObject::connect(bridge.link.subscribe(QStringLiteral("velno/hall/reply")),
                     &MqttSubscription::messageReceived,
                     [&](const MqttMessage &) { ADD_FAILURE() << "routed to a filter it does not match"; });
    ASSERT_TRUE(bridge.link.start());
    ASSERT_TRUE(waitUntil([&] { return bridge.connects == 1; }, kConnectMs));

    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !bridge.errors.isEmpty(); }, kConnectMs));
    EXPECT_EQ(bridge.errors.constFirst().first, MqttLink::Error::ConnectionLost);
    EXPECT_EQ(bridge.link.state(), MqttLink::State::Disconnected);
    EXPECT_FALSE(bridge.link.publish(QStringLiteral("velno/hall/reply"), "dropped"));
    // Attempts against the stopped broker fail, the delay doubling: 1, 2, 4, 8 s.
    EXPECT_EQ(bridge.link.retryDelayMs(), 1000);
    EXPECT_EQ(bridge.nextFailure(MqttLink::Error::CannotConnect), 2000);
    EXPECT_EQ(bridge.nextFailure(MqttLink::Error::CannotConnect), 4000);

    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    bridge.clock.advance(bridge.link.retryDelayMs());
    ASSERT_TRUE(waitUntil([&] { return bridge.connects == 2; }, kConnectMs));

    MessageCollector panel(broker, QStringLiteral("panel"), {});
    ASSERT_TRUE(panel.waitReady());
    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), "power-off", false, 1));
    ASSERT_TRUE(waitUntil([&] { return !commands.isEmpty(); }, kConnectMs));
    EXPECT_EQ(commands, QList<QByteArray>{"power-off"});

    // Up for 30 s, it has proved itself: the next outage starts over at 1 s.
    bridge.clock.advance(ReconnectBackoff::kProvenAfterMs);
    broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !bridge.link.isConnected(); }, kConnectMs));
    EXPECT_EQ(bridge.link.retryDelayMs(), ReconnectBackoff::kFirstDelayMs);
}

TEST_F(MqttLinkTest, OversizedMessagesAreDroppedByTheBrokerAndNeverArrive)
{
    MqttLinkSettings settings = broker.clientSettings(QStringLiteral("bridge"));
    settings.maximumPacketBytes = 4096;
    MqttLink bridge(settings);
    QList<QByteArray> arrived;
    QObject::connect(&bridge, &MqttLink::messageReceived,
                     [&](const QString &, const QByteArray &payload) { arrived << payload; });
    bridge.subscribe(QStringLiteral("velno/+/command"));
    ASSERT_TRUE(bridge.start());
    ASSERT_TRUE(waitConnected(bridge));
    EXPECT_EQ(bridge.protocolVersion(), 5);

    MessageCollector panel(broker, QStringLiteral("panel"), {});
    ASSERT_TRUE(panel.waitReady());
    ASSERT_TRUE(
        panel.link().publish(QStringLiteral("velno/hall/command"), QByteArray(64 * 1024, 'x'), true, 1));
    ASSERT_TRUE(panel.link().publish(QStringLiteral("velno/hall/command"), "power-off", false, 1));
    ASSERT_TRUE(waitUntil([&] { return !arrived.isEmpty(); }, kConnectMs));
    pumpEvents(200);
    EXPECT_EQ(arrived, QList<QByteArray>{"power-off"});
}

TEST(MqttLinkVersionTest, ABrokerThatRefusesVersion5IsSpokenToIn311)
{
    // Answers a CONNECT of version 5 as a 3.1.1 broker does (return code 1,
    // unacceptable protocol version), and accepts version 4.
    QTcpServer broker;
    ASSERT_TRUE(broker.listen(QHostAddress::LocalHost));
    QList<int> versions;
    QObject::connect(&broker, &QTcpServer::newConnection, [&] {
        QTcpSocket *socket = broker.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [&versions, socket] {
            const QByteArray connect = socket->readAll();
            if (connect.size() < 9 || connect.mid(2, 6) != QByteArray("\x00\x04MQTT", 6))
                return;
            versions << connect.at(8);
            socket->write(QByteArray("\x20\x02\x00", 3) + char(versions.constLast() == 5 ? 1 : 0));
            if (versions.constLast() == 5)
                socket->disconnectFromHost();
        });
    });
    MqttLinkSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.serverPort();
    MqttLink link(settings);
    ASSERT_TRUE(link.start());
    ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }, kConnectMs)) << versions.size();
    EXPECT_EQ(versions, (QList<int>{5, 4}));
    EXPECT_EQ(link.protocolVersion(), 4);
}

TEST_F(MqttLinkTest, FirstConnectionWaitsForABrokerThatIsNotUpYet)
{
    broker.stop();
    ClockedLink bridge(broker.clientSettings(QStringLiteral("bridge")));
    ASSERT_TRUE(bridge.link.start());
    ASSERT_TRUE(waitUntil([&] { return !bridge.errors.isEmpty(); }, kConnectMs));
    EXPECT_EQ(bridge.errors.constFirst().first, MqttLink::Error::CannotConnect);
    EXPECT_FALSE(bridge.link.isConnected());

    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    bridge.clock.advance(bridge.link.retryDelayMs());
    EXPECT_TRUE(waitConnected(bridge.link));
}

TEST(MqttLinkLoginTest, WrongPasswordIsRefusedWithTheBrokersWordsAndTheRightOneConnects)
{
    MosquittoBroker broker;
    broker.requireLogin(QStringLiteral("bridge"), QStringLiteral("right horse battery"));
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();

    MqttLinkSettings wrong = broker.clientSettings(QStringLiteral("intruder"));
    wrong.username = QStringLiteral("bridge");
    wrong.password = QByteArrayLiteral("wrong");
    ClockedLink refused(wrong);
    ASSERT_TRUE(refused.link.start());
    ASSERT_TRUE(waitUntil([&] { return !refused.errors.isEmpty(); }, kConnectMs));
    EXPECT_EQ(refused.errors.constFirst().first, MqttLink::Error::Refused);
    EXPECT_TRUE(refused.errors.constFirst().second.contains(QLatin1String("refused by the broker")))
        << refused.errors.constFirst().second.toStdString();
    EXPECT_EQ(refused.nextFailure(MqttLink::Error::Refused), 2000) << "retried, less and less often";

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
    ClockedLink bridge(settings);
    ASSERT_TRUE(bridge.link.start());
    ASSERT_TRUE(waitUntil([&] { return !bridge.errors.isEmpty(); }, kConnectMs));
    EXPECT_EQ(bridge.nextFailure(MqttLink::Error::CannotConnect), 2000) << "refused again";
    EXPECT_EQ(bridge.connects, 0);
}

} // namespace
