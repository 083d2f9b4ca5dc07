// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A face that gives each projector a listener of its own where its
// settings name an address for that face (the shared lines, PJLink),
// following the projectors the service adds, changes and removes. A
// projector whose settings change only for this face keeps its line; only
// its listener is made anew.

#include "bridge/bridge_face.h"
#include "bridge/listen_address.h"

#include <QObject>
#include <map>
#include <optional>

class ProjectorLink;
struct ProjectorEndpoint;

// One projector's listener and its clients.
class ProjectorListener : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // False, with the reason, when the address cannot be listened on.
    virtual bool listen(QString *error) = 0;
    // Takes no new client; those it has stay until it is deleted.
    virtual void stopTaking() = 0;

signals:
    void log(const QString &line);
};

class ListenersFace : public BridgeFace {
    Q_OBJECT
public:
    explicit ListenersFace(const FaceContext &context);
    ~ListenersFace() override;

    bool start(QString *error) override;
    void stopTaking() override;
    // Every listener and its clients gone.
    void stop() override;

protected:
    // Call at the end of the subclass's constructor: the projectors there
    // are now get their listeners.
    void followProjectors();
    // Where this face listens for a projector; none: not served here.
    virtual std::optional<ListenAddress> addressOf(const ProjectorEndpoint &endpoint) const = 0;
    // Whether two settings of one projector differ for this face.
    virtual bool differ(const ProjectorEndpoint &a, const ProjectorEndpoint &b) const = 0;
    virtual ProjectorListener *makeListener(ProjectorLink &projector, const ProjectorEndpoint &endpoint) = 0;
    const SessionClock &clock() const { return clock_; }

private:
    void add(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void remove(ProjectorLink *projector);
    void change(ProjectorLink *projector, const ProjectorEndpoint &before, const ProjectorEndpoint &now);

    ProjectorService &projectors_;
    SessionClock clock_;
    std::map<ProjectorLink *, ProjectorListener *> listeners_;
    bool started_ = false;
};
