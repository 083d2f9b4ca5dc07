#include "cmd_options.h"

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

} // namespace

QString cmdUsage()
{
    return QStringLiteral(
        "Usage: velno-cmd [--port NAME] [--speed 19200|9600] [--json] [--timeout MS] COMMAND [TEXT]\n"
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
        tr("COM1 (default) or COM2, a device path, or socket://HOST:PORT (a serial device server)."),
        QStringLiteral("NAME"));
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
    parser.addOptions({help, version, port, speed, json, timeout, list, watch});
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
    if (parser.isSet(port)) {
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
        o.action = CmdOptions::Action::Watch;
        o.watchSeconds = *seconds;
    }
    return o;
}
