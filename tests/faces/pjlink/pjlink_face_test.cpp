// SPDX-License-Identifier: GPL-3.0-or-later
// The PJLink face in this process, on a manual clock, with a projector whose
// port is missing or the simulator on a pty: clients on loopback get their
// answers or their limits, from state only while it is fresh.

#include "bridge/limit_counters.h"
#include "bridge/listener_limits.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/pjlink/pjlink_face.h"
#include "faces/pjlink/pjlink_session.h"
#include "pjlink/pjlink_protocol.h"
#include "sim/pty_server.h"
#include "testing/loopback_port.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QTcpSocket>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

class PjlinkFaceTest : public ::testing::Test {
protected:
    // The projector "hall" on this device, PJLink on loopback.
    void start(const QString &device, int pollSeconds = bridge_defaults::kPollSeconds)
    {
        port = unusedLoopbackPort();
        ASSERT_NE(port, 0);
        ProjectorEndpoint hall(QStringLiteral("hall"), PortAddress::serialDevice(device));
        hall.pjlink = ListenAddress{QStringLiteral("127.0.0.1"), port};
        hall.pjlinkPassword = password;
        hall.name = name;
        options.projectors = {hall};
        options.pollSeconds = pollSeconds;
        projectors.apply(options);
        face = makePjlinkFace(FaceContext{options, projectors, clock.clock(), limits});
        QObject::connect(face.get(), &BridgeFace::log, [this](const QString &line) { log << line; });
        QObject::connect(&limits, &LimitCounters::log, [this](const QString &line) { log << line; });
        projectors.start();
        QString error;
        ASSERT_TRUE(face->start(&error)) << error.toStdString();
    }

    // The simulator on a pty, asked only after commands, turned to this
    // fault once its first round is read; a client greeted.
    std::unique_ptr<QTcpSocket> startFaulty(sim::PtyServer &projector, sim::Fault fault)
    {
        EXPECT_TRUE(projector.start());
        start(QString::fromStdString(projector.devicePath()), 0);
        ProjectorLink &link = *projectors.projectors().front();
        EXPECT_TRUE(waitUntil([&] { return link.state().value<LampMode>().has_value(); }));
        sim::FaultSettings faulty;
        faulty.mode = fault;
        projector.setFault(faulty);
        projector.clearReceivedLines();
        auto client = connectClient();
        EXPECT_EQ(readReply(*client), QByteArray("PJLINK 0\r"));
        return client;
    }

    std::unique_ptr<QTcpSocket> connectClient()
    {
        auto client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, port);
        return client;
    }
    // Sends a request, returns its reply.
    static QByteArray ask(QTcpSocket &client, const char *request)
    {
        client.write(request);
        return readReply(client);
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

    // The digest a client sends ahead of its first request, from the greeting.
    static QByteArray digestFor(const QByteArray &greeting, const QByteArray &password)
    {
        return pjlink::digest(greeting.mid(9, pjlink::kRandomLength), password);
    }
    std::uint64_t bites(const char *limit) const
    {
        const auto found = limits.counts().find({QStringLiteral("pjlink"), QString::fromLatin1(limit)});
        return found == limits.counts().end() ? 0 : found->second;
    }

    QByteArray password;
    QString name;
    quint16 port = 0;
    BridgeOptions options;
    ManualClock clock;
    ProjectorService projectors{nullptr, clock.clock()};
    LimitCounters limits{nullptr, clock.clock().makeTimer};
    std::unique_ptr<BridgeFace> face;
    QStringList log;
};

TEST_F(PjlinkFaceTest, AnswersWithoutTheProjectorAndKeepsItsLimits)
{
    start(QStringLiteral("/dev/velno-none"));
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < pjlink::kMaxSessions; ++i) {
        clients.push_back(connectClient());
        EXPECT_EQ(readReply(*clients.back()), QByteArray("PJLINK 0\r"));
        EXPECT_EQ(ask(*clients.back(), "%1CLSS ?\r"), QByteArray("%1CLSS=1\r")); // logged in
    }
    // With every session logged in, one more is closed at once, and logged once.
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
    EXPECT_TRUE(logged("after 30 s without a request"));

    // The places are free again.
    auto again = connectClient();
    EXPECT_EQ(readReply(*again), QByteArray("PJLINK 0\r"));
}

