#include "control_options.h"
#include "port_listing.h"
#include "termination_signals.h"
#include "velno_version.h"
#include "window/start_up.h"

#include <QApplication>
#include <cstdio>
#include <optional>

namespace {

const QString kProgram = QStringLiteral("velno-control");

// Everything but running the panel needs no display.
std::optional<int> answerWithoutWindow(const ControlOptions &options)
{
    using A = ControlOptions::Action;
    switch (options.action) {
    case A::Run: return std::nullopt;
    case A::Help: std::fputs(qPrintable(options.text), stdout); return 0;
    case A::Version: std::printf("%s %s\n", qPrintable(kProgram), VELNO_VERSION); return 0;
    case A::ListPorts: std::fputs(qPrintable(serialPortListing()), stdout); return 0;
    case A::UsageError:
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(kProgram), qPrintable(options.text),
                     qPrintable(options.usage));
        return 2;
    }
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    ControlOptions options;
    {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(kProgram);
        QCoreApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
        options = parseControlOptions(QCoreApplication::arguments());
        if (const std::optional<int> status = answerWithoutWindow(options))
            return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgram);
    QApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
    // A logout, kill or Ctrl+C ends the panel as "END" does: the event loop
    // stops, the port is closed on the way out, and the status is 0.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [] { QCoreApplication::exit(0); });
    return runControlPanel(app, {options.com1, options.com2});
}
