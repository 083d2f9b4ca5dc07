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

} // namespace
