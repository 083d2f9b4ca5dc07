#pragma once
// The bridge's command line, checked as a whole before anything is opened.
// Reads the password and checks the CA file; touches nothing else.

#include "session/port_address.h"

#include <QString>
#include <QStringList>

#include <vector>

struct ProjectorEndpoint {
    QString id; // lower-case letters, digits, '-' and '_'
    PortAddress port;
};

struct BridgeOptions {
    QString brokerHost;
    quint16 brokerPort = 1883;
    QString username;
    QString password; // the first line of --password-file; never print it
    QString caFile;
    QString topicPrefix = QStringLiteral("velno");
    int pollSeconds = 30; // 0: no polling
    std::vector<ProjectorEndpoint> projectors;
};

struct BridgeOptionsParse {
    enum class Outcome { Run, ShowHelp, Error };
    Outcome outcome = Outcome::Error;
    BridgeOptions options; // for Run
    QString error;         // for Error: names the option at fault
    QString usage;         // always: the help text
};

// arguments[0] is the program's name, as in QCoreApplication::arguments().
BridgeOptionsParse parseBridgeOptions(const QStringList &arguments);

// Empty when the prefix is usable in topic names, otherwise what is wrong with it.
QString topicPrefixProblem(const QString &prefix);
