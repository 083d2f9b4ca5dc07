// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge service in this process, between a real broker and
// projectors on pseudo-terminals: each command reaches its own projector's
// line and comes back on its own reply topic; what must not run never
// reaches a line; a broker that restarts gets everything back.

#include "testing/mosquitto_broker.h"

#include "bridge/bridge_service.h"
#include "faces/every_face.h"
#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_topics.h"
#include "sim/pty_server.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QJsonObject objectOf(const std::optional<QByteArray> &payload)
{
    return payload ? QJsonDocument::fromJson(*payload).object() : QJsonObject();
}

BridgeOptions optionsFor(const MosquittoBroker &broker, const std::vector<ProjectorEndpoint> &projectors)
{
    BridgeOptions options;
    options.brokerHost = QStringLiteral("127.0.0.1");
    options.brokerPort = broker.port();
    options.clientId = QStringLiteral("routingtest");
    options.pollSeconds = 0;
    options.projectors = projectors;
    return options;
}

TEST(BridgeRouting, EachCommandReachesItsOwnProjectorAndNothingElseReachesALine)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    MessageCollector client(broker, QStringLiteral("client"), {QStringLiteral("velno/#")});
    ASSERT_TRUE(client.waitReady());
    // Left by a switch set to retain, before the bridge starts.
    client.link().publish(QStringLiteral("velno/hall/command"), "power-on", true, 1);

    PtyPeer hall, lab;
    const BridgeOptions options =
        optionsFor(broker, {{QStringLiteral("hall"), PortAddress::serialDevice(hall.devicePath())},
                            {QStringLiteral("lab"), PortAddress::serialDevice(lab.devicePath())}});
    BridgeService bridge(options);
    addEveryFace(bridge);
    QString error;
    ASSERT_TRUE(bridge.start(&error)) << error.toStdString();
    // Each opened port is asked the nine queries once; the test answers none.
    for (PtyPeer *peer : {&hall, &lab})
        EXPECT_EQ(peer->readLines(1), QByteArray("CR0\r"));

    const QJsonObject retained = objectOf(client.take(QStringLiteral("velno/hall/reply")));
    EXPECT_TRUE(retained.value("error").toString().contains(QLatin1String("retained")));

    client.link().publish(QStringLiteral("velno/lab/command"), R"({"command": "pc2", "id": "r1"})", false, 1);
    client.link().publish(QStringLiteral("velno/hall/command"), "send C00\rC01", false, 1);
    client.link().publish(QStringLiteral("velno/nowhere/command"), "power-on", false, 1);
    const QJsonObject refused = objectOf(client.take(QStringLiteral("velno/hall/reply")));
    EXPECT_TRUE(refused.value("command").isNull());
    EXPECT_TRUE(refused.value("error").toString().contains(QLatin1String("line break")));
    // The lab's command waits for its running query, then goes out on its line only.
    lab.write("00\r");
    EXPECT_EQ(lab.readLines(1), QByteArray("C06\r"));
    lab.write("\x06\r");
    const QJsonObject reply = objectOf(client.take(QStringLiteral("velno/lab/reply")));
    EXPECT_EQ(reply.value("id").toString(), QStringLiteral("r1"));
    EXPECT_TRUE(reply.value("answered").toBool());
    // Only the hall's own queries (their window may have closed meanwhile).
    const QByteArray hallLine = hall.readFor(100);
    EXPECT_FALSE(hallLine.contains("C00") || hallLine.contains("C01")) << hallLine.toStdString();
    EXPECT_TRUE(client.seen(QStringLiteral("velno/nowhere/reply")).isEmpty());
}

// On the manual clock: the waits between attempts are the test's to end.
TEST(BridgeBrokerRestart, IsFollowedByTheRetainedStateAndWorkingCommandsWithOneLogLineEachWay)
{
    MosquittoBroker broker;
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    sim::PtyServer hall;
    std::string error;
    ASSERT_TRUE(hall.start(&error)) << error;
    const ManualClock clock;
    BridgeService bridge(
        optionsFor(broker, {{QStringLiteral("hall"),
                             PortAddress::serialDevice(QString::fromStdString(hall.devicePath()))}}),
        nullptr, clock.clock());
    addEveryFace(bridge);
    QStringList log;
    QObject::connect(&bridge, &BridgeService::log, [&](const QString &line) { log << line; });
    QString startError;
    ASSERT_TRUE(bridge.start(&startError)) << startError.toStdString();
    ASSERT_TRUE(waitUntil([&] { return !log.filter(QStringLiteral("connected to")).isEmpty(); }, 10000));
    ASSERT_TRUE(waitUntil([&] { return hall.receivedLines().size() >= 9; }, 10000)) << "the first round";

    const qsizetype mark = log.size();
    broker.stop(); // without persistence: everything retained is gone with it
    ASSERT_TRUE(waitUntil([&] { return log.size() > mark; }, 10000));
    // Attempts against the stopped broker, 1 and 2 s apart, say nothing more.
    for (int delayMs : {1000, 2000}) {
        clock.advance(delayMs);
        pumpEvents(100);
    }
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    clock.advance(4000);
    ASSERT_TRUE(
        waitUntil([&] { return !log.mid(mark).filter(QStringLiteral("connected to")).isEmpty(); }, 10000))
        << log.join('\n').toStdString();
    EXPECT_EQ(log.mid(mark).size(), 2)
        << "one line when it went, one when it was back: " << log.mid(mark).join('\n').toStdString();

    MessageCollector after(broker, QStringLiteral("after"), {QStringLiteral("velno/#")});
    ASSERT_TRUE(after.waitReady());
    // Everything retained comes back, each message in its own time.
    EXPECT_EQ(after.take(bridgeAvailabilityTopic(QStringLiteral("velno"))), QByteArray("online"));
    EXPECT_EQ(after.take(QStringLiteral("velno/hall/availability")), QByteArray("online"));
    EXPECT_EQ(after.take(QStringLiteral("velno/hall/status/status")), QByteArray(" Stand by"));
    after.link().publish(QStringLiteral("velno/hall/command"), "power-on", false, 1);
    EXPECT_TRUE(objectOf(after.take(QStringLiteral("velno/hall/reply"))).value("answered").toBool());
}

} // namespace
