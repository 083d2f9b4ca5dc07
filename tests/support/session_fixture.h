// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A panel session whose COM1 is a pseudo-terminal held by the test, on
// manual timers the test ticks by hand.

#include "protocol/commands.h"
#include "session/panel_session.h"
#include "support/session_log.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <QtGlobal>
#include <gtest/gtest.h>

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("VELNO_COM1", com1.devicePath().toLocal8Bit());
        const SerialError error = session.open(1, port_settings::kFast);
        ASSERT_FALSE(error) << error.description.toStdString();
        log.take();
    }
    void TearDown() override { qunsetenv("VELNO_COM1"); }

    // The command of this name; fails the test when there is none.
    static const Command &command(const char *name)
    {
        const Command *found = findCommand(QString::fromLatin1(name));
        if (!found) {
            ADD_FAILURE() << "no command " << name;
            static const Command none{"", "", CommandTiming::Plain, ""};
            return none;
        }
        return *found;
    }
    ManualTimer &timer(const char *name) { return clock.timer(name); }

    // Sends and returns the bytes its line put on the wire.
    QByteArray send(const char *name)
    {
        session.send(command(name));
        return com1.readAtLeast(int(qstrlen(command(name).code)) + 1);
    }
    // Writes a piece of text and waits until the session has taken it in.
    bool arrive(const QByteArray &piece)
    {
        const QString expected = session.receivedText() + QString::fromLatin1(piece);
        com1.write(piece);
        return waitUntil([&] { return session.receivedText() == expected; });
    }

    PtyPeer com1;
    ManualClock clock;
    PanelSession session{nullptr, clock.clock().makeTimer};
    SessionLog log{session};
};
