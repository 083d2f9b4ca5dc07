// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/face_client.h"

#include "bridge/client_listener.h"
#include "bridge/listener_limits.h"
#include "session/precise_timer.h"

#include <QTcpSocket>

FaceClient::FaceClient(QTcpSocket *socket, int idleMs, const ListenerTally &tally, QObject *parent,
                       const SessionTimerFactory &makeTimer)
    : QObject(parent), socket_(socket), peerName_(::peerName(*socket)), tally_(tally)
{
    socket_->setParent(this);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    idle_ = (makeTimer ? makeTimer : makeCoarseTimer)(QStringLiteral("idle"), idleMs, this);
    connect(idle_, &SessionTimer::tick, this, [this] {
        idle_->setEnabled(false);
        tally_.bite(idleLimit_, QStringLiteral("client %1 closed after %2 s without %3")
                                    .arg(peerName_)
                                    .arg(idle_->interval() / 1000)
                                    .arg(idleWithout_));
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

bool FaceClient::write(const QByteArray &bytes)
{
    if (!socket_->isOpen())
        return false; // let go already
    const qint64 unread = socket_->bytesToWrite() + bytes.size();
    if (unread > listener_limits::kMostUnreadBytes) {
        tally_.bite(
            QStringLiteral("unread bytes"),
            QStringLiteral("client %1 let go with %2 bytes of answers unread").arg(peerName_).arg(unread));
        idle_->setEnabled(false);
        // Not a polite close: that would keep what it leaves unread.
        socket_->abort();
        QMetaObject::invokeMethod(this, &FaceClient::end, Qt::QueuedConnection);
        return false;
    }
    socket_->write(bytes);
    return true;
}

void FaceClient::setIdleLimit(int ms, const QString &limit, const QString &without)
{
    idleLimit_ = limit;
    idleWithout_ = without;
    idle_->setInterval(ms);
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
