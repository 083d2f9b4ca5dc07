// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// velno-cmd's command line.

#include "mqtt/mqtt_topics.h"
#include "session/port_address.h"
#include "session/serial_settings.h"

#include <QString>
#include <QStringList>
#include <optional>

struct Command;

// A projector reached through velno-bridge: mqtt://[USER@]HOST[:PORT]/ID,
// or a group of every bridge under the prefix: mqtt://[USER@]HOST[:PORT]/group/ID.
struct BridgeTarget {
    QString host;
    quint16 port = mqtt_defaults::kPort;
    QString username;
    QString projectorId; // empty for a group
    QString groupId;     // empty for a projector
    QString topicPrefix = mqtt_defaults::kTopicPrefix;
    QString caFile;       // TLS when given
    QString passwordFile; // the password on its first line
};

struct CmdOptions {
    enum class Action { Run, Watch, List, Help, Version, UsageError };
    Action action = Action::Run;
    PortAddress port = PortAddress::numbered(1);
    std::optional<BridgeTarget> bridge; // instead of port: through the bridge
    SerialSettings settings = port_settings::kFast;
    bool json = false;
    std::optional<int> timeoutMs;
    int watchSeconds = 0;
    const Command *command = nullptr; // null with "send"
    QString typedText;                // "send TEXT"
    QString text;                     // help text, or what is wrong
};

// arguments: as the program received them, its own name first.
CmdOptions parseCmdOptions(const QStringList &arguments);

// The usage lines printed with a usage error.
QString cmdUsage();
