// SPDX-License-Identifier: GPL-3.0-or-later
// Press-and-hold commands at the session: the press sends at once and starts
// the repeat (Timer1), every tick sends again, the release stops it and puts
// the monitor back to its normal timing. The arrows repeat at whatever
// period was set last, with a monitor timing that depends on what armed them.

#include "support/printers.h"
#include "support/session_fixture.h"
#include "support/test_names.h"
#include "testing/wait.h"

#include <QStringList>
#include <string>
#include <vector>

namespace {

struct Held {
    const char *name;
    QByteArray line;
    int repeatMs, replyWindowMs, clearDelayMs; // 0: not assigned by the press
};

// Written from the command list, independently of the product's table.
const Held kHeld[] = {
    {"vol-up", "C09\r", 250, 200, 245},
    {"vol-down", "C0A\r", 250, 200, 245},
    {"brightness-up", "C20\r", 50, 25, 25},
    {"brightness-down", "C21\r", 50, 25, 25},
    {"zoom-up", "C30\r", 250, 200, 245},
    {"zoom-down", "C31\r", 250, 200, 245},
    {"keystone-up", "C8E\r", 250, 200, 245},
    {"keystone-down", "C8F\r", 250, 200, 245},
    {"select", "C3F\r", 500, 200, 245},
    {"up", "C3C\r", 0, 0, 0},
    {"down", "C3D\r", 0, 0, 0},
    {"left", "C3B\r", 0, 0, 0},
    {"right", "C3A\r", 0, 0, 0},
};

class HoldRepeatTest : public SessionTest {
protected:
    // Everything on the wire until it holds this many lines.
    QByteArray wire(int lines) { return com1.readLines(lines); }
    void press(const char *name) { session.press(command(name)); }
    void release(const char *name) { session.release(command(name)); }
    bool tick() { return timer("Timer1").fire(); }
    MonitorTiming monitorTiming() const { return session.monitorTiming(); }
};

TEST_F(HoldRepeatTest, EveryHeldCommandSendsAtPressAndOnEachTickUntilReleased)
{
    for (const Held &h : kHeld) {
        SCOPED_TRACE(h.name);
        press(h.name);
        EXPECT_EQ(wire(1), h.line);
        EXPECT_EQ(session.heldCommand(), &command(h.name));
        EXPECT_EQ(session.lastCommand(), QString::fromLatin1(h.line));
        EXPECT_TRUE(session.isRepeating());
        if (h.repeatMs != 0) {
            EXPECT_EQ(session.repeatPeriodMs(), h.repeatMs);
            EXPECT_EQ(monitorTiming(), (MonitorTiming{h.replyWindowMs, h.clearDelayMs}));
        }
        EXPECT_TRUE(tick());
        EXPECT_TRUE(tick());
        EXPECT_EQ(wire(2), h.line + h.line);
        EXPECT_TRUE(session.isRepeating());
        release(h.name);
        EXPECT_FALSE(tick()) << "the repeat stopped";
        EXPECT_TRUE(com1.readFor(20).isEmpty());
        EXPECT_EQ(session.heldCommand(), nullptr);
    }
}

TEST_F(HoldRepeatTest, PressAndReleaseWithinOneIntervalSendsOnce)
{
    press("vol-up");
    release("vol-up");
    EXPECT_FALSE(session.isRepeating());
    EXPECT_FALSE(tick());
    EXPECT_EQ(com1.readFor(100), QByteArray("C09\r"));
}

TEST_F(HoldRepeatTest, RepeatTickLeavesTheRunningCountdownAlone)
{
    // Restarting Timer1 at every tick would stretch each period by the
    // tick's lateness and the send.
    press("brightness-up");
    const int started = timer("Timer1").countdownStarts();
    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_EQ(wire(6), QByteArray("C20\r").repeated(6));
    EXPECT_EQ(timer("Timer1").countdownStarts(), started);
    release("brightness-up");
}

TEST_F(HoldRepeatTest, ReleaseStopsTheRepeatAndResetsTheMonitor)
{
    ASSERT_TRUE(arrive("00\r")); // unasked text: in the buffer, no timer armed
    press("brightness-up");
    wire(1);
    ASSERT_TRUE(timer("Timer2").enabled());
    log.take();

    release("brightness-up");
    EXPECT_EQ(log.take(), QStringList{"traffic cleared"});
    EXPECT_EQ(session.heldCommand(), nullptr);
    EXPECT_FALSE(session.isRepeating());
    EXPECT_FALSE(timer("Timer2").enabled()) << "no marker for the last send";
    EXPECT_TRUE(timer("Timer4").enabled());
    EXPECT_EQ(monitorTiming(), monitor_timing::kNormal);
    EXPECT_TRUE(session.receivedText().isEmpty());
    EXPECT_TRUE(session.isAwaitingReply()) << "left as the last send set it";
    EXPECT_EQ(session.repeatPeriodMs(), 50) << "the press's period stays";
    EXPECT_EQ(session.arrowMode(), ArrowMode::Off);
}

TEST_F(HoldRepeatTest, DigitalZoomReleaseArmsFastArrows)
{
    for (const char *zoom : {"zoom-up", "zoom-down"}) {
        SCOPED_TRACE(zoom);
        press(zoom);
        release(zoom);
        wire(1);
        EXPECT_EQ(session.repeatPeriodMs(), 5);
        EXPECT_EQ(session.arrowMode(), ArrowMode::Fast);
        EXPECT_EQ(monitorTiming(), monitor_timing::kNormal);
        press("up");
        EXPECT_EQ(wire(1), QByteArray("C3C\r"));
        EXPECT_EQ(session.repeatPeriodMs(), 5);
        EXPECT_EQ(monitorTiming(), (MonitorTiming{5, 5}));
        release("up");
        EXPECT_EQ(session.arrowMode(), ArrowMode::Fast) << "an arrow release keeps the mode";
    }
}

TEST_F(HoldRepeatTest, HeldCommandSentOnceGoesOutOnceWithItsPressTiming)
{
    EXPECT_EQ(send("vol-up"), QByteArray("C09\r"));
    EXPECT_FALSE(session.isRepeating());
    EXPECT_EQ(session.heldCommand(), nullptr);
    EXPECT_EQ(monitorTiming(), (MonitorTiming{200, 245}));
    EXPECT_EQ(session.repeatPeriodMs(), kInitialRepeatPeriodMs);
}

// What an arrow press leaves on the timers after the commands operated
// before it (held ones are pressed and released, the others sent).
struct ArrowCase {
    std::vector<const char *> history;
    int repeatMs, replyWindowMs, clearDelayMs;
};

const ArrowCase kArrowCases[] = {
    {{}, 200, 500, 1000}, // start-up values
    {{"a-image"}, 200, 150, 190},
    {{"menu-on"}, 200, 150, 190},
    {{"menu-on", "menu-off"}, 200, 150, 190}, // "OFF" leaves the arrows armed
    {{"select"}, 500, 500, 1000},
    {{"a-image", "select"}, 500, 150, 190},
    {{"zoom-up"}, 5, 5, 5},
    {{"zoom-down", "vol-up"}, 250, 5, 5},
    {{"zoom-up", "a-image"}, 200, 150, 190},
    {{"a-image", "zoom-down", "brightness-up"}, 50, 5, 5},
};

class ArrowTimingTest : public HoldRepeatTest, public ::testing::WithParamInterface<ArrowCase> {
protected:
    void operate(const char *name)
    {
        if (command(name).timing == CommandTiming::Hold) {
            press(name);
            release(name);
        } else {
            session.send(command(name));
        }
        wire(1);
    }
};

TEST_P(ArrowTimingTest, ArrowRepeatsAtTheLastPeriodWithTimingByArrowMode)
{
    const ArrowCase &c = GetParam();
    for (const char *name : c.history)
        operate(name);
    press("up");
    EXPECT_EQ(wire(1), QByteArray("C3C\r"));
    EXPECT_EQ(session.repeatPeriodMs(), c.repeatMs);
    EXPECT_EQ(monitorTiming(), (MonitorTiming{c.replyWindowMs, c.clearDelayMs}));
    tick();
    EXPECT_EQ(wire(1), QByteArray("C3C\r"));
    release("up");
}

INSTANTIATE_TEST_SUITE_P(Histories, ArrowTimingTest, ::testing::ValuesIn(kArrowCases),
                         [](const ::testing::TestParamInfo<ArrowCase> &info) {
                             std::string name = info.param.history.empty() ? "AtStart" : "After";
                             for (const char *command : info.param.history)
                                 name += '_' + test_names::camelCase(QLatin1String(command));
                             return name;
                         });

// On the clock: a two-second hold of "VOL" "+" sends at the press and then
// exactly every 250 ms, nine lines in all.
TEST_F(HoldRepeatTest, TwoSecondHoldOfVolumeUpSendsNineLinesEvery250Ms)
{
    press("vol-up");
    EXPECT_EQ(wire(1), QByteArray("C09\r"));
    for (int repeat = 1; repeat <= 8; ++repeat) {
        SCOPED_TRACE(repeat);
        clock.advance(249);
        EXPECT_TRUE(com1.readFor(10).isEmpty()) << "early";
        clock.advance(1);
        EXPECT_EQ(wire(1), QByteArray("C09\r"));
    }
    release("vol-up");
    clock.advance(1000);
    EXPECT_TRUE(com1.readFor(10).isEmpty()) << "a line after the release";
}

} // namespace
