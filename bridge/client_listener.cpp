// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/client_listener.h"

#include <QTcpSocket>

QString peerName(const QAbstractSocket &socket)
{
    return QStringLiteral("%1:%2").arg(socket.peerAddress().toString()).arg(socket.peerPort());
}

ClientListener::ClientListener(const QString &what, const ListenAddress &address, int mostClients,
                               QObject *parent)
    : QTcpServer(parent), what_(what), address_(address), mostClients_(mostClients)
{
}

bool ClientListener::listen(QString *error)
{
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
        emit crowded(peerName(*socket));
        socket->disconnectFromHost();
        return;
    }
    ++clients_;
    connect(socket, &QObject::destroyed, this, [this] { --clients_; });
    if (accepted_)
        accepted_(*socket);
    addPendingConnection(socket);
}
