// SPDX-License-Identifier: GPL-3.0-or-later
#include "cmd_options.h"

#include "mqtt/mqtt_url.h"
#include "protocol/command_line.h"
#include "protocol/commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <limits>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("velno-cmd", text);
}

CmdOptions usageError(const QString &why)
{
    CmdOptions o;
    o.action = CmdOptions::Action::UsageError;
    o.text = why;
    return o;
}

constexpr int kLongestWatchSeconds = std::numeric_limits<int>::max() / 1000;

std::optional<int> positiveNumber(const QString &text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n > 0 ? std::optional<int>(n) : std::nullopt;
}

// mqtt://[USER@]HOST[:PORT]/ID, or what is wrong with it.
std::optional<BridgeTarget> readBridgeTarget(const QString &text, QString *problem)
{
    const MqttUrlParse parsed = parseProjectorUrl(text);
    *problem = parsed.problem;
    if (!parsed.url)
        return std::nullopt;
    BridgeTarget target;
    target.host = parsed.url->host;
    target.port = parsed.url->port;
    target.username = parsed.url->username;
    target.projectorId = parsed.url->projectorId;
    target.groupId = parsed.url->groupId;
    return target;
}

} // namespace

QString cmdUsage()
{
    return QStringLiteral(
        "Usage: velno-cmd [--port NAME] [--speed 19200|9600] [--json] [--timeout MS] COMMAND [TEXT]\n"
        "       velno-cmd --port mqtt://[USER@]HOST[:PORT]/ID|/group/ID [--password-file F] [--cafile F]\n"
        "                 [--topic-prefix P] [--json] [--timeout MS] COMMAND [TEXT]\n"
        "       velno-cmd --list\n"
        "       velno-cmd [--port NAME] [--speed 19200|9600] [--json] --watch SECONDS QUERY");
}

