#include "link/exchange.h"
#include "support/monitor.h"
#include "support/panel_fixture.h"
#include "support/wait.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

class ExchangeTest : public PanelTest {
protected:
    void clickDisplayClear() { click("Command3"); }
    QString line(const char *name) const { return monitorText(*form, name); }
    // Waits until the received line shows exactly the expected text.
    bool receivedLineBecomes(const QString &expected)
    {
        return waitUntil([&] { return line("Label12") == expected; });
    }
};

TEST_F(ExchangeTest, NothingIsSentAtStart)
{
    EXPECT_TRUE(com1.readFor(100).isEmpty());
    EXPECT_FALSE(form->timer(2).enabled());
    EXPECT_FALSE(form->timer(4).enabled());
}

TEST_F(ExchangeTest, DisplayClearSendsItsLineAndArmsTheMonitor)
{
    clickDisplayClear();
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
    EXPECT_EQ(state().LastCommand, QStringLiteral("C1E\r"));
    EXPECT_EQ(line("Label11"), QStringLiteral(" C 1 E CR "));
    EXPECT_EQ(state().SendPending, 1);
    EXPECT_TRUE(form->timer(2).enabled());
    EXPECT_TRUE(form->timer(4).enabled());
    EXPECT_EQ(form->timer(2).interval(), 500);
    EXPECT_EQ(form->timer(4).interval(), 1000);
}

TEST_F(ExchangeTest, ReplyInTwoPiecesShowsFirstPieceThenBoth)
{
    clickDisplayClear();
    com1.readAtLeast(4);
    com1.write("0");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" 0 ")));
    EXPECT_EQ(state().SendPending, 0);
    com1.write("0\r");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" 0 0 CR ")));
    EXPECT_EQ(state().ReceiveBuffer, QStringLiteral("00\r"));
    // The reply window closes without a marker; only the buffer is emptied.
    form->exchange().timer2Tick();
    EXPECT_EQ(line("Label12"), QStringLiteral(" 0 0 CR "));
    EXPECT_TRUE(state().ReceiveBuffer.isEmpty());
    EXPECT_FALSE(form->timer(2).enabled());
}

TEST_F(ExchangeTest, NoReplyShowsMarkerThenTheClearEmptiesAllThreeLines)
{
    clickDisplayClear();
    form->exchange().timer2Tick();
    EXPECT_EQ(line("Label12"), QStringLiteral(" X X X X"));
    EXPECT_EQ(state().SendPending, 0);
    EXPECT_EQ(line("Label11"), QStringLiteral(" C 1 E CR "));
    EXPECT_TRUE(form->timer(4).enabled());
    form->exchange().timer4Tick();
    EXPECT_EQ(line("Label11"), QString());
    EXPECT_EQ(line("Label12"), QString());
    EXPECT_EQ(line("Label22"), QString());
    EXPECT_FALSE(form->timer(4).enabled());
}

TEST_F(ExchangeTest, TimersCloseTheReplyWindowAndClearOnTheirOwn)
{
    clickDisplayClear();
    // Generous bound: the reply window is 500 ms.
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" X X X X")));
    ASSERT_TRUE(waitUntil([&] { return line("Label11").isEmpty(); }, 5000));
    EXPECT_TRUE(line("Label12").isEmpty());
    EXPECT_FALSE(form->timer(2).enabled());
    EXPECT_FALSE(form->timer(4).enabled());
}

TEST_F(ExchangeTest, TextArrivingWithNothingSentAccumulates)
{
    com1.write("A");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" A ")));
    com1.write("\x06");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" A ACK ")));
    com1.write("\r");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" A ACK CR ")));
    EXPECT_FALSE(form->timer(2).enabled()) << "reception arms no timer";
}

TEST_F(ExchangeTest, TwoSendsInOneReplyWindowAppendTheReplies)
{
    clickDisplayClear();
    com1.readAtLeast(4);
    com1.write("\x06\r");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" ACK CR ")));
    clickDisplayClear();
    EXPECT_EQ(state().SendPending, 1);
    EXPECT_EQ(line("Label12"), QStringLiteral(" ACK CR ")) << "a send leaves the received line";
    com1.write("?\r");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" ACK CR ? CR ")));
}

TEST_F(ExchangeTest, ClearedLineShowsWholeBufferAgainOnNextArrival)
{
    com1.write("12");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" 1 2 ")));
    form->exchange().timer4Tick(); // empties the lines, not the buffer
    com1.write("3");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" 1 2 3 ")));
}

TEST_F(ExchangeTest, ReceiveBufferStopsAtItsLimitUntilEmptied)
{
    const QByteArray chunk(4096, 'x');
    int sent = 0;
    while (sent < kReceiveBufferLimit + 5000) {
        com1.write(chunk);
        sent += chunk.size();
        pumpEvents(5);
    }
    ASSERT_TRUE(waitUntil([&] { return state().ReceiveBuffer.size() == kReceiveBufferLimit; }));
    pumpEvents(100);
    EXPECT_EQ(state().ReceiveBuffer.size(), kReceiveBufferLimit);
    EXPECT_EQ(line("Label12").size(), 1 + 2 * kReceiveBufferLimit);
    form->exchange().timer2Tick();
    com1.write("yz");
    ASSERT_TRUE(receivedLineBecomes(QStringLiteral(" y z ")));
}

TEST_F(ExchangeTest, SendOnClosedPortShowsTheLineAndThenTheMarker)
{
    form->comm().setPortOpen(false);
    clickDisplayClear();
    EXPECT_EQ(line("Label11"), QStringLiteral(" C 1 E CR "));
    EXPECT_TRUE(form->timer(2).enabled());
    EXPECT_TRUE(form->timer(4).enabled());
    EXPECT_EQ(state().SendPending, 1);
    EXPECT_TRUE(com1.readFor(50).isEmpty());
    form->exchange().timer2Tick();
    EXPECT_EQ(line("Label12"), QStringLiteral(" X X X X"));
}

TEST_F(ExchangeTest, SendAfterTheDeviceVanishedDoesNotEndTheProgram)
{
    com1.vanish();
    ASSERT_TRUE(waitUntil([&] { return !form->comm().portOpen(); }));
    clickDisplayClear();
    EXPECT_EQ(line("Label11"), QStringLiteral(" C 1 E CR "));
    form->exchange().timer2Tick();
    EXPECT_EQ(line("Label12"), QStringLiteral(" X X X X"));
}

TEST_F(ExchangeTest, ClsEmptiesTheTextBoxOnly)
{
    auto *text = control<QLineEdit>("Text1");
    text->setText(QStringLiteral("CR0"));
    clickDisplayClear();
    const QString sent = line("Label11");
    click("Command96");
    EXPECT_TRUE(text->text().isEmpty());
    EXPECT_EQ(line("Label11"), sent);
    EXPECT_EQ(state().LastCommand, QStringLiteral("C1E\r"));
    com1.readAtLeast(4);
    EXPECT_TRUE(com1.readFor(50).isEmpty()) << "CLS sends nothing";
}

} // namespace
