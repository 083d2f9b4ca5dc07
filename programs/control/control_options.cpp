// SPDX-License-Identifier: GPL-3.0-or-later
#include "control_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

ControlOptions parseControlOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QCoreApplication::translate("main", "Control panel for projectors on a serial line."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("main", "Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QCoreApplication::translate("main", "Show the version and exit."));
    const QCommandLineOption com1(
        QStringLiteral("com1"),
        QCoreApplication::translate("main", "The device behind COM1: a path, a system port name or "
                                            "socket://HOST:PORT (overrides VELNO_COM1)."),
        QStringLiteral("NAME"));
    const QCommandLineOption com2(
        QStringLiteral("com2"),
        QCoreApplication::translate("main", "The device behind COM2, as for --com1 (overrides VELNO_COM2)."),
        QStringLiteral("NAME"));
    const QCommandLineOption listPorts(
        QStringLiteral("list-ports"),
        QCoreApplication::translate("main", "List the system's serial ports and exit."));
    parser.addOptions({help, version, com1, com2, listPorts});

    ControlOptions options;
    options.usage =
        QStringLiteral("Usage: %1 [--com1 NAME] [--com2 NAME] | --list-ports | --version | --help")
            .arg(QCoreApplication::applicationName());
    if (!parser.parse(arguments)) {
        options.action = ControlOptions::Action::UsageError;
        options.text = parser.errorText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.action = ControlOptions::Action::UsageError;
        options.text = QCoreApplication::translate("main", "Unexpected argument '%1'.")
                           .arg(parser.positionalArguments().constFirst());
        return options;
    }
    for (const auto &[option, target] : {std::pair{&com1, &options.com1}, std::pair{&com2, &options.com2}}) {
        if (!parser.isSet(*option))
            continue;
        const PortAddressParse device = parseDeviceAddress(parser.value(*option));
        if (!device.address) {
            options.action = ControlOptions::Action::UsageError;
            options.text = QCoreApplication::translate("main", "Bad device for '--%1': %2.")
                               .arg(option->names().constFirst(), device.problem);
            return options;
        }
        *target = device.address;
    }
    if (parser.isSet(help)) {
        options.action = ControlOptions::Action::Help;
        options.text = parser.helpText();
    } else if (parser.isSet(version)) {
        options.action = ControlOptions::Action::Version;
    } else if (parser.isSet(listPorts)) {
        options.action = ControlOptions::Action::ListPorts;
    }
    return options;
}
