// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bridge's PJLink face: each projector with `pjlink = HOST:PORT` is a
// PJLink Class 1 device on its own listener, following the projectors a
// reload adds and removes. A few sessions at a time per projector; more are
// closed at once, and every refusal is logged, throttled.

#include "bridge/bridge_face.h"
#include "session/session_timer.h"

#include <map>

class ProjectorLink;
class ProjectorService;

class PjlinkFace : public BridgeFace {
    Q_OBJECT
public:
    explicit PjlinkFace(const FaceContext &context);
    ~PjlinkFace() override;

    // Listens for every projector that has an address; false, with the
    // reason, when one cannot.
    bool start(QString *error) override;
    // Closes the listeners and every session.
    void stop() override;

private:
    class Listener;

    void add(ProjectorLink *projector, const ProjectorEndpoint &endpoint);
    void remove(ProjectorLink *projector);

    SessionTimerFactory makeTimer_;
    std::map<ProjectorLink *, Listener *> listeners_; // children of this face
    bool started_ = false;
};
