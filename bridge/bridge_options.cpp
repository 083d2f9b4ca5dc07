// SPDX-License-Identifier: GPL-3.0-or-later
#include "bridge/bridge_options.h"

#include "bridge/config_file.h"
#include "bridge/group_settings.h"
#include "mqtt/mqtt_topics.h"
#include "mqtt/mqtt_url.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

namespace {

constexpr int kLongestPollSeconds = 24 * 60 * 60;
constexpr int kLargestQueueLimit = 1000;

// A setting of the [broker] or [web] section: its key in the file, the
// option that overrides it, and what the help says.
struct Setting {
    const char *section;
    const char *key;
    const char *option;
    const char *help;
    const char *valueName;
    QString defaultValue; // empty: none
};

const Setting kSettings[] = {
    {"broker", "url", "broker", "The broker, mqtt://HOST[:PORT] (port 1883 if none).", "url", {}},
    {"broker", "username", "username", "User name for the broker.", "name", {}},
    {"broker", "password-file", "password-file", "File whose first line is the broker password.", "file", {}},
    {"broker", "cafile", "cafile", "CA certificate(s) to verify the broker with; turns TLS on.", "file", {}},
    {"broker",
     "client-id",
     "client-id",
     "The bridge's client id at the broker (default: made from the host name and the topic prefix).",
     "id",
     {}},
    {"broker",
     "bridge-name",
     "bridge-name",
     "This bridge's name among several under one topic prefix (its availability, its claims, its "
     "group replies).",
     "name",
     {}},
    {"broker", "topic-prefix", "topic-prefix", "First part of every topic.", "prefix",
     mqtt_defaults::kTopicPrefix},
    {"broker", "poll", "poll", "Seconds between status polls (0: none).", "seconds",
     QString::number(bridge_defaults::kPollSeconds)},
    {"broker", "queue-limit", "queue-limit",
     "Commands that may wait per projector; more are refused as busy.", "count",
     QString::number(bridge_defaults::kQueueLimit)},
    {"broker", "ha-status-topic", "ha-status-topic",
     "Where Home Assistant announces its start; discovery and state are published again then.", "topic",
     bridge_defaults::kHomeAssistantStatusTopic},
    {"web",
     "listen",
     "web-listen",
     "Serve the page, the JSON API and the metrics on HOST:PORT.",
     "host:port",
     {}},
    {"web",
     "token-file",
     "web-token-file",
     "File whose first line every web request must bring.",
     "file",
     {}},
    {"web", "title", "web-title", "The site's name, in the title of the page's tab.", "name", {}},
    {"web",
     "hosts",
     "web-hosts",
     "Names the page is served under without a token, beyond its address and localhost (a, b).",
     "names",
     {}},
};

// The keys a [projector ID] section may hold.
const QStringList kProjectorKeys{QStringLiteral("port"), QStringLiteral("name"), QStringLiteral("line"),
                                 QStringLiteral("pjlink"), QStringLiteral("pjlink-password-file")};

class Failure {
public:
    explicit Failure(QString message) : message(std::move(message)) {}
    QString message;
};

// A value with where it came from: "--poll", or "FILE:LINE: [broker] poll".
struct Value {
    QString text;
    QString where;
};

[[noreturn]] void fail(const Value &value, const QString &what)
{
    throw Failure(QStringLiteral("%1: %2").arg(value.where, what));
}

// The settings as the command line and the file give them; the command line wins.
class Sources {
public:
    Sources(const QCommandLineParser &parser, const std::vector<QCommandLineOption> &options,
            std::optional<ConfigFile> file)
        : parser_(parser), options_(options), file_(std::move(file))
    {
    }

