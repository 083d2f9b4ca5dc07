// SPDX-License-Identifier: GPL-3.0-or-later
// The page's API and its token as a program on the network sees them: the
// real velno-bridge, plain HTTP on loopback, a simulated projector's wire.

#include "bridge_program_fixture.h"

#include "bridge/listener_limits.h"
#include "faces/web/web_face.h"
#include "protocol/projector_values.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrl>

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
    QByteArray cookie;
    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

class WebApiTest : public BridgeProgramTest {
protected:
    void startWeb(const QByteArray &token, int pollSeconds = 1)
    {
        ASSERT_TRUE(dir.isValid());
        QFile file(dir.filePath("token"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(token + '\n');
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        file.close();
        // A port free a moment ago: the settings take no port 0.
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        runBridge({endpoint(kHall, hall)}, pollSeconds,
                  {"--projector", "lab=/nonexistent/tty", "--web-listen", "127.0.0.1:" + port,
                   "--web-token-file", file.fileName()});
        const QRegularExpression listening(R"(web page, API and metrics on http://127\.0\.0\.1:(\d+)/)");
        ASSERT_TRUE(
            waitUntil([&] { return listening.match(bridge->logLines().join('\n')).hasMatch(); }, kEventMs));
        base = QStringLiteral("http://127.0.0.1:%1")
                   .arg(listening.match(bridge->logLines().join('\n')).captured(1));
    }

    Answer request(const QByteArray &method, const QString &path, const QByteArray &bearer = {},
                   const QByteArray &body = {})
    {
        QNetworkRequest r(QUrl(base + path));
        if (!bearer.isEmpty())
            r.setRawHeader("Authorization", "Bearer " + bearer);
        r.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply *reply = http.sendCustomRequest(r, method, body);
        EXPECT_TRUE(waitUntil([&] { return reply->isFinished(); }, kEventMs));
        Answer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                      reply->rawHeader("Set-Cookie")};
        reply->deleteLater();
        return answer;
    }

    QTemporaryDir dir;
    QNetworkAccessManager http;
    QString base;
};

TEST_F(WebApiTest, TokenGuardsEveryPathAndACookieCarriesItForBrowsers)
{
    startWeb("s3cret");
    // Whether the projector exists is not told without the token.
    for (const char *path : {"/", "/metrics", "/api/projectors/hall", "/api/projectors/nobody", "/nowhere"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(request("GET", path).status, 401);
        EXPECT_EQ(request("GET", path, "wrong").status, 401);
    }
    EXPECT_EQ(request("POST", "/api/projectors/hall/command", {}, R"({"command":"power-on"})").status, 401);
    EXPECT_FALSE(received(hall, "C00"));
    EXPECT_EQ(request("GET", "/api/projectors", "s3cret").status, 200);

    const Answer page = request("GET", "/?token=s3cret");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("page.js"));
    EXPECT_TRUE(page.cookie.contains("HttpOnly")) << page.cookie.constData();
    EXPECT_TRUE(page.cookie.contains("SameSite=Strict")) << page.cookie.constData();
    // The browser's jar now brings it.
    EXPECT_EQ(request("GET", "/api/projectors").status, 200);
    EXPECT_EQ(request("GET", "/page.js").status, 200);
}

TEST_F(WebApiTest, StateCommandsAndRefusals)
{
    startWeb("t");
    waitFirstRound(kHall);
    const QJsonArray all = request("GET", "/api/projectors", "t").json().array();
    ASSERT_EQ(all.size(), 2);
    const QJsonObject hallState = all[0].toObject();
    EXPECT_EQ(hallState.value("id").toString(), kHall);
    EXPECT_TRUE(hallState.value("online").toBool());
    EXPECT_EQ(hallState.value("power").toString(), "off");
    EXPECT_EQ(hallState.value("lamp_hours").toInt(), 1234);
    EXPECT_EQ(hallState.value("temperatures_c").toArray().size(), 3);
    // Absolute, so an unchanged projector reads the same on every request.
    EXPECT_TRUE(
        QDateTime::fromString(hallState.value("last_answer_at").toString(), Qt::ISODateWithMs).isValid());
    EXPECT_FALSE(hallState.contains("texts")) << "the page never shows them";
    EXPECT_TRUE(hallState.value("mute").isNull()) << "a projector in stand-by does not say";
    EXPECT_FALSE(all[1].toObject().value("online").toBool());
    EXPECT_EQ(request("GET", "/api/projectors/lab", "t").json().object().value("id").toString(), "lab");

    // A GET changes nothing on the wire.
    EXPECT_FALSE(received(hall, "C00"));
    const Answer done =
        request("POST", "/api/projectors/hall/command", "t", R"({"command":"power-on","id":7})");
    EXPECT_EQ(done.status, 200);
    EXPECT_EQ(done.json().object().value("code").toString(), "C00");
    EXPECT_EQ(done.json().object().value("id").toInt(), 7);
    EXPECT_TRUE(received(hall, "C00"));
    ASSERT_TRUE(waitUntil(
        [&] { return request("GET", "/api/projectors/hall", "t").json().object().value("power") != "off"; },
        kRoundMs));

    const struct {
        QByteArray method;
        QString path;
        QByteArray body;
        int status;
    } refusals[] = {
        {"POST", "/api/projectors/hall/command", R"({"command":"self-destruct"})", 400},
        {"POST", "/api/projectors/hall/command", "power-on\r\nC01", 400},
        {"POST", "/api/projectors/nobody/command", R"({"command":"power-on"})", 404},
        {"POST", "/api/projectors/lab/command", R"({"command":"power-on"})", 503},
        {"POST", "/api/projectors/hall/command", QByteArray(listener_limits::kLargestRequestBody + 1, 'x'),
         413},
        {"GET", "/api/projectors/hall/command", {}, 405},
        {"DELETE", "/api/projectors/hall", {}, 405},
        {"POST", "/metrics", "x", 405},
        {"GET", "/api/projectors/hall/lamp", {}, 404},
        {"GET", "/etc/passwd", {}, 404},
    };
    for (const auto &r : refusals) {
        SCOPED_TRACE((r.method + ' ' + r.path).toStdString());
        EXPECT_EQ(request(r.method, r.path, "t", r.body).status, r.status);
    }
    EXPECT_FALSE(received(hall, "C01"));
    // Logged, but not once per request.
    const QStringList refused = bridge->logLines().filter("web: refused");
    EXPECT_EQ(refused.size(), 1) << logText();

    // Answered "?": the projector is there, and did nothing.
    sim::FaultSettings refuse;
    refuse.mode = sim::Fault::Refuse;
    hall.setFault(refuse);
    for (const char *body : {R"({"command":"power-off"})", R"({"command":"pressure"})"}) {
        const Answer no = request("POST", "/api/projectors/hall/command", "t", body);
        EXPECT_EQ(no.status, 422) << body;
        EXPECT_EQ(no.json().object().value("error").toString(), "refused by the projector") << body;
        EXPECT_TRUE(no.json().object().value("answered").toBool()) << body;
    }
    const QJsonObject after = request("GET", "/api/projectors/hall", "t").json().object();
    EXPECT_TRUE(after.value("online").toBool());
    EXPECT_NE(after.value("pressure_hpa"), QJsonValue(106)) << "\"?\" read as a sensor's 0";
}

QJsonObject lastState(MessageCollector &watch)
{
    const QList<QByteArray> states = watch.seen(topic(kHall, "state"));
    return states.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(states.back()).object();
}

// Each reading with when it was read, on the API and in the MQTT state; a
// projector fallen silent keeps its readings, marked stale after two poll
// periods, their read times unchanged.
TEST_F(WebApiTest, ReadingsCarryTheirReadTimesAndGoStaleWhenTheProjectorFallsSilent)
{
    startWeb("t");
    waitFirstRound(kHall);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QJsonObject before = request("GET", "/api/projectors/hall", "t").json().object();
    const QString powerReadAt = before.value("read_at").toObject().value("power").toString();
    const QDateTime readAt = QDateTime::fromString(powerReadAt, Qt::ISODateWithMs);
    EXPECT_TRUE(readAt.isValid() && qAbs(readAt.secsTo(now)) < 10) << powerReadAt.toStdString();
    EXPECT_EQ(before.value("stale").toArray(), QJsonArray());
    EXPECT_TRUE(lastState(*watch).value("read_at").toObject().value("lamp_hours").isString());

    sim::FaultSettings silent;
    silent.mode = sim::Fault::Silent;
    hall.setFault(silent);
    QJsonObject after;
    ASSERT_TRUE(waitUntil(
        [&] {
            after = request("GET", "/api/projectors/hall", "t").json().object();
            return after.value("stale").toArray().size() == int(state_field::kReadings.size());
        },
        kEventMs))
        << QJsonDocument(after).toJson().toStdString();
    EXPECT_EQ(after.value("power").toString(), "off") << "the last reading, marked";
    const QString staleReadAt = after.value("read_at").toObject().value("power").toString();
    EXPECT_GE(staleReadAt, powerReadAt);
    EXPECT_LT(QDateTime::fromString(staleReadAt, Qt::ISODateWithMs).secsTo(QDateTime::currentDateTimeUtc()),
              60);
    EXPECT_TRUE(waitUntil(
        [&] {
            return lastState(*watch).value("stale").toArray().size() == int(state_field::kReadings.size());
        },
        kEventMs));
    EXPECT_EQ(lastState(*watch).value("read_at").toObject().value("power").toString(), staleReadAt)
        << "not re-stamped by the queries left unanswered";
}

// Polling every 30 s, a power-on shows "on" once the count-down (1 s) is
// over, not at the next round: the transition is read every second.
TEST_F(WebApiTest, APowerOnShowsOnWithinSecondsWhateverThePollPeriod)
{
    startWeb("t", 30);
    waitFirstRound(kHall);
    QElapsedTimer sinceCommand;
    EXPECT_EQ(request("POST", "/api/projectors/hall/command", "t", R"({"command":"power-on"})").status, 200);
    sinceCommand.start();
    ASSERT_TRUE(waitUntil(
        [&] { return request("GET", "/api/projectors/hall", "t").json().object().value("power") == "on"; },
        kEventMs));
    // The count-down and two seconds, with room for a loaded machine; the
    // next round would come 15 to 30 s later.
    EXPECT_LT(sinceCommand.elapsed(), 8000);
    EXPECT_TRUE(waitUntil([&] { return lastState(*watch).value("power") == "on"; }, 2000));
}

} // namespace
