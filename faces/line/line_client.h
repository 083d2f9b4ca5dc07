// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One client of a projector's shared line, as on a cable: each line it
// sends (up to its CR) goes to the projector's queue in the order sent, and
// the reply to it, and nothing else, comes back. A line too long for any
// command is dropped whole, with nothing sent back a client could take for
// a reply. While the client has its share of the projector's queue, what
// it sends next is not read: it waits in the connection, and a client
// sending faster than its projector answers is held back by it, losing
// nothing.

#include "bridge/face_client.h"

#include <QByteArray>

class ProjectorLink;

class LineClient : public FaceClient {
    Q_OBJECT
public:
    // Taken from the system at most this much ahead of its lines: beyond
    // it, the client's own connection holds it back.
    static constexpr int kReadChunk = 4096;

    // Takes the socket over.
    LineClient(QTcpSocket *socket, ProjectorLink &projector, const ListenerTally &tally,
               QObject *parent = nullptr, const SessionTimerFactory &makeTimer = {});

signals:
    void lineTooLong(const QString &peerName);

private:
    // Takes what arrived, line by line, while the client's share has room.
    void readArrived();
    void take(char c);
    void lineEnded();
    void submit(const QByteArray &line);

    ProjectorLink &projector_;
    QByteArray partial_;
    bool overlong_ = false; // discarding up to the next CR
    bool afterCr_ = false;
    int commandsPending_ = 0; // waiting or running on the projector
    bool heldBack_ = false;   // its share full, with more of it unread
};
