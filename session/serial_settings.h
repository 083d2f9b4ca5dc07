#pragma once
#include <QString>
#include <optional>

// A settings string "speed,parity,data bits,stop bits", e.g. "19200,N,8,1".
struct SerialSettings {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;  // 5 to 8
    int stopBits = 1;  // 1 or 2 (1.5 is read as 1.5 -> stored as 15)
};

std::optional<SerialSettings> parseSerialSettings(const QString &text);

// The settings string for s, in the form parseSerialSettings reads:
// "19200,N,8,1", "9600,E,7,1.5".
QString formatSerialSettings(const SerialSettings &s);
