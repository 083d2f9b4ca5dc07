// SPDX-License-Identifier: GPL-3.0-or-later
// velno-cmd: one command to a projector per run, for scripts, schedulers
// and home-automation systems.

#include "cmd_options.h"
#include "cmd_output.h"
#include "command_watch.h"
#include "program_messages.h"
#include "termination_signals.h"

#include "protocol/command_line.h"
#include "protocol/command_request.h"
#include "session/command_exchange.h"
#include "session/port_connection.h"

#include <QCoreApplication>

#ifdef VELNO_CMD_THROUGH_BRIDGE
#include "bridge/config_file.h"
#include "bridge_command.h"
#include "bridge_group_command.h"
#endif
#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

enum ExitStatus {
    kAnswered = 0,
    kPortFailed = 1,
    kUsage = kUsageErrorStatus,
    kNoAnswer = 3,
    kRefused = 4,
    kSomeFollowed = 5, // a group: some members did it, some did not
};

// Through the bridge a command may wait behind others: a longer default wait.
constexpr int kBridgeTimeoutMs = 10000;

// A result or the command listing: UTF-8, as JSON must be.
void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The same on a local port and through the bridge: 0 answered, 4 answered
// with a refusal, 3 not answered, 1 nothing run.
int exitStatusOf(const ExchangeResult &r)
{
    if (r.error)
        return kPortFailed;
    if (refusedByProjector(r))
        return kRefused;
    return r.answered ? kAnswered : kNoAnswer;
}

// Read as the bridge reads it: a typed line that is a command's code is that command.
CommandRequest requestOf(const CmdOptions &options)
{
    return options.command ? CommandRequest::named(*options.command)
                           : CommandRequest::fromLine(firstLineOf(options.typedText));
}

#ifdef VELNO_CMD_THROUGH_BRIDGE
// A group: 0 when every member did it; 5 when some did and some did not;
// when none did, what a single projector would say (3 before 1 before 4).
int groupExitStatus(const std::vector<int> &members)
{
    const auto any = [&](int status) {
        return std::find(members.begin(), members.end(), status) != members.end();
    };
    if (!any(kPortFailed) && !any(kNoAnswer) && !any(kRefused))
        return kAnswered;
    if (any(kAnswered))
        return kSomeFollowed;
    return any(kNoAnswer) ? kNoAnswer : any(kPortFailed) ? kPortFailed : kRefused;
}

int runGroupThroughBridges(const CmdOptions &options, const QByteArray &password)
{
    const int timeoutMs = options.timeoutMs.value_or(kBridgeTimeoutMs);
    BridgeGroupCommand command(*options.bridge, password);
    QObject::connect(
        &command, &BridgeGroupCommand::finished,
        [&options, timeoutMs](const std::vector<BridgeGroupCommand::BridgePart> &parts) {
            std::vector<int> statuses;
            for (const BridgeGroupCommand::BridgePart &part : parts) {
                if (!part.reply) {
                    const QString bridge =
                        part.bridgeName.isEmpty() ? QStringLiteral("the bridge") : part.bridgeName;
                    for (const QString &id : part.members) {
                        if (!options.json)
                            print(QStringLiteral("%1: no reply from %2 within %3 s: it may have run\n")
                                      .arg(id, bridge)
                                      .arg(timeoutMs / 1000.0));
                        statuses.push_back(kNoAnswer);
                    }
                    continue;
                }
                if (options.json)
                    print(QString::fromUtf8(part.replyJson) + QLatin1Char('\n'));
                if (part.reply->error) {
                    logLine(*part.reply->error);
                    statuses.push_back(kPortFailed);
                }
                for (const auto &[id, result] : part.reply->members) {
                    if (!options.json)
                        print(memberLine(id, result));
                    statuses.push_back(exitStatusOf(result));
                }
            }
            QCoreApplication::exit(groupExitStatus(statuses));
        });
    QObject::connect(&command, &BridgeGroupCommand::notice, [](const QString &line) { logLine(line); });
    QObject::connect(&command, &BridgeGroupCommand::failed, [](const QString &why) {
        logLine(why);
        QCoreApplication::exit(kPortFailed);
    });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, [] { QCoreApplication::exit(kNoAnswer); });
    command.run(requestOf(options), timeoutMs);
    return QCoreApplication::exec();
}
#endif

