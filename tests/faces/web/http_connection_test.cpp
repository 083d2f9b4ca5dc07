// SPDX-License-Identifier: GPL-3.0-or-later
// The web face's connection on the manual clock, a loopback socket on the
// other end: each time limit closes what it should, when it should, and
// says which limit bit.

#include "bridge/limit_counters.h"
#include "bridge/listener_limits.h"
#include "faces/web/http_connection.h"
#include "testing/manual_timer.h"
#include "testing/wait.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <memory>

using namespace listener_limits;

namespace {

class HttpConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { open(); }

    // A new connection on a new clock.
    void open()
    {
        delete connection;
        client.abort();
        server.close();
        manual = ManualClock();
        limits = std::make_unique<LimitCounters>();
        gone = false;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        ASSERT_TRUE(waitUntil([&] { return server.hasPendingConnections(); }));
        connection =
            new HttpConnection(server.nextPendingConnection(),
                               ListenerTally{limits.get(), QStringLiteral("web"), QStringLiteral("web")},
                               &server, manual.clock().makeTimer);
        QObject::connect(connection, &HttpConnection::requestArrived, [this](const HttpRequest &request) {
            if (request.path() == QStringLiteral("/events"))
                connection->startStream({200, "text/event-stream", {}, {}});
            else
                connection->answer(plainResponse(200, "hello"));
        });
        QObject::connect(connection, &FaceClient::gone, [this] { gone = true; });
    }

    void send(const QByteArray &bytes)
    {
        client.write(bytes);
        client.flush();
        pumpEvents(50); // the bytes across loopback, and read
    }

    QTcpServer server;
    QTcpSocket client;
    ManualClock manual;
    QPointer<HttpConnection> connection;
    std::unique_ptr<LimitCounters> limits;
    // The limits that bit, once for each bite.
    QStringList bitten() const
    {
        QStringList names;
        for (const auto &[key, count] : limits->counts())
            for (quint64 i = 0; i < count; ++i)
                names << key.second;
        return names;
    }
    bool gone = false;
};

TEST_F(HttpConnectionTest, EachPartOfARequestAndTheWaitBetweenThemHasItsTime)
{
    const struct {
        const char *what;
        QByteArray sent;
        int limitMs;
        QString limit;
        QByteArray answer; // the last words before the close
    } cases[] = {
        {"nothing sent", "", kRequestHeadMs, "request head time", "408"},
        {"half a head", "GET / HTTP/1.1\r\nHost: x\r\n", kRequestHeadMs, "request head time", "408"},
        {"half a body", "POST / HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc", kRequestHeadMs,
         "request body time", "408"},
        {"answered, then idle", "GET / HTTP/1.1\r\n\r\n", kKeepAliveIdleMs, "keep-alive idle", "hello"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        open();
        send(c.sent);
        manual.advance(c.limitMs - 1);
        pumpEvents(20);
        EXPECT_FALSE(gone);
        manual.advance(1);
        ASSERT_TRUE(waitUntil([&] { return gone; }));
        EXPECT_EQ(bitten(), QStringList{c.limit});
        EXPECT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
        const QByteArray said = client.readAll();
        EXPECT_TRUE(said.contains(c.answer)) << said.constData();
    }
}

TEST_F(HttpConnectionTest, AnEventStreamHasNoIdleLimit)
{
    send("GET /events HTTP/1.1\r\n\r\n");
    manual.advance(4 * kKeepAliveIdleMs);
    connection->sendEvent("event: heartbeat\ndata: {}\n\n");
    ASSERT_TRUE(
        waitUntil([&] { return client.bytesAvailable() > 0 && client.peek(1000).contains("heartbeat"); }));
    EXPECT_FALSE(gone);
    EXPECT_TRUE(bitten().isEmpty());
    EXPECT_FALSE(client.readAll().contains("Content-Length")) << "a stream ends with its connection";
}

// A tab that stopped reading: let go once its unread events pass the limit.
TEST_F(HttpConnectionTest, AStreamNobodyReadsIsDropped)
{
    client.setReadBufferSize(1024);
    send("GET /events HTTP/1.1\r\n\r\n");
    const QByteArray event = "data: " + QByteArray(kMostUnreadBytes / 4, 'x') + "\n\n";
    ASSERT_TRUE(waitUntil(
        [&] {
            if (connection)
                connection->sendEvent(event);
            return gone;
        },
        30000));
    EXPECT_EQ(bitten(), QStringList{"unread bytes"});
}

} // namespace
