// SPDX-License-Identifier: GPL-3.0-or-later
// The line under every program: a serial device opened at once, a device
// server connected without ever blocking the event loop, bytes handed out
// as they arrive, and every way a line fails told in the system's words.

#include "session/port_connection.h"
#include "sim/pty_server.h"
#include "support/printers.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/silent_listener.h"
#include "testing/wait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

PortAddress device(const QString &path)
{
    return PortAddress::serialDevice(path);
}

PortAddress socketAt(quint16 port, const QString &host = QStringLiteral("127.0.0.1"))
{
    return PortAddress::socket(host, port);
}

PortAddress simulatorAddress(const sim::PtyServer &server)
{
    return *parsePortAddress(QString::fromStdString(server.devicePath())).address;
}

class PortConnectionTest : public ::testing::Test {
protected:
    void openPeer()
    {
        const SerialError e = line.open(device(peer.devicePath()), port_settings::kFast);
        ASSERT_FALSE(e) << e.description.toStdString();
        ASSERT_TRUE(line.isOpen());
    }
    // Everything received until count bytes have come.
    QByteArray receive(int count)
    {
        QByteArray got;
        QObject context;
        QObject::connect(&line, &PortConnection::received, &context, [&](const QByteArray &b) { got += b; });
        waitUntil([&] { return got.size() >= count; });
        return got;
    }

    PtyPeer peer;
    PortConnection line;
};

TEST_F(PortConnectionTest, DeviceOpensAtOnceAndCarriesEveryByteValueBothWays)
{
    QSignalSpy opened(&line, &PortConnection::opened);
    openPeer();
    EXPECT_EQ(opened.size(), 1) << "a device is open before open() returns";
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_FALSE(line.write(all));
    EXPECT_EQ(peer.readAtLeast(256), all);
    peer.write(all);
    EXPECT_EQ(receive(256), all);
}

TEST_F(PortConnectionTest, BytesWaitingBeforeTheOpenAreNotDelivered)
{
    peer.write("stale");
    pumpEvents(50);
    openPeer();
    peer.write("new");
    EXPECT_EQ(receive(3), QByteArray("new"));
}

