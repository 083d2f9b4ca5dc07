// SPDX-License-Identifier: GPL-3.0-or-later
// A short session at the panel against the simulated projector: the buttons
// an operator uses first, each answer decoded as it comes back.

#include "session/precise_timer.h"
#include "sim/pty_server.h"
#include "support/panel_fixture.h"
#include "support/printers.h"
#include "testing/wait.h"

#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kGenerousMs = 10000;

// On the real clock: the operator waits for the reply windows to close.
class OperatorSessionTest : public PanelTest {
protected:
    OperatorSessionTest() { realTimers = true; }
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(projector.start(&error)) << error;
        PanelTest::SetUp();
        // COM1 is re-opened on the simulator instead of the fixture's bare
        // pseudo-terminal, as start-up would have opened it.
        session->closePort();
        qputenv("VELNO_COM1", QByteArray::fromStdString(projector.devicePath()));
        const SerialError e = session->open(1, port_settings::kFast);
        ASSERT_FALSE(e) << e.description.toStdString();
    }

    QString status() const { return monitorText("Label22"); }
    bool replyWindowOpen() const { return session->isReplyWindowOpen(); }
    // An operator waits for the reply window to close before the next click.
    void clickAndWaitForTheReplyWindow(const char *button)
    {
        click(button);
        ASSERT_TRUE(waitUntil([&] { return !replyWindowOpen(); }, kGenerousMs)) << button;
    }

    sim::PtyServer projector{sim::PowerTimings{300, 300}};
};

TEST_F(OperatorSessionTest, PowerOnStatusInputChangeAndPressure)
{
    // A coarse hide delay may end up to 5% (250 ms) early.
    EXPECT_NE(qobject_cast<PreciseTimer *>(form->findChild<SessionTimer *>(QStringLiteral("Timer3"))),
              nullptr);
    clickAndWaitForTheReplyWindow("Command17"); // POWER ON

    // STATUS again and again while the lamp counts down.
    QElapsedTimer sinceAsked;
    bool asked = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            if (status() == QLatin1String(" Power ON"))
                return true;
            if (!asked || (sinceAsked.hasExpired(150) && !replyWindowOpen())) {
                click("Command44");
                sinceAsked.start();
                asked = true;
            }
            return false;
        },
        kGenerousMs))
        << "status shows \"" << status().toStdString() << '"';
    ASSERT_TRUE(waitUntil([&] { return !replyWindowOpen(); }, kGenerousMs));

    clickAndWaitForTheReplyWindow("Command28"); // PC2
    click("Command45");                         // MODE
    EXPECT_TRUE(waitUntil([&] { return status() == QLatin1String(" Computer 2"); }, kGenerousMs))
        << "status shows \"" << status().toStdString() << '"';
    ASSERT_TRUE(waitUntil([&] { return !replyWindowOpen(); }, kGenerousMs));

    auto *typed = control<QLineEdit>("Text1");
    typed->setFocus();
    QTest::keyClicks(typed, QStringLiteral("CR PRESSURE"));
    click("Command95"); // SEND
    EXPECT_TRUE(waitUntil([&] { return status() == QLatin1String("650 hPa"); }, kGenerousMs))
        << "status shows \"" << status().toStdString() << '"';

    // What reached the projector, repeated status queries counted once.
    std::vector<std::string> lines = projector.receivedLines();
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"C00", "CR0", "C06", "CR1", "CR PRESSURE"}));
}

} // namespace
