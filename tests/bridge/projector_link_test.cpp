// SPDX-License-Identifier: GPL-3.0-or-later
// One projector of the bridge on the manual clock, the test or the simulator
// playing the projector on a pseudo-terminal or behind a device server: the
// bounded queue, the backoff of a port that cannot be opened or will not
// stay open, and availability that follows the answers.

#include "bridge/projector_link.h"
#include "sim/pty_server.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

ProjectorLink::Settings settings(int pollMs, int queueLimit = 32)
{
    ProjectorLink::Settings s;
    s.pollMs = pollMs;
    s.queueLimit = queueLimit;
    return s;
}

class ProjectorLinkTest : public ::testing::Test {
protected:
    // port: a device, or socket://HOST:PORT.
    std::unique_ptr<ProjectorLink> make(const QString &port, const ProjectorLink::Settings &s)
    {
        auto link = std::make_unique<ProjectorLink>(QStringLiteral("hall"), *parseDeviceAddress(port).address,
                                                    s, nullptr, clock.clock());
        QObject::connect(link.get(), &ProjectorLink::log, [this](const QString &l) { log << l; });
        QObject::connect(link.get(), &ProjectorLink::availabilityChanged,
                         [this](bool on) { availability << on; });
        return link;
    }

    // Sends a command whose outcome lands in outcomes, tagged.
    void command(ProjectorLink &link, int tag = 0)
    {
        link.command(CommandRequest::named(*findCommand(u"display-clear")),
                     [this, tag](const CommandOutcome &outcome) { outcomes.emplace_back(tag, outcome); });
    }

    ManualClock clock;
    PtyPeer peer;
    std::vector<std::pair<int, CommandOutcome>> outcomes;
    QStringList log;
    QList<bool> availability;
};

TEST_F(ProjectorLinkTest, AFullQueueRefusesTheRestAsBusyAtOnce)
{
    auto link = make(peer.devicePath(), settings(0, 3));
    link->start();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r")) << "the first round's first query runs";
    for (int i = 0; i < 5; ++i)
        command(*link, i);
    ASSERT_EQ(outcomes.size(), 2u) << "refused at once, the others wait";
    for (const auto &[tag, outcome] : outcomes)
        EXPECT_EQ(outcome.refusal->kind, RefusalKind::Busy);
    EXPECT_EQ(outcomes[0].first, 3);
    EXPECT_EQ(outcomes[1].first, 4);
    // The three run ahead of the round's remaining queries.
    peer.write("00\r");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(peer.readLines(1), QByteArray("C1E\r"));
        peer.write("\x06\r");
    }
    ASSERT_TRUE(waitUntil([&] { return outcomes.size() == 5; }));
    EXPECT_EQ(log.filter(QStringLiteral("refused")).size(), 1) << "one line a minute";
}

TEST_F(ProjectorLinkTest, APortThatCannotBeOpenedIsTriedLessAndLessOftenAndLoggedOnce)
{
    auto link = make(QStringLiteral("/dev/velno-no-such-port"), settings(5000));
    ManualTimer &retry = clock.timer("retryTimer");
    link->start();
    QList<int> delays;
    for (int attempt = 0; attempt < 8; ++attempt) {
        delays << retry.interval();
        ASSERT_TRUE(retry.fire());
    }
    EXPECT_EQ(delays, (QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}));
    EXPECT_EQ(log.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(availability.isEmpty()) << "never online";
}

// A device server that accepts and hangs up a moment later, as a busy one or
// a technician's laptop holding the port can: every open is followed by a
// loss, and still the delays double.
TEST_F(ProjectorLinkTest, AServerThatAcceptsAndHangsUpIsTriedLessAndLessOften)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    int attempts = 0;
    QPointer<QTcpSocket> accepted;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++attempts;
            accepted = socket;
        }
    });
    auto link = make(QStringLiteral("socket://127.0.0.1:%1").arg(server.serverPort()), settings(5000));
    ManualTimer &settle = clock.timer("settleDelay");
    ManualTimer &retry = clock.timer("retryTimer");
    link->start();
    QList<int> delays;
    for (int attempt = 1; attempt <= 7; ++attempt) {
        ASSERT_TRUE(waitUntil([&] { return attempts == attempt && settle.enabled(); })) << attempt;
        settle.fire(); // open now
        accepted->abort();
        ASSERT_TRUE(waitUntil([&] { return retry.enabled(); })) << attempt;
        delays << retry.interval();
        retry.fire();
    }
    // Reset at every open, it was one a second.
    EXPECT_EQ(delays, (QList<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000}));
    ASSERT_EQ(log.size(), 2) << log.join('\n').toStdString();
    EXPECT_TRUE(log[0].endsWith(QLatin1String(" open")));
    EXPECT_TRUE(log[1].contains(QLatin1String(" lost: ")));
    EXPECT_TRUE(availability.isEmpty()) << "it never answered";
}

