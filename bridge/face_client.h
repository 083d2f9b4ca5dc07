// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One client's connection to a face of the bridge (a shared line, PJLink):
// the socket taken over, its name, the time it may stay idle, the answers
// it may leave unread, and one signal when it is over, whichever side
// ended it. Each limit that bites is counted and logged through the
// listener's tally.

#include "bridge/limit_counters.h"
#include "session/session_timer.h"

#include <QObject>
#include <QString>

class QTcpSocket;

class FaceClient : public QObject {
    Q_OBJECT
public:
    // Takes the socket over. Every exchange is one short line each way:
    // waiting to fill a packet would only add delay. The idle limit is
    // idleMs without a request (see setIdleLimit()).
    FaceClient(QTcpSocket *socket, int idleMs, const ListenerTally &tally, QObject *parent = nullptr,
               const SessionTimerFactory &makeTimer = {});
    // What was written and not yet sent goes out as far as it can.
    ~FaceClient() override;

    QString peerName() const { return peerName_; }
    // Hangs up once what was written has gone out; gone() follows.
    void close();

signals:
    // The connection is over; the client may be deleted.
    void gone();

protected:
    QTcpSocket &socket() const { return *socket_; }
    const ListenerTally &tally() const { return tally_; }
    // Writes an answer; a client that has left more than kMostUnreadBytes
    // unread is let go at once instead (false), what it left dropped.
    bool write(const QByteArray &bytes);
    // From now on, closed after ms without what `without` names ("a line"),
    // counted as the limit of that name.
    void setIdleLimit(int ms, const QString &limit, const QString &without);
    // The idle limit counts again from now, or not at all until restarted.
    void restartIdle();
    void pauseIdle();

private:
    void end();

    QTcpSocket *socket_;
    QString peerName_;
    ListenerTally tally_;
    SessionTimer *idle_;
    QString idleLimit_ = QStringLiteral("idle time");
    QString idleWithout_ = QStringLiteral("a request");
    bool ended_ = false;
};
