// SPDX-License-Identifier: GPL-3.0-or-later
// The machines' exchange on the manual clock, the test playing the
// projector on a pseudo-terminal: every window is the command's own, a
// reply ends it at its carriage return, and after an unanswered window the
// next command waits for the line to fall quiet.

#include "session/command_exchange.h"
#include "session/port_connection.h"
#include "support/printers.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

class MachineExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(line.open(PortAddress::serialDevice(peer.devicePath()), port_settings::kFast));
        QObject::connect(&exchange, &CommandExchange::finished,
                         [this](const ExchangeResult &r) { results.push_back(r); });
    }
    ManualTimer &timer(const char *name) { return clock.timer(name); }
    void start(const char *name, std::optional<int> windowMs = std::nullopt)
    {
        exchange.start(*findCommand(QString::fromLatin1(name)), windowMs);
    }
    // Waits for the next result.
    ExchangeResult next()
    {
        const std::size_t before = taken;
        EXPECT_TRUE(waitUntil([&] { return results.size() > before; })) << "no result";
        return results.size() > before ? results[taken++] : ExchangeResult{};
    }

    PtyPeer peer;
    PortConnection line;
    ManualClock clock;
    CommandExchange exchange{line, nullptr, clock.clock().makeTimer};
    std::vector<ExchangeResult> results;
    std::size_t taken = 0;
};

TEST_F(MachineExchangeTest, EachCommandHasItsOwnWindowNeverOneLeftBehind)
{
    struct Case {
        const char *command;
        std::optional<int> given;
        int windowMs;
    };
    const Case cases[] = {
        {"pc1-rgb", std::nullopt, 5000},       // input terminals
        {"status", std::nullopt, 500},         // not the 5 s the one before had
        {"picture-stand", std::nullopt, 2000}, // picture modes
        {"mute", std::nullopt, 2000},          // typed-only queries
        {"vol-up", std::nullopt, 500},         // a held button's 200 ms is for a repeating display
        {"status", 1234, 1234},                // --timeout
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        start(c.command, c.given);
        EXPECT_EQ(peer.readLines(1).count('\r'), 1);
        EXPECT_EQ(timer("replyWindow").interval(), c.windowMs);
        peer.write("00\r");
        EXPECT_TRUE(next().answered);
    }
    exchange.start(CommandRequest::fromLine(QStringLiteral("CF LAMP")));
    EXPECT_EQ(timer("replyWindow").interval(), 2000) << "typed text, as on the panel";
}

TEST_F(MachineExchangeTest, TheReplyEndsAtItsCarriageReturnAndWhatFollowsIsStray)
{
    start("status");
    EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r"));
    peer.write("00\rXX");
    const ExchangeResult r = next();
    EXPECT_EQ(r.reply, QStringLiteral("00\r"));
    EXPECT_EQ(r.status, QStringLiteral(" Power ON"));
    EXPECT_FALSE(timer("replyWindow").enabled());
    EXPECT_TRUE(waitUntil([&] { return exchange.strayBytes() == 2; }));
    EXPECT_TRUE(timer("quietGap").enabled()) << "the next command waits until they stop";
}

TEST_F(MachineExchangeTest, ALateReplyIsDiscardedWhileTheNextCommandWaitsForQuiet)
{
    start("status");
    peer.readLines(1);
    timer("replyWindow").fire();
    const ExchangeResult unanswered = next();
    EXPECT_FALSE(unanswered.answered);
    EXPECT_EQ(unanswered.rendered, QStringLiteral(" X X X X"));
    EXPECT_EQ(timer("quietGap").interval(), 500 + CommandExchange::kQuietGapMs)
        << "the window again, and the gap";

    start("input");
    EXPECT_EQ(peer.readFor(50), QByteArray()) << "nothing goes out before the line is quiet";
    peer.write("80\r"); // the answer to CR0, late
    EXPECT_TRUE(waitUntil([&] { return exchange.strayBytes() == 3; }));
    EXPECT_EQ(timer("quietGap").interval(), CommandExchange::kQuietGapMs)
        << "quiet counts from the late bytes";
    timer("quietGap").fire();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR1\r"));
    peer.write("1\r");
    EXPECT_EQ(next().status, QStringLiteral(" Computer 1"));
}

TEST_F(MachineExchangeTest, ALineThatNeverFallsQuietGetsTheCommandAfterAWhileAnyway)
{
    start("status");
    peer.readLines(1);
    timer("replyWindow").fire();
    next();
    start("input");
    EXPECT_TRUE(timer("quietLimit").enabled());
    EXPECT_EQ(timer("quietLimit").interval(), 700 + CommandExchange::kLongestExtraWaitMs);
    timer("quietLimit").fire();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR1\r"));
}

TEST_F(MachineExchangeTest, FinishedNowItReportsWhatItHasAndTheRestIsWaitedOut)
{
    start("lamp-time");
    peer.readLines(1);
    QByteArray arrived;
    QObject::connect(&line, &PortConnection::received, [&](const QByteArray &bytes) { arrived += bytes; });
    peer.write("12");
    ASSERT_TRUE(waitUntil([&] { return arrived == "12"; }));
    exchange.finishNow();
    const ExchangeResult r = next();
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.reply, QStringLiteral("12"));
    EXPECT_TRUE(timer("quietGap").enabled()) << "the rest of the reply may still come";
}

} // namespace
