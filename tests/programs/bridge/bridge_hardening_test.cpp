// SPDX-License-Identifier: GPL-3.0-or-later
// What anyone allowed on the broker can throw at a running velno-bridge
// (floods of births and stray wills, a retained message larger than it
// takes, a wrong password for velno-cmd), and what the operator does to it
// (a reload of the settings file, a stop with commands still queued).

#include "bridge_program_fixture.h"

#include "faces/mqtt/discovery.h"
#include "mqtt/mqtt_link.h"
#include "testing/loopback_port.h"
#include "testing/process_gauge.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>

namespace {

using BridgeHardeningTest = BridgeProgramTest;

QJsonObject objectOf(const std::optional<QByteArray> &payload)
{
    return payload ? QJsonDocument::fromJson(*payload).object() : QJsonObject();
}

double residentMb(const BridgeProcess &process)
{
    const std::optional<ProcessGauge> gauge = readProcessGauge(process.pid());
    return gauge ? gauge->residentMb : -1;
}

TEST_F(BridgeHardeningTest, FloodsOfBirthsAndStrayWillsCostOneRepublishAndLeaveTheBridgeOnline)
{
    runBridge({endpoint(kHall, hall)}, 0);
    MessageCollector ha(broker, QStringLiteral("ha"), {kDiscoveryPrefix + "/#", topic(kHall, "reply")});
    ASSERT_TRUE(ha.waitReady());
    const std::vector<DiscoveryMessage> oneRound = discoveryMessages(kPrefix, kHall);
    const auto discoveryCount = [&] {
        int count = 0;
        for (const DiscoveryMessage &m : oneRound)
            count += int(ha.seen(m.topic).size());
        return count;
    };
    ASSERT_TRUE(waitUntil([&] { return discoveryCount() == int(oneRound.size()); }, kEventMs))
        << "the retained configs, on subscribing";

    const int logMark = bridge->logLines().size();
    constexpr int kFlood = 200;
    const QString bridgeAvailability = kPrefix + QStringLiteral("/bridge/availability");
    for (int i = 0; i < kFlood; ++i) {
        ha.link().publish(QStringLiteral("homeassistant/status"), "online", false, 1);
        ha.link().publish(bridgeAvailability, "offline", false, 1);
    }
    // Sent after the flood by the same client: once it is answered, the
    // bridge has read every message of the flood.
    EXPECT_TRUE(command(kHall, "status", &ha).value("answered").toBool());
    const auto lastSaid = [&] {
        const QList<QByteArray> said = watch->seen(bridgeAvailability);
        return said.size() > kFlood ? said.back() : QByteArray();
    };
    EXPECT_TRUE(waitUntil([&] { return lastSaid() == "online"; }, kEventMs)) << "the stray wills put right";
    pumpEvents(500);
    // At most one at the first birth and one held back for the end of the
    // gap (the gap after connecting may hold back the first): never one per message.
    EXPECT_LE(discoveryCount(), 3 * int(oneRound.size())) << logText();
    MessageCollector late(broker, QStringLiteral("late"), {bridgeAvailability});
    EXPECT_EQ(late.take(bridgeAvailability, kEventMs), QByteArray("online")) << "what the broker keeps";
    EXPECT_TRUE(bridge->logLines().mid(logMark).isEmpty()) << "a flood is not news: " << logText();
}

TEST_F(BridgeHardeningTest, AnOversizedRetainedCommandNeverReachesTheBridge)
{
    const QByteArray huge(1024 * 1024, 'x');
    // Kept by the broker before the bridge subscribes, and sent again while it runs.
    ASSERT_TRUE(watch->link().publish(topic(kHall, "command"), huge, true, 1));
    runBridge({endpoint(kHall, hall)}, 0);
    const double before = residentMb(*bridge);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(watch->link().publish(topic(kHall, "command"), huge, true, 1));

    // Proof that the broker has it: a client that takes large messages gets it.
    MqttLinkSettings roomy = broker.clientSettings(QStringLiteral("roomy"));
    roomy.maximumPacketBytes = 4 * 1024 * 1024;
    MqttLink big(roomy);
    int bigArrived = 0;
    QObject::connect(big.subscribe(topic(kHall, "command")), &MqttSubscription::messageReceived,
                     [&](const MqttMessage &m) { bigArrived += m.payload.size() == huge.size() ? 1 : 0; });
    ASSERT_TRUE(big.start());
    ASSERT_TRUE(waitUntil([&] { return bigArrived > 0; }, kEventMs));

    const QJsonObject reply = command(kHall, R"({"command": "status", "id": "after"})");
    EXPECT_EQ(reply.value("id").toString(), QStringLiteral("after")) << "the first reply is to this command";
    EXPECT_TRUE(reply.value("answered").toBool());
    EXPECT_LT(residentMb(*bridge) - before, 2.0);
    EXPECT_TRUE(bridge->logLines().filter(QStringLiteral("retained")).isEmpty()) << logText();
}

// A settings file rewritten under a running bridge, then spoiled.
TEST_F(BridgeHardeningTest, AHangUpReloadsTheFileAndABrokenFileLeavesTheRunningSettings)
{
    sim::PtyServer socketHall;
    sim::PtyServer foyer;
    std::string error;
    ASSERT_TRUE(socketHall.listen("127.0.0.1", 0, &error)) << error;
    ASSERT_TRUE(foyer.start(&error)) << error;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bridge.conf"));
    const auto writeSettings = [&](const QStringList &projectors, const QString &poll) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QString text =
            QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:%1\npoll = %2\n").arg(broker.port()).arg(poll);
        for (const QString &projector : projectors)
            text +=
                QStringLiteral("[projector %1]\nport = %2\n")
                    .arg(projector.section(QLatin1Char('='), 0, 0), projector.section(QLatin1Char('='), 1));
        file.write(text.toUtf8());
    };
    writeSettings({endpoint(kHall, socketHall), endpoint(kLab, hall)}, QStringLiteral("0"));
    bridge = std::make_unique<BridgeProcess>(QStringList{QStringLiteral("--config"), path});
    for (const QString &id : {kHall, kLab})
        ASSERT_TRUE(
            waitUntil([&] { return watch->seen(topic(id, "availability")).contains("online"); }, kEventMs))
            << logText();
    ASSERT_EQ(socketHall.connectionsAccepted(), 1);

