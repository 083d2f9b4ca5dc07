// velno-bridge: every projector of a building on an MQTT broker.

#include "bridge/bridge_options.h"
#include "bridge/bridge_service.h"
#include "termination_signals.h"
#include "velno_version.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// One line per event on stderr, for the journal.
void logLine(const QString &line)
{
    std::fprintf(stderr, "velno-bridge: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velno-bridge"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
    const BridgeOptionsParse parsed = parseBridgeOptions(QCoreApplication::arguments());
    switch (parsed.outcome) {
    case BridgeOptionsParse::Outcome::ShowHelp: std::fputs(qPrintable(parsed.usage), stdout); return 0;
    case BridgeOptionsParse::Outcome::ShowVersion: std::printf("velno-bridge %s\n", VELNO_VERSION); return 0;
    case BridgeOptionsParse::Outcome::CheckConfig:
        for (const QString &warning : parsed.warnings)
            logLine(QStringLiteral("warning: ") + warning);
        std::fputs(qPrintable(parsed.effective), stdout);
        return 0;
    case BridgeOptionsParse::Outcome::Error:
        logLine(parsed.error);
        std::fputs(qPrintable(parsed.usage), stderr);
        return 2;
    case BridgeOptionsParse::Outcome::Run: break;
    }

    for (const QString &warning : parsed.warnings)
        logLine(QStringLiteral("warning: ") + warning);
    BridgeService bridge(parsed.options);
    QObject::connect(&bridge, &BridgeService::log, &app, logLine);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [&bridge](int signalNumber) {
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
