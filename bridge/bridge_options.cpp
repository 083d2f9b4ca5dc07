#include "bridge/bridge_options.h"

#include "bridge/discovery.h"
#include "bridge/mqtt_link.h"

#include <QCommandLineParser>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace {

constexpr int kLongestPollSeconds = 24 * 60 * 60;
constexpr int kLargestQueueLimit = 1000;
// Projector IDs go into topics and Home Assistant's object ids.
constexpr int kLongestProjectorId = 64;

// Every option that takes a value, so a repeated one can be caught.
struct OptionNames {
    QCommandLineOption broker{QStringLiteral("broker"),
                              QStringLiteral("The broker, mqtt://HOST[:PORT] (port 1883 if none)."),
                              QStringLiteral("url")};
    QCommandLineOption username{QStringLiteral("username"), QStringLiteral("User name for the broker."),
                                QStringLiteral("name")};
    QCommandLineOption passwordFile{QStringLiteral("password-file"),
                                    QStringLiteral("File whose first line is the broker password."),
                                    QStringLiteral("file")};
    QCommandLineOption caFile{QStringLiteral("cafile"),
                              QStringLiteral("CA certificate(s) to verify the broker with; turns TLS on."),
                              QStringLiteral("file")};
    QCommandLineOption topicPrefix{QStringLiteral("topic-prefix"),
                                   QStringLiteral("First part of every topic."), QStringLiteral("prefix"),
                                   QStringLiteral("velno")};
    QCommandLineOption clientId{QStringLiteral("client-id"),
                                QStringLiteral("The bridge's client id at the broker (default: made from "
                                               "the host name and the topic prefix)."),
                                QStringLiteral("id")};
    QCommandLineOption poll{QStringLiteral("poll"), QStringLiteral("Seconds between status polls (0: none)."),
                            QStringLiteral("seconds"), QStringLiteral("30")};
    QCommandLineOption queueLimit{QStringLiteral("queue-limit"),
                                  QStringLiteral("Commands that may wait per projector; more are refused "
                                                 "as busy."),
                                  QStringLiteral("count"), QStringLiteral("32")};
    QCommandLineOption homeAssistantStatus{
        QStringLiteral("ha-status-topic"),
        QStringLiteral("Where Home Assistant announces its start; discovery and state are published "
                       "again then."),
        QStringLiteral("topic"), QStringLiteral("homeassistant/status")};
    QCommandLineOption projector{QStringLiteral("projector"),
                                 QStringLiteral("A projector: ID=PORT, PORT being COM1, COM2, a device path "
                                                "or socket://HOST:PORT. Repeat for more."),
                                 QStringLiteral("id=port")};
};

class Failure {
public:
    explicit Failure(QString message) : message(std::move(message)) {}
    QString message;
};

QString singleValue(const QCommandLineParser &parser, const QCommandLineOption &option)
{
    const QStringList values = parser.values(option);
    if (values.size() > 1)
        throw Failure(QStringLiteral("--%1 given more than once").arg(option.names().constFirst()));
    return values.isEmpty() ? parser.value(option) : values.constFirst();
}

