// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/face_client.h"

#include "bridge/client_listener.h"
#include "session/precise_timer.h"

#include <QTcpSocket>

FaceClient::FaceClient(QTcpSocket *socket, int idleMs, QObject *parent, const SessionTimerFactory &makeTimer)
    : QObject(parent), socket_(socket), peerName_(::peerName(*socket))
{
    socket_->setParent(this);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    idle_ = (makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("idle"), idleMs, this);
    connect(idle_, &SessionTimer::tick, this, [this] {
        idle_->setEnabled(false);
        emit idleClosed(peerName_);
        close();
    });
    idle_->setEnabled(true);
    // Told once the event loop is back: a client ended from within its own
    // handler is not deleted under it.
    connect(socket_, &QTcpSocket::disconnected, this, &FaceClient::end, Qt::QueuedConnection);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            QMetaObject::invokeMethod(this, &FaceClient::end, Qt::QueuedConnection);
    });
}

FaceClient::~FaceClient()
{
    socket_->flush();
}

void FaceClient::close()
{
    idle_->setEnabled(false);
    socket_->disconnectFromHost();
    if (socket_->state() == QAbstractSocket::UnconnectedState)
        QMetaObject::invokeMethod(this, &FaceClient::end, Qt::QueuedConnection);
}

void FaceClient::restartIdle()
{
    idle_->setEnabled(true);
}

void FaceClient::pauseIdle()
{
    idle_->setEnabled(false);
}

void FaceClient::end()
{
    if (ended_)
        return; // the close and the socket's own word may both come
    ended_ = true;
    emit gone();
}
