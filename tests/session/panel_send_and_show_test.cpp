// SPDX-License-Identifier: GPL-3.0-or-later
// The panel session's send-and-show cycle, as the session reports it: every send arms the reply window
// (Timer2) and the clear delay (Timer4), received text accumulates until the reply window closes.

#include "support/printers.h"
#include "support/session_fixture.h"
#include "testing/wait.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

using PanelSendAndShowTest = SessionTest;

TEST_F(PanelSendAndShowTest, NothingIsSentAtStart)
{
    EXPECT_TRUE(com1.readFor(100).isEmpty());
    EXPECT_FALSE(timer("Timer2").enabled());
    EXPECT_FALSE(timer("Timer4").enabled());
    EXPECT_FALSE(session.isAwaitingReply());
    EXPECT_TRUE(session.lastCommand().isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PanelSendAndShowTest, DisplayClearSendsItsLineAndArmsTheMonitor)
{
    EXPECT_EQ(send("display-clear"), QByteArray("C1E\r"));
    EXPECT_EQ(session.lastCommand(), QStringLiteral("C1E\r"));
    EXPECT_EQ(log.take(), QStringList{"sent| C 1 E CR "});
    EXPECT_TRUE(session.isAwaitingReply());
    EXPECT_TRUE(timer("Timer2").enabled());
    EXPECT_TRUE(timer("Timer4").enabled());
    EXPECT_EQ(timer("Timer2").interval(), 500);
    EXPECT_EQ(timer("Timer4").interval(), 1000);
}

TEST_F(PanelSendAndShowTest, ReplyInTwoPiecesShowsFirstPieceThenBoth)
{
    send("display-clear");
    ASSERT_TRUE(arrive("0"));
    EXPECT_FALSE(session.isAwaitingReply());
    ASSERT_TRUE(arrive("0\r"));
    EXPECT_EQ(session.receivedText(), QStringLiteral("00\r"));
    // The reply window closes without a marker; only the buffer is emptied.
    timer("Timer2").fire();
    EXPECT_TRUE(session.receivedText().isEmpty());
    EXPECT_FALSE(timer("Timer2").enabled());
    EXPECT_EQ(log.take(), (QStringList{"sent| C 1 E CR ", "received| 0 ", "received| 0 0 CR "}));
}

TEST_F(PanelSendAndShowTest, NoReplyShowsMarkerThenTheClearEmptiesAllThreeLines)
{
    send("display-clear");
    timer("Timer2").fire();
    EXPECT_FALSE(session.isAwaitingReply());
    EXPECT_TRUE(timer("Timer4").enabled());
    EXPECT_EQ(log.take(), (QStringList{"sent| C 1 E CR ", "no reply"}));
    timer("Timer4").fire();
    EXPECT_EQ(log.take(), QStringList{"monitor cleared"});
    EXPECT_FALSE(timer("Timer4").enabled());
    EXPECT_FALSE(timer("Timer4").fire()) << "the clear delay switched itself off";
}

TEST_F(PanelSendAndShowTest, TextArrivingWithNothingSentAccumulates)
{
    ASSERT_TRUE(arrive("A"));
    ASSERT_TRUE(arrive("\x06"));
    ASSERT_TRUE(arrive("\r"));
    EXPECT_EQ(log.take(), (QStringList{"received| A ", "received| A ACK ", "received| A ACK CR "}));
    EXPECT_FALSE(timer("Timer2").enabled()) << "reception arms no timer";
    EXPECT_FALSE(timer("Timer4").enabled());
}

TEST_F(PanelSendAndShowTest, TwoSendsInOneReplyWindowAppendTheReplies)
{
    send("display-clear");
    ASSERT_TRUE(arrive("\x06\r"));
    send("display-clear");
    EXPECT_TRUE(session.isAwaitingReply());
    EXPECT_EQ(session.receivedText(), QStringLiteral("\x06\r")) << "a send leaves the buffer";
    ASSERT_TRUE(arrive("?\r"));
    EXPECT_EQ(log.take(), (QStringList{"sent| C 1 E CR ", "received| ACK CR ", "sent| C 1 E CR ",
                                       "received| ACK CR ? CR "}));
}

TEST_F(PanelSendAndShowTest, ClearedMonitorShowsTheWholeBufferAgainOnTheNextArrival)
{
    ASSERT_TRUE(arrive("12"));
    send("display-clear");
    timer("Timer4").fire(); // empties the monitor, not the buffer
    ASSERT_TRUE(arrive("3"));
    EXPECT_EQ(log.take(),
              (QStringList{"received| 1 2 ", "sent| C 1 E CR ", "monitor cleared", "received| 1 2 3 "}));
}

TEST_F(PanelSendAndShowTest, ReceiveBufferStopsAtItsLimitUntilEmptied)
{
    const QByteArray chunk(4096, 'x');
    int sent = 0;
    while (sent < kReceiveBufferLimit + 5000) {
        com1.write(chunk);
        sent += chunk.size();
        pumpEvents(5);
    }
    ASSERT_TRUE(waitUntil([&] { return session.receivedText().size() == kReceiveBufferLimit; }));
    pumpEvents(100);
    EXPECT_EQ(session.receivedText().size(), kReceiveBufferLimit);
    const QStringList reports = log.take();
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.back().size(),
              qsizetype(QStringLiteral("received|").size() + 1 + 2 * kReceiveBufferLimit));
    send("display-clear");
    timer("Timer2").fire();
    EXPECT_TRUE(session.receivedText().isEmpty());
    ASSERT_TRUE(arrive("yz"));
    EXPECT_EQ(log.take().back(), QStringLiteral("received| y z "));
}

