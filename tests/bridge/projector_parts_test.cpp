// SPDX-License-Identifier: GPL-3.0-or-later
// The parts a projector link is made of, on their own: the reconnection
// backoff, the throttled log, and the typed state read from replies.

#include "bridge/log_throttle.h"
#include "bridge/projector_state.h"
#include "faces/web/projector_report.h"
#include "session/exchange_result.h"
#include "session/reconnect_backoff.h"
#include "testing/manual_timer.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(ReconnectBackoff, DoublesUntilTheLinkHasStayedUpFor30Seconds)
{
    const ManualClock clock;
    ReconnectBackoff backoff(nullptr, clock.clock().makeTimer);
    // A server that accepts and hangs up, or answers a line and hangs up:
    // opened, lost a moment later.
    std::vector<int> delays;
    for (int attempt = 0; attempt < 8; ++attempt) {
        backoff.opened();
        clock.advance(200);
        delays.push_back(backoff.nextDelayMs());
    }
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}));

    QSignalSpy proven(&backoff, &ReconnectBackoff::proven);
    backoff.opened();
    clock.advance(ReconnectBackoff::kProvenAfterMs - 1);
    EXPECT_FALSE(backoff.isProven());
    clock.advance(1);
    EXPECT_EQ(proven.size(), 1);
    EXPECT_EQ(backoff.nextDelayMs(), 1000) << "a new outage";
}

TEST(LogThrottle, OneLineAMinuteAndASumOfTheRest)
{
    const ManualClock clock;
    LogThrottle throttle(QStringLiteral("hall: commands refused"), nullptr, clock.clock().makeTimer);
    QSignalSpy lines(&throttle, &LogThrottle::log);
    ManualTimer &minute = clock.timer("logPeriod");
    for (int i = 0; i < 50; ++i)
        throttle.report(QStringLiteral("hall: refused %1").arg(i));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.takeFirst().front().toString(), QStringLiteral("hall: refused 0"));
    minute.fire();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.takeFirst().front().toString(),
              QStringLiteral("49 more hall: commands refused in the last minute"));
    minute.fire(); // a quiet minute ends the throttling
    EXPECT_TRUE(lines.isEmpty());
    throttle.report(QStringLiteral("hall: refused again"));
    ASSERT_EQ(lines.size(), 1);
}

const StatusQuery &query(const char *name)
{
    return *findStatusQuery(QString::fromLatin1(name));
}

// The answer to a query, read as the exchange reads it.
ExchangeResult answer(const char *name, const QString &reply)
{
    ExchangeResult r;
    r.reply = reply;
    r.answered = true;
    StatusReading reading = readStatusReply(query(name), reply);
    r.status = reading.words;
    r.value = reading.value;
    return r;
}

bool take(ProjectorState &state, const char *name, const char *reply)
{
    return state.take(query(name), answer(name, QString::fromLatin1(reply)));
}

TEST(ProjectorState, TheSimulatorsRepliesReadAsNumbers)
{
    ProjectorState state;
    EXPECT_EQ(state.toJson().value("power").toString(), QStringLiteral("unknown"));
    EXPECT_TRUE(take(state, "status", "80\r"));
    EXPECT_TRUE(take(state, "input", "1\r"));
    EXPECT_TRUE(take(state, "lamp-time", "1234\r"));
    EXPECT_TRUE(take(state, "temp", " 35.5, 40.0, 41.5\r"));
    EXPECT_TRUE(take(state, "pressure", "512\r"));
    EXPECT_FALSE(take(state, "pressure", "512\r")) << "the same answer changes nothing";
    const QJsonObject json = state.toJson();
    EXPECT_EQ(json.value("power").toString(), QStringLiteral("off"));
    EXPECT_EQ(json.value("input").toString(), QStringLiteral("pc1"));
    EXPECT_EQ(json.value("lamp_hours").toInteger(), 1234);
    EXPECT_EQ(json.value("temperatures_c").toArray(), (QJsonArray{35.5, 40.0, 41.5}));
    EXPECT_EQ(json.value("pressure_hpa").toInteger(), 650);
    EXPECT_EQ(json.value("texts").toObject().value("status").toString(), QStringLiteral(" Stand by"));

    // A garbled reading is unknown, not a number made up.
    EXPECT_TRUE(take(state, "lamp-time", "12?4\r"));
    EXPECT_TRUE(state.toJson().value("lamp_hours").isNull());
}

TEST(ProjectorState, EveryOperatingStateHasAPowerWord)
{
    struct Case {
        OperatingState state;
        const char *power;
        bool switchedOn;
    };
    const Case cases[] = {
        {OperatingState::PowerOn, "on", true},
        {OperatingState::StandBy, "off", false},
        {OperatingState::CountDown, "warming", true},
        {OperatingState::CoolingDown, "cooling", false},
        {OperatingState::PowerFail, "error", false},
        {OperatingState::TemperatureWarning, "on", true},
        {OperatingState::CoolingDownAllLampsFailed, "error", false},
        {OperatingState::LampOffByPowerManagement, "off", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(operatingStateText(c.state).toStdString());
        ProjectorState state;
        const StatusReading reading{operatingStateText(c.state), c.state};
        ExchangeResult result = answer("status", QString());
        result.status = reading.words;
        result.value = reading.value;
        state.take(query("status"), result);
        EXPECT_EQ(state.toJson().value("power").toString(), QLatin1String(c.power));
        EXPECT_EQ(isSwitchedOn(state.power()), c.switchedOn);
    }
}

// What the building's page flags: the operating state's trouble and a lamp
// near its end, and nothing for a projector that is merely off or on.
TEST(ProjectorState, WarningsATechnicianActsOn)
{
    const struct {
        const char *status;
        const char *lampHours;
        QStringList warnings;
    } cases[] = {
        {"80\r", "1234\r", {}},
        {"00\r", "1799\r", {}},
        {"08\r", "1234\r", {"temperature warning"}},
        {"28\r", "1234\r", {"temperature warning"}},
        {"21\r", "2400\r", {"all lamps failed", "lamp near its end (2400 h)"}},
        {"10\r", "1800\r", {"power failure", "lamp near its end (1800 h)"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        ProjectorState state;
        take(state, "status", c.status);
        take(state, "lamp-time", c.lampHours);
        EXPECT_EQ(projectorWarnings(state), c.warnings);
    }
}

} // namespace