    std::optional<Value> get(const Setting &setting) const
    {
        const QCommandLineOption &option = optionFor(setting);
        const QString dashed = QStringLiteral("--") + QLatin1String(setting.option);
        const QStringList values = parser_.values(option);
        if (values.size() > 1)
            throw Failure(QStringLiteral("%1 given more than once").arg(dashed));
        if (!values.isEmpty())
            return Value{values.constFirst(), dashed};
        if (file_) {
            const auto &section = qstrcmp(setting.section, "web") == 0 ? file_->web : file_->broker;
            const auto found = section.find(QLatin1String(setting.key));
            if (found != section.end())
                return Value{found->second.text, found->second.where};
        }
        if (!setting.defaultValue.isEmpty())
            return Value{setting.defaultValue, dashed};
        return std::nullopt;
    }

    QString text(const Setting &setting) const
    {
        const std::optional<Value> value = get(setting);
        return value ? value->text : QString();
    }

    struct GivenProjector {
        Value id;
        Value port;
        const ConfigProjector *section = nullptr; // its other settings, when the file has it
    };

    // ID=PORT from the file's sections, then the command line's (which
    // replaces the file's port for the same ID).
    std::vector<GivenProjector> projectors(const QCommandLineOption &option) const
    {
        std::vector<GivenProjector> found;
        if (file_)
            for (const ConfigProjector &p : file_->projectors) {
                const ConfigValue port = *p.get(QStringLiteral("port"));
                found.push_back({{p.id, p.where}, {port.text, port.where}, &p});
            }
        for (const QString &text : parser_.values(option)) {
            const QString where = QStringLiteral("--projector %1").arg(text);
            const qsizetype equals = text.indexOf(QLatin1Char('='));
            if (equals < 0)
                throw Failure(QStringLiteral("%1: expected ID=PORT").arg(where));
            const Value id{text.left(equals), where};
            const Value port{text.mid(equals + 1), where};
            auto same = std::find_if(found.begin(), found.end(),
                                     [&](const GivenProjector &p) { return p.id.text == id.text; });
            if (same != found.end() && same->id.where.startsWith(QLatin1String("--")))
                throw Failure(QStringLiteral("--projector: the ID '%1' is given twice").arg(id.text));
            if (same != found.end())
                *same = {id, port, same->section};
            else
                found.push_back({id, port, nullptr});
        }
        return found;
    }

    const std::optional<ConfigFile> &file() const { return file_; }

private:
    const QCommandLineOption &optionFor(const Setting &setting) const
    {
        return options_[std::size_t(&setting - kSettings)];
    }

