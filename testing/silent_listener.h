// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TCP port on loopback whose listener never accepts and whose backlog is
// full, so a connection to it neither completes nor is refused: a device
// server that has gone dark. Also a loopback port that refuses.

#include <QtGlobal>
#include <vector>

class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

    quint16 port() const { return port_; }

private:
    int listener_ = -1;
    std::vector<int> fillers_;
    quint16 port_ = 0;
};

// A loopback port nothing listens on (it was free a moment ago).
quint16 refusingPort();
