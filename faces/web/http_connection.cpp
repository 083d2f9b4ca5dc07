// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/http_connection.h"

#include "bridge/listener_limits.h"
#include "session/precise_timer.h"

#include <QTcpSocket>

using namespace listener_limits;

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 415: return "Unsupported Media Type";
    case 421: return "Misdirected Request";
    case 422: return "Unprocessable Content";
    case 431: return "Request Header Fields Too Large";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool hasHeader(const HttpResponse &response, const QByteArray &name)
{
    for (const auto &h : response.headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

HttpResponse plainResponse(int status, const QByteArray &text, QList<QPair<QByteArray, QByteArray>> headers)
{
    return {status, "text/plain; charset=utf-8", text + '\n', std::move(headers)};
}

QByteArray httpAnswerBytes(const HttpResponse &response, bool withBody, bool close, bool stream)
{
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    const auto add = [&out](const QByteArray &name, const QByteArray &value) {
        out += name + ": " + value + "\r\n";
    };
    if (!response.contentType.isEmpty())
        add("Content-Type", response.contentType);
    if (!stream && response.status != 304)
        add("Content-Length", QByteArray::number(response.body.size()));
    if (!hasHeader(response, "Cache-Control"))
        add("Cache-Control", "no-store");
    // Nothing of ours is to be framed, run from elsewhere or told where it
    // came from: the page is only its own files.
    add("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    add("Referrer-Policy", "no-referrer");
    add("X-Content-Type-Options", "nosniff");
    for (const auto &h : response.headers)
        add(h.first, h.second);
    if (close)
        add("Connection", "close");
    out += "\r\n";
    if (withBody && response.status != 304)
        out += response.body;
    return out;
}

HttpConnection::HttpConnection(QTcpSocket *socket, const ListenerTally &tally, QObject *parent,
                               const SessionTimerFactory &makeTimer)
    : FaceClient(socket, kKeepAliveIdleMs, tally, parent, makeTimer),
      deadline_((makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("request"), kRequestHeadMs, this))
{
    // What waits unread while a request is answered stays in the kernel's
    // buffers, and the client's own flow control holds it back.
    socket->setReadBufferSize(kLargestRequestHead + kLargestRequestBody);
    connect(deadline_, &SessionTimer::tick, this, &HttpConnection::tooSlow);
    setIdleLimit(kKeepAliveIdleMs, QStringLiteral("keep-alive idle"), QStringLiteral("a request"));
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::readRequests);
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpConnection::readRequests);
    // The first request's head is due from the moment of connecting.
    pauseIdle();
    deadline_->setEnabled(true);
}

void HttpConnection::readRequests()
{
    if (busy_ || streaming_ || closing_ || socket().bytesToWrite() > kMostUnreadBytes)
        return;
    buffer_ += socket().readAll();
    const bool wasInBody = reader_.inBody();
    switch (reader_.read(buffer_)) {
    case HttpRequestReader::Step::NeedMore:
        if (reader_.started() && !deadline_->enabled()) {
            pauseIdle();
            deadline_->setEnabled(true);
        } else if (reader_.inBody() && !wasInBody) {
            deadline_->setEnabled(true); // the body gets a time of its own
        }
        return;
    case HttpRequestReader::Step::Refused: return refused(reader_.refusal());
    case HttpRequestReader::Step::Complete: break;
    }
    deadline_->setEnabled(false);
    pauseIdle();
    const HttpRequest request = reader_.take();
    busy_ = true;
    headOnly_ = request.method == "HEAD";
    keepAlive_ = request.keepAlive();
    emit requestArrived(request);
}

void HttpConnection::answer(const HttpResponse &response)
{
    if (!busy_ || closing_)
        return;
    busy_ = false;
    socket().write(httpAnswerBytes(response, !headOnly_, !keepAlive_));
    if (!keepAlive_) {
        closing_ = true;
        return close();
    }
    restartIdle();
    // The next request, if it came already, once this one is answered.
    QMetaObject::invokeMethod(this, &HttpConnection::readRequests, Qt::QueuedConnection);
}

void HttpConnection::startStream(const HttpResponse &head)
{
    if (!busy_ || closing_)
        return;
    busy_ = false;
    streaming_ = true;
    pauseIdle();
    socket().write(httpAnswerBytes(head, true, true, true));
}

void HttpConnection::sendEvent(const QByteArray &event)
{
    if (!streaming_ || closing_)
        return;
    // Judged by what is left of earlier events: a snapshot of many
    // projectors is larger than the limit on its own.
    if (socket().bytesToWrite() > kMostUnreadBytes) {
        tally().bite(QStringLiteral("unread bytes"),
                     QStringLiteral("let %1 go, its event stream unread").arg(peerName()));
        closing_ = true;
        socket().abort();
        return close();
    }
    socket().write(event);
}

void HttpConnection::makeRoom()
{
    deadline_->setEnabled(false);
    closing_ = true;
    socket().write(httpAnswerBytes(plainResponse(503, "too many connections"), true, true));
    close();
}

void HttpConnection::refused(const HttpRefusal &why)
{
    deadline_->setEnabled(false);
    if (!why.limit.isEmpty())
        tally().bite(why.limit,
                     QStringLiteral("%1 from %2, closed").arg(QString::fromLatin1(why.text), peerName()));
    closing_ = true;
    socket().write(httpAnswerBytes(plainResponse(why.status, why.text), true, true));
    close();
}

void HttpConnection::tooSlow()
{
    deadline_->setEnabled(false);
    const bool body = reader_.inBody();
    tally().bite(body ? QStringLiteral("request body time") : QStringLiteral("request head time"),
                 QStringLiteral("closed %1, its request %2 not in within %3 ms")
                     .arg(peerName(), body ? QStringLiteral("body") : QStringLiteral("head"))
                     .arg(kRequestHeadMs));
    closing_ = true;
    socket().write(httpAnswerBytes(plainResponse(408, "request too slow"), true, true));
    close();
}
