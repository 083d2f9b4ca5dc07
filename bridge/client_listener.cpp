// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/client_listener.h"

#include "bridge/listener_limits.h"

#include <QTcpSocket>

QString peerName(const QAbstractSocket &socket)
{
    return QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
}

ClientListener::ClientListener(const QString &what, const ListenAddress &address, int mostClients,
                               QObject *parent)
    : QTcpServer(parent), what_(what), tally_{nullptr, QString(), what}, address_(address),
      mostClients_(mostClients)
{
}

void ClientListener::setLimits(LimitCounters &counters, const QString &listener)
{
    tally_.counters = &counters;
    tally_.listener = listener;
}

bool ClientListener::listen(QString *error)
{
    setListenBacklogSize(listener_limits::kListenBacklog);
    if (QTcpServer::listen(listenHost(address_), address_.port)) {
        const QString where = address_.toString();
        emit log(
            QStringLiteral("%1 on %2").arg(what_, scheme_.isEmpty() ? where : scheme_ + "://" + where + '/'));
        return true;
    }
    if (error)
        *error = QStringLiteral("%1: cannot listen on %2: %3").arg(what_, address_.toString(), errorString());
    return false;
}

void ClientListener::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (mostClients_ > 0 && clients_ >= mostClients_ && !(makeRoom_ && makeRoom_())) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (refuse_)
            refuse_(*socket);
        tally_.bite(QStringLiteral("connections"),
                    QStringLiteral("%1 refused, %2 open already").arg(peerName(*socket)).arg(mostClients_));
        socket->disconnectFromHost();
        return;
    }
    ++clients_;
    connect(socket, &QObject::destroyed, this, [this] { --clients_; });
    if (accepted_)
        accepted_(*socket);
    addPendingConnection(socket);
}
