// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/pjlink_face.h"

#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"
#include "faces/pjlink/pjlink_session.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

QHostAddress hostAddress(const QString &host)
{
    QHostAddress address(host);
    if (address.isNull())
        address = QHostInfo::fromName(host).addresses().value(0);
    return address;
}

} // namespace

// One projector's listener and its sessions.
class PjlinkFace::Listener : public QObject {
public:
    Listener(ProjectorLink *link, const ProjectorEndpoint &endpoint, const SessionTimerFactory &makeTimer,
             PjlinkFace &face)
        : QObject(&face), address_(*endpoint.pjlink), id_(endpoint.id), makeTimer_(makeTimer),
          refusals_(QStringLiteral("%1: PJLink ").arg(id_), this, makeTimer)
    {
        connect(&refusals_, &LogThrottles::log, &face, &PjlinkFace::log);
        projector_.link = link;
        projector_.name = endpoint.name.isEmpty() ? endpoint.id : endpoint.name;
        projector_.password = endpoint.pjlinkPassword;
        connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    ~Listener() override
    {
        // The sessions go first: they refer to what they share here.
        for (PjlinkSession *session : findChildren<PjlinkSession *>())
            delete session;
    }

    bool listen(QString *error)
    {
        if (server_.listen(hostAddress(address_.host), address_.port))
            return true;
        if (error)
            *error = QStringLiteral("%1: PJLink cannot listen on %2: %3")
                         .arg(id_, address_.toString(), server_.errorString());
        return false;
    }
    QString where() const { return address_.toString(); }

private:
    void accept()
    {
        while (QTcpSocket *socket = server_.nextPendingConnection()) {
            if (sessions_ >= pjlink::kMaxSessions) {
                const QString why =
                    QStringLiteral("session refused, %1 open already").arg(pjlink::kMaxSessions);
                refuse(why, socket->peerAddress().toString());
                socket->abort();
                socket->deleteLater();
                continue;
            }
            const QString peer = socket->peerAddress().toString();
            auto *session = new PjlinkSession(socket, projector_, this, makeTimer_);
            ++sessions_;
            connect(session, &PjlinkSession::refused, this,
                    [this, peer](const QString &why) { refuse(why, peer); });
            connect(session, &PjlinkSession::finished, this, [this, session] {
                --sessions_;
                session->deleteLater();
            });
        }
    }

    // Each kind of refusal on its own throttle, so one kind's flood does not
    // hide the others.
    void refuse(const QString &why, const QString &peer)
    {
        refusals_.report(why, QStringLiteral("%1: PJLink from %2: %3").arg(id_, peer, why));
    }

    ListenAddress address_;
    QString id_;
    SessionTimerFactory makeTimer_;
    PjlinkProjector projector_;
    QTcpServer server_;
    LogThrottles refusals_;
    int sessions_ = 0;
};

PjlinkFace::PjlinkFace(const FaceContext &context) : makeTimer_(context.clock.makeTimer)
{
    ProjectorService &projectors = context.projectors;
    for (ProjectorLink *projector : projectors.projectors())
        add(projector, *projectors.endpoint(projector->id()));
    connect(&projectors, &ProjectorService::projectorAdded, this, &PjlinkFace::add);
    connect(&projectors, &ProjectorService::projectorRemoved, this, &PjlinkFace::remove);
}

PjlinkFace::~PjlinkFace() = default;

bool PjlinkFace::start(QString *error)
{
    started_ = true;
    for (auto &[projector, listener] : listeners_) {
        if (!listener->listen(error))
            return false;
        emit log(QStringLiteral("%1: PJLink on %2").arg(projector->id(), listener->where()));
    }
    return true;
}

void PjlinkFace::stop()
{
    started_ = false;
    for (auto &[projector, listener] : listeners_)
        delete listener;
    listeners_.clear();
}

void PjlinkFace::add(ProjectorLink *projector, const ProjectorEndpoint &endpoint)
{
    if (!endpoint.pjlink)
        return;
    auto *listener = new Listener(projector, endpoint, makeTimer_, *this);
    if (started_) {
        // Added by a reload: a listener that cannot listen is logged, the
        // bridge runs on.
        QString error;
        if (listener->listen(&error))
            emit log(QStringLiteral("%1: PJLink on %2").arg(endpoint.id, listener->where()));
        else
            emit log(error);
    }
    listeners_[projector] = listener;
}

void PjlinkFace::remove(ProjectorLink *projector)
{
    if (const auto found = listeners_.find(projector); found != listeners_.end()) {
        delete found->second;
        listeners_.erase(found);
    }
}
