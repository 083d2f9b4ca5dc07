// SPDX-License-Identifier: GPL-3.0-or-later
#include "faces/line/line_listener.h"

#include "bridge/log_throttle.h"
#include "bridge/projector_link.h"
#include "faces/line/line_client.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <algorithm>

namespace {

// The simulator's and a device server's words for a port with its client.
constexpr char kPortBusy[] = "Port already in use\r\n";

} // namespace

LineListener::LineListener(ProjectorLink &projector, const ListenAddress &address, QObject *parent,
                           const SessionTimerFactory &makeTimer)
    : QObject(parent), projector_(projector), address_(address), makeTimer_(makeTimer)
{
    const QString id = projector.id();
    comings_ = new LogThrottle(id + QStringLiteral(": more line clients came or went"), this, makeTimer);
    crowded_ = new LogThrottle(id + QStringLiteral(": more line clients refused"), this, makeTimer);
    longLines_ = new LogThrottle(id + QStringLiteral(": more long lines dropped"), this, makeTimer);
    for (LogThrottle *throttle : {comings_, crowded_, longLines_})
        connect(throttle, &LogThrottle::log, this, &LineListener::log);
    connect(&server_, &QTcpServer::newConnection, this, &LineListener::accept);
}

LineListener::~LineListener()
{
    server_.close();
    // Their commands still queued run on, answered to nobody.
    for (LineClient *client : clients_)
        client->disconnect(this);
}

bool LineListener::listen(QString *error)
{
    if (server_.listen(listenHost(address_), address_.port)) {
        emit log(QStringLiteral("%1: shared line on %2").arg(projector_.id(), address_.toString()));
        return true;
    }
    if (error)
        *error = QStringLiteral("%1: cannot listen on %2 for the shared line: %3")
                     .arg(projector_.id(), address_.toString(), server_.errorString());
    return false;
}

void LineListener::accept()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        const QString peer =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (int(clients_.size()) >= kMostClients) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(kPortBusy);
            socket->disconnectFromHost();
            crowded_->report(QStringLiteral("%1: line client %2 refused: %3 clients already")
                                 .arg(projector_.id(), peer)
                                 .arg(kMostClients));
            continue;
        }
        auto *client = new LineClient(socket, projector_, this, makeTimer_);
        clients_.push_back(client);
        comings_->report(QStringLiteral("%1: line client %2 connected").arg(projector_.id(), peer));
        connect(client, &LineClient::gone, this, [this, client] { forget(client); });
        connect(client, &LineClient::lineTooLong, this, [this](const QString &name) {
            longLines_->report(QStringLiteral("%1: line client %2 sent a line over %3 bytes; dropped")
                                   .arg(projector_.id(), name)
                                   .arg(LineClient::kLongestLine));
        });
        connect(client, &LineClient::idleClosed, this, [this](const QString &name) {
            comings_->report(QStringLiteral("%1: line client %2 closed after %3 minutes without a line")
                                 .arg(projector_.id(), name)
                                 .arg(LineClient::kIdleMs / 60000));
        });
    }
}

void LineListener::forget(LineClient *client)
{
    const auto found = std::find(clients_.begin(), clients_.end(), client);
    if (found == clients_.end())
        return;
    clients_.erase(found);
    comings_->report(QStringLiteral("%1: line client %2 left").arg(projector_.id(), client->peerName()));
    client->deleteLater();
}
