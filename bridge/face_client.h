// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One client's connection to a face of the bridge (a shared line, PJLink):
// the socket taken over, its name, the time it may stay idle, and one
// signal when it is over, whichever side ended it.

#include "session/session_timer.h"

#include <QObject>
#include <QString>

class QTcpSocket;

class FaceClient : public QObject {
    Q_OBJECT
public:
    // Takes the socket over. Every exchange is one short line each way:
    // waiting to fill a packet would only add delay.
    FaceClient(QTcpSocket *socket, int idleMs, QObject *parent = nullptr,
               const SessionTimerFactory &makeTimer = {});
    // What was written and not yet sent goes out as far as it can.
    ~FaceClient() override;

    QString peerName() const { return peerName_; }
    // Hangs up once what was written has gone out; gone() follows.
    void close();

signals:
    // Idle for the whole limit: closed.
    void idleClosed(const QString &peerName);
    // The connection is over; the client may be deleted.
    void gone();

protected:
    QTcpSocket &socket() const { return *socket_; }
    // The idle limit counts again from now, or not at all until restarted.
    void restartIdle();
    void pauseIdle();

private:
    void end();

    QTcpSocket *socket_;
    QString peerName_;
    SessionTimer *idle_;
    bool ended_ = false;
};
