// SPDX-License-Identifier: GPL-3.0-or-later
// A projector's shared line, with its clients as they are: pyserial scripts,
// velno-cmd, and plain sockets at the limits, while MQTT commands flow.

#include "bridge_program_fixture.h"
#include "testing/shared_line_config.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

constexpr int kLongestLine = 256;
constexpr int kMostClients = 8;

class LineFaceTest : public BridgeProgramTest {
protected:
    void SetUp() override
    {
        BridgeProgramTest::SetUp();
        ASSERT_TRUE(config.write(QString::fromStdString(hall.devicePath())));
        bridge = std::make_unique<BridgeProcess>(
            QStringList{QStringLiteral("--config"), config.fileName(), QStringLiteral("--broker"),
                        QStringLiteral("mqtt://127.0.0.1:%1").arg(broker.port()), QStringLiteral("--poll"),
                        QStringLiteral("1")});
        ASSERT_TRUE(
            waitUntil([&] { return bridge->logLines().join('\n').contains("shared line on"); }, kEventMs))
            << logText();
    }

    std::unique_ptr<QTcpSocket> connectToLine()
    {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, config.linePort());
        return socket->waitForConnected(kEventMs) ? std::move(socket) : nullptr;
    }

    SharedLineConfig config;
};

// The next bytes a socket is sent, up to and including want carriage returns.
QByteArray readReplies(QTcpSocket &socket, int want)
{
    QByteArray data;
    waitUntil(
        [&] {
            data += socket.readAll();
            return data.count('\r') >= want;
        },
        kEventMs);
    return data;
}

TEST_F(LineFaceTest, TwoPyserialClientsGetOnlyTheirOwnRepliesWhileMqttCommandsFlow)
{
    sim::Readings readings;
    readings.lampHours = 4321;
    hall.setReadings(readings);
    QTimer mqttTraffic;
    QObject::connect(&mqttTraffic, &QTimer::timeout, [&] {
        watch->link().publish(topic(kHall, "command"), QByteArrayLiteral("status"), false, 1);
    });
    mqttTraffic.start(50);

    QProcess clients;
    clients.start(QStringLiteral(VELNO_SYSTEM_PYTHON3),
                  {QStringLiteral(VELNO_LINE_CLIENTS_SCRIPT), config.lineUrl(), QStringLiteral("10"),
                   QStringLiteral("4321")});
    ASSERT_TRUE(waitUntil([&] { return clients.state() == QProcess::NotRunning; }, kEventMs));
    mqttTraffic.stop();
    EXPECT_EQ(clients.exitCode(), 0) << clients.readAllStandardOutput().toStdString()
                                     << clients.readAllStandardError().toStdString() << logText();
    EXPECT_GE(watch->seen(topic(kHall, "reply")).size(), 5) << "the MQTT commands ran beside them";
}

TEST_F(LineFaceTest, VelnoCmdAsksThroughTheLine)
{
    QProcess cmd;
    cmd.start(QStringLiteral(VELNO_CMD_EXE), {QStringLiteral("--port"), config.lineUrl(),
                                              QStringLiteral("--json"), QStringLiteral("status")});
    ASSERT_TRUE(cmd.waitForFinished(kEventMs));
    EXPECT_EQ(cmd.exitCode(), 0) << cmd.readAllStandardError().toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(cmd.readAllStandardOutput()).object().value("status").toString(),
              QStringLiteral(" Stand by"));
}

TEST_F(LineFaceTest, ANinthClientIsToldBusyAndALineTooLongGetsNothingBack)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < kMostClients; ++i) {
        clients.push_back(connectToLine());
        ASSERT_TRUE(clients.back());
    }
    const std::unique_ptr<QTcpSocket> ninth = connectToLine();
    ASSERT_TRUE(ninth);
    EXPECT_TRUE(waitUntil([&] { return ninth->state() == QAbstractSocket::UnconnectedState; }, kEventMs));
    EXPECT_EQ(ninth->readAll(), QByteArray("Port already in use\r\n"));

    // One byte over, then a query: only the query's reply comes back.
    QTcpSocket &client = *clients.front();
    client.write(QByteArray(kLongestLine + 1, 'C') + "\rCR3\r");
    EXPECT_EQ(readReplies(client, 1), QByteArray("1234\r"));
    // At the limit, it is a line like any other, answered as the projector answers it.
    client.write(QByteArray(kLongestLine, 'C') + "\r");
    EXPECT_EQ(readReplies(client, 1), QByteArray("?\r"));
    EXPECT_TRUE(received(hall, std::string(kLongestLine, 'C')));
    for (const std::string &line : hall.receivedLines())
        EXPECT_LE(line.size(), std::size_t(kLongestLine));

    // A client gone frees its place.
    clients.back()->abort();
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::unique_ptr<QTcpSocket> again = connectToLine();
            return again && !again->waitForDisconnected(300);
        },
        kEventMs));
    const QString log = bridge->logLines().join('\n');
    EXPECT_TRUE(log.contains("line client") && log.contains("refused")) << log.toStdString();
    EXPECT_TRUE(log.contains("over 256 bytes")) << log.toStdString();
}

TEST_F(LineFaceTest, AFloodingClientKeepsToItsShareSoMqttCommandsAreNotRefusedBusy)
{
    waitFirstRound(kHall);
    const std::unique_ptr<QTcpSocket> flooder = connectToLine();
    ASSERT_TRUE(flooder);
    QByteArray flooderGot;
    QTimer flood;
    QObject::connect(&flood, &QTimer::timeout, [&] {
        flooder->write(QByteArray("CR0\r").repeated(20));
        flooderGot += flooder->readAll();
    });
    flood.start(5);
    constexpr int kCommands = 20;
    int busy = 0;
    for (int i = 0; i < kCommands; ++i)
        busy += command(kHall, "status").value("error").toString().startsWith(QLatin1String("busy")) ? 1 : 0;
    flood.stop();
    EXPECT_EQ(busy, 0) << logText();
    EXPECT_GT(flooderGot.count('\r'), 0) << "its share is answered";
    EXPECT_TRUE(waitUntil(
        [&] { return bridge->logLines().join('\n').contains("its next lines wait unread"); }, kEventMs))
        << logText();
    // Held back, not dropped: a script that sends three times its share at once has every line answered.
    flooder->abort();
    const std::unique_ptr<QTcpSocket> script = connectToLine();
    ASSERT_TRUE(script);
    script->write(QByteArray("CR3\r").repeated(12));
    EXPECT_EQ(readReplies(*script, 12), QByteArray("1234\r").repeated(12)) << logText();
}

} // namespace
