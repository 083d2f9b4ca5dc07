// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command to a projector as a machine needs it: sent, and done as soon
// as its reply line is complete (a carriage return has arrived), or when
// the command's own reply window closes. For velno-cmd and the bridge; the
// panel keeps its fixed windows that stay in force (PanelSession).
//
// Which reply is whose. The projector answers every line it is sent with one
// reply ending in a carriage return, in order, however late. So an exchange
// that ends without a complete reply leaves one reply owed, and the next
// lines that complete on the line are the owed ones, discarded, never the
// answer of an exchange sent after them. The next command waits while
// replies are owed: it goes out once they have come (and the line has been
// quiet for kQuietGapMs), or once the line has been quiet for
// kForgiveAfterQuietMs, when what is still owed is forgiven: no projector of
// the family answers after that long a silence. A line that never falls
// quiet gets the command anyway; its first lines then pay what is owed, so
// its own reply, when it cannot be told from an owed one, is taken for the
// owed one and the exchange ends unanswered. A line with bytes no projector
// sends (control characters but ACK, tab, line feed) is noise: it pays
// nothing, and the debt waits out the quiet. Only bytes that arrive after a
// command's send, once nothing is owed, can be its reply; the rest is stray.

#include "protocol/command_request.h"
#include "protocol/commands.h"
#include "session/exchange_result.h"
#include "session/session_timer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <optional>

class PortConnection;

class CommandExchange : public QObject {
    Q_OBJECT
public:
    // The quiet the line keeps after stray bytes before the next send.
    static constexpr int kQuietGapMs = 200;
    // The quiet after which owed replies are forgiven: twice the longest
    // reply window of the family (5 s, an input terminal), so a reply up to
    // ten normal windows late, or a few of the longest, is still recognised
    // as owed. Its price is paid only when replies are owed: a silent
    // projector's exchanges come this far apart.
    static constexpr int kForgiveAfterQuietMs = 10000;
    // A line that never falls quiet gets the next command this long after
    // the quiet it needed would have ended.
    static constexpr int kLongestExtraWaitMs = 1000;
    // A reply without a carriage return stops growing here.
    static constexpr int kLongestReply = 4096;

    explicit CommandExchange(PortConnection &line, QObject *parent = nullptr,
                             const SessionTimerFactory &makeTimer = {});

    // The reply window a command gets: the one its shape gives it (the
    // image modes and typed queries 2 s, the input terminals 5 s), else the
    // normal 500 ms, never one another command left behind. The press-and-hold
    // commands' shorter windows are made for a repeating display, not for
    // one command waiting for its answer.
    static int replyWindowMs(const Command &command);
    // A line typed by hand: the window the panel gives typed text.
    static int typedReplyWindowMs();

    // Sends once (after the quiet gap, when one is due); finished() follows.
    // A window given here replaces the command's own. Ignored while running.
    void start(const Command &command, std::optional<int> replyWindowMs = std::nullopt);
    // A typed line goes out as it is, and its reply is not read as a status:
    // CommandRequest::fromLine has already made a query's code the query.
    void start(const CommandRequest &request, std::optional<int> replyWindowMs = std::nullopt);
    // Ends the running exchange now with what has arrived: the program was
    // interrupted.
    void finishNow();
    bool isRunning() const { return phase_ != Phase::Idle; }
    // Bytes that arrived while no exchange was waiting for them.
    qint64 strayBytes() const { return strayBytes_; }
    // Replies still owed by exchanges that ended without one.
    int owedReplies() const { return owed_; }

signals:
    void finished(const ExchangeResult &result);

private:
    enum class Phase { Idle, WaitingForQuiet, AwaitingReply };

    void begin(const QString &name, const QString &line, const StatusQuery *statusQuery, int windowMs);
    void send();
    void arrived(const QByteArray &bytes);
    // Takes bytes from `at` into the owed reply line; returns where it ended.
    qsizetype payOwed(const QByteArray &bytes, qsizetype at);
    // Takes bytes from `at` into the running exchange's reply.
    qsizetype takeReply(const QByteArray &bytes, qsizetype at);
    void discard(qsizetype count);
    // The reply still arriving, or none to come, is owed from now on.
    void owe();
    // The next send waits until the line has been quiet this long.
    void requireQuiet(int ms);
    void windowClosed();
    void quietReached();
    void waitLimitReached();
    void lineLost(const QString &description);
    void finish();

    PortConnection &line_;
    SessionTimer *window_;
    SessionTimer *quietGap_;   // runs until the line has been quiet long enough
    SessionTimer *quietLimit_; // bounds a send's wait for that quiet
    Phase phase_ = Phase::Idle;
    ExchangeResult result_;
    QByteArray reply_;
    int owed_ = 0;
    QByteArray owedLine_;                      // an owed reply's bytes so far
    const StatusQuery *statusQuery_ = nullptr; // how the reply is read, when it is a query's
    QElapsedTimer sinceSend_;
    qint64 strayBytes_ = 0;
};
