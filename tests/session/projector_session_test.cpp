// A projector session on its own, as a command-line tool or a bridge would
// run it: a core application, a pseudo-terminal for the cable, the test
// ticking the clock. What it reports is what any monitor would show.

#include "support/printers.h"
#include "support/session_fixture.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

using ProjectorSessionTest = SessionTest;

TEST_F(ProjectorSessionTest, StatusQueryIsAnsweredDecodedAndClearedWithoutAWindowSystem)
{
    ASSERT_FALSE(QCoreApplication::instance()->inherits("QGuiApplication"));
    EXPECT_EQ(send("status"), QByteArray("CR0\r"));
    ASSERT_TRUE(arrive("80\r"));
    EXPECT_TRUE(timer("Timer2").fire()); // answered: no marker
    EXPECT_TRUE(timer("Timer4").fire());
    EXPECT_EQ(log.take(),
              (QStringList{"sent| C R 0 CR ", "received| 8 0 CR ", "status| Stand by", "monitor cleared"}));
    EXPECT_TRUE(session.receivedText().isEmpty());
    EXPECT_FALSE(session.isReplyWindowOpen());
    EXPECT_FALSE(session.isClearPending());
}

TEST_F(ProjectorSessionTest, UnansweredTypedQueryIsMarkedAndALateReplyStillDecoded)
{
    session.sendTyped(QStringLiteral("CR PRESSURE\r\nC00"));
    EXPECT_EQ(com1.readAtLeast(12), QByteArray("CR PRESSURE\r"));
    EXPECT_EQ(com1.readFor(50), QByteArray()) << "one line per send";
    EXPECT_EQ(session.monitorTiming(), monitor_timing::kShort);
    timer("Timer2").fire();
    timer("Timer4").fire();
    // After the reply window the answer starts a new buffer, read against
    // the same query.
    ASSERT_TRUE(arrive("512\r"));
    EXPECT_EQ(log.take(), (QStringList{"sent| C R   P R E S S U R E CR ", "no reply", "monitor cleared",
                                       "received| 5 1 2 CR ", "status|650 hPa"}));
    EXPECT_EQ(session.lastCommand(), QStringLiteral("CR PRESSURE\r"));
}

TEST_F(ProjectorSessionTest, ReleaseClearsTheTrafficAndTheBufferNotTheStatus)
{
    send("status");
    ASSERT_TRUE(arrive("00\r"));
    session.press(command("vol-up"));
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C09\r"));
    session.release(command("vol-up"));
    EXPECT_TRUE(session.receivedText().isEmpty());
    EXPECT_TRUE(session.isClearPending());
    timer("Timer4").fire();
    EXPECT_EQ(log.take(), (QStringList{"sent| C R 0 CR ", "received| 0 0 CR ", "status| Power ON",
                                       "sent| C 0 9 CR ", "traffic cleared", "monitor cleared"}));
}

TEST_F(ProjectorSessionTest, TypedTextGoesOutOneBytePerCharacterOnMSComm1)
{
    EXPECT_NE(session.findChild<QObject *>(QStringLiteral("MSComm1")), nullptr);
    QString text = QStringLiteral("C00");
    text += QChar(0xE9);                      // fits one byte
    text += QChar(0x3042);                    // does not: goes out as "?"
    text += QString::fromUcs4(U"\U0001F600"); // one character in two UTF-16 units: one "?"
    session.sendTyped(text);
    EXPECT_EQ(com1.readAtLeast(7), QByteArray("C00\xE9??\r"));
}

TEST_F(ProjectorSessionTest, PortNumbersAreOneOrTwoAndChangeOnlyWhileClosed)
{
    for (int number : {0, -1, 3}) {
        const SerialError e = session.setPortNumber(number);
        EXPECT_TRUE(e) << number;
        EXPECT_FALSE(e.description.isEmpty());
    }
    EXPECT_TRUE(session.setPortNumber(2)) << "the number changes only while the port is closed";
    EXPECT_EQ(session.portNumber(), 1);
    session.closePort();
    EXPECT_FALSE(session.setPortNumber(2));
    EXPECT_EQ(session.portNumber(), 2);
}

} // namespace
