// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a projector is reached, as every program names it: the panel's
// numbered ports COM1 and COM2, a serial device, or a serial device server
// in raw TCP mode (socket://HOST:PORT). One parser for every command line
// and for the session, so a name one program takes no other refuses.

#include "session/port_naming.h"

#include <QString>
#include <optional>

struct PortAddress {
    enum class Kind { Numbered, Device, Socket };
    Kind kind = Kind::Device;
    int number = 0;   // Numbered: 1 for COM1, 2 for COM2
    QString device;   // Device: a path, or a system port name such as COM3 on Windows
    QString host;     // Socket: a name, an IPv4 address, or an IPv6 address without brackets
    quint16 port = 0; // Socket

    static PortAddress numbered(int number);
    static PortAddress serialDevice(const QString &device);
    static PortAddress socket(const QString &host, quint16 port);

    bool isSocket() const { return kind == Kind::Socket; }
    // The name as a user writes it; parsing it gives this address back.
    QString toString() const;

    friend bool operator==(const PortAddress &a, const PortAddress &b);
    friend bool operator!=(const PortAddress &a, const PortAddress &b) { return !(a == b); }
};

struct PortAddressParse {
    std::optional<PortAddress> address;
    QString problem; // when there is no address: what is wrong, for a usage error
};

// A port as --port takes it: COM1 or COM2 in any case, socket://HOST:PORT,
// or anything else as a device name.
PortAddressParse parsePortAddress(const QString &text);

// What stands behind a numbered port (--com1, VELNO_COM1): a device or a
// socket; here COMn is a device's own name, as on Windows.
PortAddressParse parseDeviceAddress(const QString &text);

// The device or socket behind a numbered port as the panel maps it (the
// environment's VELNO_COMn, else the system's default), or what is wrong
// with the name found there; other addresses are returned as they are.
PortAddressParse resolvePortAddress(const PortAddress &address,
                                    const EnvironmentLookup &environment = processEnvironment());

// The same for two names of one device: a device's canonical path (links
// followed), or a socket's host (in lower case) and port.
QString deviceIdentity(const PortAddress &resolved);
