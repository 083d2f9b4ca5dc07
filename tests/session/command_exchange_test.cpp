// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange machines use, against the simulated projector on a
// pseudo-terminal: done at the reply's carriage return, a late reply kept
// from the command after it, split replies gathered, failures in the result.

#include "session/command_exchange.h"
#include "session/port_connection.h"
#include "sim/pty_server.h"
#include "support/printers.h"
#include "testing/wait.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

constexpr int kGenerousMs = 15000;

class CommandExchangeTest : public ::testing::Test {
protected:
    void startProjector(sim::FaultSettings fault = {})
    {
        projector.setFault(fault);
        ASSERT_TRUE(projector.start());
        const SerialError e = line.open(
            PortAddress::serialDevice(QString::fromStdString(projector.devicePath())), port_settings::kFast);
        ASSERT_FALSE(e) << e.description.toStdString();
    }
    // Runs one command to its end; the wall time it took is in tookMs.
    ExchangeResult run(const char *name, std::optional<int> windowMs = std::nullopt)
    {
        std::optional<ExchangeResult> result;
        QObject context;
        QObject::connect(&exchange, &CommandExchange::finished, &context,
                         [&](const ExchangeResult &r) { result = r; });
        QElapsedTimer clock;
        clock.start();
        exchange.start(*findCommand(QString::fromLatin1(name)), windowMs);
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, kGenerousMs)) << name;
        tookMs = clock.elapsed();
        return result.value_or(ExchangeResult{});
    }

    sim::PtyServer projector;
    PortConnection line;
    CommandExchange exchange{line};
    qint64 tookMs = 0;
};

TEST_F(CommandExchangeTest, EndsWhenTheReplyLineIsCompleteNotWhenItsWindowCloses)
{
    startProjector();
    const ExchangeResult r = run("status", 5000);
    EXPECT_LT(tookMs, 2500) << "a generous bound, half the window";
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.reply, QStringLiteral("80\r"));
    EXPECT_EQ(r.rendered, QStringLiteral(" 8 0 CR "));
    EXPECT_EQ(r.status, QStringLiteral(" Stand by"));
    EXPECT_EQ(r.sent, QStringLiteral("CR0\r"));
    EXPECT_EQ(r.code, QStringLiteral("CR0"));
    EXPECT_FALSE(r.error);
    EXPECT_LE(r.elapsedMs, tookMs);
}

TEST_F(CommandExchangeTest, SplitReplyIsGatheredUntilItsCarriageReturn)
{
    sim::FaultSettings split;
    split.mode = sim::Fault::Split;
    split.pieceSize = 2;
    split.pieceGapMs = 40;
    startProjector(split);
    const ExchangeResult r = run("temp", 3000);
    EXPECT_EQ(r.reply, QStringLiteral(" 35.5, 40.0, 41.5\r"));
    EXPECT_EQ(r.status, QStringLiteral("  S1=   3 5 . 5 C  ,   S2=  4 0 . 0 C , S3=   4 1 . 5 C"));
}

TEST_F(CommandExchangeTest, LateReplyIsNeverCreditedToTheCommandAfterIt)
{
    sim::FaultSettings late;
    late.mode = sim::Fault::Late;
    late.lateDelayMs = 700;
    startProjector(late);
    const ExchangeResult status = run("status"); // its own window is 500 ms
    EXPECT_FALSE(status.answered);
    EXPECT_EQ(status.rendered, QStringLiteral(" X X X X"));
    EXPECT_FALSE(status.status);
    // Asked at once; it goes out only after the late "80" has come and gone.
    const ExchangeResult input = run("input", 3000);
    EXPECT_EQ(input.reply, QStringLiteral("1\r"));
    EXPECT_EQ(input.status, QStringLiteral(" Computer 1"));
    EXPECT_EQ(exchange.strayBytes(), 3);
    EXPECT_EQ(projector.receivedLines(), (std::vector<std::string>{"CR0", "CR1"}));
}

TEST_F(CommandExchangeTest, FailuresOfTheLineAreInTheResult)
{
    sim::FaultSettings silent;
    silent.mode = sim::Fault::Silent;
    startProjector(silent);
    std::optional<ExchangeResult> result;
    QObject::connect(&exchange, &CommandExchange::finished, [&](const ExchangeResult &r) { result = r; });
    exchange.start(*findCommand(QStringLiteral("status")), 5000);
    ASSERT_TRUE(waitUntil([&] { return !projector.receivedLines().empty(); }));
    projector.vanish();
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    EXPECT_FALSE(result->answered);
    ASSERT_TRUE(result->error);
    EXPECT_TRUE(result->error->contains(QStringLiteral("lost"))) << result->error->toStdString();

    result.reset();
    exchange.start(*findCommand(QStringLiteral("status")));
    ASSERT_TRUE(result.has_value()) << "a closed line fails at once";
    ASSERT_TRUE(result->error);
    EXPECT_FALSE(result->answered);
}

} // namespace