void readBroker(const QString &text, BridgeOptions &options)
{
    // The text is never repeated in a message: it might hold a password.
    const QUrl url(text, QUrl::StrictMode);
    const auto fail = [](const QString &why) {
        throw Failure(QStringLiteral("--broker: expected mqtt://HOST[:PORT], %1").arg(why));
    };
    if (text.isEmpty())
        fail(QStringLiteral("got nothing"));
    if (!url.isValid())
        fail(QStringLiteral("got something that is not a URL"));
    if (url.scheme() != QLatin1String("mqtt"))
        fail(QStringLiteral("got the scheme '%1'").arg(url.scheme()));
    if (!url.userInfo().isEmpty())
        fail(QStringLiteral("got a user name in it; use --username and --password-file"));
    if (url.host().isEmpty())
        fail(QStringLiteral("got no host"));
    if (!(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        fail(QStringLiteral("got a path, query or fragment after the port"));
    const int port = url.port(1883);
    if (port < 1 || port > 65535)
        fail(QStringLiteral("got port %1").arg(port));
    options.brokerHost = url.host();
    options.brokerPort = quint16(port);
}

// The first line, byte for byte: a password need not be UTF-8.
QByteArray readPassword(const QString &path, QStringList &warnings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("--password-file: cannot read %1: %2").arg(path, file.errorString()));
    QByteArray line = file.readLine();
    if (line.isEmpty() && file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("--password-file: cannot read %1: %2").arg(path, file.errorString()));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        throw Failure(QStringLiteral("--password-file: %1 has no password on its first line").arg(path));
    if (line.contains('\0'))
        throw Failure(QStringLiteral("--password-file: the password in %1 holds a NUL byte, which the "
                                     "broker library cannot send")
                          .arg(path));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (file.permissions() & others)
        warnings << QStringLiteral("--password-file: %1 can be read by other users; chmod 600 it").arg(path);
    return line;
}

// The reason the broker library will refuse this topic, if any.
QString topicProblem(const QString &topic, bool filter)
{
    return filter ? MqttLink::topicFilterProblem(topic) : MqttLink::topicNameProblem(topic);
}

ProjectorEndpoint readProjector(const QString &text)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals < 0)
        throw Failure(QStringLiteral("--projector %1: expected ID=PORT").arg(text));
    ProjectorEndpoint endpoint;
    endpoint.id = text.left(equals);
    static const QRegularExpression idPattern(QStringLiteral("^[a-z0-9_-]+$"));
    if (!idPattern.match(endpoint.id).hasMatch())
        throw Failure(
            QStringLiteral("--projector %1: the ID may hold only lower-case letters, digits, '-' and '_'")
                .arg(text));
    if (endpoint.id.size() > kLongestProjectorId)
        throw Failure(QStringLiteral("--projector %1: the ID may be at most %2 characters long")
                          .arg(text)
                          .arg(kLongestProjectorId));
    if (endpoint.id == reservedProjectorId())
        throw Failure(QStringLiteral("--projector %1: the ID '%2' is taken by the bridge's own topics")
                          .arg(text, endpoint.id));
    const PortAddressParse port = parsePortAddress(text.mid(equals + 1));
    if (!port.address)
        throw Failure(
            QStringLiteral("--projector %1: %2 (PORT is COM1, COM2, a device path or socket://HOST:PORT)")
                .arg(text, port.problem));
    endpoint.port = *port.address;
    return endpoint;
}

// What two names of one device have in common; a numbered port counts as
// the device behind it.
QString identityOf(const PortAddress &port)
{
    const PortAddressParse resolved = resolvePortAddress(port);
    return resolved.address ? deviceIdentity(*resolved.address) : port.toString();
}

void readProjectors(const QStringList &texts, BridgeOptions &options)
{
    if (texts.isEmpty())
        throw Failure(QStringLiteral("--projector: at least one ID=PORT is needed"));
    for (const QString &text : texts) {
        const ProjectorEndpoint endpoint = readProjector(text);
        for (const ProjectorEndpoint &earlier : options.projectors) {
            if (earlier.id == endpoint.id)
                throw Failure(QStringLiteral("--projector: the ID '%1' is given twice").arg(endpoint.id));
            // Two links on one device would fight over it.
            if (identityOf(earlier.port) == identityOf(endpoint.port))
                throw Failure(QStringLiteral("--projector: '%1' and '%2' both use %3")
                                  .arg(earlier.id, endpoint.id, endpoint.port.toString()));
        }
        options.projectors.push_back(endpoint);
    }
}

int readBoundedNumber(const QString &option, const QString &text, int lowest, int highest)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < lowest || number > highest)
        throw Failure(QStringLiteral("--%1: expected a whole number from %2 to %3, got '%4'")
                          .arg(option)
                          .arg(lowest)
                          .arg(highest)
                          .arg(text));
    return number;
}

