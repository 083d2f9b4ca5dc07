// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/panel_fixture.h"
#include "support/test_names.h"
#include "window/key_chord.h"
#include "window/layout_table.h"

#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <tuple>

namespace {

const QString kShowData = QStringLiteral("データを表示する");
const QString kHideData = QStringLiteral("データを表示しない");
const QString kClose = QStringLiteral("CLOSE");

class DataPanelTest : public PanelTest {
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        top_ = form->geometry().top();
    }
    QPushButton *dataButton() const { return control<QPushButton>("Command34"); }
    void pressChord() { QTest::keyClick(form.get(), Qt::Key_K, Qt::ControlModifier); }
    void doubleClickLogo() { QTest::mouseDClick(control("Image1"), Qt::LeftButton); }
    // Gives the focus to the named control (or leaves it where start-up put
    // it for the window itself) and returns where the key goes.
    QWidget *focusOn(const char *name)
    {
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        if (QByteArray(name) == "Form1")
            return form.get();
        QWidget *target = control(name);
        target->setFocus();
        EXPECT_EQ(QApplication::focusWidget(), target);
        return target;
    }

    void expectPanel(int heightTwips, bool unlocked, bool buttonShown, const QString &caption)
    {
        EXPECT_EQ(form->heightTwips(), heightTwips);
        EXPECT_EQ(form->height(), (heightTwips - layout::kFrameAllowance) / layout::kTwipsPerPixel);
        EXPECT_EQ(isUnlocked(), unlocked);
        EXPECT_EQ(dataButton()->isVisible(), buttonShown);
        EXPECT_EQ(dataButton()->text(), caption);
        EXPECT_EQ(form->geometry().top(), top_) << "the window grows and shrinks at the bottom";
    }

    int top_ = 0;
};

TEST_F(DataPanelTest, WalksThroughItsStatesWithRealKeysAndClicks)
{
    expectPanel(5350, false, false, kShowData);
    doubleClickLogo();
    expectPanel(5350, false, false, kShowData); // before the chord: nothing

    pressChord();
    expectPanel(7200, true, true, kClose);
    pressChord();
    expectPanel(7200, true, true, kClose);
    doubleClickLogo();
    expectPanel(9100, true, true, kClose);
    doubleClickLogo();
    expectPanel(9100, true, true, kClose);
    pressChord();
    expectPanel(7200, true, true, kClose); // the chord takes the full window back

    doubleClickLogo();
    click("Command34"); // at 9100
    expectPanel(5350, false, true, kShowData);
    doubleClickLogo();
    expectPanel(5350, false, true, kShowData); // locked again by the button

    click("Command34"); // below the window's edge at 5350
    expectPanel(6645, false, true, kHideData);
    doubleClickLogo();
    expectPanel(6645, false, true, kHideData);
    pressChord();
    expectPanel(7200, true, true, kClose);

    click("Command34"); // at 7200
    expectPanel(5350, false, true, kShowData);
    click("Command34");
    click("Command34"); // at 6645
    expectPanel(5350, false, true, kShowData);
    pressChord();
    expectPanel(7200, true, true, kClose);
}

struct ToggleCase {
    int before;
    int after;
    const QString &caption;
};

TEST_F(DataPanelTest, DataButtonShrinksFrom6000UpAndEnlargesBelow)
{
    const ToggleCase cases[] = {{7200, 5350, kShowData}, {9100, 5350, kShowData}, {6645, 5350, kShowData},
                                {6000, 5350, kShowData}, {5999, 6645, kHideData}, {5350, 6645, kHideData}};
    for (const ToggleCase &c : cases) {
        SCOPED_TRACE(c.before);
        pressChord(); // unlocked, and the button shown
        form->setHeightTwips(c.before);
        click("Command34");
        expectPanel(c.after, false, true, c.caption);
    }
}

TEST_F(DataPanelTest, DataButtonRestartsThePortPanelDelay)
{
    pressChord();
    click("Command33");
    auto *portPanel = control<QFrame>("Frame8");
    ASSERT_TRUE(portPanel->isVisible());
    clock.advance(4000);
    click("Command34");
    clock.advance(4999);
    EXPECT_TRUE(portPanel->isVisible()) << "the countdown did not start anew";
    clock.advance(1);
    EXPECT_FALSE(portPanel->isVisible());
    EXPECT_FALSE(hideDelay().enabled());
}

