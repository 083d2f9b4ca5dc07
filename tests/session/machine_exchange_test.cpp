// SPDX-License-Identifier: GPL-3.0-or-later
// The machines' exchange on the manual clock, the test playing the
// projector on a pseudo-terminal: every window is the command's own, a
// reply ends it at its carriage return, and a reply an unanswered exchange
// still owes is never credited to a later one.

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

// "status" gets no whole reply within its window; what it owes comes (or
// not) while "input" waits. Steps are on the manual clock, from the close.
struct LateStep {
    int afterMs;
    QByteArray bytes;
};
struct LateCase {
    const char *name;
    QByteArray withinWindow; // what of the reply came in time
    std::vector<LateStep> steps;
    int nextGoesOutAfterMs; // after the last step
};

const LateCase kLateCases[] = {
    {"late by 1.5 windows", "", {{250, "80\r"}}, CommandExchange::kQuietGapMs},
    {"late by 3 windows", "", {{1000, "80\r"}}, CommandExchange::kQuietGapMs},
    {"late by 10 windows", "", {{4500, "80\r"}}, CommandExchange::kQuietGapMs},
    {"in pieces", "8", {{300, "0"}, {100, "\r"}}, CommandExchange::kQuietGapMs},
    // Noise with a carriage return pays nothing; the owed reply after it does.
    {"garbage in between",
     "",
     {{100, QByteArray("\x01\xfe\r\x02", 4)}, {300, "\r"}, {1100, "80\r"}},
     CommandExchange::kQuietGapMs},
    {"never", "", {}, CommandExchange::kForgiveAfterQuietMs},
};

TEST_F(MachineExchangeTest, AnOwedReplyIsNeverCreditedToALaterExchange)
{
    qint64 arrived = 0;
    QObject::connect(&line, &PortConnection::received, [&](const QByteArray &b) { arrived += b.size(); });
    qint64 written = 0;
    const auto write = [&](const QByteArray &bytes) {
        peer.write(bytes);
        written += bytes.size();
        ASSERT_TRUE(waitUntil([&] { return arrived == written; }));
    };
    for (const LateCase &c : kLateCases) {
        SCOPED_TRACE(c.name);
        start("status");
        EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r"));
        write(c.withinWindow);
        timer("replyWindow").fire();
        EXPECT_FALSE(next().reply.endsWith('\r'));
        start("input");
        for (const LateStep &step : c.steps) {
            clock.advance(step.afterMs);
            write(step.bytes);
        }
        clock.advance(c.nextGoesOutAfterMs - 1);
        EXPECT_EQ(peer.readFor(30), QByteArray()) << "out before the line was clear";
        clock.advance(1);
        EXPECT_EQ(peer.readLines(1), QByteArray("CR1\r"));
        write("1\r");
        EXPECT_EQ(next().reply, QStringLiteral("1\r"));
        start("lamp-time");
        EXPECT_EQ(peer.readLines(1), QByteArray("CR3\r")) << "nothing owed, no wait";
        write("1234\r");
        EXPECT_EQ(next().reply, QStringLiteral("1234\r"));
    }
}

// Sent anyway on a line that never fell quiet, an exchange cannot tell its
// own reply from the one still owed: it is taken for the owed one.
TEST_F(MachineExchangeTest, OnALineThatNeverFallsQuietAReplyThatMayBeTheOwedOneIsNotCredited)
{
    start("status");
    peer.readLines(1);
    timer("replyWindow").fire();
    next();
    start("input");
    EXPECT_EQ(timer("quietLimit").interval(),
              CommandExchange::kForgiveAfterQuietMs + CommandExchange::kLongestExtraWaitMs);
    timer("quietLimit").fire();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR1\r"));
    peer.write("1\r");
    EXPECT_TRUE(waitUntil([&] { return exchange.owedReplies() == 0; }));
    timer("replyWindow").fire();
    EXPECT_FALSE(next().answered);
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
