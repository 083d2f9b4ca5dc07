// SPDX-License-Identifier: GPL-3.0-or-later
// The press-and-hold buttons and the mouse: any mouse button holds, the
// pressed button keeps the mouse until its release, the keyboard cannot
// hold. Which command each button holds is in command_buttons_test; what a
// hold does at the session is tested there.

#include "support/panel_fixture.h"
#include "support/printers.h"
#include "testing/wait.h"
#include "window/command_button.h"

#include <QSignalSpy>
#include <QTest>

namespace {

struct HoldButton {
    const char *name;
    QByteArray line;
};

const HoldButton kVolUp{"Command1", "C09\r"};
const HoldButton kZoomUp{"Command48", "C30\r"};

class HoldButtonsTest : public PanelTest {
protected:
    CommandButton *button(const char *name) const { return control<CommandButton>(name); }
    void press(const HoldButton &b, Qt::MouseButton mouse = Qt::LeftButton)
    {
        QTest::mousePress(button(b.name), mouse);
    }
    void release(const HoldButton &b, Qt::MouseButton mouse = Qt::LeftButton)
    {
        QTest::mouseRelease(button(b.name), mouse);
    }
    // Everything on the wire until it holds this many lines.
    QByteArray wire(int lines) { return com1.readLines(lines); }
    bool tick() { return timer("Timer1").fire(); }
};

TEST_F(HoldButtonsTest, RightMouseButtonHoldsLikeTheLeft)
{
    press(kVolUp, Qt::RightButton);
    EXPECT_EQ(wire(1), kVolUp.line);
    EXPECT_TRUE(session->isRepeating());
    tick();
    EXPECT_EQ(wire(1), kVolUp.line);
    release(kVolUp, Qt::RightButton);
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(session->isRepeating());
}

TEST_F(HoldButtonsTest, SecondMouseButtonSendsOnceMoreAndEitherReleaseEndsTheHold)
{
    press(kVolUp, Qt::LeftButton);
    press(kVolUp, Qt::RightButton);
    EXPECT_EQ(wire(2), kVolUp.line + kVolUp.line);
    EXPECT_TRUE(session->isRepeating());
    release(kVolUp, Qt::RightButton);
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(session->isRepeating());
    EXPECT_FALSE(tick());
    release(kVolUp, Qt::LeftButton);
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_TRUE(com1.readFor(100).isEmpty());
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
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(session->isRepeating());
    EXPECT_EQ(session->arrowMode(), ArrowMode::Fast) << "the zoom button's own release ran";
    EXPECT_EQ(session->repeatPeriodMs(), 5);
    EXPECT_TRUE(com1.readFor(50).isEmpty()) << "the other button sent nothing";
}

TEST_F(HoldButtonsTest, SpaceBarOnAFocusedHoldButtonSendsNothing)
{
    CommandButton *vol = button(kVolUp.name);
    QSignalSpy clicks(vol, &QAbstractButton::clicked);
    vol->setFocus();
    QTest::keyClick(vol, Qt::Key_Space);
    EXPECT_EQ(clicks.count(), 1) << "the key reached the button";
    EXPECT_EQ(session->heldCommand(), nullptr);
    EXPECT_FALSE(session->isRepeating());
    EXPECT_TRUE(com1.readFor(100).isEmpty());
}

} // namespace
