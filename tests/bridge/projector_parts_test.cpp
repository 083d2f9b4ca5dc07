// SPDX-License-Identifier: GPL-3.0-or-later
// The parts a projector link is made of, on their own: the reconnection
// backoff, the throttled log, and the typed state read from replies.

#include "bridge/log_throttle.h"
#include "bridge/projector_state.h"
#include "faces/web/projector_report.h"
#include "session/exchange_result.h"
#include "session/reconnect_backoff.h"
#include "testing/manual_timer.h"

#include <QDateTime>
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

using Taken = ProjectorState::Taken;

// Noon on 1 March 2026 on the wall: 0 on the link's clock.
const qint64 kWallAtZero = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();

Taken take(ProjectorState &state, const char *name, const char *reply, qint64 atMs = 0)
{
    return state.take(query(name), answer(name, QString::fromLatin1(reply)), {atMs, kWallAtZero + atMs, 0});
}

TEST(ProjectorState, TheSimulatorsRepliesReadAsNumbers)
{
    ProjectorState state;
    EXPECT_EQ(state.toJson({}).value("power").toString(), QStringLiteral("unknown"));
    EXPECT_EQ(take(state, "status", "80\r"), Taken::Changed);
    EXPECT_EQ(take(state, "input", "1\r"), Taken::Changed);
    EXPECT_EQ(take(state, "lamp-time", "1234\r"), Taken::Changed);
    EXPECT_EQ(take(state, "temp", " 35.5, 40.0, 41.5\r"), Taken::Changed);
    EXPECT_EQ(take(state, "pressure", "512\r"), Taken::Changed);
    EXPECT_EQ(take(state, "pressure", "512\r"), Taken::Same) << "read again, changed nothing";
    const QJsonObject json = state.toJson({});
    EXPECT_EQ(json.value("power").toString(), QStringLiteral("off"));
    EXPECT_EQ(json.value("input").toString(), QStringLiteral("pc1"));
    EXPECT_EQ(json.value("lamp_hours").toInteger(), 1234);
    EXPECT_EQ(json.value("temperatures_c").toArray(), (QJsonArray{35.5, 40.0, 41.5}));
    EXPECT_EQ(json.value("pressure_hpa").toInteger(), 650);
    EXPECT_EQ(json.value("texts").toObject().value("status").toString(), QStringLiteral(" Stand by"));

    // A garbled reply is no reading: the last one stays, words and read time too.
    EXPECT_EQ(take(state, "lamp-time", "12?4\r", 500), Taken::Rejected);
    EXPECT_EQ(state.toJson({}).value("lamp_hours").toInteger(), 1234);
    EXPECT_EQ(state.readAtMs(state_field::kLampHours), 0);
}

// The one mute and signal query is two readings: what is muted, and whether
// a signal comes in; neither is said where the projector does not say it.
TEST(ProjectorState, MuteAndSignalAreTwoReadingsOfOneQuery)
{
    const struct {
        const char *reply;
        QJsonValue mute;
        QJsonValue signal;
    } cases[] = {
        {"00\r", QStringLiteral("off"), true},   {"01\r", QStringLiteral("picture"), true},
        {"02\r", QStringLiteral("sound"), true}, {"03\r", QStringLiteral("both"), true},
        {"80\r", QJsonValue::Null, false},       {"FF\r", QJsonValue::Null, QJsonValue::Null},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        ProjectorState state;
        EXPECT_EQ(take(state, "mute", c.reply, 2000), Taken::Changed);
        const QJsonObject json = state.toJson({});
        EXPECT_EQ(json.value("mute"), c.mute);
        EXPECT_EQ(json.value("signal"), c.signal);
        const QJsonObject readAt = json.value("read_at").toObject();
        EXPECT_EQ(readAt.value("mute").toString(), QStringLiteral("2026-03-01T12:00:02.000Z"));
        EXPECT_EQ(readAt.value("signal"), readAt.value("mute"));
    }
}

// Read times on the link's clock, served on the wall's; a reading unread for
// longer than the stale age is marked, one never read is neither.
TEST(ProjectorState, ReadTimesAndStaleReadings)
{
    ProjectorState state;
    take(state, "status", "00\r", 1000);
    take(state, "lamp-time", "1234\r", 11000);
    ExchangeResult silence = answer("status", QString());
    silence.answered = false;
    EXPECT_EQ(state.take(query("status"), silence, {30000, kWallAtZero + 30000, 0}), Taken::NotAnswered);

    const ProjectorState::Clocks clocks{30000, kWallAtZero + 30000, 20000};
    const QJsonObject json = state.toJson(clocks);
    const QJsonObject readAt = json.value("read_at").toObject();
    EXPECT_EQ(readAt.value("power").toString(), QStringLiteral("2026-03-01T12:00:01.000Z"))
        << "not re-stamped by the query left unanswered";
    EXPECT_EQ(readAt.value("lamp_hours").toString(), QStringLiteral("2026-03-01T12:00:11.000Z"));
    EXPECT_TRUE(readAt.value("input").isNull());
    EXPECT_EQ(json.value("stale").toArray(), QJsonArray{"power"});
    EXPECT_EQ(json.value("power").toString(), QStringLiteral("on")) << "shown, and marked";

    EXPECT_TRUE(state.staleKeys({30000, 0, 0}).isEmpty()) << "nothing polls: nothing goes stale";
    EXPECT_EQ(state.staleKeys({29001, 0, 20000}), QStringList{"power"});
    EXPECT_TRUE(state.staleKeys({21000, 0, 20000}).isEmpty()) << "exactly the stale age: still current";
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
        state.take(query("status"), result, {});
        EXPECT_EQ(state.toJson({}).value("power").toString(), QLatin1String(c.power));
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
