#include "control_options.h"
#include "port_listing.h"
#include "termination_signals.h"
#include "velno_version.h"
#include "window/start_up.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>

namespace {

const QString kProgram = QStringLiteral("velno-control");

// Everything but running the panel needs no display.
int answerWithoutWindow(const ControlOptions &options)
{
    using A = ControlOptions::Action;
    switch (options.action) {
    case A::Help: std::fputs(qPrintable(options.text), stdout); return 0;
    case A::Version: std::printf("%s %s\n", qPrintable(kProgram), VELNO_VERSION); return 0;
    case A::ListPorts: std::fputs(qPrintable(serialPortListing()), stdout); return 0;
    case A::UsageError:
        std::fprintf(stderr, "%s: %s\n%s\n", qPrintable(kProgram), qPrintable(options.text),
                     qPrintable(options.usage));
        return 2;
    case A::Run: break;
    }
    return 2;
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
    QCoreApplication::setApplicationName(kProgram);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELNO_VERSION));
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
    return runControlPanel(app, {options.com1, options.com2});
}
