// velno-cmd: one command to a projector per run, for scripts, schedulers
// and home-automation systems.

#include "cmd_options.h"
#include "cmd_output.h"
#include "command_watch.h"
#include "termination_signals.h"
#include "velno_version.h"

#include "session/command_exchange.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

enum ExitStatus { kAnswered = 0, kPortFailed = 1, kUsage = 2, kNoAnswer = 3 };

void print(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void complain(const QString &text)
{
    std::fprintf(stderr, "velno-cmd: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velno-cmd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
    const CmdOptions options = parseCmdOptions(QCoreApplication::arguments());
    switch (options.action) {
    case CmdOptions::Action::Help: print(options.text); return kAnswered;
    case CmdOptions::Action::Version:
        print(QStringLiteral("velno-cmd " VELNO_VERSION "\n"));
        return kAnswered;
    case CmdOptions::Action::List: print(commandListing()); return kAnswered;
    case CmdOptions::Action::UsageError:
        complain(options.text);
        std::fprintf(stderr, "%s\n", qPrintable(cmdUsage()));
        return kUsage;
    case CmdOptions::Action::Run:
    case CmdOptions::Action::Watch: break;
    }

    ProjectorSession session;
    if (const SerialError e = session.openNamed(options.port, options.settings)) {
        complain(QStringLiteral("cannot open %1: %2").arg(session.deviceName(), e.description));
        return kPortFailed;
    }
    QObject::connect(&session, &ProjectorSession::error, &app, [](const QString &why) {
        complain(why);
        QCoreApplication::exit(kPortFailed);
    });
    QObject::connect(&session, &ProjectorSession::portLost, &app, [&session](const QString &why) {
        complain(QStringLiteral("%1 lost: %2").arg(session.deviceName(), why));
        QCoreApplication::exit(kPortFailed);
    });
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app,
                     [] { QCoreApplication::exit(kAnswered); });

    const auto show = [&options](const ExchangeResult &r) {
        print(options.json ? jsonLine(r) : plainLines(r));
    };
    CommandExchange exchange(session);
    if (options.action == CmdOptions::Action::Watch) {
        CommandWatch watch(exchange, *options.command, options.watchSeconds * 1000, options.timeoutMs);
        QObject::connect(&watch, &CommandWatch::changed, &app, show);
        watch.start();
        const int status = app.exec();
        session.stop();
        return status;
    }
    QObject::connect(&exchange, &CommandExchange::finished, &app, [&show](const ExchangeResult &r) {
        show(r);
        QCoreApplication::exit(r.answered ? kAnswered : kNoAnswer);
    });
    // Sent once the event loop runs, so a failure on the way is seen there.
    QMetaObject::invokeMethod(
        &app,
        [&] {
            if (options.command)
                exchange.start(*options.command, options.timeoutMs);
            else
                exchange.startTyped(options.typedText, options.timeoutMs);
        },
        Qt::QueuedConnection);
    const int status = app.exec();
    session.stop();
    return status;
}
