// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/pjlink_face.h"

#include "bridge/log_throttle.h"
#include "bridge/pjlink_session.h"
#include "bridge/projector_link.h"
#include "bridge/projector_service.h"

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
        : address_(*endpoint.pjlink), id_(endpoint.id), makeTimer_(makeTimer),
          refusals_(endpoint.id + QStringLiteral(": more PJLink sessions refused or closed"), this, makeTimer)
    {
        projector_.link = link;
        projector_.name = endpoint.name.isEmpty() ? endpoint.id : endpoint.name;
        projector_.password = endpoint.pjlinkPassword;
        connect(&refusals_, &LogThrottle::log, &face, &PjlinkFace::log);
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
                refusals_.report(QStringLiteral("%1: PJLink session from %2 refused: %3 open already")
                                     .arg(id_, socket->peerAddress().toString())
                                     .arg(pjlink::kMaxSessions));
                socket->abort();
                socket->deleteLater();
                continue;
            }
            const QString peer = socket->peerAddress().toString();
            auto *session = new PjlinkSession(socket, projector_, this, makeTimer_);
            ++sessions_;
            connect(session, &PjlinkSession::refused, this, [this, peer](const QString &why) {
                refusals_.report(QStringLiteral("%1: PJLink session from %2: %3").arg(id_, peer, why));
            });
            connect(session, &PjlinkSession::finished, this, [this, session] {
                --sessions_;
                session->deleteLater();
            });
        }
    }

    ListenAddress address_;
    QString id_;
    SessionTimerFactory makeTimer_;
    PjlinkProjector projector_;
    QTcpServer server_;
    LogThrottle refusals_;
    int sessions_ = 0;
};

PjlinkFace::PjlinkFace(const BridgeOptions &, ProjectorService &projectors, QObject *parent,
                       const SessionTimerFactory &makeTimer)
    : QObject(parent), makeTimer_(makeTimer), projectors_(projectors)
{
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
    listeners_.clear();
}

void PjlinkFace::add(ProjectorLink *projector, const ProjectorEndpoint &endpoint)
{
    if (!endpoint.pjlink)
        return;
    auto listener = std::make_unique<Listener>(projector, endpoint, makeTimer_, *this);
    if (started_) {
        // Added by a reload: a listener that cannot listen is logged, the
        // bridge runs on.
        QString error;
        if (listener->listen(&error))
            emit log(QStringLiteral("%1: PJLink on %2").arg(endpoint.id, listener->where()));
        else
            emit log(error);
    }
    listeners_[projector] = std::move(listener);
}

void PjlinkFace::remove(ProjectorLink *projector)
{
    listeners_.erase(projector);
}
