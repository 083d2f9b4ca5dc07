// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/precise_timer.h"
#include "testing/wait.h"

#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

// A precise timer ticks from the system's exact clock, a coarse one from
// Qt's own timers; both must keep the session's timer contract.
class PreciseTimerTest : public ::testing::TestWithParam<Qt::TimerType> {
protected:
    PreciseTimer &timer(int intervalMs)
    {
        timer_ = std::make_unique<PreciseTimer>(QStringLiteral("TimerX"), intervalMs, nullptr, GetParam());
        QObject::connect(timer_.get(), &SessionTimer::tick, [this] { ++ticks; });
        return *timer_;
    }
    int ticks = 0;

private:
    std::unique_ptr<PreciseTimer> timer_;
};

TEST_P(PreciseTimerTest, TicksRepeatedlyWhileEnabledAndNeverAfterDisabling)
{
    PreciseTimer &t = timer(20);
    EXPECT_FALSE(t.enabled());
    t.setEnabled(true);
    EXPECT_TRUE(t.enabled());
    pumpEvents(300);
    EXPECT_GE(ticks, 5);
    EXPECT_LE(ticks, 16);
    t.setEnabled(false);
    EXPECT_FALSE(t.enabled());
    const int before = ticks;
    pumpEvents(100);
    EXPECT_EQ(ticks, before);
}

TEST_P(PreciseTimerTest, LateTicksAreNotMadeUpAndStoppingDropsThePendingOne)
{
    PreciseTimer &t = timer(50);
    t.setEnabled(true);
    QThread::msleep(260); // the thread is busy for five periods
    ASSERT_TRUE(waitUntil([&] { return ticks >= 1; }, 1000));
    EXPECT_EQ(ticks, 1);

    QThread::msleep(120); // more are due, not yet delivered
    t.setEnabled(false);
    pumpEvents(50);
    EXPECT_EQ(ticks, 1);
}

TEST_P(PreciseTimerTest, EnablingOrAssigningTheIntervalAgainRestartsTheCountdown)
{
    PreciseTimer &t = timer(500);
    t.setEnabled(true);
    pumpEvents(250);
    t.setEnabled(true);
    pumpEvents(400); // past the first countdown's end
    EXPECT_EQ(ticks, 0);
    t.setInterval(600);
    EXPECT_EQ(t.interval(), 600);
    pumpEvents(350); // past the second countdown's end
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(waitUntil([&] { return ticks == 1; }, 2000));
}

TEST_P(PreciseTimerTest, IntervalOfAStoppedTimerIsKeptForItsNextStart)
{
    PreciseTimer &t = timer(1000);
    t.setInterval(30);
    pumpEvents(100);
    EXPECT_EQ(ticks, 0);
    t.setEnabled(true);
    EXPECT_TRUE(waitUntil([&] { return ticks >= 1; }, 500));
}

INSTANTIATE_TEST_SUITE_P(Clocks, PreciseTimerTest, ::testing::Values(Qt::PreciseTimer, Qt::CoarseTimer),
                         [](const ::testing::TestParamInfo<Qt::TimerType> &info) {
                             return std::string(info.param == Qt::PreciseTimer ? "Precise" : "Coarse");
                         });

} // namespace
