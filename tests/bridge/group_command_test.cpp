// SPDX-License-Identifier: GPL-3.0-or-later
// One command to a group on the manual clock, the test playing each
// member's projector on a pseudo-terminal: every member's command is on its
// wire before any answers, and the group ends once, when its last member
// has, however each one ends.

#include "bridge/group_command.h"
#include "bridge/projector_service.h"
#include "testing/manual_timer.h"
#include "testing/pty_peer.h"
#include "testing/wait.h"

#include <gtest/gtest.h>

#include <array>

namespace {

class GroupCommandTest : public ::testing::Test {
protected:
    GroupCommandTest()
    {
        options.projectors = {endpoint("hall", peers[0]), endpoint("lab", peers[1]),
                              endpoint("aula", peers[2])};
        options.groups = {{QStringLiteral("east"),
                           {QStringLiteral("hall"), QStringLiteral("lab"), QStringLiteral("aula")}}};
        options.queueLimit = 4;
        options.pollSeconds = 0;
        service.apply(options);
    }

    static ProjectorEndpoint endpoint(const char *id, const PtyPeer &peer)
    {
        return {QLatin1String(id), *parseDeviceAddress(peer.devicePath()).address};
    }

    // Each link asks its first query as it opens; a command waits for its answer.
    void startAndReadFirstQueries()
    {
        service.start();
        for (PtyPeer &peer : peers)
            ASSERT_EQ(peer.readLines(1), QByteArray("CR0\r"));
    }

    void run(const QString &group)
    {
        runGroupCommand(service, *service.group(group), CommandRequest::named(*findCommand(u"power-on")),
                        [this](const std::vector<MemberOutcome> &members) { ends.push_back(members); });
    }

    ManualClock clock;
    std::array<PtyPeer, 3> peers;
    ProjectorService service{nullptr, clock.clock()};
    BridgeOptions options;
    std::vector<std::vector<MemberOutcome>> ends;
};

TEST_F(GroupCommandTest, MembersRunAtOnceAndTheGroupEndsOnceWhenTheLastHasEndedHoweverItEnded)
{
    startAndReadFirstQueries();
    run(QStringLiteral("east"));
    for (PtyPeer &peer : peers) {
        peer.write("00\r");
        EXPECT_EQ(peer.readLines(1), QByteArray("C00\r")) << "on every wire before any member answered it";
    }

    bool hallAnswered = false;
    QObject::connect(
        service.projector(QStringLiteral("hall")), &ProjectorLink::exchanged,
        [&](const ExchangeResult &r) { hallAnswered = hallAnswered || r.command == "power-on"; });
    peers[0].write("\x06\r");
    ASSERT_TRUE(waitUntil([&] { return hallAnswered; }));
    EXPECT_TRUE(ends.empty());
    // The lab leaves the settings while its command is on the line; the bridge stops before the aula answers.
    BridgeOptions withoutLab = options;
    withoutLab.projectors.erase(withoutLab.projectors.begin() + 1);
    withoutLab.groups = {{QStringLiteral("east"), {QStringLiteral("hall"), QStringLiteral("aula")}}};
    service.apply(withoutLab);
    EXPECT_TRUE(ends.empty()) << "the aula has not ended";
    service.stop(RefusalKind::Stopping);

    ASSERT_EQ(ends.size(), 1u);
    const std::vector<MemberOutcome> &members = ends[0];
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[0].id, QStringLiteral("hall"));
    EXPECT_TRUE(members[0].outcome.result && members[0].outcome.result->answered);
    EXPECT_EQ(members[1].outcome.refusal->kind, RefusalKind::Removed);
    EXPECT_EQ(members[2].outcome.refusal->kind, RefusalKind::Stopping);
    EXPECT_EQ(service.group(QStringLiteral("east"))->members,
              (QStringList{QStringLiteral("hall"), QStringLiteral("aula")}));
}

TEST_F(GroupCommandTest, MembersThatAllRefuseAtOnceEndTheGroupOnceBeforeItReturns)
{
    // Not started: every port closed, every member offline.
    run(QStringLiteral("all"));
    ASSERT_EQ(ends.size(), 1u);
    ASSERT_EQ(ends[0].size(), 3u);
    EXPECT_EQ(ends[0][0].id, QStringLiteral("aula")) << "all: in the order of the IDs";
    for (const MemberOutcome &member : ends[0])
        EXPECT_EQ(member.outcome.refusal->kind, RefusalKind::Offline);
    EXPECT_TRUE(groupRefusal(CommandRequest::fromLine(QStringLiteral("X99"))));
    EXPECT_FALSE(groupRefusal(CommandRequest::fromLine(QStringLiteral("C00"))))
        << "a command's code is the command";
}

} // namespace
