// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's settings, from its configuration file and its command line
// (which overrides the file), checked as a whole before anything is opened.
// Reads the file, the password and checks the CA file; touches nothing else.

#include "bridge/listen_address.h"
#include "mqtt/mqtt_topics.h"
#include "session/port_address.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct ProjectorEndpoint {
    ProjectorEndpoint() = default;
    ProjectorEndpoint(const QString &id, const PortAddress &port) : id(id), port(port) {}

    QString id; // lower-case letters, digits, '-' and '_'
    PortAddress port;
    QString name;                        // what PJLink and the page call it; empty: the ID
    std::optional<ListenAddress> line;   // the projector's own line, shared with clients
    std::optional<ListenAddress> pjlink; // a PJLink device
    QByteArray pjlinkPassword;           // empty: PJLink without authentication; never print it

    friend bool operator==(const ProjectorEndpoint &a, const ProjectorEndpoint &b)
    {
        return a.id == b.id && a.port == b.port && a.name == b.name && a.line == b.line &&
               a.pjlink == b.pjlink && a.pjlinkPassword == b.pjlinkPassword;
    }
    friend bool operator!=(const ProjectorEndpoint &a, const ProjectorEndpoint &b) { return !(a == b); }
};

// Projectors commanded as one: [group ID] in the file. The group "all",
// every projector of the bridge, is there without one (bridge/group_settings.h).
struct ProjectorGroup {
    QString id;          // the projector ID rule; no projector's ID
    QStringList members; // IDs of this bridge's projectors, each once, in the order given
    friend bool operator==(const ProjectorGroup &a, const ProjectorGroup &b)
    {
        return a.id == b.id && a.members == b.members;
    }
};

// What one listener serves, for --check-config and messages.
struct Listener {
    ListenAddress address;
    QString what; // "hall: shared line", "web page"
};

// A projector's name may be this long (PJLink's limit).
constexpr int kLongestProjectorName = 64;

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
    // One of several bridges under the prefix: its availability, its claims
    // and its group replies carry it. Empty: the only one, as before.
    QString bridgeName;
    int pollSeconds = bridge_defaults::kPollSeconds; // 0: no polling
    int queueLimit = bridge_defaults::kQueueLimit;   // commands waiting per projector
    QString homeAssistantStatusTopic = bridge_defaults::kHomeAssistantStatusTopic;
    std::vector<ProjectorEndpoint> projectors;
    std::vector<ProjectorGroup> groups;     // from the file; "all" is not among them
    std::optional<ListenAddress> webListen; // the page, the API and the metrics
    QByteArray webToken;                    // empty: no token asked; never print it
    QString webTitle;                       // the site's name, for the page's tab; may be empty
    QStringList webHosts;                   // names served without a token beyond its address and localhost

    // Every address the bridge listens on, and what for.
    std::vector<Listener> listeners() const
    {
        std::vector<Listener> all;
        for (const ProjectorEndpoint &p : projectors) {
            if (p.line)
                all.push_back({*p.line, p.id + QStringLiteral(": shared line")});
            if (p.pjlink)
                all.push_back({*p.pjlink, p.id + QStringLiteral(": PJLink")});
        }
        if (webListen)
            all.push_back({*webListen, QStringLiteral("web page, API and metrics")});
        return all;
    }
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
// restart, different for another host, another topic prefix or another
// bridge name, and within the 23 letters and digits every MQTT 3.1.1
// broker must accept.
QString defaultClientId(const QString &hostName, const QString &topicPrefix, const QString &bridgeName = {});

// arguments[0] is the program's name, as in QCoreApplication::arguments().
BridgeOptionsParse parseBridgeOptions(const QStringList &arguments,
                                      const QString &defaultConfigPath = kDefaultConfigPath);
