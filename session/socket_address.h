#pragma once
// A port name of the form socket://HOST:PORT: a serial device server in raw
// TCP mode, passing bytes between the connection and its serial line.

#include <QString>
#include <optional>

struct SocketAddress {
    QString host; // a name, an IPv4 address, or an IPv6 address without brackets
    quint16 port = 0;
};

bool isSocketPortName(const QString &name);

// The address, or nothing when the name is not a well-formed socket:// name
// (missing or bracket-less IPv6 host, port outside 1..65535, anything after
// the port).
std::optional<SocketAddress> parseSocketAddress(const QString &name);

// The name back, in the form parseSocketAddress reads.
QString socketPortName(const SocketAddress &address);
