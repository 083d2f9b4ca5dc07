#include "session/serial_control.h"
#include "support/printers.h"
#include "support/pty_peer.h"
#include "support/wait.h"

#include <QSignalSpy>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

namespace {

class SerialControlTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("VELNO_COM1", peer.devicePath().toLocal8Bit()); }
    void TearDown() override { qunsetenv("VELNO_COM1"); }

    void open()
    {
        ASSERT_FALSE(comm.setCommPort(1));
        ASSERT_FALSE(comm.setSettings(QStringLiteral("19200,N,8,1")));
        const SerialError e = comm.setPortOpen(true);
        ASSERT_FALSE(e) << e.description.toStdString();
    }

    PtyPeer peer;
    SerialControl comm;
};

TEST_F(SerialControlTest, StartsClosedOnPortOneAtDesignSettings)
{
    EXPECT_EQ(comm.objectName(), QStringLiteral("MSComm1"));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_EQ(comm.commPort(), 1);
    EXPECT_EQ(comm.settings(), QStringLiteral("9600,N,8,1"));
}

TEST_F(SerialControlTest, OutputWritesOneBytePerCharacter)
{
    open();
    QString line = QStringLiteral("C00\r");
    line += QChar(0xE9);                      // fits one byte
    line += QChar(0x3042);                    // does not: goes out as "?"
    line += QString::fromUcs4(U"\U0001F600"); // one character in two UTF-16 units: one "?"
    line += QLatin1Char('\r');
    EXPECT_FALSE(comm.output(line));
    EXPECT_EQ(peer.readAtLeast(8), QByteArray("C00\r\xE9??\r"));
}

TEST_F(SerialControlTest, ArrivalsRaiseReceiveEventAndInputDrainsAllBytes)
{
    open();
    QSignalSpy events(&comm, &SerialControl::onComm);
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    peer.write(all);
    QString got;
    ASSERT_TRUE(waitUntil([&] {
        if (!events.isEmpty() && comm.commEvent() == SerialControl::kCommEventReceive)
            got += comm.input();
        return got.size() >= 256;
    }));
    ASSERT_EQ(got.size(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(got[b].unicode(), b);
    EXPECT_TRUE(comm.input().isEmpty());
}

TEST_F(SerialControlTest, BytesWaitingBeforeTheOpenAreNotDelivered)
{
    peer.write("stale");
    pumpEvents(50);
    open();
    QSignalSpy events(&comm, &SerialControl::onComm);
    peer.write("new");
    QString got;
    ASSERT_TRUE(waitUntil([&] {
        got += comm.input();
        return got.size() >= 3;
    }));
    pumpEvents(50);
    got += comm.input();
    EXPECT_EQ(got, QStringLiteral("new"));
}

TEST_F(SerialControlTest, OpenPortTakesNewSettingsAtOnce)
{
    open();
    ASSERT_FALSE(comm.setSettings(QStringLiteral("9600,N,8,1")));
    EXPECT_TRUE(comm.portOpen());
    termios tio{};
    const int fd = ::open(peer.devicePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ::tcgetattr(fd, &tio);
    ::close(fd);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_FALSE(comm.output(QStringLiteral("C1E\r")));
    EXPECT_EQ(peer.readAtLeast(4), QByteArray("C1E\r"));
}

TEST_F(SerialControlTest, RefusesBadSettingsAndBadPortNumbers)
{
    const SerialError badSettings = comm.setSettings(QStringLiteral("19200;N;8;1"));
    EXPECT_TRUE(badSettings);
    EXPECT_EQ(comm.settings(), QStringLiteral("9600,N,8,1"));
    for (int number : {0, -1, 17}) {
        const SerialError e = comm.setCommPort(number);
        EXPECT_TRUE(e) << number;
        EXPECT_FALSE(e.description.isEmpty());
    }
    EXPECT_EQ(comm.commPort(), 1);
    open();
    EXPECT_TRUE(comm.setCommPort(2)) << "number changes only while closed";
}

TEST_F(SerialControlTest, MissingDeviceFailsWithOperatingSystemWords)
{
    qputenv("VELNO_COM1", "/dev/velno-no-such-device");
    const SerialError e = comm.setPortOpen(true);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.number, ENOENT);
    EXPECT_TRUE(e.description.contains(QStringLiteral("No such file or directory")))
        << e.description.toStdString();
    EXPECT_TRUE(e.description.contains(QStringLiteral("/dev/velno-no-such-device")));
    EXPECT_FALSE(comm.portOpen());
}

TEST_F(SerialControlTest, PortHeldByAnotherUserIsReportedBusy)
{
    open();
    SerialControl second;
    const SerialError e = second.setPortOpen(true);
    ASSERT_TRUE(e);
    EXPECT_EQ(e.number, EBUSY);
    EXPECT_TRUE(e.description.contains(QStringLiteral("in use"))) << e.description.toStdString();
    EXPECT_FALSE(second.portOpen());
    EXPECT_TRUE(comm.portOpen()) << "the first user keeps it";
}

TEST_F(SerialControlTest, VanishedDeviceClosesThePortOnceWithoutCrashing)
{
    open();
    QSignalSpy lost(&comm, &SerialControl::deviceLost);
    peer.vanish();
    ASSERT_TRUE(waitUntil([&] { return !comm.portOpen(); }));
    pumpEvents(100);
    EXPECT_EQ(lost.count(), 1);
    // Closed now: the write is refused with a reason, and nothing is read.
    const SerialError e = comm.output(QStringLiteral("C00\r"));
    EXPECT_EQ(e.number, EBADF);
    EXPECT_TRUE(e.description.contains(QStringLiteral("C00"))) << e.description.toStdString();
    EXPECT_TRUE(comm.input().isEmpty());
}

TEST_F(SerialControlTest, ClosedPortReopensAfterClose)
{
    open();
    EXPECT_FALSE(comm.setPortOpen(false));
    EXPECT_FALSE(comm.portOpen());
    EXPECT_FALSE(comm.setPortOpen(false)) << "closing a closed port does not fail";
    open();
    EXPECT_FALSE(comm.output(QStringLiteral("CR0\r")));
    EXPECT_EQ(peer.readAtLeast(4), QByteArray("CR0\r"));
}

} // namespace
