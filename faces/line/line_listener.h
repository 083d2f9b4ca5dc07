// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A projector's shared line: a TCP port speaking the projector's own
// protocol, as a serial device server does in raw mode, to several clients
// at once. Connections beyond the limit are told the port is in use and
// closed, as a device server tells them.

#include "bridge/listen_address.h"
#include "session/session_timer.h"

#include <QObject>
#include <QTcpServer>
#include <vector>

class LineClient;
class LogThrottle;
class ProjectorLink;

class LineListener : public QObject {
    Q_OBJECT
public:
    static constexpr int kMostClients = 8;

    LineListener(ProjectorLink &projector, const ListenAddress &address, QObject *parent = nullptr,
                 const SessionTimerFactory &makeTimer = {});
    ~LineListener() override;

    // False, with the reason, when the address cannot be listened on.
    bool listen(QString *error);

signals:
    void log(const QString &line);

private:
    void accept();
    void forget(LineClient *client);

    ProjectorLink &projector_;
    ListenAddress address_;
    SessionTimerFactory makeTimer_;
    QTcpServer server_;
    std::vector<LineClient *> clients_;
    // Connections come and go, and are refused, in floods as readily as one
    // by one; each kind has its own minute.
    LogThrottle *comings_;
    LogThrottle *crowded_;
    LogThrottle *longLines_;
};