    const QString kFoyer = QStringLiteral("foyer");
    // Until its device server connected, it was offline: what counts is what comes after.
    const qsizetype hallSaid = watch->seen(topic(kHall, "availability")).size();
    // The hall gains a shared line: a change for a face, not for its port.
    const quint16 linePort = unusedLoopbackPort();
    writeSettings({endpoint(kHall, socketHall) + QStringLiteral("\nline = 127.0.0.1:%1").arg(linePort),
                   endpoint(kFoyer, foyer)},
                  QStringLiteral("0"));
    ::kill(pid_t(bridge->pid()), SIGHUP);
    EXPECT_TRUE(
        waitUntil([&] { return watch->seen(topic(kLab, "availability")).contains("offline"); }, kEventMs));
    EXPECT_TRUE(
        waitUntil([&] { return watch->seen(topic(kFoyer, "availability")).contains("online"); }, kEventMs));
    EXPECT_TRUE(command(kFoyer, "display-clear").value("answered").toBool()) << logText();
    EXPECT_TRUE(command(kHall, "display-clear").value("answered").toBool()) << logText();
    EXPECT_FALSE(watch->seen(topic(kHall, "availability")).mid(hallSaid).contains("offline"));
    EXPECT_EQ(socketHall.connectionsAccepted(), 1) << "a projector whose port did not change keeps its line";
    QTcpSocket lineClient;
    lineClient.connectToHost(QHostAddress::LocalHost, linePort);
    ASSERT_TRUE(lineClient.waitForConnected(kEventMs)) << "its shared line is new";
    lineClient.write("CR0\r");
    QByteArray reply;
    EXPECT_TRUE(waitUntil([&] { return (reply += lineClient.readAll()).endsWith('\r'); }, kEventMs));

    writeSettings({endpoint(kHall, socketHall)}, QStringLiteral("soon"));
    const int logMark = bridge->logLines().size();
    ::kill(pid_t(bridge->pid()), SIGHUP);
    ASSERT_TRUE(waitUntil([&] { return bridge->logLines().size() > logMark; }, kEventMs));
    EXPECT_TRUE(
        bridge->logLines().mid(logMark).join('\n').contains(path + QStringLiteral(":3: [broker] poll")))
        << logText();
    EXPECT_TRUE(command(kFoyer, "status").value("answered").toBool()) << "the running settings stay";
    EXPECT_EQ(bridge->terminate(), 0);
}

TEST_F(BridgeHardeningTest, CommandsStillQueuedAtTheEndAreAnsweredBridgeStopping)
{
    runBridge({endpoint(kHall, hall)}, 0);
    waitFirstRound(kHall);
    sim::FaultSettings silent; // the first command waits out its long reply window
    silent.mode = sim::Fault::Silent;
    hall.setFault(silent);
    hall.clearReceivedLines();
    constexpr int kQueued = 4;
    for (int i = 0; i < kQueued; ++i)
        watch->link().publish(topic(kHall, "command"),
                              QStringLiteral(R"({"command": "pc1-rgb", "id": %1})").arg(i).toUtf8(), false,
                              1);
    ASSERT_TRUE(waitUntil([&] { return received(hall, "C50"); }, kEventMs));
    pumpEvents(200); // the rest are in the queue behind it
    EXPECT_EQ(bridge->terminate(), 0);
    for (int i = 0; i < kQueued; ++i) {
        const QJsonObject reply = objectOf(watch->take(topic(kHall, "reply"), kEventMs));
        EXPECT_EQ(reply.value("id").toInt(-1), i);
        // The one already on the line may have run, and its reply says so.
        const QString error = reply.value("error").toString();
        EXPECT_EQ(error.startsWith(QLatin1String("bridge stopping")), true) << error.toStdString();
        EXPECT_EQ(error.contains(QLatin1String("may have run")), i == 0) << error.toStdString();
    }
    EXPECT_EQ(hall.receivedLines(), std::vector<std::string>{"C50"}) << "nothing more reached the line";
}

