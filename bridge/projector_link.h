// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One projector of the bridge: its port held open (and reopened with
// backoff when lost), the commands that arrive for it run one at a time in
// arrival order behind a bounded queue, and its status queries asked on a
// schedule and after every command but a query, reporting the state once a
// round has read it. Every exchange ends as soon as its reply is complete.
//
// A transition is followed closely: after a command that switches the power
// or the input, and while the projector says it is warming up or cooling
// down, the operating state (and after an input, the input) is read again
// every kFollowPeriodMs whatever the poll period, until it settles.
//
// Online means the port is open and the projector answered within the last
// round's worth of exchanges (the nine queries, or commands in their stead):
// a projector switched off at the wall behind a device server goes offline
// once that many go unanswered in a row, and comes back at its next answer.
// Without polling, the open port alone decides.

#include "bridge/command_outcome.h"
#include "bridge/log_throttle.h"
#include "bridge/projector_state.h"
#include "protocol/command_request.h"
#include "session/command_exchange.h"
#include "session/port_address.h"
#include "session/port_connection.h"
#include "session/reconnect_backoff.h"
#include "session/session_clock.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <deque>

// What a projector's link has done since it started, for metrics.
struct ProjectorCounters {
    quint64 exchanges = 0;  // commands and queries sent
    quint64 unanswered = 0; // of which the reply window closed with nothing
    // Answers to status queries that carried no value for their query: not
    // readings, so they changed nothing.
    quint64 rejected = 0;
    quint64 reconnects = 0; // openings after the first
    // Commands that reached the link and were not run (busy, offline,
    // stopping, removed); a face's own refusals of what it could not read
    // never reach it.
    quint64 refusals = 0;
};

class ProjectorLink : public QObject {
    Q_OBJECT
public:
    struct Settings {
        int pollMs = 0;     // 0: the status is asked only after commands
        int queueLimit = 0; // commands waiting or running; more are refused as busy
        friend bool operator==(const Settings &a, const Settings &b)
        {
            return a.pollMs == b.pollMs && a.queueLimit == b.queueLimit;
        }
    };

    // How often a transition is read again, and for how long at least
    // after the command that started it.
    static constexpr int kFollowPeriodMs = 1000;
    static constexpr int kFollowAfterCommandMs = 5000;

    ProjectorLink(const QString &id, const PortAddress &port, const Settings &settings,
                  QObject *parent = nullptr, const SessionClock &clock = {});

    QString id() const { return id_; }
    QString portName() const { return port_.toString(); }
    bool isOnline() const;

    // Opens the port; a failure is retried with backoff.
    void start();
    // The end: the port closes and nothing more is asked; the commands still
    // waiting, and the one running, are refused for this reason.
    void stop(RefusalKind why = RefusalKind::Stopping);
    // A request checked where it arrived, queued behind the others (a
    // client's commands keep their order); done is told what became of it,
    // once. With the port closed, or the queue full, it is refused at once
    // (logged at most once a minute).
    void command(const CommandRequest &request, const OutcomeHandler &done);

    // The last decoded answer of each status query, by query name.
    const QMap<QString, QString> &statuses() const { return state_.texts(); }
    const ProjectorState &state() const { return state_; }
    // The state as the faces serve it, with its read times and its stale
    // readings as of now.
    QJsonObject stateJson() const;
    // A reading not read again for this long is stale (two poll periods);
    // 0: never, when nothing polls.
    qint64 staleAfterMs() const { return 2 * qint64(settings_.pollMs); }
    // Milliseconds since the projector last answered anything; -1 before it
    // ever did. What a technician reads as "how stale is this".
    qint64 lastAnswerAgeMs() const { return ageOf(lastAnswerAt_); }
    // When it last answered, in milliseconds since the epoch, as stamped
    // then (the same on every request); -1 before it ever did.
    qint64 lastAnswerWallMs() const { return lastAnswerWallMs_; }
    // The clock the ages above are read on, and its timers.
    const SessionClock &clock() const { return clock_; }
    int pollMs() const { return settings_.pollMs; }
    const ProjectorCounters &counters() const { return counters_; }

signals:
    void availabilityChanged(bool online);
    // Every exchange that went out, commands and polls alike, when it ended.
    void exchanged(const ExchangeResult &result);
    void statusChanged(const QString &query, const QString &text);
    void stateChanged();
    void log(const QString &line);

private:
    struct Job {
        CommandRequest request;
        bool poll = false;   // a status query the link asks for itself
        bool follow = false; // of which: one read out of turn, following a transition
        OutcomeHandler done;
    };

    void tryOpen();
    void opened();
    void openFailed(const SerialError &error);
    void lost(const QString &description);
    void retryLater();
    // The first line of an outage; the ones after it are not news.
    // lineTrouble: the port failed, rather than the projector falling silent.
    void outage(const QString &line, bool lineTrouble);
    // The end of an outage, once the link has proved itself: a line that
    // comes back and goes again at once is still the same outage.
    void returnedIfProven();
    void pollAll();
    void runNext();
    void finished(const ExchangeResult &result);
    void take(const StatusQuery &query, const ExchangeResult &result);
    // The state goes out when a round ends having read anything, or at the
    // end of any exchange once what is stale changed.
    void reportState(bool roundOver);
    // Starts (or prolongs) following a transition; the tick reads it again.
    void follow(const Job &job);
    void followTick();
    bool inTransition() const;
    ProjectorState::Clocks clocks() const;
    void heardFrom();
    void notHeardFrom();
    // Found silent: what waits is told so at once.
    void refuseWaitingCommands();
    static int queriesPerRound();
    void updateAvailability();
    qsizetype commandsWaiting() const;
    void count(const ExchangeResult &result);
    void refuse(const CommandRequest &request, const OutcomeHandler &done, const Refusal &why);
    qint64 ageOf(qint64 at) const { return at < 0 ? -1 : clock_.nowMs() - at; }

    QString id_;
    SessionClock clock_;
    PortAddress port_;
    Settings settings_;
    PortConnection line_;
    CommandExchange exchange_;
    std::deque<Job> queue_;
    std::optional<Job> running_;
    SessionTimer *pollTimer_;
    SessionTimer *retryTimer_;
    SessionTimer *followTimer_;
    ReconnectBackoff *backoff_;
    LogThrottle refusals_;
    LogThrottle rejections_;
    ProjectorState state_;
    ProjectorCounters counters_;
    qint64 followUntil_ = -1;   // on the clock: a transition is followed at least until then
    bool followInput_ = false;  // the input is read along with the operating state
    QStringList reportedStale_; // the stale keys the last state reported
    qint64 lastAnswerAt_ = -1;
    qint64 lastAnswerWallMs_ = -1;
    bool answering_ = false;   // answered within the last round's worth of exchanges
    int unansweredInARow_ = 0; // exchanges since the last answer
    bool publishedOnline_ = false;
    bool everOpened_ = false;
    bool inOutage_ = false;    // a line about the trouble went out; the return gets one too
    bool lineTrouble_ = false; // the port failed during it: back once the port has stayed up
    bool stopped_ = false;
    bool stateRead_ = false; // read since the state last went out
};
