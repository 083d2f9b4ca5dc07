#include "protocol/commands.h"
#include "support/panel_fixture.h"
#include "support/printers.h"
#include "support/wait.h"
#include "window/layout_table.h"

#include <QRegularExpression>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

// What a click leaves in the monitor timers.
enum class Leaves {
    IntervalsAsTheyWere, // plain
    ShortTiming,         // 2000 / 2500 before the send
    LongTiming,          // 5000 / 5500 before the send
    ArrowsArmed,         // Timer1 200 and the menu arrow mode after the send
};

struct Expected {
    const char *control;
    const char *wire;
    Leaves leaves;
};

// Written from the command list, independently of the product's table.
const Expected kExpected[] = {
    {"Command17", "C00\r", Leaves::IntervalsAsTheyWere},
    {"Command18", "C01\r", Leaves::IntervalsAsTheyWere},
    {"Command27", "C05\r", Leaves::IntervalsAsTheyWere},
    {"Command28", "C06\r", Leaves::IntervalsAsTheyWere},
    {"Command29", "C07\r", Leaves::IntervalsAsTheyWere},
    {"Command23", "C1C\r", Leaves::ArrowsArmed},
    {"Command24", "C1D\r", Leaves::IntervalsAsTheyWere},
    {"Command19", "C0B\r", Leaves::IntervalsAsTheyWere},
    {"Command20", "C0C\r", Leaves::IntervalsAsTheyWere},
    {"Command21", "C0D\r", Leaves::IntervalsAsTheyWere},
    {"Command22", "C0E\r", Leaves::IntervalsAsTheyWere},
    {"Command25", "C43\r", Leaves::IntervalsAsTheyWere},
    {"Command26", "C44\r", Leaves::IntervalsAsTheyWere},
    {"Command31", "C0F\r", Leaves::IntervalsAsTheyWere},
    {"Command32", "C10\r", Leaves::IntervalsAsTheyWere},
    {"Command13", "C89\r", Leaves::ArrowsArmed},
    {"Command30", "C27\r", Leaves::IntervalsAsTheyWere},
    {"Command14", "C8A\r", Leaves::IntervalsAsTheyWere},
    {"Command3", "C1E\r", Leaves::IntervalsAsTheyWere}, // DISPLAY CLEAR
    {"Command56", "CF KEYDIS NONE\r", Leaves::IntervalsAsTheyWere},
    {"Command57", "CF KEYDIS RC\r", Leaves::IntervalsAsTheyWere},
    {"Command58", "CF KEYDIS KEY\r", Leaves::IntervalsAsTheyWere},
    {"Command4", "C11\r", Leaves::ShortTiming},
    {"Command10", "C12\r", Leaves::ShortTiming},
    {"Command11", "C13\r", Leaves::ShortTiming},
    {"Command39", "C14\r", Leaves::ShortTiming},
    {"Command40", "C15\r", Leaves::ShortTiming},
    {"Command41", "C16\r", Leaves::ShortTiming},
    {"Command42", "C17\r", Leaves::ShortTiming},
    {"Command44", "CR0\r", Leaves::IntervalsAsTheyWere},
    {"Command46", "CR3\r", Leaves::IntervalsAsTheyWere},
    {"Command54", "CR6\r", Leaves::IntervalsAsTheyWere},
    {"Command45", "CR1\r", Leaves::IntervalsAsTheyWere},
    {"Command47", "CR4\r", Leaves::IntervalsAsTheyWere},
    {"Command64", "C50\r", Leaves::LongTiming},
    {"Command65", "C52\r", Leaves::LongTiming},
    {"Command66", "C53\r", Leaves::LongTiming},
    {"Command72", "C25\r", Leaves::LongTiming},
    {"Command74", "C24\r", Leaves::LongTiming},
    {"Command73", "C26\r", Leaves::LongTiming},
    {"Command53", "CF TERMINAL COMPUTER\r", Leaves::LongTiming},
    {"Command76", "CF TERMINAL MONITOR\r", Leaves::LongTiming},
    {"Command81", "C32\r", Leaves::LongTiming},
    {"Command82", "C33\r", Leaves::LongTiming},
    {"Command69", "C34\r", Leaves::LongTiming},
    {"Command97", "CF FANSPEED MAX\r", Leaves::IntervalsAsTheyWere},
    {"Command98", "CF FANSPEED NOR\r", Leaves::IntervalsAsTheyWere},
    {"Command60", "CF LOGOCAPTURE START\r", Leaves::IntervalsAsTheyWere},
    {"Command61", "CF LOGO OFF\r", Leaves::IntervalsAsTheyWere},
    {"Command63", "CF LOGO DEFAULT\r", Leaves::IntervalsAsTheyWere},
    {"Command67", "CF LOGO USER\r", Leaves::IntervalsAsTheyWere},
};

