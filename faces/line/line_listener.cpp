// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_listener.h"

#include "bridge/client_listener.h"
#include "bridge/listener_limits.h"
#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "faces/line/line_client.h"

#include <QTcpSocket>

namespace {

// The simulator's and a device server's words for a port with its client.
constexpr char kPortBusy[] = "Port already in use\r\n";

} // namespace

LineListener::LineListener(ProjectorLink &projector, const ListenAddress &address, const FaceContext &context)
    : projector_(projector), makeTimer_(context.clock.makeTimer)
{
    const QString id = projector.id();
    server_ = new ClientListener(id + QStringLiteral(": shared line"), address,
                                 listener_limits::kMostLineClients, this);
    server_->setLimits(context.limits, QStringLiteral("line"));
    server_->setRefuse([](QTcpSocket &socket) { socket.write(kPortBusy); });
    events_ = new LogThrottles(id + QStringLiteral(": more "), this, makeTimer_);
    connect(events_, &LogThrottles::log, this, &LineListener::log);
    connect(server_, &ClientListener::log, this, &LineListener::log);
    connect(server_, &QTcpServer::newConnection, this, &LineListener::accept);
}

LineListener::~LineListener()
{
    // Their commands still queued run on, answered to nobody.
    for (LineClient *client : findChildren<LineClient *>(Qt::FindDirectChildrenOnly))
        client->disconnect(this);
}

bool LineListener::listen(QString *error)
{
    return server_->listen(error);
}

void LineListener::stopTaking()
{
    server_->close();
}

void LineListener::accept()
{
    const QString id = projector_.id();
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        auto *client = new LineClient(socket, projector_, server_->tally(), this, makeTimer_);
        events_->report(QStringLiteral("line clients came or went"),
                        QStringLiteral("%1: line client %2 connected").arg(id, client->peerName()));
        connect(client, &LineClient::gone, this, [this, client] { forget(client); });
        connect(client, &LineClient::lineTooLong, this, [this, id](const QString &name) {
            events_->report(QStringLiteral("long lines dropped"),
                            QStringLiteral("%1: line client %2 sent a line over %3 bytes; dropped")
                                .arg(id, name)
                                .arg(listener_limits::kLongestLine));
        });
    }
}

void LineListener::forget(LineClient *client)
{
    events_->report(QStringLiteral("line clients came or went"),
                    QStringLiteral("%1: line client %2 left").arg(projector_.id(), client->peerName()));
    client->deleteLater();
}
