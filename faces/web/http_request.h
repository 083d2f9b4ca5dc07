// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One HTTP/1.1 request as it arrives, read a piece at a time: the head
// (request line and headers) and a body of Content-Length bytes, each held
// to its size limit (listener_limits.h). What the bridge does not take
// (chunked bodies, a malformed head, two lengths that disagree) is refused
// with the status to answer and the limit's name, before anything acts on it.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

struct HttpRequest {
    QByteArray method;    // as sent: "GET", "POST"...
    QByteArray target;    // "/api/projectors?x=1"
    int minorVersion = 1; // HTTP/1.0 or HTTP/1.1
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of this name (case-insensitive), trimmed; empty if none.
    QByteArray header(const QByteArray &name) const;
    bool has(const QByteArray &name) const;
    // The path, percent-decoded, and the query as sent.
    QString path() const;
    QByteArray query() const;
    // Whether the connection stays open after the answer.
    bool keepAlive() const;
};

// Why a request cannot be taken.
struct HttpRefusal {
    int status;      // 400, 411, 413, 431, 501...
    QString limit;   // for the counters ("request head size"); empty for a plain mistake
    QByteArray text; // said to the client
};

class HttpRequestReader {
public:
    enum class Step { NeedMore, Complete, Refused };

    // Takes what it needs of `buffer` (removing it) toward one request.
    Step read(QByteArray &buffer);
    // Whether some of the request has come (a head has begun).
    bool started() const { return started_; }
    // Whether the head is in and the body is still coming.
    bool inBody() const { return head_.has_value(); }
    // After Complete: the request, and the reader is ready for the next one.
    HttpRequest take();
    // After Refused: why.
    const HttpRefusal &refusal() const { return *refusal_; }

private:
    Step refuse(int status, const QString &limit, const QByteArray &text);
    Step parseHead(const QByteArray &head);

    bool started_ = false;
    std::optional<HttpRequest> head_;
    qint64 bodyLength_ = 0;
    std::optional<HttpRefusal> refusal_;
};