    const QCommandLineParser &parser_;
    const std::vector<QCommandLineOption> &options_;
    std::optional<ConfigFile> file_;
};

const Setting &setting(const char *key, const char *section = "broker")
{
    for (const Setting &s : kSettings)
        if (qstrcmp(s.key, key) == 0 && qstrcmp(s.section, section) == 0)
            return s;
    Q_UNREACHABLE();
}

void readBroker(const Value &value, BridgeOptions &options)
{
    const MqttUrlParse parsed = parseBrokerUrl(value.text);
    if (!parsed.url)
        fail(value, parsed.problem);
    options.brokerHost = parsed.url->host;
    options.brokerPort = parsed.url->port;
}

// An empty first line is no password at all: a service manager hands one
// over when none is configured.
QByteArray readPassword(const Value &value, QStringList &warnings)
{
    const SecretRead read = readSecretFile(value.text);
    if (!read.error.isEmpty())
        fail(value, read.error);
    if (!read.firstLine.isEmpty() && read.readableByOthers)
        warnings
            << QStringLiteral("%1: %2 can be read by other users; chmod 600 it").arg(value.where, value.text);
    return read.firstLine;
}

int readBoundedNumber(const Value &value, int lowest, int highest)
{
    bool ok = false;
    const int number = value.text.toInt(&ok);
    if (!ok || number < lowest || number > highest)
        fail(value, QStringLiteral("expected a whole number from %1 to %2, got '%3'")
                        .arg(lowest)
                        .arg(highest)
                        .arg(value.text));
    return number;
}

std::optional<ListenAddress> readListener(const std::optional<Value> &value)
{
    if (!value)
        return std::nullopt;
    const ListenAddressParse parsed = parseListenAddress(value->text);
    if (!parsed.address)
        fail(*value, parsed.problem);
    return parsed.address;
}

std::optional<Value> projectorSetting(const ConfigProjector *section, const char *key)
{
    if (!section)
        return std::nullopt;
    const std::optional<ConfigValue> found = section->get(QLatin1String(key));
    return found ? std::optional<Value>(Value{found->text, found->where}) : std::nullopt;
}

ProjectorEndpoint readProjector(const Value &id, const Value &port, const ConfigProjector *section,
                                QStringList &warnings)
{
    if (const QString problem = projectorIdProblem(id.text); !problem.isEmpty())
        fail(id, problem);
    const PortAddressParse parsed = parsePortAddress(port.text);
    if (!parsed.address)
        fail(port, QStringLiteral("%1 (PORT is COM1, COM2, a device path or socket://HOST:PORT)")
                       .arg(parsed.problem));
    ProjectorEndpoint endpoint(id.text, *parsed.address);
    if (const std::optional<Value> name = projectorSetting(section, "name")) {
        if (name->text.isEmpty() || name->text.toUtf8().size() > kLongestProjectorName)
            fail(*name, QStringLiteral("expected a name of 1 to %1 bytes").arg(kLongestProjectorName));
        endpoint.name = name->text;
    }
    endpoint.line = readListener(projectorSetting(section, "line"));
    endpoint.pjlink = readListener(projectorSetting(section, "pjlink"));
    if (const std::optional<Value> file = projectorSetting(section, "pjlink-password-file")) {
        if (!endpoint.pjlink)
            fail(*file, QStringLiteral("a PJLink password needs pjlink = HOST:PORT"));
        endpoint.pjlinkPassword = readPassword(*file, warnings);
        if (endpoint.pjlinkPassword.isEmpty())
            fail(*file, QStringLiteral("%1 has no password on its first line").arg(file->text));
    }
    return endpoint;
}

// What two names of one device have in common; a numbered port counts as
// the device behind it.
QString identityOf(const PortAddress &port)
{
    const PortAddressParse resolved = resolvePortAddress(port);
    return resolved.address ? deviceIdentity(*resolved.address) : port.toString();
}

void readProjectors(const Sources &sources, const QCommandLineOption &option, BridgeOptions &options,
                    QStringList &warnings)
{
    const auto given = sources.projectors(option);
    if (given.empty())
        throw Failure(
            QStringLiteral("--projector: at least one ID=PORT is needed (or a [projector ID] section)"));
    for (const auto &[id, port, section] : given) {
        const ProjectorEndpoint endpoint = readProjector(id, port, section, warnings);
        for (const ProjectorEndpoint &earlier : options.projectors)
            // Two links on one device would fight over it.
            if (identityOf(earlier.port) == identityOf(endpoint.port))
                fail(port, QStringLiteral("'%1' and '%2' both use %3")
                               .arg(earlier.id, endpoint.id, endpoint.port.toString()));
        options.projectors.push_back(endpoint);
    }
}

void readWeb(const Sources &sources, BridgeOptions &options, QStringList &warnings)
{
    options.webListen = readListener(sources.get(setting("listen", "web")));
    if (const std::optional<Value> file = sources.get(setting("token-file", "web"))) {
        if (!options.webListen)
            fail(*file, QStringLiteral("a token needs listen = HOST:PORT in [web]"));
        options.webToken = readPassword(*file, warnings);
        if (options.webToken.isEmpty())
            fail(*file, QStringLiteral("%1 has no token on its first line").arg(file->text));
    }
    if (const std::optional<Value> title = sources.get(setting("title", "web"))) {
        // A name for a tab, not a page of its own.
        constexpr int kLongestTitle = 80;
        if (title->text.size() > kLongestTitle)
            fail(*title, QStringLiteral("a title of at most %1 characters").arg(kLongestTitle));
        options.webTitle = title->text.trimmed();
    }
    if (const std::optional<Value> hosts = sources.get(setting("hosts", "web"))) {
        if (!options.webListen)
            fail(*hosts, QStringLiteral("hosts needs listen = HOST:PORT in [web]"));
        // The port is the listen port; a name is what a Host header carries before it.
        static const QRegularExpression name(QStringLiteral("^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$"));
        for (const QString &given : hosts->text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString host = given.trimmed().toLower();
            if (!name.match(host).hasMatch())
                fail(*hosts, QStringLiteral("'%1' is not a host name").arg(given.trimmed()));
            options.webHosts << host;
        }
    }
}

// Two listeners on one address would fight over it.
void checkListeners(const BridgeOptions &options)
{
    const std::vector<Listener> listeners = options.listeners();
    for (std::size_t i = 0; i < listeners.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (listeners[i].address.port == listeners[j].address.port &&
                (listeners[i].address.host == listeners[j].address.host ||
                 listeners[i].address.host == QLatin1String("0.0.0.0") ||
                 listeners[j].address.host == QLatin1String("0.0.0.0")))
                throw Failure(
                    QStringLiteral("%1 and %2 both listen on %3")
                        .arg(listeners[j].what, listeners[i].what, listeners[i].address.toString()));
}

void checkTopics(const Sources &sources, const BridgeOptions &options)
{
    const QString prefixProblem = topicPrefixProblem(options.topicPrefix);
    if (!prefixProblem.isEmpty())
        fail(*sources.get(setting("topic-prefix")),
             QStringLiteral("'%1': %2").arg(options.topicPrefix, prefixProblem));
    const QString statusProblem = topicFilterProblem(options.homeAssistantStatusTopic);
    if (!statusProblem.isEmpty())
        fail(*sources.get(setting("ha-status-topic")),
             QStringLiteral("'%1': %2").arg(options.homeAssistantStatusTopic, statusProblem));
    const QString idProblem = clientIdProblem(options.clientId);
    if (!idProblem.isEmpty()) {
        const std::optional<Value> given = sources.get(setting("client-id"));
        fail(given ? *given : Value{options.clientId, QStringLiteral("--client-id")}, idProblem);
    }
}

BridgeOptions readOptions(const Sources &sources, const QCommandLineOption &projectorOption,
                          QStringList &warnings)
{
    BridgeOptions options;
    const std::optional<Value> broker = sources.get(setting("url"));
    if (!broker)
        throw Failure(QStringLiteral("--broker is required (or url in the [broker] section)"));
    readBroker(*broker, options);

    options.username = sources.text(setting("username"));
    if (const std::optional<Value> passwordFile = sources.get(setting("password-file"))) {
        options.password = readPassword(*passwordFile, warnings);
        if (options.username.isEmpty() && !options.password.isEmpty())
            fail(*passwordFile, QStringLiteral("a password needs a user name (--username)"));
        if (!options.username.isEmpty() && options.password.isEmpty())
            fail(*passwordFile,
                 QStringLiteral("%1 has no password on its first line").arg(passwordFile->text));
    }
    if (const std::optional<Value> caFile = sources.get(setting("cafile"))) {
        options.caFile = caFile->text;
        const QFileInfo info(options.caFile);
        if (!info.isFile() || !info.isReadable())
            fail(*caFile, QStringLiteral("cannot read %1").arg(options.caFile));
    } else if (!options.password.isEmpty()) {
        warnings << QStringLiteral("the broker password goes over the network unencrypted; use --cafile "
                                   "and the broker's TLS port");
    }

    options.topicPrefix = sources.text(setting("topic-prefix"));
    options.homeAssistantStatusTopic = sources.text(setting("ha-status-topic"));
    if (const std::optional<Value> name = sources.get(setting("bridge-name"))) {
        if (const QString problem = projectorIdProblem(name->text); !problem.isEmpty())
            fail(*name, problem);
        options.bridgeName = name->text;
    }
    const std::optional<Value> clientId = sources.get(setting("client-id"));
    options.clientId =
        clientId ? clientId->text
                 : defaultClientId(QSysInfo::machineHostName(), options.topicPrefix, options.bridgeName);
    checkTopics(sources, options);
    options.pollSeconds = readBoundedNumber(*sources.get(setting("poll")), 0, kLongestPollSeconds);
    options.queueLimit = readBoundedNumber(*sources.get(setting("queue-limit")), 1, kLargestQueueLimit);
    readProjectors(sources, projectorOption, options, warnings);
    if (sources.file()) {
        const GroupsRead groups = readGroups(sources.file()->groups, options.projectors);
        if (!groups.error.isEmpty())
            throw Failure(groups.error);
        options.groups = groups.groups;
    }
    readWeb(sources, options, warnings);
    checkListeners(options);
    return options;
}

// The settings in force, as a configuration file would give them, with
// where each came from; never the password itself.
QString effectiveSettings(const Sources &sources, const BridgeOptions &options)
{
    QString out = QStringLiteral("[broker]\n");
    const auto line = [&](const char *key, const QString &text, const QString &origin) {
        out += QStringLiteral("%1 = %2").arg(QLatin1String(key), text);
        out += origin.isEmpty() ? QStringLiteral("\n") : QStringLiteral("    # %1\n").arg(origin);
    };
    for (const Setting &s : kSettings) {
        if (qstrcmp(s.section, "broker") != 0)
            continue;
        const std::optional<Value> value = sources.get(s);
        if (!value) {
            if (qstrcmp(s.key, "client-id") == 0)
                line(s.key, options.clientId,
                     QStringLiteral("made from the host name, the topic prefix and the bridge name"));
            continue;
        }
        const bool isDefault = !s.defaultValue.isEmpty() && value->text == s.defaultValue &&
                               value->where.startsWith(QLatin1String("--")) &&
                               !value->where.contains(QLatin1Char(' '));
        line(s.key, value->text, isDefault ? QStringLiteral("default") : value->where);
        if (qstrcmp(s.key, "password-file") == 0)
            out += QStringLiteral("# password: %1\n")
                       .arg(options.password.isEmpty() ? QStringLiteral("none") : QStringLiteral("********"));
    }
    for (const ProjectorEndpoint &p : options.projectors) {
        out += QStringLiteral("\n[projector %1]\nport = %2\n").arg(p.id, p.port.toString());
        if (!p.name.isEmpty())
            out += QStringLiteral("name = %1\n").arg(p.name);
        if (p.line)
            out += QStringLiteral("line = %1\n").arg(p.line->toString());
        if (p.pjlink)
            out += QStringLiteral("pjlink = %1\n").arg(p.pjlink->toString());
        if (!p.pjlinkPassword.isEmpty())
            out += QStringLiteral("# PJLink password: ********\n");
    }
    out += groupSettingsText(options.groups, int(options.projectors.size()));
    if (options.webListen) {
        out += QStringLiteral("\n[web]\nlisten = %1\n").arg(options.webListen->toString());
        out += QStringLiteral("# token: %1\n")
                   .arg(options.webToken.isEmpty() ? QStringLiteral("none: anyone who reaches it may use it")
                                                   : QStringLiteral("********"));
        if (!options.webTitle.isEmpty())
            out += QStringLiteral("title = %1\n").arg(options.webTitle);
        if (!options.webHosts.isEmpty())
            out += QStringLiteral("hosts = %1\n").arg(options.webHosts.join(QStringLiteral(", ")));
    }
    // What takes connections from the network: nothing that is not listed here.
    out += QStringLiteral("\n# listeners:");
    const std::vector<Listener> listeners = options.listeners();
    if (listeners.empty())
        out += QStringLiteral(" none");
    out += QLatin1Char('\n');
    for (const Listener &l : listeners)
        out += QStringLiteral("#   %1  %2\n").arg(l.address.toString(), l.what);
    return out;
}

} // namespace

QString defaultClientId(const QString &hostName, const QString &topicPrefix, const QString &bridgeName)
{
    // Unnamed, as it always was: a bridge keeps its id across an upgrade.
    QString identity = hostName + QLatin1Char('\n') + topicPrefix;
    if (!bridgeName.isEmpty())
        identity += QLatin1Char('\n') + bridgeName;
    const QByteArray digest = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("velnobridge") + QString::fromLatin1(digest.toHex().left(12));
}

BridgeOptionsParse parseBridgeOptions(const QStringList &arguments, const QString &defaultConfigPath)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Connects projectors on serial lines to an MQTT broker."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("The configuration file (default: %1, when it exists); "
                                                   "options given here override it.")
                                        .arg(defaultConfigPath),
                                    QStringLiteral("file"));
    const QCommandLineOption checkConfig(
        QStringLiteral("check-config"),
        QStringLiteral("Check the settings, print them in force (the password "
                       "masked) and exit."));
    std::vector<QCommandLineOption> settingOptions;
    for (const Setting &s : kSettings) {
        settingOptions.emplace_back(QLatin1String(s.option), QLatin1String(s.help),
                                    QLatin1String(s.valueName));
        if (!s.defaultValue.isEmpty())
            settingOptions.back().setDescription(
                QStringLiteral("%1 Default: %2.").arg(QLatin1String(s.help), s.defaultValue));
    }
    const QCommandLineOption projector(
        QStringLiteral("projector"),
        QStringLiteral("A projector: ID=PORT, PORT being COM1, COM2, a device path "
                       "or socket://HOST:PORT. Repeat for more."),
        QStringLiteral("id=port"));
    parser.addOptions({config, checkConfig});
    for (const QCommandLineOption &option : settingOptions)
        parser.addOption(option);
    parser.addOption(projector);

    BridgeOptionsParse result;
    result.help = parser.helpText();
    // Short, so that an error stays in view in the last lines of a journal
    // (systemctl status) instead of scrolling away behind the whole help.
    result.usage = QStringLiteral("Usage: velno-bridge [--config FILE] [OPTION...] [--projector ID=PORT...]\n"
                                  "       velno-bridge --check-config [--config FILE] [OPTION...]\n"
                                  "       velno-bridge --help | --version\n");
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.outcome = BridgeOptionsParse::Outcome::ShowHelp;
        return result;
    }
    if (parser.isSet(version)) {
        result.outcome = BridgeOptionsParse::Outcome::ShowVersion;
        return result;
    }
    try {
        if (!parser.positionalArguments().isEmpty())
            throw Failure(
                QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
        if (parser.values(config).size() > 1)
            throw Failure(QStringLiteral("--config given more than once"));
        std::optional<ConfigFile> file;
        const QString configPath = parser.isSet(config) ? parser.value(config) : defaultConfigPath;
        if (parser.isSet(config) || QFileInfo::exists(configPath)) {
            ConfigKeys keys;
            keys.projector = kProjectorKeys;
            keys.group = QStringList{QStringLiteral("projectors")};
            for (const Setting &s : kSettings)
                (qstrcmp(s.section, "web") == 0 ? keys.web : keys.broker) << QLatin1String(s.key);
            ConfigRead read = readConfigFile(configPath, keys);
            if (!read.file)
                throw Failure(read.error);
            file = std::move(read.file);
        }
        const Sources sources(parser, settingOptions, std::move(file));
        result.options = readOptions(sources, projector, result.warnings);
        result.outcome = BridgeOptionsParse::Outcome::Run;
        if (parser.isSet(checkConfig)) {
            result.outcome = BridgeOptionsParse::Outcome::CheckConfig;
            result.effective = effectiveSettings(sources, result.options);
        }
    } catch (const Failure &failure) {
        result.error = failure.message;
    }
    return result;
}
