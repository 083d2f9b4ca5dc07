// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pty_server.h"
#include "testing/wait.h"

#include <QFile>
#include <QSerialPort>
#include <gtest/gtest.h>

#include <memory>

using namespace sim;

namespace {

const QByteArray kAckCr("\x06\r", 2);

std::unique_ptr<QSerialPort> openClient(const std::string &devicePath)
{
    auto port = std::make_unique<QSerialPort>(QString::fromStdString(devicePath));
    port->setBaudRate(19200);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    if (!port->open(QIODevice::ReadWrite))
        ADD_FAILURE() << "cannot open " << devicePath << ": " << port->errorString().toStdString();
    return port;
}

// Sends a line and collects what comes back until it ends with CR or time runs out.
QByteArray exchange(QSerialPort &port, const QByteArray &line, int timeoutMs = 3000)
{
    port.write(line);
    QByteArray got;
    waitUntil(
        [&] {
            got += port.readAll();
            return got.endsWith('\r');
        },
        timeoutMs);
    return got;
}

class SimPtyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        ASSERT_FALSE(server.devicePath().empty());
    }

    PtyServer server{PowerTimings{200, 200}};
};

TEST_F(SimPtyTest, AnswersLinesWrittenToTheDevice)
{
    auto port = openClient(server.devicePath());
    EXPECT_EQ(exchange(*port, "CR0\r"), "80\r");
    EXPECT_EQ(exchange(*port, "C00\r"), kAckCr);
    EXPECT_EQ(exchange(*port, "nonsense\r"), "?\r");
    EXPECT_TRUE(waitUntil([&] { return exchange(*port, "CR0\r", 500) == "00\r"; }, 5000));
    const auto lines = server.receivedLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"CR0", "C00", "nonsense"}));
}

TEST_F(SimPtyTest, KeepsServingAfterTheClientClosesAndComesBack)
{
    auto port = openClient(server.devicePath());
    EXPECT_EQ(exchange(*port, "CR1\r"), "1\r");
    port->close();
    pumpEvents(50);
    port = openClient(server.devicePath());
    EXPECT_EQ(exchange(*port, "C07\r"), kAckCr);
    EXPECT_EQ(exchange(*port, "CR1\r"), "3\r");
}

TEST_F(SimPtyTest, LateAnswerComesOnlyAfterItsDelay)
{
    FaultSettings fault;
    fault.mode = Fault::Late;
    fault.lateDelayMs = 400;
    server.setFault(fault);
    auto port = openClient(server.devicePath());
    port->write("CR0\r");
    pumpEvents(150); // a late answer can be later still, never earlier
    EXPECT_TRUE(port->readAll().isEmpty());
    QByteArray got;
    EXPECT_TRUE(waitUntil([&] { return (got += port->readAll()) == "80\r"; }, 5000)) << got.constData();
}

TEST_F(SimPtyTest, StreamFlowsWithoutAsking)
{
    FaultSettings fault;
    fault.mode = Fault::Stream;
    fault.streamPeriodMs = 5;
    server.setFault(fault);
    auto port = openClient(server.devicePath());
    QByteArray got;
    EXPECT_TRUE(waitUntil([&] { return (got += port->readAll()).size() >= 200; }, 5000));
}

TEST_F(SimPtyTest, VanishedDeviceFailsItsClientAndIsGone)
{
    auto port = openClient(server.devicePath());
    ASSERT_EQ(exchange(*port, "CR0\r"), "80\r");
    ASSERT_TRUE(QFile::exists(QString::fromStdString(server.devicePath())));
    server.vanish();
    EXPECT_TRUE(waitUntil([&] { return port->error() != QSerialPort::NoError; }, 3000))
        << "no error after the device vanished";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(server.devicePath())));
}

TEST(SimPtyServer, StartAfterVanishServesANewDevice)
{
    PtyServer server;
    ASSERT_TRUE(server.start());
    server.vanish();
    ASSERT_TRUE(server.start());
    auto port = openClient(server.devicePath());
    EXPECT_EQ(exchange(*port, "CR4\r"), "11\r");
}

} // namespace
