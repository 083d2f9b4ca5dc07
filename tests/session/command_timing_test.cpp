// SPDX-License-Identifier: GPL-3.0-or-later
// What a command leaves in the timers: plain commands send under the reply
// window (Timer2) and clear delay (Timer4) in force, the image modes and the
// typed queries assign the short pair first, the input terminals and
// signals the long pair, and "A-IMAGE" and "MENU" "ON" set the arrows'
// repeat (Timer1) and mode after the send. What they assign stays in force
// for later sends. Written out here, independently of the command table.

#include "support/printers.h"
#include "support/session_fixture.h"
#include "support/test_names.h"

#include <string>
#include <vector>

namespace {

enum class Leaves { IntervalsInForce, ShortTiming, LongTiming, ArrowsArmed };

struct TimingGroup {
    Leaves leaves;
    std::vector<const char *> commands;
};

const TimingGroup kGroups[] = {
    {Leaves::IntervalsInForce,
     {"power-on",        "power-off",       "pc1",        "pc2",          "video",         "menu-off",
      "sound-mute-on",   "sound-mute-off",  "no-show-on", "no-show-off",  "freeze-on",     "freeze-off",
      "av-size-regular", "av-size-wide",    "image",      "p-timer",      "display-clear", "key-disable-none",
      "key-disable-rc",  "key-disable-key", "status",     "lamp-time",    "temp",          "input",
      "setting",         "fan-max",         "fan-normal", "logo-capture", "logo-off",      "logo-default",
      "logo-user"}},
    // The queries no button sends are timed as the free-text box times them.
    {Leaves::ShortTiming,
     {"picture-stand", "picture-real", "picture-cinema", "picture-image1", "picture-image2", "picture-image3",
      "picture-image4", "mute", "info", "pressure", "lamp-mode"}},
    {Leaves::LongTiming,
     {"pc1-rgb", "pc1-dvi-digital", "pc1-dvi-hdcp", "pc2-rgb", "pc2-component", "pc2-scart", "terminal-in",
      "terminal-out", "video-auto", "video-video", "video-s-video"}},
    {Leaves::ArrowsArmed, {"a-image", "menu-on"}},
};

// Intervals no command assigns, so a change by the send is visible.
constexpr int kPresetRepeat = 55;
constexpr MonitorTiming kPresetMonitor{777, 888};

class CommandTimingTest : public SessionTest {
protected:
    // The fast arrows (a digital-zoom release), then intervals of the test's
    // own, and the monitor timers stopped.
    void preset()
    {
        session.press(command("zoom-up"));
        session.release(command("zoom-up"));
        ASSERT_EQ(com1.readLines(1), QByteArray("C30\r"));
        timer("Timer1").setInterval(kPresetRepeat);
        session.setMonitorTiming(kPresetMonitor);
        timer("Timer2").setEnabled(false);
        timer("Timer4").setEnabled(false);
    }
};

TEST_F(CommandTimingTest, EveryOneShotCommandLeavesItsTiming)
{
    for (const TimingGroup &group : kGroups)
        for (const char *name : group.commands) {
            SCOPED_TRACE(name);
            preset();
            send(name);
            MonitorTiming monitor = kPresetMonitor;
            int repeat = kPresetRepeat;
            ArrowMode arrows = ArrowMode::Fast;
            switch (group.leaves) {
            case Leaves::IntervalsInForce: break;
            case Leaves::ShortTiming: monitor = {2000, 2500}; break;
            case Leaves::LongTiming: monitor = {5000, 5500}; break;
            case Leaves::ArrowsArmed: repeat = 200, arrows = ArrowMode::Menu; break;
            }
            EXPECT_EQ(session.monitorTiming(), monitor);
            EXPECT_EQ(session.repeatPeriodMs(), repeat);
            EXPECT_EQ(session.arrowMode(), arrows);
            EXPECT_TRUE(timer("Timer2").enabled()) << "the send opens the reply window";
            EXPECT_TRUE(timer("Timer4").enabled()) << "the send starts the clear delay";
            EXPECT_FALSE(session.isRepeating()) << "a one-shot command never starts the repeat";
        }
}

struct Carryover {
    const char *timed;
    const char *later;
    MonitorTiming monitor;
};

class CarryoverTest : public CommandTimingTest, public ::testing::WithParamInterface<Carryover> {};

TEST_P(CarryoverTest, LaterUntimedSendKeepsTheTimedIntervals)
{
    const Carryover &c = GetParam();
    send(c.timed);
    send(c.later);
    EXPECT_EQ(session.monitorTiming(), c.monitor);
}

INSTANTIATE_TEST_SUITE_P(Sequences, CarryoverTest,
                         ::testing::Values(Carryover{"picture-real", "power-on", {2000, 2500}},
                                           Carryover{"pc1-rgb", "power-on", {5000, 5500}},
                                           Carryover{"picture-image4", "a-image", {2000, 2500}},
                                           Carryover{"video-s-video", "menu-on", {5000, 5500}}),
                         [](const ::testing::TestParamInfo<Carryover> &info) {
                             return test_names::camelCase(QLatin1String(info.param.timed)) + "Then" +
                                    test_names::camelCase(QLatin1String(info.param.later));
                         });

TEST_F(CommandTimingTest, SameCommandTwiceSendsTwiceAndOpensTheMonitorTimersAgain)
{
    EXPECT_EQ(send("status"), QByteArray("CR0\r"));
    timer("Timer2").fire();
    timer("Timer4").fire();
    ASSERT_FALSE(timer("Timer2").enabled());
    EXPECT_EQ(send("status"), QByteArray("CR0\r"));
    EXPECT_EQ(session.lastCommand(), QStringLiteral("CR0\r"));
    EXPECT_TRUE(timer("Timer2").enabled());
    EXPECT_TRUE(timer("Timer4").enabled());
}

} // namespace
