// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A projector's shared line: a TCP port speaking the projector's own
// protocol, as a serial device server does in raw mode, to several clients
// at once. Connections beyond the limit are told the port is in use and
// closed, as a device server tells them; a refusal, a client that leaves
// its replies unread, stays without a line or sends beyond its share is
// counted as the "line" listener's limit.

#include "bridge/listeners_face.h"
#include "session/session_timer.h"

class ClientListener;
class LineClient;
class LogThrottles;
class ProjectorLink;

class LineListener : public ProjectorListener {
    Q_OBJECT
public:
    LineListener(ProjectorLink &projector, const ListenAddress &address, const FaceContext &context);
    ~LineListener() override;

    bool listen(QString *error) override;
    void stopTaking() override;

private:
    void accept();
    void forget(LineClient *client);

    ProjectorLink &projector_;
    SessionTimerFactory makeTimer_;
    ClientListener *server_;
    // Connections come and go, and are refused, in floods as readily as one
    // by one; each kind has its own minute.
    LogThrottles *events_;
};
