// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/port_connection.h"
#include "support/message_box.h"
#include "support/panel_fixture.h"
#include "testing/silent_listener.h"
#include "window/application_title.h"

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
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1);
    EXPECT_EQ(session->settings(), QStringLiteral("19200,N,8,1"));
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option9")->isChecked());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_FALSE(hideDelay().enabled());
}

TEST_F(PortPanelTest, ComShowsThePanelForFiveSeconds)
{
    showPanel();
    clock.advance(4999);
    EXPECT_TRUE(panel()->isVisible());
    clock.advance(1);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_FALSE(hideDelay().enabled());
}

TEST_F(PortPanelTest, ChoosingThePortInUseReopensItAndHidesThePanel)
{
    showPanel();
    clickOption("Option1");
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_TRUE(hideDelay().enabled()) << "a choice does not stop the auto-hide";
    click("Command3");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
}

TEST_F(PortPanelTest, ChoosingTheOtherPortMovesTheLine)
{
    PtyPeer com2;
    useSecondPort(com2.devicePath());
    showPanel();
    clickOption("Option2");
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 2);
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_EQ(session->settings(), QStringLiteral("19200,N,8,1")) << "a port choice keeps the speed";
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
    EXPECT_EQ(seen->title, applicationTitle());
    EXPECT_TRUE(seen->text.contains(QStringLiteral("No such file or directory"))) << seen->text.toStdString();
    EXPECT_EQ(seen->buttonCount, 1);
    EXPECT_FALSE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1) << "the fallback number";
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_TRUE(panel()->isVisible());

    // The next choice means "talk to that port": it opens it, closed or not.
    clickOption("Option1");
    EXPECT_EQ(session->portNumber(), 1);
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_FALSE(panel()->isVisible());
}

TEST_F(PortPanelTest, DeviceServerThatNeverAnswersLeavesTheWindowLiveThenWarns)
{
    SilentListener dark;
    useSecondPort(QStringLiteral("socket://127.0.0.1:%1").arg(dark.port()));
    showPanel();
    auto seen = answerNextMessageBox();
    clickOption("Option2");
    EXPECT_TRUE(session->isPortOpening());
    EXPECT_FALSE(seen->seen) << "the choice returned before the server was heard from";
    // The operator can go on while it connects: a click is handled at once.
    click("Command3");
    EXPECT_EQ(session->lastCommand(), QStringLiteral("C1E\r"));
    clock.advance(PortConnection::kConnectTimeoutMs - 1);
    EXPECT_FALSE(seen->seen) << "warned before the connect deadline";
    clock.advance(1);
    ASSERT_TRUE(seen->seen);
    EXPECT_EQ(seen->icon, QMessageBox::Warning);
    EXPECT_TRUE(seen->text.contains(QStringLiteral("No answer"))) << seen->text.toStdString();
    EXPECT_FALSE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1) << "the fallback number";
    EXPECT_TRUE(panel()->isVisible());
}

TEST_F(PortPanelTest, SpeedChoiceKeepsThePortOpenAndSendsAtTheNewSpeed)
{
    showPanel();
    clickOption("Option10");
    EXPECT_EQ(session->settings(), QStringLiteral("9600,N,8,1"));
    EXPECT_EQ(com1.lineSpeed(), 9600) << "applied to the open line";
    EXPECT_TRUE(session->isPortOpen());
    EXPECT_EQ(session->portNumber(), 1);
    EXPECT_FALSE(panel()->isVisible());
    click("Command3");
    EXPECT_EQ(com1.readAtLeast(4), QByteArray("C1E\r"));
    showPanel();
    clickOption("Option9");
    EXPECT_EQ(session->settings(), QStringLiteral("19200,N,8,1"));
    EXPECT_EQ(com1.lineSpeed(), 19200);
}

TEST_F(PortPanelTest, SpeedChoiceOnAClosedPortIsKeptForTheNextOpening)
{
    session->closePort();
    showPanel();
    clickOption("Option10");
    EXPECT_FALSE(session->isPortOpen());
    EXPECT_EQ(session->settings(), QStringLiteral("9600,N,8,1"));
}

} // namespace