// ---- The command table against the design ----

TEST(OneShotCommands, AreExactlyTheDesignedButtonsEachOnce)
{
    std::multiset<std::string> bound;
    for (const layout::ControlSpec &c : layout::controlTable())
        if (c.command && findCommand(QString::fromLatin1(c.command))->timing != CommandTiming::Hold)
            bound.insert(c.name);
    std::multiset<std::string> designed;
    for (const Expected &e : kExpected)
        designed.insert(e.control);
    EXPECT_EQ(bound, designed);
}

TEST(OneShotCommands, CodesAreThreeCharactersOrSingleBlankedWords)
{
    static const QRegularExpression wellFormed(QStringLiteral("^(C[0-9A-Z]{2}|C[FR]( [A-Z]+)+)$"));
    for (const Command &c : commandTable())
        EXPECT_TRUE(wellFormed.match(QLatin1String(c.code)).hasMatch()) << c.name << " \"" << c.code << '"';
}

// ---- Every button through the window ----

constexpr int kCompactHeight = 5350;
constexpr int kFullHeight = 9100;

// Intervals no button assigns, so a change by the click is visible.
constexpr int kPresetTimer1 = 55;
constexpr int kPresetTimer2 = 777;
constexpr int kPresetTimer4 = 888;

class OneShotClickTest : public PanelTest, public ::testing::WithParamInterface<int> {
protected:
    // The fast arrows (a digital-zoom release), then intervals of the test's
    // own, and the monitor timers stopped.
    void presetTimersAndArrowMode()
    {
        const Command &zoom = *findCommand(QStringLiteral("zoom-up"));
        session->press(zoom);
        session->release(zoom);
        ASSERT_EQ(com1.readAtLeast(4), QByteArray("C30\r"));
        timer("Timer1").setInterval(kPresetTimer1);
        timer("Timer2").setInterval(kPresetTimer2);
        timer("Timer4").setInterval(kPresetTimer4);
        timer("Timer2").setEnabled(false);
        timer("Timer4").setEnabled(false);
    }
    bool inView(const char *name) const
    {
        auto *button = control(name);
        return form->rect().contains(QRect(button->mapTo(form.get(), QPoint(0, 0)), button->size()).center());
    }
    void expectLeft(Leaves leaves)
    {
        int timer2 = kPresetTimer2, timer4 = kPresetTimer4, timer1 = kPresetTimer1;
        ArrowMode arrowMode = ArrowMode::Fast;
        switch (leaves) {
        case Leaves::IntervalsAsTheyWere: break;
        case Leaves::ShortTiming: timer2 = 2000, timer4 = 2500; break;
        case Leaves::LongTiming: timer2 = 5000, timer4 = 5500; break;
        case Leaves::ArrowsArmed: timer1 = 200, arrowMode = ArrowMode::Menu; break;
        }
        EXPECT_EQ(timer("Timer2").interval(), timer2);
        EXPECT_EQ(timer("Timer4").interval(), timer4);
        EXPECT_EQ(timer("Timer1").interval(), timer1);
        EXPECT_EQ(session->arrowMode(), arrowMode);
        EXPECT_TRUE(timer("Timer2").enabled()) << "the send arms the reply window";
        EXPECT_TRUE(timer("Timer4").enabled()) << "the send arms the clear delay";
        EXPECT_FALSE(timer("Timer1").enabled()) << "a one-shot button never starts the repeat";
    }
};

