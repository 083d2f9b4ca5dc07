// SPDX-License-Identifier: GPL-3.0-or-later
// The shared line's idle limit on a manual clock: only a complete line
// keeps a client.

#include "bridge/limit_counters.h"
#include "bridge/listener_limits.h"
#include "bridge/projector_service.h"
#include "faces/line/line_face.h"
#include "testing/loopback_port.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

TEST(LineIdle, OnlyACompleteLineKeepsAClient)
{
    ManualClock clock;
    BridgeOptions options;
    ProjectorService projectors{nullptr, clock.clock()};
    LimitCounters limits{nullptr, clock.clock().makeTimer};
    QStringList log;
    QObject::connect(&limits, &LimitCounters::log, [&](const QString &line) { log << line; });
    const quint16 port = unusedLoopbackPort();
    ASSERT_NE(port, 0);
    ProjectorEndpoint hall(QStringLiteral("hall"),
                           PortAddress::serialDevice(QStringLiteral("/dev/velno-none")));
    hall.line = ListenAddress{QStringLiteral("127.0.0.1"), port};
    options.projectors = {hall};
    projectors.apply(options);
    const std::unique_ptr<BridgeFace> face =
        makeLineFace(FaceContext{options, projectors, clock.clock(), limits});
    QString error;
    ASSERT_TRUE(face->start(&error)) << error.toStdString();

    QTcpSocket talker;
    QTcpSocket keepAlive;
    for (QTcpSocket *client : {&talker, &keepAlive}) {
        client->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(waitUntil([&] { return client->state() == QAbstractSocket::ConnectedState; }));
    }
    pumpEvents(50);
    const auto closed = [](QTcpSocket &client, int waitMs) {
        return waitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }, waitMs);
    };
    const int minute = 60000;
    const int idleMinutes = listener_limits::kLineIdleMs / minute;
    // A lone LF, an empty line: bytes, but no line.
    for (const char *nothing : {"\n", "\r", "\n"}) {
        clock.advance(3 * minute);
        keepAlive.write(nothing);
        pumpEvents(50);
    }
    talker.write("CR0\r"); // refused (no projector), but a line all the same
    pumpEvents(50);
    clock.advance(listener_limits::kLineIdleMs - 9 * minute);
    EXPECT_TRUE(closed(keepAlive, 3000));
    EXPECT_FALSE(closed(talker, 100));
    clock.advance(9 * minute);
    EXPECT_TRUE(closed(talker, 3000));
    EXPECT_FALSE(
        log.filter(QStringLiteral("closed after %1 s without a line").arg(idleMinutes * 60)).isEmpty());
    EXPECT_EQ(limits.counts().at({QStringLiteral("line"), QStringLiteral("idle time")}), 2u);
}

} // namespace
