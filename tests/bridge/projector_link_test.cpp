// SPDX-License-Identifier: GPL-3.0-or-later
// One projector of the bridge on the manual clock, the test playing the
// projector on a pseudo-terminal: the bounded queue, the backoff of a port
// that cannot be opened, and availability that follows the answers.

#include "bridge/projector_link.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <QSignalSpy>
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
    std::unique_ptr<ProjectorLink> make(const QString &device, const ProjectorLink::Settings &s)
    {
        auto link = std::make_unique<ProjectorLink>(QStringLiteral("hall"), PortAddress::serialDevice(device),
                                                    s, nullptr, manualTimers());
        QObject::connect(link.get(), &ProjectorLink::replied,
                         [this](const QJsonObject &r) { replies.push_back(r); });
        QObject::connect(link.get(), &ProjectorLink::log, [this](const QString &l) { log << l; });
        QObject::connect(link.get(), &ProjectorLink::availabilityChanged,
                         [this](bool on) { availability << on; });
        return link;
    }

    PtyPeer peer;
    std::vector<QJsonObject> replies;
    QStringList log;
    QList<bool> availability;
};

TEST_F(ProjectorLinkTest, AFullQueueRefusesTheRestAsBusyAtOnce)
{
    auto link = make(peer.devicePath(), settings(0, 3));
    link->start();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r")) << "the first round's first query runs";
    for (int i = 0; i < 5; ++i)
        link->command({QStringLiteral("display-clear"), {}}, i);
    ASSERT_EQ(replies.size(), 2u) << "refused at once, the others wait";
    for (const QJsonObject &reply : replies)
        EXPECT_EQ(reply.value("error").toString(), QStringLiteral("busy"));
    EXPECT_EQ(replies[0].value("id").toInt(), 3);
    EXPECT_EQ(replies[1].value("id").toInt(), 4);
    // The three run ahead of the round's remaining queries.
    peer.write("00\r");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(peer.readLines(1), QByteArray("C1E\r"));
        peer.write("\x06\r");
    }
    ASSERT_TRUE(waitUntil([&] { return replies.size() == 5; }));
    EXPECT_EQ(log.filter(QStringLiteral("refused")).size(), 1) << "one line a minute";
}

TEST_F(ProjectorLinkTest, APortThatCannotBeOpenedIsTriedLessAndLessOftenAndLoggedOnce)
{
    auto link = make(QStringLiteral("/dev/velno-no-such-port"), settings(5000));
    ManualTimer &retry = manualTimer(*link, "retryTimer");
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

TEST_F(ProjectorLinkTest, OnlineWhileItAnswersOfflineAfterAWholeSilentRoundBackAtItsNextAnswer)
{
    auto link = make(peer.devicePath(), settings(5000));
    int rounds = 0; // the state goes out once a round is over
    QObject::connect(link.get(), &ProjectorLink::stateChanged, [&] { ++rounds; });
    link->start();
    EXPECT_FALSE(link->isOnline()) << "an open port is not yet an answering projector";
    for (int query = 0; query < 9; ++query) {
        ASSERT_EQ(peer.readLines(1).count('\r'), 1);
        peer.write("00\r");
    }
    ASSERT_TRUE(waitUntil([&] { return rounds == 1; }));
    EXPECT_EQ(availability, QList<bool>{true});

    // Switched off at the wall: nine queries, none answered.
    ASSERT_TRUE(manualTimer(*link, "pollTimer").fire());
    for (int query = 0; query < 9; ++query) {
        ASSERT_EQ(peer.readLines(1).count('\r'), 1) << "query " << query;
        manualTimer(*link, "replyWindow").fire();
        if (query < 8)
            manualTimer(*link, "quietGap").fire();
    }
    EXPECT_EQ(availability, (QList<bool>{true, false}));
    EXPECT_TRUE(link->state().power() == PowerState::On) << "the last state known stays";
    EXPECT_EQ(log.filter(QStringLiteral("no answer")).size(), 1);

    manualTimer(*link, "pollTimer").fire();
    manualTimer(*link, "quietGap").fire();
    EXPECT_EQ(peer.readLines(1), QByteArray("CR0\r"));
    peer.write("00\r");
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
        link->command({QStringLiteral("display-clear"), {}});
        ASSERT_TRUE(waitUntil([&] { return peer.readAvailable().contains('\r'); }));
        manualTimer(*link, "replyWindow").fire();
        manualTimer(*link, "quietGap").fire();
    }
    EXPECT_EQ(availability, (QList<bool>{true, false}));
}

} // namespace
