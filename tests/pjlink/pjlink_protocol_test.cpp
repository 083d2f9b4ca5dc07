// SPDX-License-Identifier: GPL-3.0-or-later
// The PJLink conversation without a socket: requests, replies, the digest,
// and what each request asks of a projector of ours.

#include "pjlink/pjlink_protocol.h"

#include <QByteArrayList>
#include <gtest/gtest.h>

using namespace pjlink;

namespace {

Request request(const char *line)
{
    return parseRequest(line).value_or(Request{});
}

QByteArray names(const Commands &commands)
{
    QByteArrayList list;
    for (const Command *command : commands)
        list << command->name;
    return list.join(',');
}

// A step in a line: what is written, or what is asked or run ahead of it.
QByteArray spelled(const Step &step)
{
    switch (step.kind) {
    case Step::Kind::Answer: return step.bytes;
    case Step::Kind::Ask: return "ask " + names(step.commands);
    case Step::Kind::Run: return "run " + names(step.commands) + " then " + step.bytes;
    case Step::Kind::Ignore: return "ignore";
    case Step::Kind::Close: break;
    }
    return "close " + step.bytes;
}

} // namespace

TEST(PjlinkProtocol, RequestsAgainstFacts)
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
    Facts tooHot = on;
    tooHot.operating = OperatingState::TemperatureWarningCoolingDown;
    Facts oldLamp = on;
    oldLamp.lampHours = LampHours{123456};
    const Facts unknown{};
    Facts unknownAsked{};
    unknownAsked.asked = true;

    const struct {
        const char *line;
        const Facts &facts;
        const char *expected;
    } cases[] = {
        {"%1POWR ?", on, "%1POWR=1\r"},
        {"%1POWR ?", standby, "%1POWR=0\r"},
        {"%1POWR ?", warming, "%1POWR=3\r"},
        {"%1powr ?", on, "%1powr=1\r"}, // the header as it came
        {"%1Inpt 11", on, "run pc1 then %1Inpt=OK\r"},
        {"%1POWR ?", unknown, "ask status"},
        {"%1POWR ?", unknownAsked, "%1POWR=ERR4\r"},
        {"%1POWR 1", standby, "run power-on then %1POWR=OK\r"},
        {"%1POWR 0", on, "run power-off then %1POWR=OK\r"},
        {"%1POWR 1", unknown, "ask status"},
        {"%1POWR 1", unknownAsked, "run power-on then %1POWR=OK\r"},
        {"%1POWR 1", warming, "%1POWR=ERR3\r"},
        {"%1POWR 2", on, "%1POWR=ERR2\r"},
        {"%1POWR 7", unknown, "%1POWR=ERR2\r"}, // wrong whatever the state: nothing asked
        {"%1INPT 21", on, "run video then %1INPT=OK\r"},
        {"%1INPT 31", on, "%1INPT=ERR2\r"},
        {"%1INPT 11", standby, "%1INPT=ERR3\r"},
        {"%1INPT ?", on, "%1INPT=12\r"},
        {"%1INPT ?", unknown, "ask input"},
        {"%1AVMT 31", on, "run no-show-on,sound-mute-on then %1AVMT=OK\r"},
        {"%1AVMT 40", on, "%1AVMT=ERR2\r"},
        {"%1AVMT ?", on, "%1AVMT=11\r"},
        {"%1AVMT ?", standby, "%1AVMT=ERR3\r"},
        {"%1ERST ?", on, "%1ERST=000000\r"},
        {"%1ERST ?", hot, "%1ERST=001000\r"},
        {"%1ERST ?", tooHot, "%1ERST=002000\r"},
        {"%1LAMP ?", on, "%1LAMP=1234 1\r"},
        {"%1LAMP ?", standby, "%1LAMP=1234 0\r"},
        {"%1LAMP ?", oldLamp, "%1LAMP=99999 1\r"},
        {"%1LAMP ?", unknown, "ask lamp-time,status"},
        {"%1NAME ?", on, "%1NAME=Hall A\r"},
        {"%1INF2 ?", on, "%1INF2=KT70 PV70 PV75\r"},
        {"%1INFO ?", on, "%1INFO=VELNO KT70 PV70 PV75\r"},
        {"%1INFO ?", unknown, "ask info"},
        {"%1CLSS ?", unknown, "%1CLSS=1\r"},
        {"%1CLSS 1", unknown, "%1CLSS=ERR2\r"},
        {"%1FREZ 1", on, "%1FREZ=ERR1\r"},
        {"%2SVER ?", on, "%2SVER=ERR1\r"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(spelled(next(request(c.line), c.facts)), QByteArray(c.expected)) << c.line;
    // Each query asked is a status query of the table.
    for (const Command *query : next(request("%1LAMP ?"), unknown).commands)
        EXPECT_NE(query->statusQuery, nullptr) << query->name;
}

TEST(PjlinkProtocol, ARefusedSettingIsUnavailableNowOrAnInputItLacks)
{
    EXPECT_EQ(refusalError(request("%1POWR 1")), Error::UnavailableTime);
    EXPECT_EQ(refusalError(request("%1INPT 21")), Error::OutOfParameter);
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

TEST(PjlinkProtocol, ConversationChecksTheDigestOnce)
{
    Facts standby;
    standby.operating = OperatingState::StandBy;
    Conversation locked("JBMIAProjectorLink", "498e4a67");
    EXPECT_EQ(locked.greeting(), QByteArray("PJLINK 1 498e4a67\r"));
    EXPECT_EQ(spelled(locked.take("", standby)), QByteArray("ignore")); // a keep-alive, not a wrong password
    EXPECT_EQ(locked.longestLine(), kMaxRequestBytes + kDigestLength);
    EXPECT_EQ(spelled(locked.take("5d8409bc1c3fa39749434aa3a5c38682%1POWR 1", standby)),
              QByteArray("run power-on then %1POWR=OK\r"));
    EXPECT_EQ(locked.longestLine(), kMaxRequestBytes);
    EXPECT_EQ(spelled(locked.take("%1CLSS ?", standby)), QByteArray("%1CLSS=1\r"));

    const struct {
        const char *password;
        const char *line;
        const char *expected;
    } closing[] = {
        {"wrong", "5d8409bc1c3fa39749434aa3a5c38682%1POWR 1", "close PJLINK ERRA\r"},
        {"JBMIAProjectorLink", "%1POWR 1", "close PJLINK ERRA\r"},
        {"JBMIAProjectorLink", "5d8409bc1c3fa39749434aa3a5c38682POWR 1", "close "},
        {"", "POWR ?", "close "},
    };
    for (const auto &c : closing) {
        Conversation conversation(c.password, "498e4a67");
        EXPECT_EQ(spelled(conversation.take(c.line, standby)), QByteArray(c.expected)) << c.line;
    }
}