// Each file of a secret the bridge reads, with what may be in it.
TEST(SecretFiles, EachIsReadLikeTheSettingsFileBoundedAndStrict)
{
    QTemporaryDir dir;
    const QString settingsPath = dir.filePath(QStringLiteral("bridge.conf"));
    const auto fileOf = [&](const char *name, const QByteArray &bytes) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return file.fileName();
    };
    const QString fine = fileOf("fine", "secret\n");
    const struct {
        const char *what;
        QString path;
        const char *refusal; // empty: taken
    } contents[] = {
        {"too large", fileOf("large", QByteArray(4097, 'x') + '\n'), "larger than 4 kB"},
        {"never ends", QStringLiteral("/dev/zero"), "larger than 4 kB"},
        {"a NUL", fileOf("nul", QByteArray("pass\0word\n", 10)), "a NUL byte"},
        {"not UTF-8", fileOf("latin1", "pass\xe9\n"), "bytes that are not UTF-8"},
        {"fine", fine, ""},
    };
    // Where a secret file is named; the others name the fine one.
    const char *const settings[] = {"[broker] password-file", "[web] token-file",
                                    "[projector hall] pjlink-password-file"};
    for (const char *setting : settings)
        for (const auto &c : contents) {
            const auto pathFor = [&](const char *here) {
                return qstrcmp(here, setting) == 0 ? c.path : fine;
            };
            QFile file(settingsPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QStringLiteral("[broker]\nurl = mqtt://127.0.0.1:1\nusername = u\npassword-file = %1\n"
                                      "[web]\nlisten = 127.0.0.1:1\ntoken-file = %2\n"
                                      "[projector hall]\nport = /dev/ttyUSB0\npjlink = 127.0.0.1:2\n"
                                      "pjlink-password-file = %3\n")
                           .arg(pathFor(settings[0]), pathFor(settings[1]), pathFor(settings[2]))
                           .toUtf8());
            file.close();
            QProcess check;
            check.start(QStringLiteral(VELNO_BRIDGE_EXE),
                        {QStringLiteral("--config"), settingsPath, QStringLiteral("--check-config")});
            ASSERT_TRUE(check.waitForFinished(5000)) << setting << ": " << c.what;
            const QString err = QString::fromUtf8(check.readAllStandardError());
            if (*c.refusal) {
                EXPECT_NE(check.exitCode(), 0) << setting << ": " << c.what;
                EXPECT_TRUE(err.contains(c.path + QStringLiteral(": ") + QLatin1String(c.refusal)))
                    << setting << ": " << c.what << ": " << err.toStdString();
            } else {
                EXPECT_EQ(check.exitCode(), 0) << setting << ": " << err.toStdString();
            }
        }
}

// velno-cmd from a cron job, with a password that is no longer the broker's.
TEST(VelnoCmdLogin, AWrongPasswordEndsAtOnceSayingTheBrokerRefusedIt)
{
    MosquittoBroker broker;
    broker.requireLogin(QStringLiteral("panel"), QStringLiteral("right horse battery"));
    ASSERT_TRUE(broker.start()) << broker.log().toStdString();
    QTemporaryDir dir;
    QFile passwordFile(dir.filePath(QStringLiteral("password")));
    ASSERT_TRUE(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("wrong\n");
    passwordFile.close();

    QProcess cmd;
    QElapsedTimer clock;
    clock.start();
    cmd.start(QStringLiteral(VELNO_CMD_EXE),
              {QStringLiteral("--port"), QStringLiteral("mqtt://panel@127.0.0.1:%1/hall").arg(broker.port()),
               QStringLiteral("--password-file"), passwordFile.fileName(), QStringLiteral("--timeout"),
               QStringLiteral("20000"), QStringLiteral("status")});
    ASSERT_TRUE(cmd.waitForFinished(kEventMs));
    EXPECT_LT(clock.elapsed(), 5000) << "not after its timeout";
    EXPECT_EQ(cmd.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(cmd.readAllStandardError());
    EXPECT_TRUE(err.contains(QLatin1String("refused"))) << err.toStdString();
}

} // namespace