TEST_F(DataPanelTest, ChordAndDoubleClickSendNothingAndLeaveTheRestAlone)
{
    timer("Timer2").setInterval(777);
    pressChord();
    doubleClickLogo();
    EXPECT_TRUE(com1.readFor(150).isEmpty());
    EXPECT_TRUE(session->lastCommand().isEmpty());
    EXPECT_FALSE(session->isAwaitingReply());
    EXPECT_EQ(timer("Timer2").interval(), 777);
    EXPECT_FALSE(timer("Timer2").enabled());
    EXPECT_FALSE(hideDelay().enabled());
}

// Counts the presses of one key that a control itself receives.
class KeyPressSpy : public QObject {
public:
    KeyPressSpy(QWidget *watched, int key) : key_(key) { watched->installEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        presses += event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == key_;
        return false;
    }

private:
    int key_;
};

struct ChordCase {
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char *text;
    bool unlocks;
};

const ChordCase kChordCases[] = {
    {"Ctrl+K", Qt::Key_K, Qt::ControlModifier, "\x0b", true},
    // Caps Lock changes the text of the key, not the modifiers.
    {"Ctrl+K with Caps Lock", Qt::Key_K, Qt::ControlModifier, "K", true},
    {"Ctrl+Shift+K", Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, "\x0b", false},
    {"Ctrl+Alt+K", Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, "\x0b", false},
    {"K alone", Qt::Key_K, Qt::NoModifier, "k", false},
    {"Ctrl+J", Qt::Key_J, Qt::ControlModifier, "\x0a", false},
};

class ChordTest : public DataPanelTest,
                  public ::testing::WithParamInterface<std::tuple<size_t, const char *>> {};

TEST_P(ChordTest, OnlyCtrlAloneWithKUnlocksAndTheKeyStillReachesTheControl)
{
    const ChordCase &c = kChordCases[std::get<0>(GetParam())];
    SCOPED_TRACE(c.name);
    QWidget *receiver = focusOn(std::get<1>(GetParam()));
    KeyPressSpy keysSeen(receiver, c.key);
    QSignalSpy chords(form->findChild<KeyChord *>(), &KeyChord::pressed);

    QTest::sendKeyEvent(QTest::Click, receiver, c.key, QString::fromLatin1(c.text), c.modifiers);

    EXPECT_EQ(chords.count(), c.unlocks ? 1 : 0) << "once per press, though Qt hands it to the parents";
    EXPECT_EQ(keysSeen.presses, 1) << "the window does not consume the key";
    if (c.unlocks)
        expectPanel(7200, true, true, kClose);
    else
        expectPanel(5350, false, false, kShowData);
}

INSTANTIATE_TEST_SUITE_P(EveryReceiver, ChordTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kChordCases)),
                                            ::testing::Values("Form1", "Command17", "Text1")),
                         [](const auto &info) {
                             return test_names::camelCase(
                                        QLatin1String(kChordCases[std::get<0>(info.param)].name)) +
                                    "_In" + std::get<1>(info.param);
                         });

// The chord typed where text is being entered unlocks the panel and leaves
// the text alone (on X11 the line edit's own Ctrl+K would cut the line).
TEST_F(DataPanelTest, ChordInTheTextBoxUnlocksAndKeepsTheText)
{
    auto *box = control<QLineEdit>("Text1");
    focusOn("Text1");
    box->setText(QStringLiteral("CR0"));
    box->setCursorPosition(0);
    QTest::keyClick(box, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("CR0"));
    expectPanel(7200, true, true, kClose);
}

TEST_F(DataPanelTest, HeldChordRepeatsTheSameAction)
{
    QSignalSpy chords(form->findChild<KeyChord *>(), &KeyChord::pressed);
    QTest::keyPress(form.get(), Qt::Key_K, Qt::ControlModifier);
    for (int repeat = 0; repeat < 3; ++repeat)
        QTest::simulateEvent(form.get(), true, Qt::Key_K, Qt::ControlModifier, QString(), true);
    QTest::keyRelease(form.get(), Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(chords.count(), 4);
    expectPanel(7200, true, true, kClose);
}

} // namespace