TEST_F(PjlinkFaceTest, EachReadingAnswersFromStateOnlyWhileItIsFreshAndNewerThanTheLastSetting)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.start());
    start(QString::fromStdString(projector.devicePath()),
          0); // one round at the start, one after each command
    ProjectorLink &link = *projectors.projectors().front();
    // The round's last query read in this millisecond.
    const auto roundEndsNow = [&] {
        return waitUntil(
            [&] { return link.state().valueReadAfter<LampMode>({clock.nowMs() - 1}).has_value(); });
    };
    ASSERT_TRUE(roundEndsNow()); // the first round
    // Whether a query went to the projector for the last request.
    const auto asked = [&](const char *code) {
        const std::vector<std::string> lines = projector.receivedLines();
        projector.clearReceivedLines();
        return std::find(lines.begin(), lines.end(), std::string(code)) != lines.end();
    };
    projector.clearReceivedLines();

    auto client = connectClient();
    EXPECT_EQ(readReply(*client), QByteArray("PJLINK 0\r"));
    EXPECT_EQ(ask(*client, "%1POWR ?\r"), QByteArray("%1POWR=0\r"));
    EXPECT_TRUE(projector.receivedLines().empty()) << "answered from the round";
    clock.advance(PjlinkSession::kFreshFloorMs - 1000);
    // The input alone read again, a second after the round.
    link.command(CommandRequest::named(*findCommand(u"input")), {});
    ASSERT_TRUE(waitUntil([&] { return link.state().readAtMs(state_field::kInput) == clock.nowMs(); }));
    projector.clearReceivedLines();
    clock.advance(1000);
    EXPECT_EQ(ask(*client, "%1INPT ?\r").left(7), QByteArray("%1INPT="));
    EXPECT_FALSE(asked("CR1")) << "as old as the window: still fresh";
    clock.advance(1);
    EXPECT_EQ(ask(*client, "%1POWR ?\r"), QByteArray("%1POWR=0\r"));
    EXPECT_TRUE(asked("CR0")) << "older than the window";
    EXPECT_EQ(ask(*client, "%1INPT ?\r").left(7), QByteArray("%1INPT="));
    EXPECT_FALSE(asked("CR1")) << "read later than the rest: each reading by its own time";

    // A setting: what the link reads after it (in the same millisecond
    // here) knows what it did.
    clock.advance(1);
    EXPECT_EQ(ask(*client, "%1POWR 1\r"), QByteArray("%1POWR=OK\r"));
    ASSERT_TRUE(roundEndsNow()); // the round after the command
    projector.clearReceivedLines();
    EXPECT_EQ(ask(*client, "%1INPT ?\r").left(7), QByteArray("%1INPT="));
    EXPECT_FALSE(asked("CR1")) << "read after the setting";
}

TEST_F(PjlinkFaceTest, WhatTheProjectorRefusesIsErr3AndAKeepAliveKeepsTheSession)
{
    sim::PtyServer projector;
    auto client = startFaulty(projector, sim::Fault::Refuse);
    client->write("\r");
    // Stand-by from the round: power-on goes out, and "?" comes back.
    EXPECT_EQ(ask(*client, "%1powr 1\r"), QByteArray("%1powr=ERR3\r"));
    // The state is not fresh after a setting: the projector is asked, and refuses.
    EXPECT_EQ(ask(*client, "%1INPT ?\r"), QByteArray("%1INPT=ERR3\r"));
    EXPECT_TRUE(logged("answered ERR3"));
}

TEST_F(PjlinkFaceTest, AtTheStopASettingOnTheLineIsAnsweredBeforeTheSessionCloses)
{
    sim::PtyServer projector;
    auto client = startFaulty(projector, sim::Fault::Silent);
    client->write("%1POWR 1\r");
    ASSERT_TRUE(waitUntil([&] { return !projector.receivedLines().empty(); })) << "on the line";
    // As the bridge stops: nothing new taken, what waits refused, then the end.
    face->stopTaking();
    projectors.stop(RefusalKind::Stopping);
    face->stop();
    EXPECT_EQ(readReply(*client), QByteArray("%1POWR=ERR4\r"));
    EXPECT_TRUE(closed(*client));
}

