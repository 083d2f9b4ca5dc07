// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

enum class StopBits { One, OneAndHalf, Two };

// The line settings "speed,parity,data bits,stop bits", e.g. "19200,N,8,1".
struct SerialSettings {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;  // 5 to 8
    StopBits stopBits = StopBits::One;

    friend bool operator==(const SerialSettings &a, const SerialSettings &b)
    {
        return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits &&
               a.stopBits == b.stopBits;
    }
    friend bool operator!=(const SerialSettings &a, const SerialSettings &b) { return !(a == b); }
};

// The settings a port starts with, and the two speeds an operator chooses.
namespace port_settings {
inline constexpr SerialSettings kInitial{9600, 'N', 8, StopBits::One};
inline constexpr SerialSettings kFast{19200, 'N', 8, StopBits::One};
inline constexpr SerialSettings kSlow{9600, 'N', 8, StopBits::One};
} // namespace port_settings

// The settings string for s, as the panel shows and keeps it: "19200,N,8,1",
// "9600,E,7,1.5".
QString formatSerialSettings(const SerialSettings &s);
