// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TCP listener of one of the bridge's faces (a shared line, PJLink, the
// page), the one way they all take connections: the address bound as the
// settings give it (an IP address, or "localhost" for the IPv4 loopback:
// never a name lookup, which would hold up the event loop), at most so many
// clients at once, one line in the log when it listens, and a client's
// name said one way.

#include "bridge/listen_address.h"

#include <QTcpServer>
#include <functional>

class QAbstractSocket;
class QTcpSocket;

// "192.0.2.7:50123", as every face's log lines name a client.
QString peerName(const QAbstractSocket &socket);

class ClientListener : public QTcpServer {
    Q_OBJECT
public:
    // Told of a connection beyond the limit before it is closed: a face
    // may write its words for it ("Port already in use").
    using Refuse = std::function<void(QTcpSocket &socket)>;

    // what: names the listener in the log ("hall: shared line").
    // mostClients: 0 for no limit of its own.
    ClientListener(const QString &what, const ListenAddress &address, int mostClients,
                   QObject *parent = nullptr);

    void setRefuse(const Refuse &refuse) { refuse_ = refuse; }
    // Asked, when every place is taken, to let a client that holds one
    // without using it go for the new one; true when it did, and the new
    // one is taken.
    void setMakeRoom(const std::function<bool()> &makeRoom) { makeRoom_ = makeRoom; }
    // The log names the address as a URL of this scheme ("http://HOST:PORT/").
    void setScheme(const QString &scheme) { scheme_ = scheme; }
    // Told of each connection taken, before anyone reads from it.
    void setAccepted(const std::function<void(QTcpSocket &socket)> &accepted) { accepted_ = accepted; }
    // Listens, saying so in the log; false, with the reason, when it cannot.
    bool listen(QString *error);
    // Clients taken and not yet destroyed.
    int clients() const { return clients_; }
    const ListenAddress &address() const { return address_; }

signals:
    void log(const QString &line);
    // A connection beyond the limit was turned away.
    void crowded(const QString &peer);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QString what_;
    QString scheme_;
    ListenAddress address_;
    int mostClients_;
    int clients_ = 0;
    Refuse refuse_;
    std::function<bool()> makeRoom_;
    std::function<void(QTcpSocket &socket)> accepted_;
};
