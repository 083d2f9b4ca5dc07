// SPDX-License-Identifier: GPL-3.0-or-later
// The panel on a projector's shared line: velno-bridge holds the projector,
// COM1 is the bridge's socket, and the operator sees what a cable shows.

#include "sim/pty_server.h"
#include "support/panel_fixture.h"
#include "testing/shared_line_config.h"
#include "testing/wait.h"

#include <QProcess>
#include <QTest>

#include <algorithm>

namespace {

constexpr int kGenerousMs = 20000;

class PanelThroughBridgeTest : public PanelTest {
protected:
    PanelThroughBridgeTest() { realTimers = true; }
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(projector.start(&error)) << error;
        ASSERT_TRUE(config.write(QString::fromStdString(projector.devicePath())));
        // No broker: the bridge retries it in the background, the line serves meanwhile.
        bridge.start(QStringLiteral(VELNO_BRIDGE_EXE),
                     {QStringLiteral("--config"), config.fileName(), QStringLiteral("--broker"),
                      QStringLiteral("mqtt://127.0.0.1:%1").arg(freeLoopbackPort())});
        ASSERT_TRUE(waitUntil([&] { return log().contains(QLatin1String("shared line on")); }, kGenerousMs))
            << log().toStdString();
        PanelTest::SetUp();
        session->closePort();
        qputenv("VELNO_COM1", config.lineUrl().toLatin1());
        const SerialError e = session->open(1, port_settings::kFast);
        ASSERT_FALSE(e) << e.description.toStdString();
    }
    void TearDown() override
    {
        PanelTest::TearDown();
        bridge.terminate();
        bridge.waitForFinished(10000);
    }

    QString log()
    {
        log_ += QString::fromLocal8Bit(bridge.readAllStandardError());
        return log_;
    }

    sim::PtyServer projector{sim::PowerTimings{300, 300}};
    SharedLineConfig config;
    QProcess bridge;
    QString log_;
};

TEST_F(PanelThroughBridgeTest, StatusIsDecodedAndAHeldButtonRepeatsAsOnACable)
{
    // Until the bridge has the projector's port open, a command gets no reply:
    // the operator clicks again once the reply window has closed.
    bool clicked = false;
    EXPECT_TRUE(waitUntil(
        [&] {
            if (monitorText("Label22") == QLatin1String(" Stand by"))
                return true;
            if (!clicked || !session->isReplyWindowOpen()) {
                click("Command44"); // STATUS
                clicked = true;
            }
            return false;
        },
        kGenerousMs))
        << "status shows \"" << monitorText("Label22").toStdString() << "\"\n"
        << log().toStdString();

    // VOL + held: its repeats reach the projector, one by one, as on a cable.
    const auto volumeUps = [&] {
        const std::vector<std::string> lines = projector.receivedLines();
        return std::count(lines.begin(), lines.end(), std::string("C09"));
    };
    QTest::mousePress(control<QAbstractButton>("Command1"), Qt::LeftButton);
    EXPECT_TRUE(waitUntil([&] { return volumeUps() >= 4; }, kGenerousMs)) << log().toStdString();
    QTest::mouseRelease(control<QAbstractButton>("Command1"), Qt::LeftButton);
}

} // namespace