int runThroughBridge(const CmdOptions &options)
{
#ifndef VELNO_CMD_THROUGH_BRIDGE
    Q_UNUSED(options);
    logLine(QStringLiteral("this velno-cmd was built without the bridge: mqtt:// ports are not available"));
    return kPortFailed;
#else
    QByteArray password;
    if (!options.bridge->passwordFile.isEmpty()) {
        const SecretRead read = readSecretFile(options.bridge->passwordFile);
        if (!read.error.isEmpty()) {
            logLine(QStringLiteral("--password-file: %1").arg(read.error));
            return kUsage;
        }
        password = read.firstLine;
    }
    if (!options.bridge->groupId.isEmpty())
        return runGroupThroughBridges(options, password);
    BridgeCommand command(*options.bridge, password);
    QObject::connect(&command, &BridgeCommand::finished, [&options](const ExchangeResult &r) {
        print(options.json ? jsonLine(r) : plainLines(r));
        if (r.error)
            logLine(*r.error);
        else if (refusedByProjector(r))
            logLine(projectorRefusalText());
        QCoreApplication::exit(exitStatusOf(r));
    });
    QObject::connect(&command, &BridgeCommand::failed, [](const QString &why) {
        logLine(why);
        QCoreApplication::exit(kPortFailed);
    });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, [] { QCoreApplication::exit(kNoAnswer); });
    command.run(requestOf(options), options.timeoutMs.value_or(kBridgeTimeoutMs));
    return QCoreApplication::exec();
#endif
}

} // namespace

int main(int argc, char *argv[])
{
    identifyProgram(QStringLiteral("velno-cmd"));
    QCoreApplication app(argc, argv);
    const CmdOptions options = parseCmdOptions(QCoreApplication::arguments());
    switch (options.action) {
    case CmdOptions::Action::Help: printText(options.text); return kAnswered;
    case CmdOptions::Action::Version: printVersion(); return kAnswered;
    case CmdOptions::Action::List: print(commandListing()); return kAnswered;
    case CmdOptions::Action::UsageError: return reportUsageError(options.text, cmdUsage());
    case CmdOptions::Action::Run:
    case CmdOptions::Action::Watch: break;
    }
    if (options.bridge)
        return runThroughBridge(options);
    const PortAddressParse where = resolvePortAddress(options.port);
    if (!where.address) {
        logLine(QStringLiteral("cannot open %1: %2").arg(options.port.toString(), where.problem));
        return kPortFailed;
    }
    const QString portName = where.address->toString();
    const bool watching = options.action == CmdOptions::Action::Watch;

    PortConnection line;
    CommandExchange exchange(line);
    bool failureShown = false;
    const auto fail = [&](const QString &why) {
        if (!failureShown)
            logLine(why);
        failureShown = true;
        QCoreApplication::exit(kPortFailed);
    };
    QObject::connect(&line, &PortConnection::openFailed, &app, [&](const SerialError &e) {
        fail(QStringLiteral("cannot open %1: %2").arg(portName, e.description));
    });
    QObject::connect(&line, &PortConnection::lost, &app,
                     [&](const QString &why) { fail(QStringLiteral("%1 lost: %2").arg(portName, why)); });

    const auto show = [&options](const ExchangeResult &r) {
        print(options.json ? jsonLine(r) : plainLines(r));
    };
    std::optional<CommandWatch> watch;
    if (watching) {
        watch.emplace(exchange, *options.command, options.watchSeconds * 1000, options.timeoutMs);
        QObject::connect(&*watch, &CommandWatch::changed, &app, show);
    }
    QObject::connect(&exchange, &CommandExchange::finished, &app, [&](const ExchangeResult &r) {
        if (!watching)
            show(r);
        if (r.error)
            fail(*r.error);
        else if (!watching) {
            if (refusedByProjector(r))
                logLine(projectorRefusalText());
            QCoreApplication::exit(exitStatusOf(r));
        }
    });
    QObject::connect(&line, &PortConnection::opened, &app, [&] {
        if (watch)
            watch->start();
        else
            exchange.start(requestOf(options), options.timeoutMs);
    });

    // An interrupted watch has done its work; an interrupted command says
    // what it got, and succeeds only if the projector answered.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&] {
        if (watching)
            QCoreApplication::exit(kAnswered);
        else if (exchange.isRunning())
            exchange.finishNow();
        else
            QCoreApplication::exit(kNoAnswer);
    });

    // Opened once the event loop runs, so every outcome is seen there.
    QMetaObject::invokeMethod(
        &app,
        [&] {
            if (const SerialError e = line.open(*where.address, options.settings))
                fail(QStringLiteral("cannot open %1: %2").arg(portName, e.description));
        },
        Qt::QueuedConnection);
    const int status = app.exec();
    line.close();
    return status;
}
