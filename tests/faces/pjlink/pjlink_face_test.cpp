// SPDX-License-Identifier: GPL-3.0-or-later
// The PJLink face in this process, on a manual clock, with a projector whose
// port is missing: clients on loopback get their answers or their limits.

#include "bridge/projector_service.h"
#include "faces/pjlink/pjlink_face.h"
#include "pjlink/pjlink_protocol.h"
#include "testing/loopback_port.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>

namespace {

class PjlinkFaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = unusedLoopbackPort();
        ASSERT_NE(port, 0);
        ProjectorEndpoint hall(QStringLiteral("hall"),
                               PortAddress::serialDevice(QStringLiteral("/dev/velno-none")));
        hall.pjlink = ListenAddress{QStringLiteral("127.0.0.1"), port};
        options.projectors = {hall};
        projectors.apply(options);
        face = std::make_unique<PjlinkFace>(FaceContext{options, projectors, clock.clock()});
        QObject::connect(face.get(), &PjlinkFace::log, [this](const QString &line) { log << line; });
        projectors.start();
        QString error;
        ASSERT_TRUE(face->start(&error)) << error.toStdString();
    }

    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, port);
        return client;
    }
    // The next reply, or what came before the connection closed.
    static QByteArray readReply(QTcpSocket &client)
    {
        QByteArray reply;
        waitUntil([&] { return (reply += client.readAll()).endsWith('\r') || closed(client, 0); });
        return reply;
    }
    static bool closed(QTcpSocket &client, int waitMs = 3000)
    {
        return waitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }, waitMs);
    }
    bool logged(const char *words) const { return log.filter(QString::fromLatin1(words)).size() == 1; }

    quint16 port = 0;
    BridgeOptions options;
    ManualClock clock;
    ProjectorService projectors{nullptr, clock.clock()};
    std::unique_ptr<PjlinkFace> face;
    QStringList log;
};

TEST_F(PjlinkFaceTest, AnswersWithoutTheProjectorAndKeepsItsLimits)
{
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < pjlink::kMaxSessions; ++i) {
        clients.push_back(connectClient());
        EXPECT_EQ(readReply(*clients.back()), QByteArray("PJLINK 0\r"));
    }
    // One more is closed at once, and logged once.
    auto extra = connectClient();
    EXPECT_TRUE(closed(*extra));
    EXPECT_TRUE(waitUntil([&] { return logged("4 open already"); }));

    QTcpSocket &first = *clients[0];
    const struct {
        const char *request;
        const char *reply;
    } cases[] = {
        {"%1POWR 1\r", "%1POWR=ERR4\r"}, // offline: at once, not after a reply window
        {"%1INPT ?\r", "%1INPT=ERR4\r"}, {"%1NAME ?\r", "%1NAME=hall\r"},
        {"%1CLSS ?\r\n", "%1CLSS=1\r"}, // a line feed after the CR is let go
        {"%2SVER ?\r", "%2SVER=ERR1\r"},
    };
    for (const auto &c : cases) {
        first.write(c.request);
        EXPECT_EQ(readReply(first), QByteArray(c.reply)) << c.request;
    }
    EXPECT_TRUE(logged("answered ERR4")); // twice, throttled to once

    // A line longer than any request closes its session.
    clients[1]->write(QByteArray(pjlink::kMaxRequestBytes + 1, 'A'));
    EXPECT_TRUE(closed(*clients[1]));
    EXPECT_TRUE(logged("over 136 bytes"));

    // Idle sessions go after 30 s; the one that just asked counts from its answer.
    clock.advance(pjlink::kIdleMs - 1);
    pumpEvents(50);
    EXPECT_EQ(clients[2]->state(), QAbstractSocket::ConnectedState);
    clock.advance(1);
    EXPECT_TRUE(closed(*clients[2]) && closed(*clients[3]) && closed(first));
    // Throttled: the first idle line, the others counted for the minute's summary.
    EXPECT_TRUE(logged("after 30 s idle"));

    // The places are free again.
    auto again = connectClient();
    EXPECT_EQ(readReply(*again), QByteArray("PJLINK 0\r"));
}

} // namespace
