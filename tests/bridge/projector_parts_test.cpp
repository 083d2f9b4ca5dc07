// SPDX-License-Identifier: GPL-3.0-or-later
// The parts a projector link is made of, on their own: the reconnection
// backoff, the throttled log, and the typed state read from replies.

#include "bridge/log_throttle.h"
#include "bridge/projector_state.h"
#include "bridge/reconnect_backoff.h"
#include "session/exchange_result.h"
#include "testing/manual_timer.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TEST(ReconnectBackoff, DoublesUntilTheLinkHasProvedItself)
{
    ReconnectBackoff backoff;
    qint64 now = 0;
    // A server that accepts and hangs up at once: opened, lost a moment later.
    std::vector<int> delays;
    for (int attempt = 0; attempt < 8; ++attempt) {
        backoff.opened(now);
        now += 200;
        delays.push_back(backoff.nextDelayMs(now));
        now += delays.back();
    }
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000}));

    // Up for 30 s: the next loss is a new outage.
    backoff.opened(now);
    EXPECT_EQ(backoff.nextDelayMs(now + ReconnectBackoff::kProvenAfterMs), 1000);
    // An answer proves it too.
    backoff.nextDelayMs(now);
    backoff.answered();
    EXPECT_EQ(backoff.nextDelayMs(now), 1000);
}

TEST(LogThrottle, OneLineAMinuteAndASumOfTheRest)
{
    LogThrottle throttle(QStringLiteral("hall: commands refused"), nullptr, manualTimers());
    QSignalSpy lines(&throttle, &LogThrottle::log);
    ManualTimer &minute = manualTimer(throttle, "logPeriod");
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

ExchangeResult answer(const char *reply, const char *decoded)
{
    ExchangeResult r;
    r.reply = QString::fromLatin1(reply);
    r.answered = true;
    r.status = QString::fromLatin1(decoded);
    return r;
}

TEST(ProjectorState, TheSimulatorsRepliesReadAsNumbers)
{
    ProjectorState state;
    EXPECT_EQ(state.toJson().value("power").toString(), QStringLiteral("unknown"));
    EXPECT_TRUE(state.take("status", answer("80\r", " Stand by")));
    EXPECT_TRUE(state.take("input", answer("1\r", " Computer 1")));
    EXPECT_TRUE(state.take("lamp-time", answer("1234\r", " 1 2 3 4 CR  Hour Use")));
    EXPECT_TRUE(state.take(
        "temp", answer(" 35.5, 40.0, 41.5\r", "  S1=   3 5 . 5 C  ,   S2=  4 0 . 0 C , S3=   4 1 . 5 C")));
    EXPECT_TRUE(state.take("pressure", answer("512\r", "650 hPa")));
    EXPECT_FALSE(state.take("pressure", answer("512\r", "650 hPa"))) << "the same answer changes nothing";
    const QJsonObject json = state.toJson();
    EXPECT_EQ(json.value("power").toString(), QStringLiteral("off"));
    EXPECT_EQ(json.value("input").toString(), QStringLiteral("pc1"));
    EXPECT_EQ(json.value("lamp_hours").toInteger(), 1234);
    EXPECT_EQ(json.value("temperatures_c").toArray(), (QJsonArray{35.5, 40.0, 41.5}));
    EXPECT_EQ(json.value("pressure_hpa").toInteger(), 650);
    EXPECT_EQ(json.value("texts").toObject().value("status").toString(), QStringLiteral(" Stand by"));

    // A garbled reading is unknown, not a number made up.
    EXPECT_TRUE(state.take("lamp-time", answer("12?4\r", " 1 2 ? 4 CR  Hour Use")));
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
        state.take("status", answer("", qPrintable(operatingStateText(c.state))));
        EXPECT_EQ(state.toJson().value("power").toString(), QLatin1String(c.power));
        EXPECT_EQ(isSwitchedOn(state.power()), c.switchedOn);
    }
}

} // namespace
