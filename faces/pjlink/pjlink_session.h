// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One PJLink client's connection to one projector: the greeting and its
// digest check (a short time for it, a try from an address that guessed
// wrong held back on a timer), then one request at a time (the next is read only once the
// last is answered), each answered in one write. Queries are answered from
// the readings of the bridge's state read recently enough, otherwise by asking
// the projector;
// settings go through the projector's one queue.

#include "bridge/face_client.h"
#include "pjlink/pjlink_protocol.h"
#include "session/session_clock.h"

#include <QHostAddress>
#include <QPointer>
#include <optional>

class GuessDelays;
class ProjectorLink;
struct CommandOutcome;
class QTcpSocket;

// What the sessions of one projector share.
struct PjlinkProjector {
    QPointer<ProjectorLink> link;
    QString name;        // NAME's answer
    QByteArray password; // empty: no authentication
    // The link's exchanges when the last setting sent through PJLink was
    // answered: a reading from a later exchange has seen what it did.
    // 0: no setting yet.
    quint64 commandedExchange = 0;
    // Wrong passwords by address, shared by every projector's sessions.
    GuessDelays *guesses = nullptr;
    SessionClock clock;
};

class PjlinkSession : public FaceClient {
    Q_OBJECT
public:
    // A reading this old, at most, answers a query (one poll period, or
    // this floor when the bridge polls faster or not at all).
    static constexpr int kFreshFloorMs = 2000;

    // Takes the socket over and greets the client.
    PjlinkSession(QTcpSocket *socket, PjlinkProjector &projector, const ListenerTally &tally,
                  QObject *parent = nullptr);
    ~PjlinkSession() override;

    // Past the greeting: a request taken (with the right password, when
    // there is one).
    bool loggedIn() const { return loggedIn_; }
    // Closed, with nothing said, for a new connection when every place is
    // taken by sessions; only one that has not logged in yields.
    void yield();
    bool yielding() const { return yielding_; }

signals:
    // A request refused, or the session cut short: one line for the log,
    // the same words for each of a kind.
    void refused(const QString &why);
    // A line for the log as it stands (throttled where it is made).
    void said(const QString &line);

private:
    void readRequests();
    // The time a password try must still wait; the wait started when there is one.
    bool heldBack();
    void passwordTried(const pjlink::Step &step);
    void handle(const QByteArray &line);
    void follow(const pjlink::Step &step, const pjlink::Facts &facts);
    // Asks the queries one at a time into the facts, then takes the next step.
    void ask(const pjlink::Request &request, pjlink::Facts facts, pjlink::Commands queries);
    void run(const pjlink::Step &step, std::size_t done);
    void send(const QByteArray &bytes);
    // The answer to a command the link did not run or the projector left
    // unanswered; logged unless the link logged it.
    void failed(const pjlink::Request &request, const CommandOutcome &outcome);
    // An error of this session's own, answered and logged (throttled by kind).
    void refuse(const pjlink::Request &request, pjlink::Error error);
    void logRefusal(pjlink::Error error);
    pjlink::Facts freshFacts() const;

    PjlinkProjector &projector_;
    pjlink::Conversation conversation_;
    QByteArray buffer_;
    QHostAddress address_;
    SessionTimer *guessWait_;
    bool busy_ = false; // a request is being answered
    bool loggedIn_ = false;
    bool yielding_ = false;
};
