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
#include <QTcpSocket>
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
    // token: none asked when empty.
    void startWeb(const QByteArray &token, int pollSeconds = 1, const QStringList &more = {})
    {
        ASSERT_TRUE(dir.isValid());
        QStringList arguments = more;
        if (!token.isEmpty()) {
            QFile file(dir.filePath("token"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(token + '\n');
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
            file.close();
            arguments << "--web-token-file" << file.fileName();
        }
        // A port free a moment ago: the settings take no port 0.
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        const QString freePort = QString::number(probe.serverPort());
        probe.close();
        runBridge(
            {endpoint(kHall, hall)}, pollSeconds,
            QStringList{"--projector", "lab=/nonexistent/tty", "--web-listen", "127.0.0.1:" + freePort} +
                arguments);
        const QRegularExpression listening(R"(web page, API and metrics on http://127\.0\.0\.1:(\d+)/)");
        ASSERT_TRUE(
            waitUntil([&] { return listening.match(bridge->logLines().join('\n')).hasMatch(); }, kEventMs));
        port = listening.match(bridge->logLines().join('\n')).captured(1).toUShort();
        base = QStringLiteral("http://127.0.0.1:%1").arg(port);
        host = "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    }

    // The bytes as sent, on a connection of their own; all that comes back
    // until the bridge closes it (or waitMs passes).
    QByteArray raw(const QByteArray &bytes, int waitMs = kEventMs)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        EXPECT_TRUE(socket.waitForConnected(5000));
        socket.write(bytes);
        QByteArray got;
        waitUntil(
            [&] {
                got += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            waitMs);
        return got + socket.readAll();
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
    quint16 port = 0;
    QByteArray host; // the Host header a browser would send
};

QByteArray statusLine(const QByteArray &answer)
{
    return answer.left(answer.indexOf("\r\n"));
}

TEST_F(WebApiTest, TokenGuardsEveryPathAndACookieCarriesItForBrowsers)
{
    startWeb("s3cret");
    // Whether the projector exists is not told without the token.
    for (const char *path : {"/", "/metrics", "/api/projectors/hall", "/api/projectors/nobody", "/nowhere"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(request("GET", path).status, 401);
        EXPECT_EQ(request("GET", path, "wrong").status, 401);
    }
    // A browser without the cookie is told how to open the page.
    const QByteArray noCookie = raw("GET / HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n");
    EXPECT_TRUE(noCookie.contains("text/html") && noCookie.contains("?token=")) << noCookie.constData();
    EXPECT_EQ(request("POST", "/api/projectors/hall/command", {}, R"({"command":"power-on"})").status, 401);
    // The scheme's name in any case.
    EXPECT_TRUE(statusLine(raw("GET /api/fields HTTP/1.1\r\n" + host +
                               "Authorization: bEaReR s3cret\r\nConnection: close\r\n\r\n"))
                    .endsWith("200 OK"));
    EXPECT_FALSE(received(hall, "C00"));
    EXPECT_EQ(request("GET", "/api/projectors", "s3cret").status, 200);

    const Answer page = request("GET", "/?token=s3cret");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("page.js"));
    EXPECT_TRUE(page.cookie.contains("HttpOnly")) << page.cookie.constData();
    EXPECT_TRUE(page.cookie.contains("SameSite=Strict")) << page.cookie.constData();
    EXPECT_TRUE(page.cookie.contains("Max-Age=" + QByteArray::number(WebFace::kTokenCookieMaxAgeS)))
        << page.cookie.constData();
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

// What the bridge's own HTTP server takes and refuses, as raw bytes on the
// wire; every answer, refusals too, carries the security headers.
TEST_F(WebApiTest, HttpRequestsTakenAndRefusedAsTheProtocolSays)
{
    startWeb("t");
    const QByteArray auth = host + "Authorization: Bearer t\r\n";
    const QByteArray command = R"({"command":"power-on"})";
    const QByteArray length = "Content-Length: " + QByteArray::number(command.size()) + "\r\n";
    const struct {
        const char *what;
        QByteArray request;
        QByteArray status;
    } cases[] = {
        {"HEAD as GET", "HEAD / HTTP/1.1\r\n" + auth + "Connection: close\r\n\r\n", "200 OK"},
        {"HTTP/1.0 closes", "GET /api/fields HTTP/1.0\r\n" + auth + "\r\n", "200 OK"},
        {"two lengths",
         "POST /api/projectors/hall/command HTTP/1.1\r\n" + auth + length + "Content-Length: 3\r\n\r\n" +
             command,
         "400 Bad Request"},
        {"chunked",
         "POST /api/projectors/hall/command HTTP/1.1\r\n" + auth + "Transfer-Encoding: chunked\r\n\r\n",
         "501 Not Implemented"},
        {"bad request line", "GET /\r\n\r\n", "400 Bad Request"},
        {"bad header", "GET / HTTP/1.1\r\nNo colon here\r\n\r\n", "400 Bad Request"},
        {"head too large", "GET / HTTP/1.1\r\nX: " + QByteArray(listener_limits::kLargestRequestHead, 'x'),
         "431 Request Header Fields Too Large"},
        {"body too large",
         "POST /api/projectors/hall/command HTTP/1.1\r\n" + auth +
             "Content-Length: " + QByteArray::number(listener_limits::kLargestRequestBody + 1) + "\r\n\r\n",
         "413 Content Too Large"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray answer = raw(c.request);
        EXPECT_EQ(statusLine(answer), "HTTP/1.1 " + c.status) << answer.constData();
        const QByteArray head = answer.left(answer.indexOf("\r\n\r\n") + 4);
        for (const char *header : {"Content-Security-Policy: default-src 'self'; frame-ancestors 'none'",
                                   "Referrer-Policy: no-referrer", "X-Content-Type-Options: nosniff"})
            EXPECT_TRUE(head.contains(header)) << header;
        if (c.request.startsWith("HEAD")) {
            EXPECT_TRUE(head.contains("Content-Length: ") && !head.contains("Content-Length: 0"));
            EXPECT_EQ(answer.size(), head.size()) << "no body";
        }
    }
    EXPECT_FALSE(received(hall, "C00"));

    // Pipelined: the command's late answer first, then the GET behind it.
    const QByteArray both =
        raw("POST /api/projectors/hall/command HTTP/1.1\r\n" + auth + "Content-Type: application/json\r\n" +
            length + "\r\n" + command + "GET /api/fields HTTP/1.1\r\n" + auth + "Connection: close\r\n\r\n");
    EXPECT_TRUE(received(hall, "C00"));
    EXPECT_GT(both.indexOf("\"power\""), both.indexOf("\"code\":\"C00\"")) << both.constData();
    EXPECT_GE(both.indexOf("\"code\":\"C00\""), 0) << both.constData();
}

// Without a token: another site's page, or a name of its own pointed here,
// gets nothing, and nothing reaches the projector.
TEST_F(WebApiTest, OtherSitesNeitherReadNorCommand)
{
    startWeb({}, 1, {"--web-hosts", "av.example, Beamer.local"});
    const QByteArray command = R"({"command":"power-on"})";
    const auto post = [&](const QByteArray &headers) {
        return raw("POST /api/projectors/hall/command HTTP/1.1\r\n" + headers + "Content-Length: " +
                   QByteArray::number(command.size()) + "\r\nConnection: close\r\n\r\n" + command);
    };
    const QByteArray json = "Content-Type: application/json\r\n";
    const QByteArray evil = "Host: evil.example:" + QByteArray::number(port) + "\r\n";
    const struct {
        const char *what;
        QByteArray answer;
        QByteArray status;
    } refused[] = {
        {"a form's text/plain", post(host + "Content-Type: text/plain\r\n"), "415"},
        {"a foreign Origin", post(host + json + "Origin: http://evil.example\r\n"), "403"},
        {"another port's Origin", post(host + json + "Origin: http://127.0.0.1:1\r\n"), "403"},
        {"a rebound name, POST", post(evil + json), "421"},
        {"a rebound name, GET", raw("GET /api/projectors HTTP/1.1\r\n" + evil + "Connection: close\r\n\r\n"),
         "421"},
        {"the right name, another port",
         raw("GET /api/projectors HTTP/1.1\r\nHost: localhost:1\r\nConnection: close\r\n\r\n"), "421"},
    };
    for (const auto &r : refused) {
        SCOPED_TRACE(r.what);
        EXPECT_TRUE(statusLine(r.answer).startsWith("HTTP/1.1 " + r.status)) << r.answer.constData();
        EXPECT_FALSE(r.answer.contains("hall")) << "nothing of the projectors";
    }
    pumpEvents(300);
    EXPECT_FALSE(received(hall, "C00"));

    for (const QByteArray &name :
         {QByteArray("localhost"), QByteArray("av.example"), QByteArray("beamer.local")})
        EXPECT_TRUE(statusLine(raw("GET /api/fields HTTP/1.1\r\nHost: " + name + ':' +
                                   QByteArray::number(port) + "\r\nConnection: close\r\n\r\n"))
                        .endsWith("200 OK"))
            << name.constData();
    const QByteArray own =
        post(host + json + "Origin: http://127.0.0.1:" + QByteArray::number(port) + "\r\n");
    EXPECT_TRUE(statusLine(own).endsWith("200 OK")) << own.constData();
    EXPECT_TRUE(received(hall, "C00"));
}

// Connections that hold their place without a request cannot lock anyone
// out: beyond the cap, the oldest of them goes for the newcomer; the others
// are let go when their time for a request is over; the metrics count both.
TEST_F(WebApiTest, IdleConnectionsLockNobodyOutAndAreLetGo)
{
    startWeb("t");
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < listener_limits::kMostWebConnections; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(held.back()->waitForConnected(5000));
    }
    QElapsedTimer answeredIn;
    answeredIn.start();
    EXPECT_TRUE(statusLine(raw("GET /api/fields HTTP/1.1\r\n" + host +
                               "Authorization: Bearer t\r\nConnection: close\r\n\r\n"))
                    .endsWith("200 OK"));
    EXPECT_LT(answeredIn.elapsed(), 2000);
    ASSERT_TRUE(waitUntil([&] { return held.front()->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_TRUE(held.front()->readAll().startsWith("HTTP/1.1 503")) << "the oldest went";
    // Closed once the time for a request head is over, with a word said.
    ASSERT_TRUE(waitUntil(
        [&] {
            return std::all_of(held.begin(), held.end(),
                               [](const auto &s) { return s->state() == QAbstractSocket::UnconnectedState; });
        },
        listener_limits::kRequestHeadMs + kEventMs));
    EXPECT_TRUE(held.back()->readAll().startsWith("HTTP/1.1 408"));
    const QByteArray metrics = request("GET", "/metrics", "t").body;
    for (const char *limit : {"connections", "request head time"})
        EXPECT_TRUE(
            metrics.contains(QStringLiteral(R"(velno_listener_limit_hits_total{listener="web",limit="%1"})")
                                 .arg(limit)
                                 .toUtf8()))
            << limit;
}

// The page's live updates: the whole list first, a projector when it
// changes, a heartbeat every two seconds; and the list itself tagged.
TEST_F(WebApiTest, EventStreamStartsWithTheListThenCarriesChangesAndHeartbeats)
{
    startWeb("t", 30);
    waitFirstRound(kHall);
    QTcpSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(stream.waitForConnected(5000));
    stream.write("GET /api/events HTTP/1.1\r\n" + host + "Authorization: Bearer t\r\n\r\n");
    QByteArray got;
    const auto events = [&](const QByteArray &name) {
        got += stream.readAll();
        QList<QJsonDocument> data;
        const QByteArray marker = "event: " + name + "\ndata: ";
        for (qsizetype at = got.indexOf(marker); at >= 0; at = got.indexOf(marker, at + 1)) {
            const qsizetype start = at + marker.size();
            data << QJsonDocument::fromJson(got.mid(start, got.indexOf('\n', start) - start));
        }
        return data;
    };
    ASSERT_TRUE(waitUntil([&] { return !events("snapshot").isEmpty(); }, kEventMs)) << got.constData();
    EXPECT_TRUE(got.startsWith("HTTP/1.1 200 OK\r\n") && got.contains("Content-Type: text/event-stream"));
    const QJsonArray snapshot = events("snapshot").front().array();
    ASSERT_EQ(snapshot.size(), 2);
    EXPECT_EQ(snapshot[0].toObject().value("id").toString(), kHall);

    EXPECT_EQ(request("POST", "/api/projectors/hall/command", "t", R"({"command":"power-on"})").status, 200);
    ASSERT_TRUE(waitUntil(
        [&] {
            const QList<QJsonDocument> changes = events("projector");
            return !changes.isEmpty() && changes.back().object().value("power").toString() != "off";
        },
        kEventMs))
        << got.constData();
    ASSERT_TRUE(waitUntil([&] { return !events("heartbeat").isEmpty(); }, kEventMs));
    const QDateTime now = QDateTime::fromString(events("heartbeat").front().object().value("now").toString(),
                                                Qt::ISODateWithMs);
    EXPECT_TRUE(now.isValid() && qAbs(now.secsTo(QDateTime::currentDateTimeUtc())) < 10);
    EXPECT_EQ(stream.state(), QAbstractSocket::ConnectedState);

    // Unchanged since it was fetched (a poll may come between: tried again): 304, no body.
    const auto list = [&](const QByteArray &more) {
        return raw("GET /api/projectors HTTP/1.1\r\n" + host + "Authorization: Bearer t\r\n" + more +
                   "Connection: close\r\n\r\n");
    };
    QByteArray tagged;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QByteArray tag = QRegularExpression("ETag: (.+)\r\n").match(list({})).captured(1).toUtf8();
            tagged = list("If-None-Match: " + tag + "\r\n");
            return !tag.isEmpty() && statusLine(tagged).endsWith("304 Not Modified");
        },
        kEventMs))
        << tagged.constData();
    EXPECT_TRUE(tagged.endsWith("\r\n\r\n")) << "no body";
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
