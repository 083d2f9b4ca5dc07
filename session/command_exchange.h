// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One command to a projector as a machine needs it: sent, and done as soon
// as its reply line is complete (a carriage return has arrived), or when
// the command's own reply window closes. Only bytes that arrive after its
// own send belong to it; bytes between exchanges are discarded. After a
// window that closed without a complete reply, the next command waits until
// the line has been quiet for a moment, so a late reply is never credited to
// the command after it. For velno-cmd and the bridge; the panel keeps its
// fixed windows that stay in force (PanelSession).

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
    // After a window that closed without a complete reply, the line must stay
    // quiet for as long as that window again and the gap above: a projector
    // slower than its window answers within about one more, and that answer
    // must not be taken for the next command's.
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

signals:
    void finished(const ExchangeResult &result);

private:
    enum class Phase { Idle, WaitingForQuiet, AwaitingReply };

    void begin(const QString &name, const QString &line, const StatusQuery *statusQuery, int windowMs);
    void send();
    void arrived(const QByteArray &bytes);
    void discard(qsizetype count);
    // The next send waits until the line has been quiet this long.
    void requireQuiet(int ms);
    void windowClosed();
    void quietReached();
    void lineLost(const QString &description);
    void finish();

    PortConnection &line_;
    SessionTimer *window_;
    SessionTimer *quietGap_;   // runs until the line has been quiet long enough
    SessionTimer *quietLimit_; // bounds a send's wait for that quiet
    Phase phase_ = Phase::Idle;
    ExchangeResult result_;
    QByteArray reply_;
    const StatusQuery *statusQuery_ = nullptr; // how the reply is read, when it is a query's
    QElapsedTimer sinceSend_;
    qint64 strayBytes_ = 0;
};
