#include "bridge/bridge_options.h"

#include "bridge/discovery.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <optional>

namespace {

constexpr int kLongestPollSeconds = 24 * 60 * 60;

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
    QCommandLineOption poll{QStringLiteral("poll"), QStringLiteral("Seconds between status polls (0: none)."),
                            QStringLiteral("seconds"), QStringLiteral("30")};
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

QString readPassword(const QString &path)
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
    return QString::fromUtf8(line);
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

void readProjectors(const QStringList &texts, BridgeOptions &options)
{
    if (texts.isEmpty())
        throw Failure(QStringLiteral("--projector: at least one ID=PORT is needed"));
    for (const QString &text : texts) {
        const ProjectorEndpoint endpoint = readProjector(text);
        for (const ProjectorEndpoint &earlier : options.projectors) {
            if (earlier.id == endpoint.id)
                throw Failure(QStringLiteral("--projector: the ID '%1' is given twice").arg(endpoint.id));
            if (earlier.port == endpoint.port)
                throw Failure(QStringLiteral("--projector: '%1' and '%2' both use %3")
                                  .arg(earlier.id, endpoint.id, endpoint.port.toString()));
        }
        options.projectors.push_back(endpoint);
    }
}

int readPollSeconds(const QString &text)
{
    bool ok = false;
    const int seconds = text.toInt(&ok);
    if (!ok || seconds < 0 || seconds > kLongestPollSeconds)
        throw Failure(QStringLiteral("--poll: expected whole seconds from 0 to %1, got '%2'")
                          .arg(kLongestPollSeconds)
                          .arg(text));
    return seconds;
}

BridgeOptions readOptions(const QCommandLineParser &parser, const OptionNames &names)
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
        options.password = readPassword(singleValue(parser, names.passwordFile));
    }
    if (parser.isSet(names.caFile)) {
        options.caFile = singleValue(parser, names.caFile);
        const QFileInfo info(options.caFile);
        if (!info.isFile() || !info.isReadable())
            throw Failure(QStringLiteral("--cafile: cannot read %1").arg(options.caFile));
    }

    options.topicPrefix = singleValue(parser, names.topicPrefix);
    const QString prefixProblem = topicPrefixProblem(options.topicPrefix);
    if (!prefixProblem.isEmpty())
        throw Failure(QStringLiteral("--topic-prefix '%1': %2").arg(options.topicPrefix, prefixProblem));

    options.pollSeconds = readPollSeconds(singleValue(parser, names.poll));
    readProjectors(parser.values(names.projector), options);
    return options;
}

} // namespace

QString topicPrefixProblem(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("it is empty");
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return QStringLiteral("'+' and '#' are wildcards, not allowed in topic names");
    if (prefix.split(QLatin1Char('/')).contains(QString()))
        return QStringLiteral("it has an empty level (a leading, trailing or doubled '/')");
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("topics starting with '$' belong to the broker");
    if (prefix.contains(QChar(0)))
        return QStringLiteral("it holds a NUL character");
    return {};
}

BridgeOptionsParse parseBridgeOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Connects projectors on serial lines to an MQTT broker."));
    const QCommandLineOption help = parser.addHelpOption();
    const OptionNames names;
    parser.addOptions({names.broker, names.username, names.passwordFile, names.caFile, names.topicPrefix,
                       names.poll, names.projector});

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
    try {
        result.options = readOptions(parser, names);
        result.outcome = BridgeOptionsParse::Outcome::Run;
    } catch (const Failure &failure) {
        result.error = failure.message;
    }
    return result;
}
