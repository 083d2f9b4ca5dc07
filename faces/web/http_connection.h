// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One client of the web face over HTTP/1.1: requests read one at a time
// and answered in order (the next one is not read until the answer to the
// one before has been given, so a command's late answer holds the ones
// behind it), each part held to its size and time limit, and a connection
// that may instead carry an event stream. Whatever a client sends or
// leaves unread, what it holds of the bridge stays bounded.

#include "bridge/face_client.h"
#include "faces/web/http_request.h"

#include <QList>
#include <QPair>

struct HttpResponse {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // beyond the ones every answer carries
};

// A plain-text answer: a status and why.
HttpResponse plainResponse(int status, const QByteArray &text,
                           QList<QPair<QByteArray, QByteArray>> headers = {});
// The whole answer as it goes on the wire; without its body for a HEAD,
// without Content-Length for an event stream.
QByteArray httpAnswerBytes(const HttpResponse &response, bool withBody, bool close, bool stream = false);

class HttpConnection : public FaceClient {
    Q_OBJECT
public:
    // tally: where its limits' bites are counted (the web listener's).
    HttpConnection(QTcpSocket *socket, const ListenerTally &tally, QObject *parent,
                   const SessionTimerFactory &makeTimer = {});

    // Answers the request under way; the next one is read once the answer
    // is on its way (and the client reads what it is sent).
    void answer(const HttpResponse &response);
    // Answers the request under way with an event stream: the connection
    // stays open, without the idle limit, until either side ends it.
    void startStream(const HttpResponse &head);
    // One event on the stream; a client that leaves too much unread is let go.
    void sendEvent(const QByteArray &event);
    bool streaming() const { return streaming_; }
    // Holding its place without a request under way: waiting for one
    // between requests, or for the rest of one's head.
    bool waiting() const { return !busy_ && !streaming_ && !closing_ && !reader_.inBody(); }
    // Told it must go for a newer connection ("503"), and closed.
    void makeRoom();

signals:
    // A complete request: answer() or startStream() follows, now or later.
    void requestArrived(const HttpRequest &request);

private:
    void readRequests();
    void refused(const HttpRefusal &why);
    void tooSlow();

    HttpRequestReader reader_;
    QByteArray buffer_; // received and not yet taken by a request
    SessionTimer *deadline_;
    bool busy_ = false;     // a request is being answered
    bool headOnly_ = false; // the request under way is a HEAD
    bool keepAlive_ = true; // after the request under way
    bool streaming_ = false;
    bool closing_ = false;
};
