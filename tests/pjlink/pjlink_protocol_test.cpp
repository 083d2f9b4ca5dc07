// SPDX-License-Identifier: GPL-3.0-or-later
// The PJLink conversation without a socket: requests, replies, the digest,
// and what each request asks of a projector of ours.

#include "pjlink/pjlink_protocol.h"

#include <gtest/gtest.h>

using namespace pjlink;

namespace {

Request request(const char *line)
{
    return parseRequest(line).value_or(Request{});
}

// What a request comes to against these facts: the reply line.
QByteArray replyTo(const char *line, const Facts &facts)
{
    const Request r = request(line);
    if (!r.isQuery()) {
        const SetPlan plan =
            planSet(r, facts.operating ? powerStateOf(*facts.operating) : PowerState::Unknown);
        return plan.refused ? reply(r, *plan.refused)
                            : reply(r, plan.commands.join(QLatin1Char(',')).toLatin1());
    }
    const auto value = answer(r, facts);
    return std::holds_alternative<Error>(value) ? reply(r, std::get<Error>(value))
                                                : reply(r, std::get<QByteArray>(value));
}

} // namespace

TEST(PjlinkProtocol, RequestsAgainstState)
{
    Facts on;
    on.operating = OperatingState::PowerOn;
    on.input = SelectedInput::Computer2;
    on.mute = MuteAndSignal::VideoMute;
    on.lampHours = LampHours{1234};
    on.model = ModelInfo{QStringLiteral("KT70 PV70 PV75")};
    on.name = QStringLiteral("Hall A");
    Facts standby = on;
    standby.operating = OperatingState::StandBy;
    standby.mute = MuteAndSignal::StandBy;
    Facts warming = on;
    warming.operating = OperatingState::CountDown;
    Facts hot = on;
    hot.operating = OperatingState::TemperatureWarning;
    const Facts unknown{};

    const struct {
        const char *line;
        const Facts &facts;
        const char *expected; // commands joined by "," for a setting that goes ahead
    } cases[] = {
        {"%1POWR ?", on, "%1POWR=1\r"},
        {"%1POWR ?", standby, "%1POWR=0\r"},
        {"%1POWR ?", warming, "%1POWR=3\r"},
        {"%1powr ?", on, "%1POWR=1\r"},
        {"%1POWR ?", unknown, "%1POWR=ERR4\r"},
        {"%1POWR 1", standby, "%1POWR=power-on\r"},
        {"%1POWR 0", on, "%1POWR=power-off\r"},
        {"%1POWR 1", warming, "%1POWR=ERR3\r"},
        {"%1POWR 2", on, "%1POWR=ERR2\r"},
        {"%1INPT 21", on, "%1INPT=video\r"},
        {"%1INPT 31", on, "%1INPT=ERR2\r"},
        {"%1INPT 11", standby, "%1INPT=ERR3\r"},
        {"%1INPT ?", on, "%1INPT=12\r"},
        {"%1AVMT 31", on, "%1AVMT=no-show-on,sound-mute-on\r"},
        {"%1AVMT 40", on, "%1AVMT=ERR2\r"},
        {"%1AVMT ?", on, "%1AVMT=11\r"},
        {"%1AVMT ?", standby, "%1AVMT=ERR3\r"},
        {"%1ERST ?", on, "%1ERST=000000\r"},
        {"%1ERST ?", hot, "%1ERST=002000\r"},
        {"%1LAMP ?", on, "%1LAMP=1234 1\r"},
        {"%1LAMP ?", standby, "%1LAMP=1234 0\r"},
        {"%1NAME ?", on, "%1NAME=Hall A\r"},
        {"%1INF2 ?", on, "%1INF2=KT70 PV70 PV75\r"},
        {"%1INFO ?", on, "%1INFO=VELNO KT70 PV70 PV75\r"},
        {"%1CLSS ?", unknown, "%1CLSS=1\r"},
        {"%1CLSS 1", unknown, "%1CLSS=ERR2\r"},
        {"%1FREZ 1", on, "%1FREZ=ERR1\r"},
        {"%2SVER ?", on, "%2SVER=ERR1\r"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(replyTo(c.line, c.facts), QByteArray(c.expected)) << c.line;
    // What is asked of the projector when the state does not say.
    EXPECT_EQ(missingQueries(request("%1LAMP ?"), unknown), (QStringList{"lamp-time", "status"}));
    EXPECT_EQ(missingQueries(request("%1POWR 1"), unknown), QStringList{"status"});
    EXPECT_TRUE(missingQueries(request("%1POWR 1"), standby).isEmpty());
    EXPECT_TRUE(missingQueries(request("%1POWR 7"), unknown).isEmpty());
}

TEST(PjlinkProtocol, GreetingAndDigest)
{
    EXPECT_FALSE(parseRequest("POWR ?"));
    EXPECT_EQ(greeting({}, false), QByteArray("PJLINK 0\r"));
    const QByteArray random = randomText();
    ASSERT_EQ(random.size(), kRandomLength);
    EXPECT_NE(random, randomText());
    EXPECT_EQ(greeting(random, true), "PJLINK 1 " + random + '\r');
    // The published example: random "498e4a67", password "JBMIAProjectorLink".
    EXPECT_EQ(digest("498e4a67", "JBMIAProjectorLink"), QByteArray("5d8409bc1c3fa39749434aa3a5c38682"));
    const QByteArray line = "5d8409bc1c3fa39749434aa3a5c38682%1POWR 0";
    EXPECT_EQ(checkDigest(line, "498e4a67", "JBMIAProjectorLink"), QByteArray("%1POWR 0"));
    EXPECT_FALSE(checkDigest(line, "498e4a67", "wrong"));
    EXPECT_FALSE(checkDigest("%1POWR 0", "498e4a67", "JBMIAProjectorLink"));
}