TEST_F(PortConnectionTest, OpenDeviceTakesNewSettingsAtOnce)
{
    openPeer();
    line.setSettings(port_settings::kSlow);
    EXPECT_TRUE(line.isOpen());
    termios tio{};
    const int fd = ::open(peer.devicePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ::tcgetattr(fd, &tio);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_FALSE(line.write("C1E\r"));
    EXPECT_EQ(peer.readAtLeast(4), QByteArray("C1E\r"));
}

TEST_F(PortConnectionTest, StopBitsAreShownAsWrittenAndTwoReachTheDevice)
{
    const struct {
        StopBits bits;
        const char *shown;
    } cases[] = {
        {StopBits::One, "9600,E,7,1"}, {StopBits::OneAndHalf, "9600,E,7,1.5"}, {StopBits::Two, "9600,E,7,2"}};
    for (const auto &c : cases)
        EXPECT_EQ(formatSerialSettings({9600, 'E', 7, c.bits}), QLatin1String(c.shown));

    openPeer();
    const auto twoStopBitsOnDevice = [&] {
        termios tio{};
        const int fd = ::open(peer.devicePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        ::tcgetattr(fd, &tio);
        ::close(fd);
        return (tio.c_cflag & CSTOPB) != 0;
    };
    line.setSettings({19200, 'N', 8, StopBits::Two});
    EXPECT_TRUE(twoStopBitsOnDevice());
    line.setSettings(port_settings::kFast);
    EXPECT_FALSE(twoStopBitsOnDevice());
}

TEST_F(PortConnectionTest, MissingAndBusyDevicesFailWithTheSystemsWords)
{
    const SerialError missing =
        line.open(device(QStringLiteral("/dev/velno-no-such-device")), port_settings::kFast);
    EXPECT_EQ(missing.number, ENOENT);
    EXPECT_TRUE(missing.description.contains(QStringLiteral("No such file or directory")))
        << missing.description.toStdString();
    EXPECT_TRUE(missing.description.contains(QStringLiteral("/dev/velno-no-such-device")));
    EXPECT_FALSE(line.isOpen());

    openPeer();
    PortConnection second;
    const SerialError busy = second.open(device(peer.devicePath()), port_settings::kFast);
    EXPECT_EQ(busy.number, EBUSY);
    EXPECT_TRUE(busy.description.contains(QStringLiteral("in use"))) << busy.description.toStdString();
    EXPECT_FALSE(second.isOpen());
    EXPECT_TRUE(line.isOpen()) << "the first user keeps it";
}

TEST_F(PortConnectionTest, VanishedDeviceIsLostOnceAndRefusesWrites)
{
    openPeer();
    QSignalSpy lost(&line, &PortConnection::lost);
    peer.vanish();
    ASSERT_TRUE(waitUntil([&] { return !line.isOpen(); }));
    pumpEvents(100);
    EXPECT_EQ(lost.size(), 1);
    EXPECT_EQ(line.write("C00\r").number, EBADF);
}

TEST_F(PortConnectionTest, ClosedDeviceOpensAgain)
{
    openPeer();
    line.close();
    EXPECT_FALSE(line.isOpen());
    line.close(); // closing a closed line does nothing
    openPeer();
    EXPECT_FALSE(line.write("CR0\r"));
    EXPECT_EQ(peer.readAtLeast(4), QByteArray("CR0\r"));
}

// ---- Device servers ----

TEST_F(PortConnectionTest, ServerThatNeverAnswersTimesOutWithoutBlocking)
{
    SilentListener dark;
    ManualClock manualClock;
    PortConnection manual(nullptr, manualClock.clock().makeTimer);
    QSignalSpy failed(&manual, &PortConnection::openFailed);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(manual.open(socketAt(dark.port()), port_settings::kFast));
    EXPECT_LT(clock.elapsed(), 1000) << "open() returned at once";
    EXPECT_EQ(manual.state(), PortConnection::State::Opening);
    EXPECT_EQ(manual.write("CR0\r").number, EAGAIN) << "nothing goes out before the line is open";
    pumpEvents(50); // the connection gets nowhere meanwhile
    manualClock.advance(PortConnection::kConnectTimeoutMs - 1);
    EXPECT_TRUE(failed.isEmpty());
    manualClock.advance(1);
    ASSERT_EQ(failed.size(), 1);
    const auto error = failed.front().front().value<SerialError>();
    EXPECT_EQ(error.number, ETIMEDOUT);
    EXPECT_TRUE(error.description.contains(QStringLiteral("No answer"))) << error.description.toStdString();
    EXPECT_EQ(manual.state(), PortConnection::State::Closed);
}

TEST_F(PortConnectionTest, RefusedAndUnknownServersFailByTheirOwnNames)
{
    struct Case {
        PortAddress address;
        int number;
        const char *words;
    };
    const Case cases[] = {
        {socketAt(refusingPort()), ECONNREFUSED, "Connection refused"},
        // .invalid never resolves, and the system's resolver says so without asking any server.
        {socketAt(4001, QStringLiteral("no-such-host.invalid")), EHOSTUNREACH, "Host not found"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address.toString().toStdString());
        QSignalSpy failed(&line, &PortConnection::openFailed);
        EXPECT_FALSE(line.open(c.address, port_settings::kFast));
        ASSERT_TRUE(waitUntil([&] { return !failed.isEmpty(); }, 10000));
        const auto error = failed.front().front().value<SerialError>();
        EXPECT_EQ(error.number, c.number);
        EXPECT_TRUE(error.description.contains(QLatin1String(c.words))) << error.description.toStdString();
        EXPECT_TRUE(error.description.contains(c.address.toString()));
    }
}

TEST_F(PortConnectionTest, BusyServerIsAFailedOpenThatQuotesTheServer)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.listen("127.0.0.1", 0));
    PortConnection first;
    QSignalSpy firstOpened(&first, &PortConnection::opened);
    first.open(simulatorAddress(projector), port_settings::kFast);
    ASSERT_TRUE(waitUntil([&] { return !firstOpened.isEmpty(); }));

    QSignalSpy opened(&line, &PortConnection::opened);
    QSignalSpy failed(&line, &PortConnection::openFailed);
    line.open(simulatorAddress(projector), port_settings::kFast);
    ASSERT_TRUE(waitUntil([&] { return !failed.isEmpty(); }));
    EXPECT_TRUE(opened.isEmpty());
    const auto error = failed.front().front().value<SerialError>();
    EXPECT_TRUE(error.description.contains(QStringLiteral("\"Port already in use\"")))
        << error.description.toStdString();
}

TEST_F(PortConnectionTest, NamedServerIsReachedAndAVanishedOneIsALostLine)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.listen("127.0.0.1", 0));
    // "localhost" may come first as ::1, where nothing listens: the next
    // address the name has is tried.
    QSignalSpy opened(&line, &PortConnection::opened);
    line.open(socketAt(simulatorAddress(projector).port, QStringLiteral("localhost")), port_settings::kFast);
    ASSERT_TRUE(waitUntil([&] { return !opened.isEmpty(); }, 5000));
    EXPECT_FALSE(line.write("CR0\r"));
    EXPECT_EQ(receive(3), QByteArray("80\r"));

    QSignalSpy lost(&line, &PortConnection::lost);
    projector.vanish();
    ASSERT_TRUE(waitUntil([&] { return !lost.isEmpty(); }));
    EXPECT_FALSE(line.isOpen());
}

} // namespace