CmdOptions parseCmdOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Sends one command to a projector on a serial line and prints its reply."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  tr("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), tr("Show the version."));
    const QCommandLineOption port(
        QStringLiteral("port"),
        tr("COM1 (default) or COM2, a device path, socket://HOST:PORT (a serial device "
           "server), mqtt://[USER@]HOST[:PORT]/ID (a projector of velno-bridge) or "
           "mqtt://[USER@]HOST[:PORT]/group/ID (a group, on every bridge that has it)."),
        QStringLiteral("NAME"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          tr("With mqtt://: a file whose first line is the broker password."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption caFile(
        QStringLiteral("cafile"),
        tr("With mqtt://: CA certificate(s) to verify the broker with; turns TLS on."),
        QStringLiteral("FILE"));
    const QCommandLineOption topicPrefix(QStringLiteral("topic-prefix"),
                                         tr("With mqtt://: the bridge's topic prefix (default velno)."),
                                         QStringLiteral("PREFIX"));
    const QCommandLineOption speed(QStringLiteral("speed"), tr("19200 (default) or 9600 baud."),
                                   QStringLiteral("BAUD"));
    const QCommandLineOption json(QStringLiteral("json"), tr("One JSON object per command on one line."));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     tr("Wait MS for the reply instead of the command's own reply window."),
                                     QStringLiteral("MS"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  tr("List every command with its code and caption."));
    const QCommandLineOption watch(QStringLiteral("watch"), tr("Ask QUERY every SECONDS; print each change."),
                                   QStringLiteral("SECONDS"));
    parser.addOptions(
        {help, version, port, speed, json, timeout, list, watch, passwordFile, caFile, topicPrefix});
    parser.addPositionalArgument(QStringLiteral("COMMAND"), tr("A command name (see --list), or send."));
    parser.addPositionalArgument(QStringLiteral("TEXT"), tr("With send: the line to send, as typed."));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    CmdOptions o;
    if (parser.isSet(help)) {
        o.action = CmdOptions::Action::Help;
        o.text = parser.helpText();
        return o;
    }
    if (parser.isSet(version)) {
        o.action = CmdOptions::Action::Version;
        return o;
    }
    if (parser.isSet(list)) {
        o.action = CmdOptions::Action::List;
        return o;
    }
    if (parser.isSet(port) && isMqttUrl(parser.value(port))) {
        QString problem;
        o.bridge = readBridgeTarget(parser.value(port), &problem);
        if (!o.bridge)
            return usageError(tr("Bad port for '--port': %1.").arg(problem));
        o.bridge->passwordFile = parser.value(passwordFile);
        o.bridge->caFile = parser.value(caFile);
        if (parser.isSet(topicPrefix)) {
            o.bridge->topicPrefix = parser.value(topicPrefix);
            if (const QString wrong = topicPrefixProblem(o.bridge->topicPrefix); !wrong.isEmpty())
                return usageError(tr("Bad prefix for '--topic-prefix': %1.").arg(wrong));
        }
        if (parser.isSet(speed))
            return usageError(tr("'--speed' is for a serial port; the bridge sets its own."));
        if (!o.bridge->passwordFile.isEmpty() && o.bridge->username.isEmpty())
            return usageError(tr("'--password-file' needs a user name: mqtt://USER@HOST/ID."));
    } else {
        for (const QCommandLineOption *bridgeOnly : {&passwordFile, &caFile, &topicPrefix})
            if (parser.isSet(*bridgeOnly))
                return usageError(tr("'--%1' is for an mqtt:// port.").arg(bridgeOnly->names().constFirst()));
    }
    if (parser.isSet(port) && !o.bridge) {
        const PortAddressParse parsed = parsePortAddress(parser.value(port));
        if (!parsed.address)
            return usageError(tr("Bad port for '--port': %1.").arg(parsed.problem));
        o.port = *parsed.address;
    }
    const QString baud = parser.isSet(speed) ? parser.value(speed) : QStringLiteral("19200");
    if (baud == QLatin1String("19200"))
        o.settings = port_settings::kFast;
    else if (baud == QLatin1String("9600"))
        o.settings = port_settings::kSlow;
    else
        return usageError(tr("Unknown speed '%1' for '--speed': 19200 or 9600.").arg(baud));
    o.json = parser.isSet(json);
    if (parser.isSet(timeout)) {
        o.timeoutMs = positiveNumber(parser.value(timeout));
        if (!o.timeoutMs)
            return usageError(
                tr("'--timeout' takes a number of milliseconds, not '%1'.").arg(parser.value(timeout)));
    }

    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return usageError(tr("No command given."));
    const QString name = words.takeFirst();
    if (name == QLatin1String("send")) {
        o.typedText = words.join(QLatin1Char(' '));
        // Only the first line goes out: an empty one would send a bare carriage return.
        if (firstLineOf(o.typedText).isEmpty())
            return usageError(tr("'send' needs the TEXT to send."));
    } else {
        o.command = findCommand(name);
        if (!o.command)
            return usageError(tr("Unknown command '%1' (velno-cmd --list shows them all).").arg(name));
        if (!words.isEmpty())
            return usageError(tr("'%1' takes no TEXT; unexpected '%2'.").arg(name, words.constFirst()));
    }
    if (o.bridge && !o.bridge->groupId.isEmpty() && !o.command)
        return usageError(tr("A group takes named commands only; 'send' goes to one projector."));
    if (parser.isSet(watch)) {
        const std::optional<int> seconds = positiveNumber(parser.value(watch));
        if (!seconds)
            return usageError(tr("'--watch' takes a number of seconds, not '%1'.").arg(parser.value(watch)));
        // The period is timed in milliseconds, in an int.
        if (*seconds > kLongestWatchSeconds)
            return usageError(
                tr("'--watch' takes at most %1 seconds, not %2.").arg(kLongestWatchSeconds).arg(*seconds));
        if (!o.command || !o.command->statusQuery)
            return usageError(tr("'--watch' asks a status query, not '%1'.").arg(name));
        if (o.bridge)
            return usageError(tr("'--watch' needs a serial port; the bridge publishes each status as it "
                                 "changes (velno/ID/status/QUERY)."));
        o.action = CmdOptions::Action::Watch;
        o.watchSeconds = *seconds;
    }
    return o;
}
