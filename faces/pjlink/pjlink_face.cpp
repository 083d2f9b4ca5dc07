// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/pjlink/pjlink_face.h"

#include "bridge/bridge_options.h"
#include "bridge/client_listener.h"
#include "bridge/listeners_face.h"
#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "faces/pjlink/guess_delays.h"
#include "faces/pjlink/pjlink_session.h"

#include <QTcpSocket>
#include <memory>

namespace {

// One projector's listener and its sessions.
class PjlinkListener : public ProjectorListener {
public:
    PjlinkListener(ProjectorLink &link, const ProjectorEndpoint &endpoint, const FaceContext &context,
                   const std::shared_ptr<GuessDelays> &guesses)
        : id_(endpoint.id), guesses_(guesses),
          server_(new ClientListener(endpoint.id + QStringLiteral(": PJLink"), *endpoint.pjlink,
                                     pjlink::kMaxSessions, this)),
          refusals_(
              new LogThrottles(endpoint.id + QStringLiteral(": PJLink "), this, context.clock.makeTimer))
    {
        projector_.link = &link;
        projector_.name = endpoint.name.isEmpty() ? endpoint.id : endpoint.name;
        projector_.password = endpoint.pjlinkPassword;
        projector_.guesses = guesses_.get();
        projector_.clock = context.clock;
        server_->setLimits(context.limits, QStringLiteral("pjlink"));
        server_->setMakeRoom([this] { return makeRoom(); });
        connect(server_, &ClientListener::log, this, &PjlinkListener::log);
        connect(refusals_, &LogThrottles::log, this, &PjlinkListener::log);
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
            auto *session = new PjlinkSession(socket, projector_, server_->tally(), this);
            connect(session, &PjlinkSession::refused, this,
                    [this, peer = session->peerName()](const QString &why) { refuse(why, peer); });
            connect(session, &PjlinkSession::said, this, &PjlinkListener::log);
            connect(session, &FaceClient::gone, session, &QObject::deleteLater);
        }
    }

    // Sessions that never logged in hold no place a controller needs: the
    // oldest of them goes.
    bool makeRoom()
    {
        for (PjlinkSession *session : findChildren<PjlinkSession *>(Qt::FindDirectChildrenOnly))
            if (!session->loggedIn() && !session->yielding()) {
                session->yield();
                return true;
            }
        return false;
    }

    // Each kind of refusal on its own throttle, so one kind's flood does not
    // hide the others.
    void refuse(const QString &why, const QString &peer)
    {
        refusals_->report(why, QStringLiteral("%1: PJLink from %2: %3").arg(id_, peer, why));
    }

    QString id_;
    std::shared_ptr<GuessDelays> guesses_;
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
    // One memory of wrong passwords for every projector: a guesser moving
    // from one to the next still waits.
    auto guesses = std::make_shared<GuessDelays>();
    kind.make = [guesses](ProjectorLink &projector, const ProjectorEndpoint &endpoint,
                          const FaceContext &context) {
        return new PjlinkListener(projector, endpoint, context, guesses);
    };
    return std::make_unique<ListenersFace>(context, kind);
}
