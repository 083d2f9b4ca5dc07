// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page's live updates as server-sent events: each stream starts with
// the whole list ("snapshot"), then carries a projector's report when it
// changes ("projector", at most one per projector every kCoalesceMs; a
// change of read times alone only every kReadTimesMs, as every poll
// brings one and the stale marks say what matters),
// "removed" when one goes, and a "heartbeat" every kHeartbeatMs with the
// bridge's time, so that a page can tell a frozen bridge from a quiet one.

#include "session/session_clock.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <functional>
#include <map>

class HttpConnection;
class ProjectorLink;
class ProjectorService;

class EventStreams : public QObject {
    Q_OBJECT
public:
    static constexpr int kCoalesceMs = 250;
    static constexpr int kHeartbeatMs = 2000;
    static constexpr int kReadTimesMs = 30000;

    // list: the whole list, as GET /api/projectors answers it.
    EventStreams(ProjectorService &projectors, std::function<QJsonArray()> list, QObject *parent,
                 const SessionClock &clock = {});

    int count() const { return streams_.size(); }
    // Answers the connection's request with a stream, the snapshot first.
    void open(HttpConnection &connection);
    // Every stream ends.
    void closeAll();

    // One event as it goes on the wire.
    static QByteArray event(const QByteArray &name, const QJsonValue &data);

private:
    void follow(ProjectorLink *projector);
    void changed(ProjectorLink *projector);
    void sendChanges();
    void send(const QByteArray &event);
    // Whether the report is news to the streams (then kept as the last
    // sent); onlyIfNew: only the first report of a projector is.
    bool remember(const QJsonObject &report, bool onlyIfNew);
    // No stream left: nothing to keep time for.
    void quiet();

    ProjectorService &projectors_;
    std::function<QJsonArray()> list_;
    QList<QPointer<HttpConnection>> streams_;
    QSet<ProjectorLink *> changed_;
    struct Sent {
        QJsonObject withoutTimes;
        qint64 atMs = 0;
    };
    std::map<QString, Sent> sent_; // by projector ID, while streams are open
    SessionClock clock_;
    SessionTimer *coalesce_;
    SessionTimer *heartbeat_;
};
