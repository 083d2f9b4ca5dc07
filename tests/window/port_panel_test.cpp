#include "app/port_panel.h"
#include "support/message_box.h"
#include "support/panel_fixture.h"
#include "support/wait.h"

#include <QFrame>
#include <QRadioButton>

namespace {

class PortPanelTest : public PanelTest {
protected:
    QFrame *panel() const { return control<QFrame>("Frame8"); }
    void showPanel()
    {
        click("Command33");
        ASSERT_TRUE(panel()->isVisible());
    }
    void useSecondPort(const QString &device) { qputenv("VELNO_COM2", device.toLocal8Bit()); }
    // The option is clicked where it is, over the "COM" button.
    void clickOption(const char *name) { QTest::mouseClick(control<QRadioButton>(name), Qt::LeftButton); }
};

TEST_F(PortPanelTest, StartUpLeavesPortOneOpenAndPanelHidden)
{
    EXPECT_TRUE(form->comm().portOpen());
    EXPECT_EQ(form->comm().commPort(), 1);
    EXPECT_EQ(form->comm().settings(), QStringLiteral("19200,N,8,1"));
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option9")->isChecked());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_FALSE(form->timer(3).enabled());
}

TEST_F(PortPanelTest, ComShowsThePanelAndTimer3HidesIt)
{
    showPanel();
    EXPECT_TRUE(form->timer(3).enabled());
    EXPECT_EQ(form->timer(3).interval(), 5000);
    form->portPanel().hidePanel(); // the Timer3 tick
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_FALSE(form->timer(3).enabled());
}

TEST_F(PortPanelTest, ChoosingThePortInUseReopensItAndHidesThePanel)
{
    showPanel();
    clickOption("Option1");
    EXPECT_TRUE(form->comm().portOpen());
    EXPECT_EQ(form->comm().commPort(), 1);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_TRUE(form->timer(3).enabled()) << "a choice does not stop the auto-hide";
    click("Command3");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
}

TEST_F(PortPanelTest, ChoosingTheOtherPortMovesTheLine)
{
    PtyPeer com2;
    useSecondPort(com2.devicePath());
    showPanel();
    clickOption("Option2");
    EXPECT_TRUE(form->comm().portOpen());
    EXPECT_EQ(form->comm().commPort(), 2);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(state().PortSettings, QStringLiteral("19200,N,8,1")) << "a port choice keeps the speed";
    click("Command3");
    EXPECT_EQ(com2.readAtLeast(4), QByteArray("C1E\r"));
    EXPECT_TRUE(com1.readFor(50).isEmpty());
}

TEST_F(PortPanelTest, FailedChoiceWarnsClosesAndSetsTheFallback)
{
    useSecondPort(QStringLiteral("/dev/velno-missing-port"));
    showPanel();
    auto seen = answerNextMessageBox();
    clickOption("Option2");
    ASSERT_TRUE(seen->seen);
    EXPECT_EQ(seen->icon, QMessageBox::Warning);
    EXPECT_EQ(seen->title, Form1::applicationTitle());
    EXPECT_TRUE(seen->text.contains(QStringLiteral("No such file or directory"))) << seen->text.toStdString();
    EXPECT_EQ(seen->buttonCount, 1);
    EXPECT_FALSE(form->comm().portOpen());
    EXPECT_EQ(form->comm().commPort(), 1) << "the fallback number";
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_TRUE(panel()->isVisible());

    // The next choice sets its number and hides the panel, port still closed.
    clickOption("Option1");
    EXPECT_EQ(form->comm().commPort(), 1);
    EXPECT_FALSE(form->comm().portOpen());
    EXPECT_FALSE(panel()->isVisible());
}

TEST_F(PortPanelTest, SpeedChoiceKeepsThePortOpenAndSendsAtTheNewSpeed)
{
    showPanel();
    clickOption("Option10");
    EXPECT_EQ(state().PortSettings, QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(form->comm().settings(), QStringLiteral("9600,N,8,1"));
    EXPECT_TRUE(form->comm().portOpen());
    EXPECT_EQ(form->comm().commPort(), 1);
    EXPECT_FALSE(panel()->isVisible());
    click("Command3");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
    showPanel();
    clickOption("Option9");
    EXPECT_EQ(state().PortSettings, QStringLiteral("19200,N,8,1"));
}

TEST_F(PortPanelTest, SpeedChoiceOnAClosedPortIsKeptForTheNextOpening)
{
    form->comm().setPortOpen(false);
    showPanel();
    clickOption("Option10");
    EXPECT_FALSE(form->comm().portOpen());
    EXPECT_EQ(form->comm().settings(), QStringLiteral("9600,N,8,1"));
}

TEST_F(PortPanelTest, PanelHidesItselfAfterFiveSeconds)
{
    showPanel();
    // Generous bound on a 5000 ms timer.
    EXPECT_TRUE(waitUntil([&] { return !panel()->isVisible(); }, 9000));
    EXPECT_FALSE(form->timer(3).enabled());
}

} // namespace
