// SPDX-License-Identifier: GPL-3.0-or-later
// Every button that sends a command, through the window: the caption it
// shows and the one line a click, or a press, puts on the wire. What the
// session then does with the command (timing, repeat) is tested there.

#include "support/panel_fixture.h"
#include "support/printers.h"
#include "window/command_button.h"

#include <QTest>
#include <set>
#include <string>

namespace {

struct Bound {
    const char *control;
    const char *caption; // UTF-8
    QByteArray wire;
};

// Written out here, independently of the product's tables.
const Bound kOneShot[] = {
    {"Command17", "ON", "C00\r"},
    {"Command18", "OFF", "C01\r"},
    {"Command27", "PC1", "C05\r"},
    {"Command28", "PC2", "C06\r"},
    {"Command29", "Video", "C07\r"},
    {"Command23", "ON", "C1C\r"},
    {"Command24", "OFF", "C1D\r"},
    {"Command19", "ON", "C0B\r"},
    {"Command20", "OFF", "C0C\r"},
    {"Command21", "ON", "C0D\r"},
    {"Command22", "OFF", "C0E\r"},
    {"Command25", "ON", "C43\r"},
    {"Command26", "OFF", "C44\r"},
    {"Command31", "Regular", "C0F\r"},
    {"Command32", "Wide", "C10\r"},
    {"Command13", "A-IMAGE", "C89\r"},
    {"Command30", "IMAGE", "C27\r"},
    {"Command14", "P-TIMER", "C8A\r"},
    {"Command3", "DISPLAY CLEAR", "C1E\r"},
    {"Command56", "NONE", "CF KEYDIS NONE\r"},
    {"Command57", "R/C", "CF KEYDIS RC\r"},
    {"Command58", "KEY", "CF KEYDIS KEY\r"},
    {"Command4", "STAND", "C11\r"},
    {"Command10", "REAL", "C12\r"},
    {"Command11", "CINEMA", "C13\r"},
    {"Command39", "IMAGE1", "C14\r"},
    {"Command40", "IMAGE2", "C15\r"},
    {"Command41", "IMAGE3", "C16\r"},
    {"Command42", "IMAGE4", "C17\r"},
    {"Command44", "STATUS", "CR0\r"},
    {"Command46", "L-TIME", "CR3\r"},
    {"Command54", "TEMP", "CR6\r"},
    {"Command45", "MODE", "CR1\r"},
    {"Command47", "SETTING", "CR4\r"},
    {"Command64", "RGB", "C50\r"},
    {"Command65", "DVI(PC Digital)", "C52\r"},
    {"Command66", "DVI(AV HDCP)", "C53\r"},
    {"Command72", "RGB", "C25\r"},
    {"Command74", "Component", "C24\r"},
    {"Command73", "Scart", "C26\r"},
    {"Command53", "IN", "CF TERMINAL COMPUTER\r"},
    {"Command76", "OUT", "CF TERMINAL MONITOR\r"},
    {"Command81", "Auto", "C32\r"},
    {"Command82", "Video", "C33\r"},
    {"Command69", "S-Video", "C34\r"},
    {"Command97", "MAX", "CF FANSPEED MAX\r"},
    {"Command98", "NOR", "CF FANSPEED NOR\r"},
    {"Command60", "Capture", "CF LOGOCAPTURE START\r"},
    {"Command61", "OFF", "CF LOGO OFF\r"},
    {"Command63", "DEF", "CF LOGO DEFAULT\r"},
    {"Command67", "User", "CF LOGO USER\r"},
};

const Bound kHeld[] = {
    {"Command1", "+", "C09\r"},  {"Command2", "-", "C0A\r"},  {"Command15", "+", "C20\r"},
    {"Command35", "-", "C21\r"}, {"Command48", "+", "C30\r"}, {"Command49", "-", "C31\r"},
    {"Command50", "+", "C8E\r"}, {"Command51", "-", "C8F\r"}, {"Command6", "SELECT", "C3F\r"},
    {"Command5", "↑", "C3C\r"},  {"Command7", "↓", "C3D\r"},  {"Command9", "←", "C3B\r"},
    {"Command8", "→", "C3A\r"},
};
// The digital-zoom pair: their release switches the arrows to fast mode.
const std::set<std::string> kZoom = {"Command48", "Command49"};

// "END", "COM", the data-panel button, "SEND" and "CLS" send no command of
// their own; their own tests have them.
const char *const kOtherButtons[] = {"Command16", "Command33", "Command34", "Command95", "Command96"};

constexpr int kCompactHeight = 5350;
constexpr int kFullHeight = 9100;

using CommandButtonsTest = PanelTest;

TEST_F(CommandButtonsTest, EveryButtonOfTheWindowIsListedOnce)
{
    std::multiset<std::string> listed;
    for (const Bound &b : kOneShot)
        listed.insert(b.control);
    for (const Bound &b : kHeld)
        listed.insert(b.control);
    for (const char *name : kOtherButtons)
        listed.insert(name);
    std::multiset<std::string> inWindow;
    for (const CommandButton *button : form->findChildren<CommandButton *>())
        inWindow.insert(button->objectName().toStdString());
    EXPECT_EQ(inWindow, listed);
}

class OneShotBindingTest : public PanelTest, public ::testing::WithParamInterface<int> {};

TEST_P(OneShotBindingTest, EachClickSendsItsOneLine)
{
    form->setHeightTwips(GetParam());
    for (const Bound &b : kOneShot) {
        SCOPED_TRACE(b.control);
        EXPECT_EQ(control<QAbstractButton>(b.control)->text(), QString::fromUtf8(b.caption));
        if (GetParam() == kFullHeight) {
            EXPECT_TRUE(isInView(b.control)) << "clicked with the mouse at full height";
        }
        click(b.control);
        EXPECT_EQ(com1.readLines(1), b.wire);
        EXPECT_EQ(session->heldCommand(), nullptr);
    }
    EXPECT_TRUE(com1.readFor(50).isEmpty()) << "one line per click";
}

INSTANTIATE_TEST_SUITE_P(Heights, OneShotBindingTest, ::testing::Values(kCompactHeight, kFullHeight),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == kCompactHeight ? std::string("Compact")
                                                                 : std::string("Full");
                         });

TEST_F(CommandButtonsTest, EachHoldButtonPressesAndReleasesItsCommand)
{
    for (const Bound &b : kHeld) {
        SCOPED_TRACE(b.control);
        auto *button = control<CommandButton>(b.control);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.caption));
        click("Command13"); // "A-IMAGE": the arrows' mode before the press is known
        ASSERT_EQ(com1.readLines(1), QByteArray("C89\r"));
        QTest::mousePress(button, Qt::LeftButton);
        EXPECT_EQ(com1.readLines(1), b.wire);
        ASSERT_NE(session->heldCommand(), nullptr);
        EXPECT_EQ(QByteArray(session->heldCommand()->code) + '\r', b.wire);
        QTest::mouseRelease(button, Qt::LeftButton);
        EXPECT_EQ(session->heldCommand(), nullptr);
        EXPECT_FALSE(session->isRepeating());
        EXPECT_EQ(session->arrowMode(), kZoom.count(b.control) ? ArrowMode::Fast : ArrowMode::Menu)
            << "the release names its own command";
        EXPECT_TRUE(com1.readFor(20).isEmpty());
    }
}

} // namespace
