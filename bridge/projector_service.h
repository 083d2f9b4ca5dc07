// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every projector the bridge holds, by ID: one link each, which is the only
// owner of its line. The faces (the broker, the shared lines, PJLink, the
// page) are adapters over it: they find a projector here, send its commands
// through its link's one queue and read its typed state. A reload adds,
// removes and replaces links as the settings now say; a link whose settings
// did not change keeps its line open throughout.

#include "bridge/bridge_options.h"
#include "bridge/projector_link.h"
#include "session/session_clock.h"

#include <QObject>
#include <map>

class ProjectorService : public QObject {
    Q_OBJECT
public:
    explicit ProjectorService(QObject *parent = nullptr, const SessionClock &clock = {});

    // Makes the links the options name, or brings the ones there in line
    // with them: projectorAdded() and projectorRemoved() tell the faces. A
    // link is replaced only when its port or how it is asked changed; a
    // change that concerns only the faces (a listener, a name, a password)
    // leaves its line open and is told by projectorChanged().
    void apply(const BridgeOptions &options);
    // Opens every port (retried in the background when one fails).
    void start();
    // Closes every port; waiting commands are refused for this reason.
    void stop(RefusalKind why);

    ProjectorLink *projector(const QString &id) const;
    const ProjectorEndpoint *endpoint(const QString &id) const;
    // In the order of their IDs.
    std::vector<ProjectorLink *> projectors() const;
    // The groups in force, "all" first; every member is held here. A reload
    // changes them without touching any link.
    const std::vector<ProjectorGroup> &groups() const { return groups_; }
    const ProjectorGroup *group(const QString &id) const;

signals:
    void projectorAdded(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    // Just before the link goes (deleted later): let go of it.
    void projectorRemoved(ProjectorLink *projector);
    // The same link, with settings that differ only for the faces.
    void projectorChanged(ProjectorLink *projector, const ProjectorEndpoint &before,
                          const ProjectorEndpoint &now);
    // After apply() changed the groups (their IDs or their members).
    void groupsChanged();
    void log(const QString &line);

private:
    struct Held {
        ProjectorLink *link = nullptr;
        ProjectorEndpoint endpoint;
        ProjectorLink::Settings settings;
    };

    void add(const ProjectorEndpoint &endpoint, const ProjectorLink::Settings &settings);
    void remove(const QString &id);

    SessionClock clock_;
    std::map<QString, Held> held_;
    std::vector<ProjectorGroup> groups_;
    bool started_ = false;
};
