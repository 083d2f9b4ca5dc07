// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One PJLink client's connection to one projector: the greeting and its
// digest check, then one request at a time (the next is read only once the
// last is answered), each answered in one write. Queries are answered from
// the bridge's state while it is fresh, otherwise by asking the projector;
// settings go through the projector's one queue.

#include "pjlink/pjlink_protocol.h"
#include "session/session_timer.h"

#include <QObject>
#include <QPointer>

class ProjectorLink;
class QTcpSocket;

// What the sessions of one projector share.
struct PjlinkProjector {
    QPointer<ProjectorLink> link;
    QString name;        // NAME's answer
    QByteArray password; // empty: no authentication
    // When the last setting sent through PJLink was answered, on the link's
    // clock: a round that ended after it has seen what it did. -1: none yet.
    qint64 commandedAtMs = -1;
};

class PjlinkSession : public QObject {
    Q_OBJECT
public:
    // State this old, at most, answers a query (one poll round, or this
    // floor when the bridge polls faster or not at all).
    static constexpr int kFreshFloorMs = 2000;

    // Takes the socket over and greets the client.
    PjlinkSession(QTcpSocket *socket, PjlinkProjector &projector, QObject *parent = nullptr,
                  const SessionTimerFactory &makeTimer = {});
    ~PjlinkSession() override;

    void close();

signals:
    // The connection is over; the session may be deleted.
    void finished();
    // A request refused, or the session cut short: one line for the log,
    // the same words for each of a kind.
    void refused(const QString &why);

private:
    void end();
    void readRequests();
    void handle(QByteArray line);
    // Fills the facts still missing, one query at a time, then acts.
    void gather(const pjlink::Request &request, pjlink::Facts facts, QStringList queries);
    void act(const pjlink::Request &request, const pjlink::Facts &facts);
    void runCommands(const pjlink::Request &request, QStringList commands);
    void send(const QByteArray &bytes);
    // An error answer, logged (throttled by kind) as a refusal.
    void refuse(const pjlink::Request &request, pjlink::Error error);
    pjlink::Facts freshFacts() const;
    bool stateIsFresh() const;

    QTcpSocket *socket_;
    PjlinkProjector &projector_;
    SessionTimer *idle_;
    QByteArray buffer_;
    QByteArray random_;
    bool authenticated_ = false;
    bool busy_ = false; // a request is being answered
    bool ended_ = false;
};
