#include "app/command_button.h"
#include "panel/hold_buttons.h"
#include "support/monitor.h"
#include "support/panel_fixture.h"
#include "support/wait.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <ostream>
#include <vector>

namespace {

struct Expected {
    const char *name;
    quint8 repeatKey;
    QByteArray line;
    int t1, t2, t4; // 0: not assigned by the press
};

const Expected kVolUp{"Command1", 1, "C09\r", 250, 200, 245};
const Expected kBrightnessUp{"Command15", 7, "C20\r", 50, 25, 25};
const Expected kZoomUp{"Command48", 17, "C30\r", 250, 200, 245};
const Expected kZoomDown{"Command49", 18, "C31\r", 250, 200, 245};
const Expected kSelect{"Command6", 13, "C3F\r", 500, 200, 245};
const Expected kUp{"Command5", 3, "C3C\r", 0, 0, 0};

const Expected kAll[] = {
    kVolUp,
    {"Command2", 2, "C0A\r", 250, 200, 245},
    kBrightnessUp,
    {"Command35", 8, "C21\r", 50, 25, 25},
    kZoomUp,
    kZoomDown,
    {"Command50", 19, "C8E\r", 250, 200, 245},
    {"Command51", 20, "C8F\r", 250, 200, 245},
    kSelect,
    kUp,
    {"Command7", 4, "C3D\r", 0, 0, 0},
    {"Command9", 5, "C3B\r", 0, 0, 0},
    {"Command8", 6, "C3A\r", 0, 0, 0},
};

class HoldButtonsTest : public PanelTest {
protected:
    CommandButton *button(const char *name) const { return control<CommandButton>(name); }
    void press(const Expected &b, Qt::MouseButton mouse = Qt::LeftButton)
    {
        QTest::mousePress(button(b.name), mouse);
    }
    void release(const Expected &b, Qt::MouseButton mouse = Qt::LeftButton)
    {
        QTest::mouseRelease(button(b.name), mouse);
    }
    void pressAndRelease(const Expected &b)
    {
        press(b);
        release(b);
        wire(1);
    }
    void tick() { emit form->timer(1).tick(); }
    // Reads lines from the wire without running the event loop, so no real
    // timer tick can add a line of its own meanwhile.
    QByteArray wire(int lines)
    {
        QByteArray out;
        QDeadlineTimer deadline(3000);
        while (out.count('\r') < lines && !deadline.hasExpired()) {
            out += com1.readAvailable();
            QThread::usleep(200);
        }
        return out;
    }
    QByteArray nothingMore(int ms = 100)
    {
        QThread::msleep(ms);
        return com1.readAvailable();
    }
    int interval(int timer) { return form->timer(timer).interval(); }
    QString line(const char *name) const { return monitorText(*form, name); }
};

TEST_F(HoldButtonsTest, EveryButtonSendsAtPressAndOnEachTickUntilReleased)
{
    for (const Expected &b : kAll) {
        SCOPED_TRACE(b.name);
        press(b);
        EXPECT_EQ(wire(1), b.line);
        EXPECT_EQ(state().RepeatKey, b.repeatKey);
        EXPECT_EQ(state().LastCommand, QString::fromLatin1(b.line));
        EXPECT_TRUE(form->timer(1).enabled());
        if (b.t1 != 0) {
            EXPECT_EQ(interval(1), b.t1);
            EXPECT_EQ(interval(2), b.t2);
            EXPECT_EQ(interval(4), b.t4);
        }
        tick();
        tick();
        EXPECT_EQ(wire(2), b.line + b.line);
        EXPECT_TRUE(form->timer(1).enabled());
        release(b);
        tick();
        EXPECT_TRUE(nothingMore(20).isEmpty());
        EXPECT_EQ(state().RepeatKey, 0);
    }
}

TEST_F(HoldButtonsTest, PressAndReleaseWithinOneIntervalSendsOnce)
{
    tick(); // nothing held: nothing to repeat
    press(kVolUp);
    release(kVolUp);
    // Longer than the 250 ms period, so a repeat left running would show.
    EXPECT_EQ(com1.readFor(600), QByteArray("C09\r"));
    EXPECT_FALSE(form->timer(1).enabled());
}

TEST_F(HoldButtonsTest, ReleaseStopsTheRepeatAndResetsTheMonitor)
{
    com1.write("00\r"); // unasked text: in the buffer, shown, no timer armed
    ASSERT_TRUE(waitUntil([&] { return state().ReceiveBuffer == QStringLiteral("00\r"); }));
    press(kBrightnessUp);
    wire(1);
    ASSERT_EQ(line("Label11"), QStringLiteral(" C 2 0 CR "));
    ASSERT_EQ(line("Label12"), QStringLiteral(" 0 0 CR "));
    ASSERT_TRUE(form->timer(2).enabled());

    release(kBrightnessUp);
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_FALSE(form->timer(1).enabled());
    EXPECT_FALSE(form->timer(2).enabled()) << "no marker for the last send";
    EXPECT_TRUE(form->timer(4).enabled());
    EXPECT_EQ(line("Label11"), QString());
    EXPECT_EQ(line("Label12"), QString());
    EXPECT_EQ(interval(2), 500);
    EXPECT_EQ(interval(4), 1000);
    EXPECT_TRUE(state().ReceiveBuffer.isEmpty());
    EXPECT_EQ(state().SendPending, 1) << "left as the last send set it";
    EXPECT_EQ(interval(1), 50) << "the press's period stays";
    EXPECT_EQ(state().ArrowMode, 0);
}

TEST_F(HoldButtonsTest, DigitalZoomReleaseArmsFastArrows)
{
    for (const Expected &zoom : {kZoomUp, kZoomDown}) {
        SCOPED_TRACE(zoom.name);
        pressAndRelease(zoom);
        EXPECT_EQ(interval(1), 5);
        EXPECT_EQ(state().ArrowMode, 3);
        EXPECT_EQ(interval(2), 500);
        EXPECT_EQ(interval(4), 1000);
        press(kUp);
        EXPECT_EQ(wire(1), kUp.line);
        EXPECT_EQ(interval(1), 5);
        EXPECT_EQ(interval(2), 5);
        EXPECT_EQ(interval(4), 5);
        release(kUp);
        EXPECT_EQ(state().ArrowMode, 3) << "an arrow release keeps the mode";
    }
}

// What an arrow press leaves on the timers after the buttons operated before
// it (hold buttons are pressed and released, the others clicked).
struct ArrowCase {
    std::vector<const char *> history;
    int t1, t2, t4;
};

void PrintTo(const ArrowCase &c, std::ostream *out)
{
    *out << "after";
    for (const char *name : c.history)
        *out << ' ' << name;
}

const ArrowCase kArrowCases[] = {
    {{}, 200, 500, 1000},                               // start-up values
    {{"Command13"}, 200, 150, 190},                     // A-IMAGE
    {{"Command23"}, 200, 150, 190},                     // MENU ON
    {{"Command6"}, 500, 500, 1000},                     // SELECT
    {{"Command13", "Command6"}, 500, 150, 190},         // A-IMAGE, SELECT
    {{"Command48"}, 5, 5, 5},                           // D.Zoom +
    {{"Command49", "Command1"}, 250, 5, 5},             // D.Zoom -, VOL +
    {{"Command48", "Command13"}, 200, 150, 190},        // D.Zoom +, A-IMAGE
    {{"Command13", "Command49", "Command15"}, 50, 5, 5} // A-IMAGE, D.Zoom -, Brightness +
};

class ArrowTimingTest : public HoldButtonsTest, public ::testing::WithParamInterface<ArrowCase> {
protected:
    void operate(const char *name)
    {
        for (const Expected &b : kAll)
            if (qstrcmp(b.name, name) == 0)
                return pressAndRelease(b);
        click(name);
        wire(1);
    }
};

TEST_P(ArrowTimingTest, ArrowRepeatsAtTheLastPeriodWithTimingByArrowMode)
{
    const ArrowCase &c = GetParam();
    for (const char *name : c.history)
        operate(name);
    press(kUp);
    EXPECT_EQ(wire(1), kUp.line);
    EXPECT_EQ(interval(1), c.t1);
    EXPECT_EQ(interval(2), c.t2);
    EXPECT_EQ(interval(4), c.t4);
    tick();
    EXPECT_EQ(wire(1), kUp.line);
    release(kUp);
}

INSTANTIATE_TEST_SUITE_P(Histories, ArrowTimingTest, ::testing::ValuesIn(kArrowCases));

TEST_F(HoldButtonsTest, RightMouseButtonHoldsLikeTheLeft)
{
    press(kVolUp, Qt::RightButton);
    EXPECT_EQ(wire(1), kVolUp.line);
    EXPECT_TRUE(form->timer(1).enabled());
    tick();
    EXPECT_EQ(wire(1), kVolUp.line);
    release(kVolUp, Qt::RightButton);
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_FALSE(form->timer(1).enabled());
}

TEST_F(HoldButtonsTest, SecondMouseButtonSendsOnceMoreAndEitherReleaseEndsTheHold)
{
    press(kVolUp, Qt::LeftButton);
    press(kVolUp, Qt::RightButton);
    EXPECT_EQ(wire(2), kVolUp.line + kVolUp.line);
    EXPECT_TRUE(form->timer(1).enabled());
    release(kVolUp, Qt::RightButton);
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_FALSE(form->timer(1).enabled());
    tick();
    release(kVolUp, Qt::LeftButton);
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_TRUE(nothingMore().isEmpty());
}

TEST_F(HoldButtonsTest, ReleaseOverAnotherButtonComesToThePressedOne)
{
    // Through the window, so the toolkit's mouse grab picks the receiver.
    QWindow *window = form->windowHandle();
    ASSERT_NE(window, nullptr);
    auto centre = [&](const char *name) {
        return button(name)->mapTo(form.get(), button(name)->rect().center());
    };
    QTest::mousePress(window, Qt::LeftButton, {}, centre("Command48"));
    EXPECT_EQ(wire(1), kZoomUp.line);
    QTest::mouseRelease(window, Qt::LeftButton, {}, centre("Command50"));
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_FALSE(form->timer(1).enabled());
    EXPECT_EQ(state().ArrowMode, 3) << "the zoom button's own release ran";
    EXPECT_EQ(interval(1), 5);
}

TEST_F(HoldButtonsTest, SpaceBarOnAFocusedHoldButtonSendsNothing)
{
    CommandButton *vol = button(kVolUp.name);
    QSignalSpy clicks(vol, &QAbstractButton::clicked);
    vol->setFocus();
    QTest::keyClick(vol, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 1) << "the key reached the button";
    EXPECT_EQ(state().RepeatKey, 0);
    EXPECT_FALSE(form->timer(1).enabled());
    EXPECT_TRUE(com1.readFor(100).isEmpty());
}

TEST_F(HoldButtonsTest, TwoSecondHoldOfVolumeUpSendsAboutNineLines)
{
    press(kVolUp);
    const QByteArray held = com1.readFor(2000);
    release(kVolUp);
    const QByteArray all = held + com1.readFor(50);
    // Every 250 ms from the press: nine lines, with room for a slow machine.
    EXPECT_GE(all.count("C09\r"), 6);
    EXPECT_LE(all.count("C09\r"), 11);
    EXPECT_EQ(all.size(), all.count("C09\r") * 4);
}

} // namespace
