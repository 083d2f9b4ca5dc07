// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's session on its own, without the window: a core application,
// a pseudo-terminal for the cable, the test ticking the clock. What it reports is what any monitor would
// show.

#include "support/printers.h"
#include "support/session_fixture.h"
#include "support/test_names.h"

#include <QCoreApplication>
#include <QStringList>
#include <string>

namespace {

using PanelSessionTest = SessionTest;

TEST_F(PanelSessionTest, StatusQueryIsAnsweredDecodedAndClearedWithoutAWindowSystem)
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

TEST_F(PanelSessionTest, UnansweredTypedQueryIsMarkedAndALateReplyStillDecoded)
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

TEST_F(PanelSessionTest, ReleaseClearsTheTrafficAndTheBufferNotTheStatus)
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

TEST_F(PanelSessionTest, PortNumbersAreOneOrTwoAndChangeOnlyWhileClosed)
{
    EXPECT_NE(session.findChild<QObject *>(QStringLiteral("MSComm1")), nullptr)
        << "the line keeps its object name";
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

// ---- Status queries: the reply to the query last sent is decoded ----

struct QueryCase {
    const char *command;
    const char *reply;
    const char *decoded;
};

class StatusQueryTest : public PanelSessionTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(StatusQueryTest, ReplyIsDecodedForTheStatusLine)
{
    const QueryCase &q = GetParam();
    send(q.command);
    log.take();
    ASSERT_TRUE(arrive(q.reply));
    EXPECT_EQ(log.take().value(1), QStringLiteral("status|") + QLatin1String(q.decoded));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, StatusQueryTest,
    ::testing::Values(QueryCase{"status", "00\r", " Power ON"}, QueryCase{"input", "12\r", " Computer 1"},
                      QueryCase{"setting", "10\r", " Top/Bottom reversal"},
                      QueryCase{"lamp-time", "01234\r", " 0 1 2 3 4 CR  Hour Use"},
                      QueryCase{"temp", "ABCDEFGHIJKLMNOPQ",
                                "  S1= A B C D E C  ,   S2=  H I J K C , S3= M N O P Q C"},
                      QueryCase{"mute", "FF\r", " Stand by"}, QueryCase{"info", "AB\x06\r", " A B ACK CR "},
                      QueryCase{"pressure", "512\r", "650 hPa"},
                      QueryCase{"lamp-mode", "03\r", " No1,2 ON  : 2 Lamp mode"}),
    [](const ::testing::TestParamInfo<QueryCase> &info) {
        return test_names::camelCase(QLatin1String(info.param.command));
    });

TEST_F(PanelSessionTest, StatusReplyInTwoPiecesIsDecodedOnlyWhenWhole)
{
    send("status");
    log.take();
    ASSERT_TRUE(arrive("0"));
    EXPECT_EQ(log.take(), QStringList{"received| 0 "}) << "a key of three characters matches no state";
    ASSERT_TRUE(arrive("0\r"));
    EXPECT_EQ(log.take(), (QStringList{"received| 0 0 CR ", "status| Power ON"}));
}

TEST_F(PanelSessionTest, PressureInTwoPiecesIsDecodedAgainFromTheWhole)
{
    send("pressure");
    log.take();
    ASSERT_TRUE(arrive("5"));
    ASSERT_TRUE(arrive("12\r"));
    EXPECT_EQ(log.take(),
              (QStringList{"received| 5 ", "status|111 hPa", "received| 5 1 2 CR ", "status|650 hPa"}));
}

TEST_F(PanelSessionTest, ReplyArrivingAfterAnotherCommandIsNotDecoded)
{
    send("status");
    send("power-on");
    log.take();
    ASSERT_TRUE(arrive("00\r"));
    EXPECT_EQ(log.take(), QStringList{"received| 0 0 CR "});
}

// ---- Typed lines: the first line goes out as it stands ----

struct TypedCase {
    const char *entered; // UTF-8
    QByteArray wire;
    const char *reply;
    const char *decoded; // nullptr: not a status query line
};

class TypedLineTest : public PanelSessionTest, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedLineTest, FirstLineGoesOutAsEnteredAndIsDecodedOnlyAsAQueryLine)
{
    const TypedCase &c = GetParam();
    session.sendTyped(QString::fromUtf8(c.entered));
    const QByteArray wire = com1.readLines(1);
    EXPECT_EQ(wire + com1.readFor(20), c.wire);
    log.take();
    ASSERT_TRUE(arrive(c.reply));
    const QStringList reports = log.take();
    EXPECT_EQ(reports.value(1),
              c.decoded ? QStringLiteral("status|") + QString::fromUtf8(c.decoded) : QString())
        << reports.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Lines, TypedLineTest,
                         ::testing::Values(TypedCase{"CR0", "CR0\r", "00\r", " Power ON"},
                                           TypedCase{"cr0", "cr0\r", "00\r", nullptr},
                                           TypedCase{"CR PRESSURE", "CR PRESSURE\r", "512\r", "650 hPa"},
                                           TypedCase{"CR0\rC01\r", "CR0\r", "00\r", " Power ON"},
                                           TypedCase{"CR0\nC01", "CR0\r", "00\r", " Power ON"},
                                           TypedCase{"CR0\r\nC01", "CR0\r", "00\r", " Power ON"},
                                           TypedCase{"\nCR0", "\r", "00\r", nullptr},
                                           // One byte per character, "?" where one byte cannot hold it.
                                           TypedCase{"C0€0", "C0?0\r", "\x06\r", nullptr},
                                           TypedCase{"C0é", "C0\xe9\r", "\x06\r", nullptr},
                                           // One character in two UTF-16 units: one "?".
                                           TypedCase{"C0\U0001F600", "C0?\r", "\x06\r", nullptr}),
                         [](const ::testing::TestParamInfo<TypedCase> &info) {
                             return test_names::spelled(QString::fromUtf8(info.param.entered));
                         });

} // namespace