TEST_F(PanelSendAndShowTest, SendOnAClosedPortIsShownReportedAndThenMarkedUnanswered)
{
    session.closePort();
    session.send(command("display-clear"));
    EXPECT_TRUE(timer("Timer2").enabled());
    EXPECT_TRUE(timer("Timer4").enabled());
    EXPECT_TRUE(session.isAwaitingReply());
    EXPECT_TRUE(com1.readFor(50).isEmpty());
    timer("Timer2").fire();
    const QStringList reports = log.take();
    ASSERT_EQ(reports.size(), 4) << reports.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(reports[0], QStringLiteral("port closed"));
    EXPECT_TRUE(reports[1].startsWith(QStringLiteral("error|"))) << reports[1].toStdString();
    EXPECT_TRUE(reports[1].contains(QStringLiteral("C1E"))) << "the error names what was not sent";
    EXPECT_EQ(reports.mid(2), (QStringList{"sent| C 1 E CR ", "no reply"}));
}

// A held button sends every few milliseconds; the log hears of a closed
// port once a spell, not once a send.
TEST_F(PanelSendAndShowTest, AHeldButtonOnAClosedPortIsReportedOncePerClosedSpell)
{
    const auto errorLines = [&] {
        return log.take().filter(QRegularExpression(QStringLiteral("^error\\|")));
    };
    for (int spell = 0; spell < 2; ++spell) {
        session.closePort();
        session.press(command("brightness-up"));
        for (int tick = 0; tick < 20; ++tick)
            ASSERT_TRUE(timer("Timer1").fire());
        session.release(command("brightness-up"));
        EXPECT_EQ(errorLines().size(), 1) << "spell " << spell;
        ASSERT_FALSE(session.switchPort(1));
    }
    EXPECT_EQ(send("display-clear"), QByteArray("C1E\r"));
    EXPECT_TRUE(errorLines().isEmpty());
}

TEST_F(PanelSendAndShowTest, SendAfterTheDeviceVanishedIsMarkedUnanswered)
{
    com1.vanish();
    ASSERT_TRUE(waitUntil([&] { return !session.isPortOpen(); }));
    pumpEvents(50);
    session.send(command("display-clear"));
    timer("Timer2").fire();
    const QStringList reports = log.take();
    ASSERT_EQ(reports.size(), 4) << reports.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("port lost|"))) << reports[0].toStdString();
    EXPECT_TRUE(reports[1].startsWith(QStringLiteral("error|"))) << reports[1].toStdString();
    EXPECT_EQ(reports.mid(2), (QStringList{"sent| C 1 E CR ", "no reply"}));
}

// The real clock: the reply window and the clear delay end on their own.
TEST(PanelSendAndShowOnTheRealClock, TimersCloseTheReplyWindowAndClearOnTheirOwn)
{
    PtyPeer com1;
    qputenv("VELNO_COM1", com1.devicePath().toLocal8Bit());
    PanelSession session;
    ASSERT_FALSE(session.open(1, port_settings::kFast));
    SessionLog log(session);
    session.send(*findCommand(QStringLiteral("display-clear")));
    // Generous bound: the clear delay is 1000 ms.
    ASSERT_TRUE(waitUntil([&] { return log.lines().size() >= 3; }, 5000));
    EXPECT_EQ(log.lines(), (QStringList{"sent| C 1 E CR ", "no reply", "monitor cleared"}));
    EXPECT_FALSE(session.isReplyWindowOpen());
    EXPECT_FALSE(session.isClearPending());
    qunsetenv("VELNO_COM1");
}

} // namespace
