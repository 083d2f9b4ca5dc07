// SPDX-License-Identifier: GPL-3.0-or-later
// velno-bridge: every projector of a building on an MQTT broker.

#include "bridge/bridge_options.h"
#include "bridge/bridge_service.h"
#include "faces/every_face.h"
#include "program_messages.h"
#include "termination_signals.h"

#include <QCoreApplication>

#include <csignal>
#include <sys/resource.h>

namespace {

// Every projector holds its port, and its shared line holds a listener and
// its clients: hundreds of projectors need more descriptors than the usual
// soft limit of 1024. The hard limit is this process's to take.
void raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    identifyProgram(QStringLiteral("velno-bridge"));
    QCoreApplication app(argc, argv);
    const BridgeOptionsParse parsed = parseBridgeOptions(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case BridgeOptionsParse::Outcome::ShowHelp: printText(parsed.help); return 0;
    case BridgeOptionsParse::Outcome::ShowVersion: printVersion(); return 0;
    case BridgeOptionsParse::Outcome::CheckConfig:
        for (const QString &warning : parsed.warnings)
            logLine(QStringLiteral("warning: ") + warning);
        printText(parsed.effective);
        return 0;
    case BridgeOptionsParse::Outcome::Error: return reportUsageError(parsed.error, parsed.usage);
    case BridgeOptionsParse::Outcome::Run: break;
    }

    for (const QString &warning : parsed.warnings)
        logLine(QStringLiteral("warning: ") + warning);
    raiseDescriptorLimit();
    BridgeService bridge(parsed.options);
    addEveryFace(bridge);
    QObject::connect(&bridge, &BridgeService::log, &app, logLine);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&bridge](int signalNumber) {
        if (signalNumber == SIGHUP) {
            // A reload: the same command line, the settings file read anew.
            const BridgeOptionsParse again = parseBridgeOptions(QCoreApplication::arguments());
            if (again.outcome != BridgeOptionsParse::Outcome::Run) {
                logLine(QStringLiteral("reload refused, the running settings stay: %1").arg(again.error));
                return;
            }
            for (const QString &warning : again.warnings)
                logLine(QStringLiteral("warning: ") + warning);
            bridge.reload(again.options);
            return;
        }
        logLine(QStringLiteral("signal %1: going offline").arg(signalNumber));
        bridge.stop();
        QCoreApplication::exit(0);
    });
    QString error;
    if (!bridge.start(&error)) {
        logLine(error);
        return 1;
    }
    return app.exec();
}
