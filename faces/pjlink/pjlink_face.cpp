// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/pjlink_face.h"

#include "bridge/bridge_options.h"
#include "bridge/client_listener.h"
#include "bridge/listeners_face.h"
#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "faces/pjlink/pjlink_session.h"

#include <QTcpSocket>

namespace {

// One projector's listener and its sessions.
class PjlinkListener : public ProjectorListener {
public:
    PjlinkListener(ProjectorLink &link, const ProjectorEndpoint &endpoint,
                   const SessionTimerFactory &makeTimer)
        : id_(endpoint.id), makeTimer_(makeTimer),
          server_(new ClientListener(endpoint.id + QStringLiteral(": PJLink"), *endpoint.pjlink,
                                     pjlink::kMaxSessions, this)),
          refusals_(new LogThrottles(endpoint.id + QStringLiteral(": PJLink "), this, makeTimer))
    {
        projector_.link = &link;
        projector_.name = endpoint.name.isEmpty() ? endpoint.id : endpoint.name;
        projector_.password = endpoint.pjlinkPassword;
        connect(server_, &ClientListener::log, this, &PjlinkListener::log);
        connect(refusals_, &LogThrottles::log, this, &PjlinkListener::log);
        connect(server_, &ClientListener::crowded, this, [this](const QString &peer) {
            refuse(QStringLiteral("session refused, %1 open already").arg(pjlink::kMaxSessions), peer);
        });
        connect(server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    ~PjlinkListener() override
    {
        // The sessions go first: they refer to what they share here.
        for (PjlinkSession *session : findChildren<PjlinkSession *>(Qt::FindDirectChildrenOnly))
            delete session;
    }

    bool listen(QString *error) override { return server_->listen(error); }
    void stopTaking() override { server_->close(); }

private:
    void accept()
    {
        while (QTcpSocket *socket = server_->nextPendingConnection()) {
            auto *session = new PjlinkSession(socket, projector_, this, makeTimer_);
            connect(session, &PjlinkSession::refused, this,
                    [this, peer = session->peerName()](const QString &why) { refuse(why, peer); });
            connect(session, &FaceClient::gone, session, &QObject::deleteLater);
        }
    }

    // Each kind of refusal on its own throttle, so one kind's flood does not
    // hide the others.
    void refuse(const QString &why, const QString &peer)
    {
        refusals_->report(why, QStringLiteral("%1: PJLink from %2: %3").arg(id_, peer, why));
    }

    QString id_;
    SessionTimerFactory makeTimer_;
    PjlinkProjector projector_;
    ClientListener *server_;
    LogThrottles *refusals_;
};

} // namespace

std::unique_ptr<BridgeFace> makePjlinkFace(const FaceContext &context)
{
    ListenerKind kind;
    kind.addressOf = [](const ProjectorEndpoint &endpoint) { return endpoint.pjlink; };
    kind.differ = [](const ProjectorEndpoint &a, const ProjectorEndpoint &b) {
        return a.pjlink != b.pjlink || a.name != b.name || a.pjlinkPassword != b.pjlinkPassword;
    };
    kind.make = [](ProjectorLink &projector, const ProjectorEndpoint &endpoint,
                   const SessionTimerFactory &timers) {
        return new PjlinkListener(projector, endpoint, timers);
    };
    return std::make_unique<ListenersFace>(context, kind);
}
