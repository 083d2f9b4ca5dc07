// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The projectors of a building, simulated on loopback: each on a TCP port of
// its own, as behind a serial device server; most answer as they should,
// some late (within the bridge's reply window, or past it), some in pieces,
// a few not at all. Every line each one receives is stamped as it arrives.

#include "bridge_rig.h"

#include <memory>
#include <string>
#include <vector>

enum class ProjectorKind { Prompt, Split, LateInWindow, LatePastWindow, Silent };

// Every kind, in the order reports list them.
const std::vector<ProjectorKind> &projectorKinds();
// "none", "split", "late 250 ms", ...: what the simulator does.
QString kindName(ProjectorKind kind);
// Answers every command whole, well within its reply window.
bool answersPromptly(ProjectorKind kind);

// Complete poll rounds: the nine status queries reaching the projector in
// order, nothing between them.
struct PollRounds {
    std::vector<double> firstToLastMs; // first query's line to the ninth's
};

class VenueFleet {
public:
    VenueFleet();
    ~VenueFleet(); // the projectors' threads stop before their logs go
    VenueFleet(const VenueFleet &) = delete;
    VenueFleet &operator=(const VenueFleet &) = delete;

    // Every projector listening on a free loopback port.
    bool listen(std::string *error);
    std::size_t size() const { return projectors_.size(); }
    std::size_t count(ProjectorKind kind) const;
    const QString &id(std::size_t index) const { return projectors_[index].id; }
    ProjectorKind kind(std::size_t index) const { return projectors_[index].kind; }
    QStringList ids() const;

    // The bridge's configuration file: the broker, the poll, and one
    // [projector ID] section each.
    QString configFile(quint16 brokerPort, int pollSeconds) const;

    // The rounds that began at or after `from`.
    PollRounds rounds(std::size_t index, Clock::time_point from) const;

private:
    struct Projector {
        ProjectorKind kind;
        QString id;
        std::unique_ptr<sim::PtyServer> server;
        std::unique_ptr<LineLog> lines;
    };
    std::vector<Projector> projectors_;
};
