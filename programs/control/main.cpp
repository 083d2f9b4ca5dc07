// SPDX-License-Identifier: GPL-3.0-or-later
#include "control_options.h"
#include "port_listing.h"
#include "program_messages.h"
#include "termination_signals.h"
#include "window/start_up.h"

#include <QApplication>
#include <QStringList>

namespace {

// Everything but running the panel needs no display.
int answerWithoutWindow(const ControlOptions &options)
{
    using A = ControlOptions::Action;
    switch (options.action) {
    case A::Help: printText(options.text); return 0;
    case A::Version: printVersion(); return 0;
    case A::ListPorts: printText(serialPortListing()); return 0;
    case A::UsageError: return reportUsageError(options.text, options.usage);
    case A::Run: break;
    }
    return kUsageErrorStatus;
}

// The arguments as the program received them, read before any application
// object exists.
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

} // namespace

int main(int argc, char *argv[])
{
    identifyProgram(QStringLiteral("velno-control"));
    // The arguments decide which one application the program builds: only
    // the panel needs a display.
    const ControlOptions options = parseControlOptions(argumentsOf(argc, argv));
    if (options.action != ControlOptions::Action::Run) {
        QCoreApplication core(argc, argv);
        // Again, now that the help text can name the program as it was started.
        return answerWithoutWindow(parseControlOptions(QCoreApplication::arguments()));
    }
    QApplication app(argc, argv);
    // A logout, kill or Ctrl+C ends the panel as "END" does: the event loop
    // stops, the port is closed on the way out, and the status is 0.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [] { QCoreApplication::exit(0); });
    return runControlPanel(app, logLine, {options.com1, options.com2});
}