TEST_P(OneShotClickTest, EveryButtonSendsItsLineAndLeavesItsTiming)
{
    form->setHeightTwips(GetParam());
    for (const Expected &e : kExpected) {
        SCOPED_TRACE(e.control);
        if (GetParam() == kFullHeight) {
            EXPECT_TRUE(inView(e.control)) << "clicked with the mouse at full height";
        }
        presetTimersAndArrowMode();
        click(e.control);
        EXPECT_EQ(com1.readAtLeast(int(qstrlen(e.wire))), QByteArray(e.wire));
        EXPECT_EQ(session->lastCommand(), QLatin1String(e.wire));
        expectLeft(e.leaves);
    }
    EXPECT_TRUE(com1.readFor(50).isEmpty()) << "one line per click";
}

INSTANTIATE_TEST_SUITE_P(Heights, OneShotClickTest, ::testing::Values(kCompactHeight, kFullHeight),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return info.param == kCompactHeight ? std::string("Compact")
                                                                 : std::string("Full");
                         });

// ---- Timing carried over to later sends ----

struct Carryover {
    const char *timedButton;
    const char *timedWire;
    const char *laterButton;
    const char *laterWire;
    int replyWindowMs;
    int clearDelayMs;
};

class OneShotCarryoverTest : public PanelTest, public ::testing::WithParamInterface<Carryover> {};

TEST_P(OneShotCarryoverTest, LaterUntimedSendKeepsTheTimedIntervals)
{
    const Carryover &c = GetParam();
    click(c.timedButton);
    click(c.laterButton);
    EXPECT_EQ(com1.readAtLeast(int(qstrlen(c.timedWire) + qstrlen(c.laterWire))),
              QByteArray(c.timedWire) + c.laterWire);
    EXPECT_EQ(session->lastCommand(), QLatin1String(c.laterWire));
    EXPECT_EQ(timer("Timer2").interval(), c.replyWindowMs);
    EXPECT_EQ(timer("Timer4").interval(), c.clearDelayMs);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, OneShotCarryoverTest,
    ::testing::Values(Carryover{"Command10", "C12\r", "Command17", "C00\r", 2000, 2500},  // REAL, POWER ON
                      Carryover{"Command64", "C50\r", "Command17", "C00\r", 5000, 5500},  // RGB, POWER ON
                      Carryover{"Command42", "C17\r", "Command13", "C89\r", 2000, 2500},  // IMAGE4, A-IMAGE
                      Carryover{"Command69", "C34\r", "Command23", "C1C\r", 5000, 5500}), // S-Video, MENU ON
    [](const ::testing::TestParamInfo<Carryover> &info) {
        return std::string(info.param.timedButton) + "Then" + info.param.laterButton;
    });

using OneShotSequenceTest = PanelTest;

TEST_F(OneShotSequenceTest, SameButtonTwiceSendsTheLineTwiceAndRearmsTheMonitor)
{
    click("Command44");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("CR0\r"));
    timer("Timer2").fire();
    timer("Timer4").fire();
    click("Command44");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("CR0\r"));
    EXPECT_EQ(session->lastCommand(), QStringLiteral("CR0\r"));
    EXPECT_TRUE(timer("Timer2").enabled());
    EXPECT_TRUE(timer("Timer4").enabled());
    EXPECT_EQ(monitorText("Label11"), QStringLiteral(" C R 0 CR "));
}

TEST_F(OneShotSequenceTest, ArrowModeArmedByMenuOnSurvivesMenuOff)
{
    click("Command23");
    click("Command24");
    EXPECT_EQ(com1.readAtLeast(8), QByteArray("C1C\rC1D\r"));
    EXPECT_EQ(session->arrowMode(), ArrowMode::Menu);
    EXPECT_EQ(session->repeatPeriodMs(), 200);
}

} // namespace
