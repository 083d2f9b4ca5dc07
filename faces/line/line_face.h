// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's face for clients of the projectors' own protocol: a shared
// line for each projector whose settings name one, opened and closed as
// projectors come and go with the settings.

#include "bridge/bridge_face.h"
#include "session/session_timer.h"

#include <map>

class LineListener;
class ProjectorLink;
class ProjectorService;
struct ProjectorEndpoint;

class LineFace : public BridgeFace {
    Q_OBJECT
public:
    explicit LineFace(const FaceContext &context);
    ~LineFace() override;

    // Listens on every shared line: false, with the reason, when one cannot.
    bool start(QString *error) override;
    // Closes every shared line and its clients.
    void stop() override;

private:
    void addProjector(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void removeProjector(ProjectorLink *projector);

    SessionTimerFactory makeTimer_;
    std::map<ProjectorLink *, LineListener *> listeners_;
    bool started_ = false;
};
