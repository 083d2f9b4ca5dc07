// SPDX-License-Identifier: GPL-3.0-or-later
// velno-cmd --watch on the manual clock, the test playing the projector on
// a pseudo-terminal: a question never goes out while the one before it
// waits, and only changes are reported.

#include "command_watch.h"
#include "session/command_exchange.h"
#include "session/port_connection.h"
#include "support/printers.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

class CommandWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(line.open(PortAddress::serialDevice(peer.devicePath()), port_settings::kFast));
        QObject::connect(&watch, &CommandWatch::changed,
                         [this](const ExchangeResult &r) { changes.push_back(r); });
    }
    ManualTimer &period() { return clock.timer("watchPeriod"); }

    PtyPeer peer;
    PortConnection line;
    ManualClock clock;
    CommandExchange exchange{line, nullptr, clock.clock().makeTimer};
    CommandWatch watch{exchange, *findCommand(QStringLiteral("mute")), 1000, std::nullopt,
                       clock.clock().makeTimer};
    std::vector<ExchangeResult> changes;
};

TEST_F(CommandWatchTest, AQuestionDueWhileOneWaitsGoesOutOnlyOnceItsAnswerIsIn)
{
    watch.start();
    EXPECT_EQ(peer.readLines(1), QByteArray("CRA\r"));
    period().fire(); // a second falls due; the first still waits
    period().fire();
    EXPECT_EQ(peer.readFor(50), QByteArray()) << "no second question over the first";
    peer.write("FF\r");
    ASSERT_TRUE(waitUntil([&] { return changes.size() == 1; }));
    EXPECT_EQ(peer.readLines(1), QByteArray("CRA\r")) << "the one that fell due, once";
    EXPECT_EQ(peer.readFor(50), QByteArray());
}

TEST_F(CommandWatchTest, OnlyAnAnswerThatDiffersIsReported)
{
    watch.start();
    const char *answers[] = {"FF\r", "FF\r", "00\r", "00\r"};
    for (const char *answer : answers) {
        EXPECT_EQ(peer.readLines(1), QByteArray("CRA\r"));
        peer.write(answer);
        ASSERT_TRUE(waitUntil([&] { return !exchange.isRunning(); }));
        period().fire();
    }
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].status, QStringLiteral(" Stand by"));
    EXPECT_EQ(changes[1].status, QStringLiteral(" Video & Audio mute OFF"));
}

} // namespace
