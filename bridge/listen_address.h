// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where one of the bridge's listeners takes connections: HOST:PORT, HOST an
// IPv4 address, a bracketed IPv6 address or a name of this machine
// ("localhost"). Nothing listens that the settings do not name.

#include <QHostAddress>
#include <QString>
#include <optional>

struct ListenAddress {
    QString host; // without brackets
    quint16 port = 0;

    QString toString() const;
    friend bool operator==(const ListenAddress &a, const ListenAddress &b)
    {
        return a.host == b.host && a.port == b.port;
    }
    friend bool operator!=(const ListenAddress &a, const ListenAddress &b) { return !(a == b); }
};

struct ListenAddressParse {
    std::optional<ListenAddress> address;
    QString problem;
};

ListenAddressParse parseListenAddress(const QString &text);

// The address to bind: "localhost" is the IPv4 loopback.
QHostAddress listenHost(const ListenAddress &address);
