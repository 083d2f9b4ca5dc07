// SPDX-License-Identifier: GPL-3.0-or-later
// The traffic monitor's three lines (Label11 sent, Label12 received, Label22
// status) as the operator and a screen reader see them.

#include "support/panel_fixture.h"
#include "support/printers.h"
#include "testing/wait.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>

namespace {

class TrafficMonitorTest : public PanelTest {
protected:
    // Waits until the line shows exactly the expected text.
    bool lineBecomes(const char *name, const QString &expected)
    {
        return waitUntil([&] { return monitorText(name) == expected; });
    }
};

TEST_F(TrafficMonitorTest, ReplyInPiecesGrowsOnTheReceivedLineAndOutlivesTheReplyWindow)
{
    click("Command3");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
    EXPECT_EQ(monitorText("Label11"), QStringLiteral(" C 1 E CR "));
    com1.write("0");
    ASSERT_TRUE(lineBecomes("Label12", QStringLiteral(" 0 ")));
    com1.write("0\r");
    ASSERT_TRUE(lineBecomes("Label12", QStringLiteral(" 0 0 CR ")));
    timer("Timer2").fire();
    EXPECT_EQ(monitorText("Label12"), QStringLiteral(" 0 0 CR ")) << "an answered send gets no marker";
}

TEST_F(TrafficMonitorTest, NoReplyShowsTheMarkerThenTheClearEmptiesAllThreeLines)
{
    click("Command44");
    com1.readAtLeast(4);
    com1.write("00\r");
    ASSERT_TRUE(lineBecomes("Label22", QStringLiteral(" Power ON")));
    click("Command3"); // this one goes unanswered
    com1.readAtLeast(4);
    timer("Timer2").fire();
    EXPECT_EQ(monitorText("Label12"), QStringLiteral(" X X X X"));
    EXPECT_EQ(monitorText("Label11"), QStringLiteral(" C 1 E CR "));
    EXPECT_EQ(monitorText("Label22"), QStringLiteral(" Power ON"));
    timer("Timer4").fire();
    for (const char *line : {"Label11", "Label12", "Label22"})
        EXPECT_EQ(monitorText(line), QString()) << line;
}

TEST_F(TrafficMonitorTest, ReleaseEmptiesTheTrafficLinesAndKeepsTheStatus)
{
    click("Command44");
    com1.readAtLeast(4);
    com1.write("00\r");
    ASSERT_TRUE(lineBecomes("Label22", QStringLiteral(" Power ON")));
    QTest::mousePress(control("Command1"), Qt::LeftButton);
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C09\r"));
    ASSERT_EQ(monitorText("Label11"), QStringLiteral(" C 0 9 CR "));
    QTest::mouseRelease(control("Command1"), Qt::LeftButton);
    EXPECT_EQ(monitorText("Label11"), QString());
    EXPECT_EQ(monitorText("Label12"), QString());
    EXPECT_EQ(monitorText("Label22"), QStringLiteral(" Power ON"));
}

TEST_F(TrafficMonitorTest, ClsEmptiesTheTextBoxOnly)
{
    auto *text = control<QLineEdit>("Text1");
    text->setText(QStringLiteral("CR0"));
    click("Command3");
    com1.readAtLeast(4);
    click("Command96");
    EXPECT_TRUE(text->text().isEmpty());
    EXPECT_EQ(monitorText("Label11"), QStringLiteral(" C 1 E CR "));
    EXPECT_EQ(session->lastCommand(), QStringLiteral("C1E\r"));
    EXPECT_TRUE(com1.readFor(50).isEmpty()) << "CLS sends nothing";
}

// A screen reader reads each line as a label whose name is what it shows.
TEST_F(TrafficMonitorTest, ScreenReaderReadsWhatEachLineShows)
{
    auto spoken = [this](const char *name) {
        QAccessibleInterface *line = QAccessible::queryAccessibleInterface(control(name));
        if (!line) {
            ADD_FAILURE() << name << " has no accessible interface";
            return QString();
        }
        EXPECT_EQ(line->role(), QAccessible::StaticText) << name;
        return line->text(QAccessible::Name);
    };
    click("Command44");
    com1.readAtLeast(4);
    com1.write("80\r");
    ASSERT_TRUE(lineBecomes("Label22", QStringLiteral(" Stand by")));
    for (const char *line : {"Label11", "Label12", "Label22"})
        EXPECT_EQ(spoken(line), monitorText(line)) << line;
    EXPECT_EQ(spoken("Label12"), QStringLiteral(" 8 0 CR "));
    timer("Timer4").fire();
    EXPECT_EQ(spoken("Label11"), QString()) << "a cleared line reads as empty";
}

TEST_F(TrafficMonitorTest, CopyPutsTheWholeLineOnTheClipboard)
{
    // Longer than the line can show: the copy still holds all of it.
    const QByteArray reply = QByteArray(300, '7') + '\r';
    com1.write(reply);
    ASSERT_TRUE(waitUntil([&] { return session->receivedText().size() == reply.size(); }));
    auto *line = control<MonitorLabel>("Label12");
    QAction *copy = nullptr;
    for (QAction *action : line->actions())
        copy = action->objectName() == QLatin1String("copy") ? action : copy;
    ASSERT_NE(copy, nullptr) << "no Copy on the line's context menu";
    EXPECT_EQ(line->contextMenuPolicy(), Qt::ActionsContextMenu);
    EXPECT_EQ(copy->text(), QStringLiteral("Copy"));
    QGuiApplication::clipboard()->clear();
    copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral(" ") + QStringLiteral("7 ").repeated(300) + QStringLiteral("CR "));
}

// The sent line is set again at every repeat tick: the same text again is
// no change (no signal, nothing for a screen reader, nothing to draw).
TEST_F(TrafficMonitorTest, TheSameTextAgainIsNoChange)
{
    auto *line = control<MonitorLabel>("Label11");
    QSignalSpy changes(line, &MonitorLabel::textChanged);
    line->setText(QStringLiteral(" C 2 0 CR "));
    line->setText(QStringLiteral(" C 2 0 CR "));
    line->clear();
    line->clear();
    EXPECT_EQ(changes.count(), 2);
}

} // namespace
