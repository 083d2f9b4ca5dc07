// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/web/event_streams.h"

#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/web/http_connection.h"
#include "faces/web/projector_report.h"
#include "protocol/projector_values.h"
#include "session/precise_timer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

EventStreams::EventStreams(ProjectorService &projectors, std::function<QJsonArray()> list, QObject *parent,
                           const SessionClock &clock)
    : QObject(parent), projectors_(projectors), list_(std::move(list)), clock_(clock)
{
    const SessionTimerFactory timers = clock.timersOr(makeCoarseTimer);
    coalesce_ = timers(QStringLiteral("event coalescing"), kCoalesceMs, this);
    heartbeat_ = timers(QStringLiteral("heartbeat"), kHeartbeatMs, this);
    connect(coalesce_, &SessionTimer::tick, this, &EventStreams::sendChanges);
    connect(heartbeat_, &SessionTimer::tick, this, [this] {
        send(event("heartbeat", QJsonObject{{QStringLiteral("now"),
                                             QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)}}));
    });
    for (ProjectorLink *projector : projectors_.projectors())
        follow(projector);
    connect(&projectors_, &ProjectorService::projectorAdded, this, &EventStreams::follow);
    connect(&projectors_, &ProjectorService::projectorRemoved, this, [this](ProjectorLink *projector) {
        changed_.remove(projector);
        sent_.erase(projector->id());
        disconnect(projector, nullptr, this, nullptr);
        send(event("removed", QJsonObject{{QStringLiteral("id"), projector->id()}}));
    });
}

QByteArray EventStreams::event(const QByteArray &name, const QJsonValue &data)
{
    const QByteArray json = data.isArray() ? QJsonDocument(data.toArray()).toJson(QJsonDocument::Compact)
                                           : QJsonDocument(data.toObject()).toJson(QJsonDocument::Compact);
    return "event: " + name + "\ndata: " + json + "\n\n";
}

void EventStreams::follow(ProjectorLink *projector)
{
    const auto mark = [this, projector] { changed(projector); };
    connect(projector, &ProjectorLink::availabilityChanged, this, mark);
    connect(projector, &ProjectorLink::stateChanged, this, mark);
    changed(projector); // a new one is news too
}

void EventStreams::changed(ProjectorLink *projector)
{
    if (streams_.isEmpty())
        return;
    changed_.insert(projector);
    if (!coalesce_->enabled())
        coalesce_->setEnabled(true);
}

void EventStreams::sendChanges()
{
    coalesce_->setEnabled(false);
    const QSet<ProjectorLink *> changed = std::exchange(changed_, {});
    for (ProjectorLink *projector : changed) {
        const QJsonObject report = projectorReport(*projector);
        if (remember(report, false))
            send(event("projector", report));
    }
}

bool EventStreams::remember(const QJsonObject &report, bool onlyIfNew)
{
    QJsonObject withoutTimes = report;
    for (const char *time : {state_field::kReadAtKey, kLastAnswerAtKey})
        withoutTimes.remove(QLatin1String(time));
    const qint64 now = clock_.nowMs();
    const auto [last, isNew] = sent_.try_emplace(report.value(QStringLiteral("id")).toString());
    if (!isNew &&
        (onlyIfNew || (withoutTimes == last->second.withoutTimes && now - last->second.atMs < kReadTimesMs)))
        return false;
    last->second = {withoutTimes, now};
    return true;
}

void EventStreams::open(HttpConnection &connection)
{
    connection.startStream({200, "text/event-stream; charset=utf-8", {}, {}});
    const QJsonArray all = list_();
    connection.sendEvent(event("snapshot", all));
    for (const QJsonValue &report : all)
        remember(report.toObject(), true);
    streams_.append(&connection);
    connect(&connection, &FaceClient::gone, this, [this, stream = &connection] {
        streams_.removeAll(stream);
        if (streams_.isEmpty())
            quiet();
    });
    if (!heartbeat_->enabled())
        heartbeat_->setEnabled(true);
}

void EventStreams::quiet()
{
    heartbeat_->setEnabled(false);
    coalesce_->setEnabled(false);
    changed_.clear();
    sent_.clear();
}

void EventStreams::send(const QByteArray &event)
{
    // A stream let go for what it left unread leaves the list meanwhile.
    for (const QPointer<HttpConnection> &stream : QList<QPointer<HttpConnection>>(streams_))
        if (stream)
            stream->sendEvent(event);
}

void EventStreams::closeAll()
{
    for (const QPointer<HttpConnection> &stream : std::exchange(streams_, {}))
        if (stream)
            stream->close();
    quiet();
}