void checkTopics(const BridgeOptions &options)
{
    const QString prefixProblem = topicPrefixProblem(options.topicPrefix);
    if (!prefixProblem.isEmpty())
        throw Failure(QStringLiteral("--topic-prefix '%1': %2").arg(options.topicPrefix, prefixProblem));
    const QString statusProblem = topicProblem(options.homeAssistantStatusTopic, true);
    if (!statusProblem.isEmpty())
        throw Failure(QStringLiteral("--ha-status-topic '%1': %2")
                          .arg(options.homeAssistantStatusTopic, statusProblem));
    const QString clientIdProblem = MqttLink::clientIdProblem(options.clientId);
    if (!clientIdProblem.isEmpty())
        throw Failure(QStringLiteral("--client-id: %1").arg(clientIdProblem));
}

BridgeOptions readOptions(const QCommandLineParser &parser, const OptionNames &names, QStringList &warnings)
{
    if (!parser.positionalArguments().isEmpty())
        throw Failure(
            QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    BridgeOptions options;
    if (!parser.isSet(names.broker))
        throw Failure(QStringLiteral("--broker is required"));
    readBroker(singleValue(parser, names.broker), options);

    options.username = singleValue(parser, names.username);
    if (parser.isSet(names.passwordFile)) {
        if (options.username.isEmpty())
            throw Failure(QStringLiteral("--password-file needs --username"));
        options.password = readPassword(singleValue(parser, names.passwordFile), warnings);
    }
    if (parser.isSet(names.caFile)) {
        options.caFile = singleValue(parser, names.caFile);
        const QFileInfo info(options.caFile);
        if (!info.isFile() || !info.isReadable())
            throw Failure(QStringLiteral("--cafile: cannot read %1").arg(options.caFile));
    } else if (!options.password.isEmpty()) {
        warnings << QStringLiteral("the broker password goes over the network unencrypted; use --cafile "
                                   "and the broker's TLS port");
    }

    options.topicPrefix = singleValue(parser, names.topicPrefix);
    options.homeAssistantStatusTopic = singleValue(parser, names.homeAssistantStatus);
    options.clientId = parser.isSet(names.clientId)
                           ? singleValue(parser, names.clientId)
                           : defaultClientId(QSysInfo::machineHostName(), options.topicPrefix);
    checkTopics(options);
    options.pollSeconds =
        readBoundedNumber(QStringLiteral("poll"), singleValue(parser, names.poll), 0, kLongestPollSeconds);
    options.queueLimit = readBoundedNumber(QStringLiteral("queue-limit"),
                                           singleValue(parser, names.queueLimit), 1, kLargestQueueLimit);
    readProjectors(parser.values(names.projector), options);
    return options;
}

} // namespace

QString defaultClientId(const QString &hostName, const QString &topicPrefix)
{
    const QByteArray digest = QCryptographicHash::hash((hostName + QLatin1Char('\n') + topicPrefix).toUtf8(),
                                                       QCryptographicHash::Sha1);
    return QStringLiteral("velnobridge") + QString::fromLatin1(digest.toHex().left(12));
}

QString topicPrefixProblem(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("it is empty");
    if (prefix.split(QLatin1Char('/')).contains(QString()))
        return QStringLiteral("it has an empty level (a leading, trailing or doubled '/')");
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("topics starting with '$' belong to the broker");
    // The longest topic made from it: a projector's status topic with the
    // longest ID and query name.
    const QString longest =
        statusTopic(prefix, QString(kLongestProjectorId, QLatin1Char('x')), QStringLiteral("lamp-mode"));
    return topicProblem(longest, false);
}

BridgeOptionsParse parseBridgeOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Connects projectors on serial lines to an MQTT broker."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const OptionNames names;
    parser.addOptions({names.broker, names.username, names.passwordFile, names.caFile, names.topicPrefix,
                       names.clientId, names.poll, names.queueLimit, names.homeAssistantStatus,
                       names.projector});

    BridgeOptionsParse result;
    result.usage = parser.helpText();
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
        result.options = readOptions(parser, names, result.warnings);
        result.outcome = BridgeOptionsParse::Outcome::Run;
    } catch (const Failure &failure) {
        result.error = failure.message;
    }
    return result;
}