TEST_F(PjlinkFaceTest, SessionsThatNeverLogInYieldOrTimeOutSoAControllerIsServed)
{
    password = "right";
    start(QStringLiteral("/dev/velno-none"));
    std::vector<std::unique_ptr<QTcpSocket>> squatters;
    for (int i = 0; i < pjlink::kMaxSessions; ++i) {
        squatters.push_back(connectClient());
        EXPECT_TRUE(readReply(*squatters.back()).startsWith("PJLINK 1 "));
    }
    // Every place taken: the oldest session that never logged in goes, with nothing said.
    auto controller = connectClient();
    const QByteArray greeting = readReply(*controller);
    EXPECT_TRUE(closed(*squatters[0]));
    EXPECT_EQ(squatters[0]->readAll(), QByteArray());
    EXPECT_EQ(ask(*controller, digestFor(greeting, password) + "%1NAME ?\r"), QByteArray("%1NAME=hall\r"));

    // The others have the short time before login; a blank line buys none.
    clock.advance(listener_limits::kPreLoginMs - 1);
    squatters[1]->write("\r");
    pumpEvents(50);
    EXPECT_EQ(squatters[1]->state(), QAbstractSocket::ConnectedState);
    clock.advance(1);
    EXPECT_TRUE(closed(*squatters[1]) && closed(*squatters[2]) && closed(*squatters[3]));
    EXPECT_EQ(controller->state(), QAbstractSocket::ConnectedState) << "logged in: the full idle time";
    EXPECT_EQ(bites("pre-login yield"), 1u);
    EXPECT_EQ(bites("pre-login time"), 3u);
}

TEST_F(PjlinkFaceTest, EachWrongPasswordFromAnAddressHoldsItsNextTryLonger)
{
    password = "right";
    start(QStringLiteral("/dev/velno-none"));
    // A try on a connection of its own, answered once waitMs has passed, not before.
    const auto tryPassword = [&](const QByteArray &tried, int waitMs) {
        auto client = connectClient();
        const QByteArray greeting = readReply(*client);
        client->write(digestFor(greeting, tried) + "%1NAME ?\r");
        if (waitMs > 0) {
            clock.advance(waitMs - 1);
            pumpEvents(100);
            EXPECT_EQ(client->bytesAvailable(), 0) << "held for " << waitMs << " ms";
            clock.advance(1);
        }
        return readReply(*client);
    };
    const int first = listener_limits::kFirstGuessDelayMs;
    EXPECT_EQ(tryPassword("guess", 0), QByteArray("PJLINK ERRA\r"));
    EXPECT_EQ(tryPassword("guess", first), QByteArray("PJLINK ERRA\r"));
    EXPECT_EQ(tryPassword("guess", 2 * first), QByteArray("PJLINK ERRA\r"));
    EXPECT_EQ(log.filter(QStringLiteral("wrong password")).size(), 1) << "one line a minute for the address";
    EXPECT_EQ(bites("password guesses"), 3u);
    // The right password waits its turn too, and clears the address.
    EXPECT_EQ(tryPassword(password, 4 * first), QByteArray("%1NAME=hall\r"));
    EXPECT_EQ(tryPassword("guess", 0), QByteArray("PJLINK ERRA\r"));
}

TEST_F(PjlinkFaceTest, AClientThatLeavesItsAnswersUnreadIsLetGo)
{
    name = QString(kLongestProjectorName, QLatin1Char('n'));
    start(QStringLiteral("/dev/velno-none"));
    // A client that reads little and slowly: a small receive window.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
    QTcpSocket client;
    ASSERT_TRUE(client.setSocketDescriptor(fd));
    client.setReadBufferSize(64); // and takes no more from the system than this
    const QByteArray requests = QByteArray("%1NAME ?\r").repeated(1000);
    EXPECT_TRUE(waitUntil(
        [&] {
            if (client.bytesToWrite() < requests.size())
                client.write(requests);
            return client.state() == QAbstractSocket::UnconnectedState;
        },
        20000));
    EXPECT_EQ(bites("unread bytes"), 1u);
}

} // namespace
