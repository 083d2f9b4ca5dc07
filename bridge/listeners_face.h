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
#include <functional>
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

// What makes one kind of listener face (a shared line, PJLink).
struct ListenerKind {
    // Where the face listens for a projector; none: not served there.
    std::function<std::optional<ListenAddress>(const ProjectorEndpoint &endpoint)> addressOf;
    // Whether two settings of one projector differ for the face.
    std::function<bool(const ProjectorEndpoint &a, const ProjectorEndpoint &b)> differ;
    std::function<ProjectorListener *(ProjectorLink &projector, const ProjectorEndpoint &endpoint,
                                      const FaceContext &context)>
        make;
};

class ListenersFace : public BridgeFace {
    Q_OBJECT
public:
    ListenersFace(const FaceContext &context, const ListenerKind &kind);
    ~ListenersFace() override;

    bool start(QString *error) override;
    void stopTaking() override;
    // Every listener and its clients gone.
    void stop() override;

private:
    void add(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void remove(ProjectorLink *projector);
    void change(ProjectorLink *projector, const ProjectorEndpoint &before, const ProjectorEndpoint &now);

    FaceContext context_;
    ListenerKind kind_;
    std::map<ProjectorLink *, ProjectorListener *> listeners_;
    bool started_ = false;
};