// Switched off at the wall behind a device server: the socket stays open,
// only the answers stop.
TEST_F(ProjectorLinkTest, OnlineWhileItAnswersOfflineAfterAWholeSilentRoundBackAtItsNextAnswer)
{
    sim::PtyServer projector;
    ASSERT_TRUE(projector.listen("127.0.0.1", 0));
    auto link = make(QString::fromStdString(projector.devicePath()), settings(5000));
    int rounds = 0; // the state goes out once a round is over
    QObject::connect(link.get(), &ProjectorLink::stateChanged, [&] { ++rounds; });
    link->start();
    ManualTimer &settle = clock.timer("settleDelay");
    ASSERT_TRUE(waitUntil([&] { return settle.enabled(); }));
    settle.fire();
    EXPECT_FALSE(link->isOnline()) << "an open port is not yet an answering projector";
    ASSERT_TRUE(waitUntil([&] { return rounds == 1; }));
    EXPECT_EQ(availability, QList<bool>{true});
    const PowerState power = link->state().power();

    sim::FaultSettings silent;
    silent.mode = sim::Fault::Silent;
    projector.setFault(silent);
    ASSERT_TRUE(clock.timer("pollTimer").fire());
    for (int query = 0; query < 9; ++query) {
        ASSERT_TRUE(clock.timer("replyWindow").fire()) << "query " << query;
        ASSERT_TRUE(clock.timer("quietGap").fire()); // the next one waits for quiet
    }
    EXPECT_EQ(availability, (QList<bool>{true, false}));
    EXPECT_TRUE(link->state().power() == power) << "the last state known stays";
    EXPECT_EQ(log.filter(QStringLiteral("no answer")).size(), 1);

    projector.setFault({});
    clock.timer("pollTimer").fire();
    clock.timer("quietGap").fire();
    ASSERT_TRUE(waitUntil([&] { return availability.size() == 3; }));
    EXPECT_EQ(availability.back(), true);
    EXPECT_EQ(log.filter(QStringLiteral("answering again")).size(), 1);
}

TEST_F(ProjectorLinkTest, CommandsThatKeepComingDoNotKeepASilentProjectorOnline)
{
    auto link = make(peer.devicePath(), settings(5000));
    link->start();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r"));
    peer.write("00\r");
    ASSERT_TRUE(waitUntil([&] { return availability == QList<bool>{true}; }));
    // Silent now; every command starts the round anew, so no round ever ends.
    for (int exchange = 0; exchange < 9 && availability.size() == 1; ++exchange) {
        command(*link);
        ASSERT_TRUE(waitUntil([&] { return peer.readAvailable().contains('\r'); }));
        clock.timer("replyWindow").fire();
        clock.timer("quietGap").fire();
    }
    EXPECT_EQ(availability, (QList<bool>{true, false}));
    // Offline: a command is told so at once, not left to wait out windows.
    const std::size_t before = outcomes.size();
    command(*link);
    ASSERT_EQ(outcomes.size(), before + 1);
    EXPECT_EQ(outcomes.back().second.refusal->kind, RefusalKind::Offline);
}

// A transition is read every second, whatever the poll period: after a
// power-on until the lamp is on; the rest of the round waits for the poll.
TEST_F(ProjectorLinkTest, TransitionsAreReadEverySecondUntilTheySettle)
{
    auto link = make(peer.devicePath(), settings(30000));
    // Plays the projector for the lines the link sends, status answered thus.
    quint64 answered = 0;
    const auto answer = [&](int lines, const QByteArray &status) {
        answered += quint64(lines);
        QByteArray asked;
        for (int i = 0; i < lines; ++i) {
            const QByteArray line = peer.readLines(1);
            asked += line;
            peer.write(line == "CR0\r" ? status : line.startsWith("CR") ? QByteArray("1\r") : "\x06\r");
        }
        return asked;
    };
    ManualTimer &follow = clock.timer("followTimer");
    // Every answer written taken in.
    const auto takenIn = [&] { return waitUntil([&] { return link->counters().exchanges == answered; }); };
    // A period on, and the quiet a stray byte asks for, if any.
    const auto followPeriod = [&] {
        clock.advance(ProjectorLink::kFollowPeriodMs);
        if (clock.timer("quietGap").enabled())
            clock.advance(CommandExchange::kQuietGapMs);
    };
    link->start();
    answer(9, "80\r");
    ASSERT_TRUE(waitUntil([&] { return link->state().power() == PowerState::Off; }));
    EXPECT_FALSE(follow.enabled()) << "nothing to follow";

    link->command(CommandRequest::named(*findCommand(u"power-on")), {});
    answer(1 + 9, "40\r"); // the command, and the round after it
    ASSERT_TRUE(takenIn());
    const struct {
        const char *status;
        PowerState power;
    } steps[] = {{"40\r", PowerState::Warming}, {"00\r", PowerState::On}, {"00\r", PowerState::On}};
    for (const auto &step : steps) {
        SCOPED_TRACE(step.status);
        followPeriod();
        EXPECT_EQ(answer(1, step.status), QByteArray("CR0\r")) << "the operating state alone";
        ASSERT_TRUE(takenIn());
        EXPECT_EQ(link->state().power(), step.power);
    }
    // Settled, and past the time a command is followed for: no more reads.
    clock.advance(ProjectorLink::kFollowAfterCommandMs - 3 * ProjectorLink::kFollowPeriodMs);
    answer(1, "00\r");
    clock.advance(ProjectorLink::kFollowPeriodMs);
    EXPECT_FALSE(follow.enabled());
    EXPECT_TRUE(peer.readFor(50).isEmpty());
}

} // namespace
