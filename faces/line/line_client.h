// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One client of a projector's shared line, as on a cable: each line it
// sends (up to its CR) goes to the projector's queue in the order sent, and
// the reply to it, and nothing else, comes back. A line too long for any
// command is dropped whole, with nothing sent back a client could take for
// a reply; so is a line beyond the client's share of the projector's queue,
// as a command refused busy gets nothing.

#include "bridge/face_client.h"

#include <QByteArray>

class ProjectorLink;

class LineClient : public FaceClient {
    Q_OBJECT
public:
    // Read from the system at most this much at a time: a client sending
    // faster than its lines are taken is held back by its own connection,
    // and the others are served in between.
    static constexpr int kReadChunk = 4096;

    // Takes the socket over.
    LineClient(QTcpSocket *socket, ProjectorLink &projector, const ListenerTally &tally,
               QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

signals:
    void lineTooLong(const QString &peerName);

private:
    void readArrived();
    void lineEnded();
    // Beyond the client's share, dropped.
    void submit(const QByteArray &line);

    ProjectorLink &projector_;
    QByteArray partial_;
    bool overlong_ = false; // discarding up to the next CR
    bool afterCr_ = false;
    int commandsPending_ = 0; // waiting or running on the projector
    int beyondShare_ = 0;     // lines dropped in this read
};
