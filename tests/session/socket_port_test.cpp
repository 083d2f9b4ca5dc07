// SPDX-License-Identifier: GPL-3.0-or-later
// A projector behind a serial device server: the session on a socket://
// port carries the same exchange as on a device, and a server that goes away
// is a lost port.

#include "protocol/commands.h"
#include "session/panel_session.h"
#include "sim/pty_server.h"
#include "support/printers.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(SocketPort, QueriesDecodeHoldsRepeatAndAVanishedServerIsALostPort)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.listen("127.0.0.1", 0));
    ManualClock clock;
    PanelSession session(nullptr, clock.clock().makeTimer);
    QSignalSpy opened(&session, &PanelSession::portOpened);
    const SerialError e = session.open(
        *parsePortAddress(QString::fromStdString(projector.devicePath())).address, port_settings::kFast);
    ASSERT_FALSE(e) << e.description.toStdString();
    EXPECT_TRUE(session.isPortOpening()) << "a device server connects in the background";
    ManualTimer &settle = clock.timer("settleDelay");
    ASSERT_TRUE(waitUntil([&] { return settle.enabled(); })) << "connected";
    EXPECT_TRUE(opened.isEmpty()) << "not open until it has settled";
    settle.fire();
    EXPECT_EQ(opened.size(), 1);
    EXPECT_TRUE(session.isPortOpen());

    QSignalSpy decoded(&session, &PanelSession::statusDecoded);
    for (const char *query : {"status", "input", "lamp-time", "pressure"}) {
        session.send(*findCommand(QString::fromLatin1(query)));
        ASSERT_TRUE(waitUntil([&] { return !decoded.isEmpty(); })) << query;
        decoded.clear();
        clock.timer("Timer2").fire(); // the reply window closes
    }

    const Command &volUp = *findCommand(QStringLiteral("vol-up"));
    session.press(volUp);
    clock.timer("Timer1").fire();
    clock.timer("Timer1").fire();
    session.release(volUp);
    const auto volUpLines = [&] {
        const std::vector<std::string> lines = projector.receivedLines();
        return std::count(lines.begin(), lines.end(), "C09");
    };
    EXPECT_TRUE(waitUntil([&] { return volUpLines() == 3; })) << "the press and two ticks, one line each";

    QSignalSpy lost(&session, &PanelSession::portLost);
    projector.vanish();
    ASSERT_TRUE(waitUntil([&] { return !lost.isEmpty(); }));
    EXPECT_FALSE(session.isPortOpen());
    EXPECT_EQ(lost.size(), 1);
}

} // namespace
