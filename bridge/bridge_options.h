// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's settings, from its configuration file and its command line
// (which overrides the file), checked as a whole before anything is opened.
// Reads the file, the password and checks the CA file; touches nothing else.

#include "mqtt/mqtt_topics.h"
#include "session/port_address.h"

#include <QString>
#include <QStringList>

#include <vector>

struct ProjectorEndpoint {
    QString id; // lower-case letters, digits, '-' and '_'
    PortAddress port;
};

// The settings' defaults, written once (the broker's port and the topic
// prefix are what every client of the bridge assumes: mqtt_defaults).
namespace bridge_defaults {
constexpr int kPollSeconds = 30;
constexpr int kQueueLimit = 32;
inline const QString kHomeAssistantStatusTopic = QStringLiteral("homeassistant/status");
} // namespace bridge_defaults

struct BridgeOptions {
    QString brokerHost;
    quint16 brokerPort = mqtt_defaults::kPort;
    QString username;
    QByteArray password; // the first line of --password-file, byte for byte; never print it
    QString caFile;
    QString topicPrefix = mqtt_defaults::kTopicPrefix;
    QString clientId; // the broker's name for this bridge: stable across restarts
    int pollSeconds = bridge_defaults::kPollSeconds; // 0: no polling
    int queueLimit = bridge_defaults::kQueueLimit;   // commands waiting per projector
    QString homeAssistantStatusTopic = bridge_defaults::kHomeAssistantStatusTopic;
    std::vector<ProjectorEndpoint> projectors;
};

struct BridgeOptionsParse {
    enum class Outcome { Run, CheckConfig, ShowHelp, ShowVersion, Error };
    Outcome outcome = Outcome::Error;
    BridgeOptions options; // for Run and CheckConfig
    QStringList warnings;  // for Run and CheckConfig: what works but should not be so
    QString effective;     // for CheckConfig: the settings in force, as a file, the password masked
    QString error;         // for Error: names the option, or the file, line and key, at fault
    QString help;          // always: the help text, for --help
    QString usage;         // always: how to call the program, a few lines to follow an error
};

// Read when --config names no other and it exists.
inline const QString kDefaultConfigPath = QStringLiteral("/etc/velno/bridge.conf");

// The client id a bridge takes when none is given: the same at every
// restart, different for another host or another topic prefix, and within
// the 23 letters and digits every MQTT 3.1.1 broker must accept.
QString defaultClientId(const QString &hostName, const QString &topicPrefix);

// arguments[0] is the program's name, as in QCoreApplication::arguments().
BridgeOptionsParse parseBridgeOptions(const QStringList &arguments,
                                      const QString &defaultConfigPath = kDefaultConfigPath);
